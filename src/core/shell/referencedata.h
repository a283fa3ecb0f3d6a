#pragma once

#include "db/outcome.h"

#include <QList>
#include <QStringList>

namespace verna::db {
class Database;
}

namespace verna::shell {

// One data file of the reference data: tab-separated, a header line of column names,
// an empty field meaning NULL.
struct DataTable {
    QStringList header;
    QList<QStringList> rows;
    QString error;

    int column(const QString &name) const { return static_cast<int>(header.indexOf(name)); }
    QString value(int row, const QString &name) const;
};

// Reads a reference data file shipped with the application ("cd_val", "ctrl", ...).
DataTable readReferenceTable(const QString &name);

// The reference data: code lists, sum rules, indicators with their groups, and entity 3366
// with its statement pair for 1996 Q4. All or nothing.
Outcome loadReferenceData(db::Database &db);

// Brings the shipped indicators of a database made by an earlier VERNA to this version's
// reference data, inside the caller's transaction: a shipped indicator whose formula is still
// the one shipped before gets the new formula and description, and its old formula is kept as
// a hidden indicator (id + kOldFormulaOffset, named "... – původní vzorec") so earlier results
// can be explained; a formula the user changed is left as it is. Units and directions are
// written for the shipped indicators the database has.
Outcome upgradeShippedIndicators(db::Database &db);
// The reference data's step of a schema upgrade from the given version.
Outcome upgradeReferenceData(db::Database &db, int fromVersion);
inline constexpr int kOldFormulaOffset = 100;
inline const QString kOldFormulaSuffix = QStringLiteral(" – původní vzorec");

// Ids of the reference entity and its period, on which formulas are tried out.
inline constexpr int kReferenceEntity = 3366;
inline constexpr int kReferenceYear = 1996;
inline constexpr int kReferenceQuarter = 4;

} // namespace verna::shell

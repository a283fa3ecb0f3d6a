#pragma once

#include "db/namedid.h"
#include "db/outcome.h"
#include "indicators/formulatext.h"
#include "indicators/indicatorunit.h"

#include <QHash>

#include <QList>
#include <QString>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::indicators {

// A line of a list: the text it shows and the id it carries.
using Entry = db::NamedId;

// How a save ended when the database did not fail: the record's id, or the name was taken.
struct Saved {
    qint32 id = 0;
    bool nameTaken = false;
};

// Reads and writes indicators. Every save is one transaction: the duplicate check, the
// writes and the read-back of a new id commit together or not at all. Names are stored
// trimmed and compared as the server compares texts (case-insensitively); texts are stored
// exactly as typed.
class IndicatorStore
{
public:
    explicit IndicatorStore(db::Database &db, qint16 dialect = 1);

    // The active indicators by name.
    Result<QList<Entry>> indicators();
    struct Texts {
        QString name;
        QString formula;
        QString description;
    };
    Result<Texts> load(qint32 id);

    // With a unit, the unit is written in the same transaction.
    Result<Saved> create(const Texts &texts, const std::optional<IndicatorUnit> &unit = std::nullopt);
    // Changes what is given; a name another active indicator has refuses the whole change.
    Result<Saved> change(qint32 id, const std::optional<QString> &name, const std::optional<QString> &description,
                         const std::optional<QString> &formula, const std::optional<IndicatorUnit> &unit = std::nullopt);
    // Deletes an indicator (its group memberships stay) and its unit. The hidden indicators that
    // compute the lines of full statements are never deleted.
    Outcome remove(qint32 id);

    static bool isProtected(qint32 id);

    // An indicator's unit and direction (an empty unit and no direction when none is stored),
    // and those of every indicator that has one, by id.
    Result<IndicatorUnit> unit(qint32 id);
    Result<QHash<qint32, IndicatorUnit>> units();

    // The texts of statement lines, in the order of their codes, as the editor lists them.
    Result<QList<ItemName>> itemNames(const QList<int> &codes);

private:
    Result<bool> nameTaken(const QString &name, std::optional<qint32> except);
    Outcome writeUnit(qint32 id, const IndicatorUnit &unit);
    Result<QHash<qint32, IndicatorUnit>> readUnits(const QString &where);

    db::Database &m_db;
    qint16 m_dialect;
};

} // namespace verna::indicators

#pragma once

#include "analysis/rowkey.h"
#include "db/namedid.h"
#include "db/outcome.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::analysis {

using verna::Result;

using NamedId = db::NamedId;

// The read queries of the analysis window, in the texts the T-SQL server takes. Every id,
// year and quarter is a checked integer before it is spliced. A failed read is an error.
class AnalysisData
{
public:
    explicit AnalysisData(db::Database &db);

    Result<QList<NamedId>> indicatorGroups();
    // Indicators of a group; group 0 means all of them ("Vše").
    Result<QList<NamedId>> indicators(int groupId);
    Result<QString> indicatorDescription(int indicatorId);
    // IČO and name of an entity, nullopt when there is no such live entity.
    Result<std::optional<std::pair<QString, QString>>> entityIdentity(qint32 entity);
    Result<QList<int>> yearsOf(qint32 entity);
    // Quarters with an income statement, for the tree.
    Result<QList<int>> treeQuarters(qint32 entity, int year);
    // Quarters with any statement, for rows.
    Result<QList<int>> rowQuarters(qint32 entity, int year);
    // The same for many entities and years at once: row keys in the entities' order, then by
    // year and quarter.
    Result<QList<RowKey>> rowPeriods(const QList<qint32> &entities, int firstYear, int lastYear);
    Result<QList<qint32>> groupMembers(qint32 group);
    // The live entity groups by name, to choose peers from.
    Result<QList<NamedId>> entityGroups();
    Result<int> statementCount(qint32 entity, int year, int quarter);
    Result<QString> rowEntityName(qint32 entity);
    // Names of many entities at once (an entity without a live name is missing).
    Result<QHash<qint32, QString>> rowEntityNames(const QList<qint32> &entities);

private:
    Result<QList<int>> integers(const QString &sql);
    db::Database &m_db;
};

} // namespace verna::analysis

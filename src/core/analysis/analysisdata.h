#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::analysis {

struct NamedId {
    QString name;
    int id = 0;
};

// The read queries of the analysis window, in the texts the T-SQL server takes. Every id,
// year and quarter is a checked integer before it is spliced.
class AnalysisData
{
public:
    explicit AnalysisData(db::Database &db);

    QList<NamedId> indicatorGroups();
    // Indicators of a group; group 0 means all of them ("Vše").
    QList<NamedId> indicators(int groupId);
    QString indicatorDescription(int indicatorId);
    // IČO and name of an entity, nullopt when there is no such live entity.
    std::optional<std::pair<QString, QString>> entityIdentity(qint32 entity);
    QList<int> yearsOf(qint32 entity);
    // Quarters with an income statement, for the tree.
    QList<int> treeQuarters(qint32 entity, int year);
    // Quarters with any statement, for rows.
    QList<int> rowQuarters(qint32 entity, int year);
    QList<qint32> groupMembers(qint32 group);
    int statementCount(qint32 entity, int year, int quarter);
    QString rowEntityName(qint32 entity);

private:
    QList<int> integers(const QString &sql);
    db::Database &m_db;
};

} // namespace verna::analysis

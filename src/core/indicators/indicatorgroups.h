#pragma once

#include "db/audit.h"
#include "indicators/indicatorstore.h"

namespace verna::indicators {

// Reads and writes indicator groups and their members. A group with its members, a change of
// name, description and added members: each save is one transaction. Group ids are ids: the
// window keeps "all indicators" and "a new group" apart from them.
class IndicatorGroups
{
public:
    explicit IndicatorGroups(db::Database &db, qint16 dialect = 1);

    Result<QList<Entry>> groups();
    Result<QList<Entry>> members(qint32 group);
    Result<QString> description(qint32 group);

    Result<Saved> create(const QString &name, const QString &description, const QList<qint32> &members);
    // Changes what is given and adds the members not yet in the group; a name another active
    // group has refuses the whole change.
    Result<Saved> change(qint32 group, const std::optional<QString> &name, const std::optional<QString> &description,
                         const QList<qint32> &added);
    Outcome removeMember(qint32 group, qint32 indicator);
    // Deletes the group; its memberships stay.
    Outcome remove(qint32 group);

    // Whether another active group (not except) has the name; the window asks before it
    // offers a rename. change() checks again inside its transaction.
    Result<bool> nameTaken(const QString &name, std::optional<qint32> except);

private:
    Outcome addMembers(qint32 group, const QList<qint32> &members);
    // One statement and its audit row, together.
    Outcome writeRecorded(const QString &sql, const db::audit::Change &change);

    db::Database &m_db;
    qint16 m_dialect;
};

} // namespace verna::indicators

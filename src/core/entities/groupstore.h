#pragma once

#include "db/outcome.h"
#include "entities/entitystore.h"

#include <QList>
#include <QString>
#include <optional>

namespace verna::entities {

// One member of a group as the groups window lists it: "IČO name"; active = state 0.
struct GroupMember {
    qint32 id = 0;
    QString text;
    bool active = true;
};

struct GroupDetails {
    QString name;
    QString note;
    QList<GroupMember> members;
};

// The writes of the entity groups window. A group is an entity whose identifier is
// "skupina_" with legal form 215; every write is one transaction.
class GroupStore
{
public:
    static inline const QString kGroupIdent = QStringLiteral("skupina_");
    static constexpr qint32 kGroupForm = 215;
    // The type a new group's entity row gets.
    static constexpr qint32 kGroupType = 12;

    explicit GroupStore(db::Database &db, int dialect = 1);

    // Whether the id is a live group.
    Result<bool> isGroup(qint32 id);
    Result<GroupDetails> load(qint32 group);

    // The list line of an entity that may join a group: nullopt for a group (groups do not
    // nest) or an id without a live entity.
    Result<std::optional<GroupMember>> candidate(qint32 id);

    // Creates the group with its members (in order) and note; refused when the name is empty
    // or a group has it already.
    Written create(const QString &name, const QString &note, const QList<qint32> &members);

    // Adds members; ones the group has (on or off) are not written again. Returns how many
    // were written.
    Result<int> addMembers(qint32 group, const QList<qint32> &members);
    // Marks the membership removed (state 2).
    Outcome removeMember(qint32 group, qint32 member);
    // New name and its search form; refused when empty or another group has it.
    Written rename(qint32 group, const QString &name);
    Outcome storeNote(qint32 group, const QString &note);
    Outcome remove(qint32 group);

    // The Czech refusal when another live group than `except` has the name, or "".
    Result<QString> nameTaken(const QString &name, qint32 except = 0);

private:
    db::Database &m_db;
    int m_dialect;
};

} // namespace verna::entities

#pragma once

#include "db/outcome.h"

#include <QList>
#include <QString>

namespace verna::db {
class Database;
}

namespace verna::entities {

// True when the entity is not a group of entities (also for an id with no ident row); the
// database's reason when the read fails. An id that is not a whole number is no entity at
// all: false, and no SQL runs.
Result<bool> isSingleEntity(db::Database &db, const QString &entityId);

// The active members of a group; the database's reason when the read fails.
Result<QList<qint32>> groupMembers(db::Database &db, qint32 group);

// What adding the entity to a tree adds: the entity itself, or with expandGroups for a group
// its active members; the database's reason when a read fails.
Result<QList<qint32>> entitiesToAdd(db::Database &db, qint32 entity, bool expandGroups);

} // namespace verna::entities

#pragma once

#include "db/outcome.h"

#include <QString>

namespace verna::db {
class Database;
}

namespace verna::entities {

// The T-SQL that stores one note line, in dialect 1 or 2; the line is quoted here.
QString noteLineInsert(int dialect, int textId, int sequence, const QString &line);

// Replaces the entity's note, all or nothing: old lines deleted, new lines written, linked.
Outcome storeNote(db::Database &db, const QString &entityId, const QString &note, int dialect = 1);

// The entity's note, or "" when it has none (or the id is not a whole number); the database's
// reason when a read fails.
Result<QString> loadNote(db::Database &db, const QString &entityId);

} // namespace verna::entities

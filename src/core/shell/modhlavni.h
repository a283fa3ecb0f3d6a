#pragma once

#include "db/outcome.h"

#include <QString>
#include <QStringList>

namespace verna::db {
class Database;
}

namespace verna::shell {

// The shared operations every window uses. None of them shows a message.
namespace modHlavni {

// First column of the first row as text; "" for no row, a NULL or any error.
QString singleValue(db::Database &db, const QString &sql);

// True when the entity is not a group of entities (also for an id with no ident row); the
// database's reason when the read fails. An id that is not a whole number is no entity at
// all: false, and no SQL runs.
Result<bool> isSingleEntity(db::Database &db, const QString &entityId);

// The active members of a group; the database's reason when the read fails.
Result<QList<qint32>> groupMembers(db::Database &db, qint32 group);

// What adding the entity to a tree adds: the entity itself, or with expandGroups for a group
// its active members; the database's reason when a read fails.
Result<QList<qint32>> entitiesToAdd(db::Database &db, qint32 entity, bool expandGroups);

// Left-pads an IČO with zeros to 8 characters; longer texts stay as they are.
QString &padIco(QString &ico);

// The name without apostrophes, blanks and . _ ( ) / \ - , : — what name searches compare.
QString searchForm(const QString &name);

// The lines a note is stored in: 255 characters each, the last one possibly empty.
// A character outside the basic plane is never cut in two.
QStringList noteLines(const QString &note);

// The T-SQL that stores one note line, in dialect 1 or 2; the line is quoted here.
QString noteLineInsert(int dialect, int textId, int sequence, const QString &line);

// Replaces the entity's note, all or nothing: old lines deleted, new lines written, linked.
Outcome storeNote(db::Database &db, const QString &entityId, const QString &note, int dialect = 1);

// The entity's note, or "" when it has none (or the id is not a whole number).
QString loadNote(db::Database &db, const QString &entityId);

} // namespace modHlavni

} // namespace verna::shell

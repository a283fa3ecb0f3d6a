#pragma once

#include <QString>

namespace verna::db {

// The SQLite files this process holds open. Reading or writing any of them (or their -wal,
// -shm or -journal) through another descriptor and closing it would drop every POSIX lock
// SQLite holds on the database in this process, so a file chosen for an import or an export
// is checked here first.
void noteOpenDatabaseFile(const QString &path);
void forgetOpenDatabaseFile(const QString &path);

// Whether path names an open database or one of its side files, by the file itself (links
// and other spellings of the path included); looks at the file without opening it.
bool isOpenDatabaseFile(const QString &path);

// Why such a file is refused, in Czech.
QString openDatabaseFileRefusal(const QString &path);

} // namespace verna::db

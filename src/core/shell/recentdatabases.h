#pragma once

#include "db/databaselocation.h"
#include "db/outcome.h"

#include <QList>

namespace verna::shell {

// The databases opened last, newest first, kept in the user's settings (group "Databaze").
// Only where a database is and, for a data source, the login name: a password is never
// written. An entry read back whose login is the application's default gets its default
// password again; any other login has none and must be asked for.
class RecentDatabases
{
public:
    static constexpr int kLimit = 6;

    static QList<db::DatabaseLocation> load();
    // Puts the location first, drops its older entry and the ones past the limit.
    static void remember(const db::DatabaseLocation &location);
    // The login name used last with the data source ("" when it is not in the list).
    static QString lastUser(const QString &dsn);
    // Whether two locations name the same database (files by their absolute path).
    static bool same(const db::DatabaseLocation &a, const db::DatabaseLocation &b);
};

// Creates a new SQLite file with the tables and the reference data, as "verna-db init" does.
// An existing file is refused and left as it is; a failed creation leaves no file behind.
Outcome createDatabaseFile(const QString &path);

} // namespace verna::shell

#pragma once

#include "db/outcome.h"

#include <QStringList>

namespace verna::db {

class Database;

// What an open database holds, as far as VERNA is concerned.
enum class DatabaseState {
    Verna,      // all of VERNA's tables, and (SQLite) a sound file
    Empty,      // no tables at all: new, ready for init
    Incomplete, // some of VERNA's tables are missing
    Foreign,    // an SQLite database of something else
    NotSqlite,  // the file is not an SQLite database at all
    Damaged,    // SQLite reports damage, or the tables cannot be read
};

struct DatabaseInspection {
    DatabaseState state = DatabaseState::Damaged;
    QStringList missingTables;
    QString detail; // the database's own words where it failed
};

// Looks at the open database without writing to it.
DatabaseInspection inspectDatabase(Database &database);

// Whether the open database is a usable VERNA database; otherwise why not, in Czech. A
// damaged or foreign file is never offered to init.
Outcome checkVernaDatabase(Database &database);
Outcome checkVernaDatabase(const Database &database, const DatabaseInspection &inspection);

} // namespace verna::db

#pragma once

#include "db/backend.h"
#include "db/outcome.h"

#include <QStringList>

namespace verna::db {

class Database;

// The tables in their binding positional column order, with indexes, for each backend.
class Schema
{
public:
    // Names of VERNA's tables, in creation order.
    static QStringList tableNames();

    // Which of VERNA's tables the target's current schema has.
    static QStringList presentTables(Database &db);

    // Whether the target already has VERNA's tables (any of them).
    static bool exists(Database &db);

    // Creates the tables; with replace, drops existing ones first. All or nothing.
    static Outcome create(Database &db, bool replace = false);

    // The DDL statements for a backend (SQL Server text is kept for administrators).
    static QStringList statements(Backend backend);
};

} // namespace verna::db

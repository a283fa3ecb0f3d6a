#pragma once

namespace verna::db {

// The database products VERNA talks to. SQL Server gets the T-SQL text unchanged;
// the others go through the translation layer.
enum class Backend {
    SQLite,
    PostgreSQL,
    SqlServer,
};

} // namespace verna::db

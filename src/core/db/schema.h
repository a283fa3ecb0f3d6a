#pragma once

#include "db/backend.h"
#include "db/outcome.h"

#include <QStringList>
#include <functional>

namespace verna::db {

class Database;

// The tables in their binding positional column order, with indexes, for each backend.
class Schema
{
public:
    // Names of VERNA's tables, in creation order.
    static QStringList tableNames();
    // The tables every VERNA database has had from the first schema on; an upgrade adds the rest.
    static QStringList firstTableNames();

    // Which of VERNA's tables the target's current schema has; the reason when the read fails.
    static Result<QStringList> presentTables(Database &db);

    // Whether the target's current schema has the table; the reason when the read fails.
    static Result<bool> hasTable(Database &db, const QString &table);

    // Whether the target already has VERNA's tables (any of them); the reason when the read fails.
    static Result<bool> exists(Database &db);

    // Creates the tables; with replace, drops existing ones first. All or nothing.
    static Outcome create(Database &db, bool replace = false);

    // The DDL statements for a backend (SQL Server text is kept for administrators).
    static QStringList statements(Backend backend);

    // The version of the schema this program writes; a database records its own.
    static constexpr int kVersion = 8;
    // The open database's schema version (1 for files made before versions were recorded).
    static Result<int> version(Database &db);
    // Brings an older schema to this version in one transaction, after a copy of an SQLite
    // file beside it; refuses a database of a newer version without changing it. A database
    // that cannot be written is left as it is. The reference data's own step runs in the same
    // transaction and is told the version the database had.
    using ReferenceDataStep = std::function<Outcome(Database &db, int fromVersion)>;
    static Outcome upgrade(Database &db, const ReferenceDataStep &referenceData = {});
};

} // namespace verna::db

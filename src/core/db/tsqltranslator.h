#pragma once

#include "db/backend.h"

#include <QString>
#include <QStringList>

namespace verna::db::tsql {

// Splits a batch at carriage returns and semicolons that stand outside quoted literals,
// names and comments; blank statements are dropped. A note's CR LF inside quotes stays in
// its statement.
QStringList splitBatch(const QString &batch);

enum class StatementKind {
    Plain,
    Query,      // SELECT or WITH ... SELECT that writes nothing
    Empty,      // only comments
    BeginTran,  // BEGIN [TRAN|TRANSACTION|WORK|DEFERRED|...], START TRANSACTION
    CommitTran, // COMMIT or END [TRAN|TRANSACTION|WORK]
    TransactionControl, // ROLLBACK, savepoints, ABORT, named or other forms: never run in a batch
    Several,    // more than one statement by the backend's own reading
    Variable,   // DECLARE @x / SELECT @x = ...: dialect 2 texts, not executed by this layer
};

// What one statement of a batch is, read as the backend will read it (its quotes and
// comments); pass the translated text for SQLite and PostgreSQL.
StatementKind classify(const QString &statement, Backend backend = Backend::SqlServer);

struct Translation {
    QString sql;
    // Tables whose new key is computed inside this statement; the caller serialises writers on them.
    QStringList keyTables;
};

// Whether a /* comment in the T-SQL text never ends: the servers refuse such a statement, SQLite
// would run what stands before it, and the translation would drop the rest of the text.
bool hasUnclosedComment(const QString &statement);

// Rewrites one T-SQL statement for the backend. SQL Server gets it unchanged.
Translation translate(const QString &statement, Backend backend);

// The table names whose keys a statement computes with (SELECT (min(k)-1) FROM t).
QStringList keyTables(const QString &statement);

} // namespace verna::db::tsql

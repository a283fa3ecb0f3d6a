#pragma once

#include "db/backend.h"

#include <QString>
#include <QStringList>

namespace verna::db::tsql {

// Splits a batch at carriage returns that stand outside quoted literals and comments;
// blank statements are dropped. A note's CR LF inside quotes stays in its statement.
QStringList splitBatch(const QString &batch);

enum class StatementKind {
    Plain,
    BeginTran,
    CommitTran,
    RollbackTran,
    Variable, // DECLARE @x / SELECT @x = ...: dialect 2 texts, not executed by this layer
};

StatementKind classify(const QString &statement);

struct Translation {
    QString sql;
    // Tables whose new key is computed inside this statement; the caller serialises writers on them.
    QStringList keyTables;
};

// Rewrites one T-SQL statement for the backend. SQL Server gets it unchanged.
Translation translate(const QString &statement, Backend backend);

// The table names whose keys a statement computes with (SELECT (min(k)-1) FROM t).
QStringList keyTables(const QString &statement);

} // namespace verna::db::tsql

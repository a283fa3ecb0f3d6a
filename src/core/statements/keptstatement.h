#pragma once

#include "statements/statementstore.h"

#include <QHash>
#include <QList>

namespace verna::db {
class Database;
}

namespace verna::statements {

// A stored statement as it was, active or kept inactive after a change replaced it (the audit
// trail names such statements): its form, period and amounts.
struct KeptStatement {
    bool found = false;
    bool active = false;
    int type = 0; // 27 balance sheet, 28 income statement
    bool full = false;
    int year = 0;
    int quarter = 0;
    qint32 entity = 0;
    QList<StatementLine> lines;
    QHash<int, QString> amounts;

    // "Rozvaha 2010/1 (nahrazená)"
    QString title() const;
};

// Reads a statement by id whatever its state; found is false when there is none.
Result<KeptStatement> readKeptStatement(db::Database &db, qint32 id);

} // namespace verna::statements

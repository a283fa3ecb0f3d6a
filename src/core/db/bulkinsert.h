#pragma once

#include "db/outcome.h"

#include <QString>
#include <QStringList>

namespace verna::db {

class Database;

// Writes many rows with multi-row INSERT statements of plain SQL literals (numbers checked,
// texts quoted), for reference and demo data. Runs inside the caller's transaction.
class BulkInsert
{
public:
    BulkInsert(Database &db, const QString &table, int rowsPerStatement = 400);

    // Literals for one row, in the table's column order.
    static QString number(qint64 value) { return QString::number(value); }
    static QString amount(const QString &decimalText); // "NULL" when not a decimal number
    static QString text(const QString &value);        // quoted, apostrophes doubled
    static QString null() { return QStringLiteral("NULL"); }
    static QString now() { return QStringLiteral("CURRENT_TIMESTAMP"); }

    Outcome add(const QStringList &literals);
    Outcome flush();
    int rowsWritten() const { return m_written; }

private:
    Database &m_db;
    QString m_table;
    int m_rowsPerStatement;
    QStringList m_pending;
    int m_written = 0;
};

} // namespace verna::db

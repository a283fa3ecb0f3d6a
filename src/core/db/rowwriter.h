#pragma once

#include "db/outcome.h"

#include <QByteArray>
#include <QString>
#include <vector>

struct sqlite3_stmt;

namespace verna::db {

class Database;

// Writes many rows into one table inside the caller's transaction, for loads of thousands of
// rows (imports, demo data). On SQLite one prepared statement is stepped per row, so no SQL
// text is built or parsed per row. On PostgreSQL a chunk goes as one INSERT … SELECT of
// unnest() of one typed array literal per column: the server parses one literal per column
// instead of an expression per value. On SQL Server rows go as multi-row INSERTs of checked
// literals. Values are given in the table's column order, then endRow().
class RowWriter
{
public:
    RowWriter(Database &db, const QString &table, int columns);
    ~RowWriter();
    RowWriter(const RowWriter &) = delete;
    RowWriter &operator=(const RowWriter &) = delete;

    // "-12.5", "300": an optional minus, digits, and a dot with digits.
    static bool isDecimal(const QString &text);

    RowWriter &integer(qint64 value);
    // An exact decimal number ("-12.5"); anything else is written as NULL.
    RowWriter &decimal(const QString &text);
    RowWriter &text(const QString &value);
    RowWriter &null();
    RowWriter &now();

    Outcome endRow();
    // Writes rows still held (on a server) and waits for the server to take them; call before
    // reading the table or committing.
    Outcome flush();
    int rowsWritten() const { return m_written; }

private:
    // Rows go to the driver in chunks: each chunk is one statement to the database's fault
    // switch and one idle call. On a server each chunk is one INSERT: PostgreSQL takes far more rows
    // per round trip, SQL Server at most 1,000.
    int rowsPerChunk() const { return m_postgres ? 20000 : 400; }

    // What a PostgreSQL column of the chunk holds, which gives its array's type.
    enum class Kind { Null, Integer, Decimal, Text, Now };
    struct Value {
        Kind kind;
        QString literal; // the array element
    };
    void addValue(Kind kind, const QString &literal);
    Outcome endPostgresRow();
    // Starts the chunk on the server, which runs it while the caller gives the next rows; the
    // next chunk or call on the connection awaits it (flush() too).
    Outcome sendPostgresChunk();
    QString postgresChunk(int rows) const;

    void beginValue(); // opens a chunk at the first value of its first row (SQLite)
    Outcome startChunk();
    void bindText(const QByteArray &utf8);

    Database &m_db;
    QString m_table;
    int m_columns;
    bool m_sqlite;
    bool m_postgres;
    int m_column = 0;      // the next column of the row being given
    int m_inChunk = 0;     // rows of the current chunk so far
    int m_written = 0;
    QString m_error;       // a misuse found while binding, reported by endRow
    // SQLite
    sqlite3_stmt *m_statement = nullptr;
    QByteArray m_now;
    // PostgreSQL: the row being given, and each column's kind and array elements so far
    std::vector<Value> m_values;
    std::vector<Kind> m_kinds;
    std::vector<QString> m_arrays;
    // SQL Server
    QString m_sql;
    QString m_row;
};

} // namespace verna::db

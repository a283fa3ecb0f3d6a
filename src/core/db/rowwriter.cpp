#include "db/rowwriter.h"

#include "db/database.h"
#include "db/sqlquote.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>
#include <sqlite3.h>
#include <utility>

namespace verna::db {

namespace {

sqlite3 *sqliteHandle(const QSqlDatabase &connection)
{
    const QVariant handle = connection.driver() ? connection.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Notes the connection's last error with its code, so that a full disk is told as one.
Outcome sqliteFailure(Database &db, sqlite3 *handle, int status)
{
    db.noteError(QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle)), QSqlError::StatementError, QString::number(status)));
    return Outcome::failure(db.lastError());
}

// An element of a PostgreSQL array literal: between double quotes, with backslashes and
// double quotes escaped, so that commas, braces, blanks and the word NULL stay text.
QString arrayElement(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

} // namespace

bool RowWriter::isDecimal(const QString &text)
{
    qsizetype i = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    const qsizetype digitsFrom = i;
    while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
        ++i;
    if (i == digitsFrom)
        return false;
    if (i == text.size())
        return true;
    if (text.at(i) != QLatin1Char('.'))
        return false;
    const qsizetype fractionFrom = ++i;
    while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
        ++i;
    return i > fractionFrom && i == text.size();
}

RowWriter::RowWriter(Database &db, const QString &table, int columns)
    : m_db(db)
    , m_table(table)
    , m_columns(columns)
    , m_sqlite(db.backend() == Backend::SQLite)
    , m_postgres(db.backend() == Backend::PostgreSQL)
{
    if (m_postgres) {
        m_values.reserve(static_cast<size_t>(columns));
        m_kinds.assign(static_cast<size_t>(columns), Kind::Null);
        m_arrays.resize(static_cast<size_t>(columns));
    }
}

RowWriter::~RowWriter()
{
    if (m_statement)
        sqlite3_finalize(m_statement);
}

void RowWriter::beginValue()
{
    if (m_column == 0 && m_inChunk == 0 && m_sqlite) {
        if (const Outcome o = startChunk(); !o)
            m_error = o.error;
    }
}

Outcome RowWriter::startChunk()
{
    if (!m_db.admitStatement())
        return Outcome::failure(m_db.lastError());
    // The text SQLite's CURRENT_TIMESTAMP gives, taken once per chunk.
    m_now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    if (m_statement)
        return Outcome::success();
    sqlite3 *handle = sqliteHandle(m_db.connection());
    if (!handle)
        return Outcome::failure(QStringLiteral("Databázový soubor není otevřen."));
    // One row per statement: OR FAIL leaves nothing of a refused row either way, and spares the
    // statement journal a table with triggers would otherwise keep for every row.
    QString sql = QStringLiteral("INSERT OR FAIL INTO ") + m_table + QStringLiteral(" VALUES (?");
    for (int c = 1; c < m_columns; ++c)
        sql += QStringLiteral(",?");
    sql += QLatin1Char(')');
    if (const int status = sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &m_statement, nullptr); status != SQLITE_OK) {
        m_statement = nullptr;
        return sqliteFailure(m_db, handle, status);
    }
    return Outcome::success();
}

RowWriter &RowWriter::integer(qint64 value)
{
    beginValue();
    if (m_sqlite) {
        if (m_statement && m_error.isEmpty())
            sqlite3_bind_int64(m_statement, m_column + 1, value);
    } else if (m_postgres) {
        addValue(Kind::Integer, QString::number(value));
        return *this;
    } else {
        m_row += (m_column ? QStringLiteral(",") : QString()) + QString::number(value);
    }
    ++m_column;
    return *this;
}

RowWriter &RowWriter::decimal(const QString &text)
{
    if (!isDecimal(text))
        return null();
    beginValue();
    if (m_sqlite) {
        // Bound as text, the column's REAL affinity converts it as SQLite converts a literal.
        bindText(text.toLatin1());
        return *this;
    }
    if (m_postgres) {
        addValue(Kind::Decimal, text);
        return *this;
    }
    m_row += (m_column ? QStringLiteral(",") : QString()) + text;
    ++m_column;
    return *this;
}

RowWriter &RowWriter::text(const QString &value)
{
    beginValue();
    if (m_sqlite) {
        bindText(value.toUtf8());
        return *this;
    }
    if (m_postgres) {
        addValue(Kind::Text, arrayElement(value));
        return *this;
    }
    m_row += (m_column ? QStringLiteral(",") : QString()) + quoted(value);
    ++m_column;
    return *this;
}

RowWriter &RowWriter::null()
{
    beginValue();
    if (m_sqlite) {
        if (m_statement && m_error.isEmpty())
            sqlite3_bind_null(m_statement, m_column + 1);
    } else if (m_postgres) {
        addValue(Kind::Null, QStringLiteral("NULL"));
        return *this;
    } else {
        m_row += m_column ? QStringLiteral(",NULL") : QStringLiteral("NULL");
    }
    ++m_column;
    return *this;
}

RowWriter &RowWriter::now()
{
    beginValue();
    if (m_sqlite) {
        bindText(m_now);
        return *this;
    }
    if (m_postgres) {
        addValue(Kind::Now, QString());
        return *this;
    }
    m_row += m_column ? QStringLiteral(",CURRENT_TIMESTAMP") : QStringLiteral("CURRENT_TIMESTAMP");
    ++m_column;
    return *this;
}

void RowWriter::addValue(Kind kind, const QString &literal)
{
    m_values.push_back({kind, literal});
    ++m_column;
}

void RowWriter::bindText(const QByteArray &utf8)
{
    if (m_statement && m_error.isEmpty())
        sqlite3_bind_text(m_statement, m_column + 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    ++m_column;
}

Outcome RowWriter::endRow()
{
    const int given = m_column;
    m_column = 0;
    if (given != m_columns) {
        m_row.clear();
        m_values.clear();
        return Outcome::failure(QStringLiteral("Řádek tabulky %1 má %2 hodnot místo %3.").arg(m_table).arg(given).arg(m_columns));
    }
    if (!m_error.isEmpty()) {
        m_inChunk = 0;
        return Outcome::failure(std::exchange(m_error, QString()));
    }
    if (m_postgres)
        return endPostgresRow();
    if (!m_sqlite) {
        if (m_inChunk == 0)
            m_sql = QStringLiteral("INSERT INTO ") + m_table + QStringLiteral(" VALUES (") + m_row + QLatin1Char(')');
        else
            m_sql += QStringLiteral(",(") + m_row + QLatin1Char(')');
        m_row.clear();
        ++m_inChunk;
        return m_inChunk >= rowsPerChunk() ? flush() : Outcome::success();
    }
    if (const int status = sqlite3_step(m_statement); status != SQLITE_DONE) {
        const Outcome failed = sqliteFailure(m_db, sqlite3_db_handle(m_statement), status);
        sqlite3_reset(m_statement);
        return failed;
    }
    sqlite3_reset(m_statement);
    ++m_written;
    if (++m_inChunk >= rowsPerChunk()) {
        m_inChunk = 0;
        m_db.idle();
    }
    return Outcome::success();
}

Outcome RowWriter::endPostgresRow()
{
    // A column takes one type per chunk: a row that does not fit the chunk starts the next one
    // (a NULL fits any column but one of CURRENT_TIMESTAMP).
    const auto fits = [](Kind chunk, Kind value) {
        if (value == Kind::Null)
            return chunk != Kind::Now;
        if (chunk == Kind::Null)
            return value != Kind::Now;
        const auto number = [](Kind k) { return k == Kind::Integer || k == Kind::Decimal; };
        return chunk == value || (number(chunk) && number(value));
    };
    for (size_t c = 0; c < m_values.size() && m_inChunk > 0; ++c) {
        if (!fits(m_kinds[c], m_values[c].kind)) {
            if (const Outcome o = sendPostgresChunk(); !o) {
                m_values.clear();
                return o;
            }
        }
    }
    for (size_t c = 0; c < m_values.size(); ++c) {
        Value &v = m_values[c];
        if (v.kind != Kind::Null && m_kinds[c] != Kind::Decimal)
            m_kinds[c] = v.kind;
        if (v.kind == Kind::Now)
            continue;
        if (m_inChunk > 0)
            m_arrays[c] += QLatin1Char(',');
        m_arrays[c] += v.literal;
    }
    m_values.clear();
    ++m_inChunk;
    return m_inChunk >= rowsPerChunk() ? sendPostgresChunk() : Outcome::success();
}

Outcome RowWriter::sendPostgresChunk()
{
    const int rows = std::exchange(m_inChunk, 0);
    const QString sql = postgresChunk(rows);
    m_kinds.assign(m_kinds.size(), Kind::Null);
    for (QString &array : m_arrays)
        array.clear();
    const Outcome started = m_db.startNative(sql);
    if (started)
        m_written += rows;
    return started;
}

// INSERT INTO t SELECT unnest('{…}'::bigint[]), CURRENT_TIMESTAMP, unnest('{…}'::text[]), …
// The arrays unnest side by side in the select list, streamed into the insert; unnest() in
// FROM would first copy each of them into a store of its own.
QString RowWriter::postgresChunk(int rowCount) const
{
    QStringList select;
    bool unnested = false;
    for (size_t c = 0; c < m_kinds.size(); ++c) {
        const auto array = [&](QLatin1StringView type) {
            unnested = true;
            return QStringLiteral("unnest(") + quoted(QLatin1Char('{') + m_arrays[c] + QLatin1Char('}')) + QStringLiteral("::") + type
                + QStringLiteral("[])");
        };
        switch (m_kinds[c]) {
        case Kind::Now:
            select << QStringLiteral("CURRENT_TIMESTAMP");
            break;
        case Kind::Null:
            // INSERT … SELECT gives an untyped NULL the column's type.
            select << QStringLiteral("NULL");
            break;
        case Kind::Integer:
            select << array(QLatin1StringView("bigint"));
            break;
        case Kind::Decimal:
            select << array(QLatin1StringView("numeric"));
            break;
        case Kind::Text:
            select << array(QLatin1StringView("text"));
            break;
        }
    }
    QString sql = QStringLiteral("INSERT INTO ") + m_table + QStringLiteral(" SELECT ") + select.join(QLatin1Char(','));
    if (!unnested)
        sql += QStringLiteral(" FROM generate_series(1, %1)").arg(rowCount);
    return sql;
}

Outcome RowWriter::flush()
{
    if (m_postgres) {
        if (m_inChunk > 0) {
            if (const Outcome o = sendPostgresChunk(); !o)
                return o;
        }
        return m_db.finishStarted();
    }
    if (m_sqlite || m_inChunk == 0)
        return Outcome::success();
    const int rows = std::exchange(m_inChunk, 0);
    const Outcome done = m_db.executeNative(m_sql);
    m_sql.clear();
    if (done)
        m_written += rows;
    return done;
}

} // namespace verna::db

#include "db/preparedquery.h"

#include "db/database.h"
#include "db/odbchandle.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

#include <charconv>
#include <limits>
#include <sqlext.h>

namespace verna::db {

namespace {

class SqliteRow : public PreparedRow
{
public:
    explicit SqliteRow(sqlite3_stmt *statement)
        : m_statement(statement)
    {
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_statement, column); }
    std::optional<double> number(int column) const override
    {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: return sqlite3_column_double(m_statement, column);
        case SQLITE_NULL: return std::nullopt;
        default: {
            bool ok = false;
            const double v = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column))).toDouble(&ok);
            return ok ? std::optional<double>(v) : std::nullopt;
        }
        }
    }
    QString text(int column) const override
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
                                 sqlite3_column_bytes(m_statement, column));
    }
    QByteArray ascii(int column) const override
    {
        // Valid while the statement stays on the row.
        return QByteArray::fromRawData(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
                                       sqlite3_column_bytes(m_statement, column));
    }
    QByteArray blob(int column) const override
    {
        return QByteArray::fromRawData(static_cast<const char *>(sqlite3_column_blob(m_statement, column)), sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt *m_statement;
};

class QueryRow : public PreparedRow
{
public:
    explicit QueryRow(const QSqlQuery &query)
        : m_query(query)
    {
    }
    qint64 integer(int column) const override { return m_query.value(column).toLongLong(); }
    std::optional<double> number(int column) const override
    {
        const QVariant v = m_query.value(column);
        bool ok = !v.isNull();
        const double d = ok ? (v.typeId() == QMetaType::QString ? v.toString().toDouble(&ok) : v.toDouble(&ok)) : 0;
        return ok ? std::optional<double>(d) : std::nullopt;
    }
    QString text(int column) const override { return m_query.value(column).toString(); }
    QByteArray ascii(int column) const override { return m_query.value(column).toString().toLatin1(); }

private:
    const QSqlQuery &m_query;
};

// A row of a statement run on the connection's ODBC handle. psqlODBC lets a row's columns be
// read in any order and again (SQL_GD_ANY_ORDER), which this relies on: it serves PostgreSQL only.
class OdbcRow : public PreparedRow
{
public:
    explicit OdbcRow(SQLHSTMT statement)
        : m_statement(statement)
    {
    }
    qint64 integer(int column) const override
    {
        SQLBIGINT value = 0;
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(m_statement, static_cast<SQLUSMALLINT>(column + 1), SQL_C_SBIGINT, &value, sizeof value, &indicator);
        return SQL_SUCCEEDED(rc) && indicator != SQL_NULL_DATA ? value : 0;
    }
    std::optional<double> number(int column) const override
    {
        bool null = false;
        const QByteArray digits = ascii(column, &null).trimmed();
        double value = 0;
        const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
        if (null || error != std::errc() || end != digits.constData() + digits.size())
            return std::nullopt;
        return value;
    }
    QString text(int column) const override
    {
        QString out;
        read<SQLWCHAR, 1024>(column, SQL_C_WCHAR, [&out](const SQLWCHAR *data, qsizetype size) {
            out += QStringView(reinterpret_cast<const char16_t *>(data), size);
        });
        return out;
    }
    QByteArray ascii(int column) const override { return ascii(column, nullptr); }

private:
    QByteArray ascii(int column, bool *null) const
    {
        QByteArray out;
        const bool read = this->read<char, 4096>(column, SQL_C_CHAR, [&out](const char *data, qsizetype size) { out.append(data, size); });
        if (null)
            *null = !read;
        return out;
    }

    // A column's text piece by piece, as long as the driver has more; false for NULL.
    template <typename Char, qsizetype Size>
    bool read(int column, SQLSMALLINT type, const std::function<void(const Char *, qsizetype)> &append) const
    {
        Char buffer[Size];
        SQLLEN indicator = 0;
        SQLRETURN rc;
        while (SQL_SUCCEEDED(rc = SQLGetData(m_statement, static_cast<SQLUSMALLINT>(column + 1), type, buffer, sizeof buffer, &indicator))) {
            if (indicator == SQL_NULL_DATA)
                return false;
            // A cut piece fills the buffer but for its terminating zero.
            const bool cut = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
            append(buffer, cut ? Size - 1 : static_cast<qsizetype>(indicator / static_cast<SQLLEN>(sizeof(Char))));
            if (rc == SQL_SUCCESS)
                break;
        }
        return true;
    }

    SQLHSTMT m_statement;
};

// The first diagnostic of a handle as the error QODBC would report (SQLSTATE as native code,
// so a lost link shows as class 08).
QSqlError odbcError(SQLSMALLINT type, SQLHANDLE handle)
{
    SQLWCHAR state[6] = {};
    SQLWCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length)))
        return QSqlError(QString(), QStringLiteral("Chyba ODBC"), QSqlError::StatementError);
    return QSqlError(QString(), QString::fromUtf16(reinterpret_cast<const char16_t *>(message), std::min<SQLSMALLINT>(length, 1023)),
                     QSqlError::StatementError, QString::fromUtf16(reinterpret_cast<const char16_t *>(state), 5));
}

// A statement handle freed by whoever lets go of it last: the caller, or the connection's thread
// when a call that waits on the server is left behind.
struct OdbcStatement {
    SQLHSTMT handle = SQL_NULL_HSTMT;
    SQLRETURN executed = SQL_ERROR;
    ~OdbcStatement()
    {
        if (handle)
            SQLFreeHandle(SQL_HANDLE_STMT, handle);
    }
};

// A plain statement on the connection's own ODBC handle: each field read straight from the
// driver, without a QVariant and a record per value (a fill reads tens of thousands).
Outcome odbcQuery(Database &database, SQLHANDLE connection, const QString &sql, const std::function<void(const PreparedRow &)> &rowSink)
{
    // A started statement ends before another is made on the connection.
    if (const Outcome started = database.finishStarted(); !started)
        return started;
    auto statement = std::make_shared<OdbcStatement>();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement->handle))) {
        statement->handle = SQL_NULL_HSTMT;
        database.noteError(odbcError(SQL_HANDLE_DBC, connection));
        return Outcome::failure(database.lastError());
    }
    // The rows are in the client once the statement returns (psqlODBC reads them all then).
    const Outcome waited = database.awaitServer(
        Database::ServerCall::Statement,
        [statement, sql] {
            statement->executed = SQLExecDirectW(statement->handle, const_cast<SQLWCHAR *>(reinterpret_cast<const SQLWCHAR *>(sql.utf16())),
                                                 static_cast<SQLINTEGER>(sql.size()));
        },
        [statement] { return cancelOdbcStatement(statement->handle, statement); });
    if (!waited) {
        database.idle();
        return waited;
    }
    SQLRETURN rc = statement->executed;
    if (SQL_SUCCEEDED(rc)) {
        const OdbcRow row(statement->handle);
        while (SQL_SUCCEEDED(rc = SQLFetch(statement->handle)))
            rowSink(row);
    }
    const QSqlError error = rc == SQL_NO_DATA ? QSqlError() : odbcError(SQL_HANDLE_STMT, statement->handle);
    statement.reset();
    database.idle();
    if (!error.isValid())
        return Outcome::success();
    database.noteError(error);
    return Outcome::failure(database.lastError());
}

sqlite3 *sqliteHandle(const QSqlDatabase &connection)
{
    const QVariant handle = connection.driver() ? connection.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

Outcome sqliteQuery(Database &database, sqlite3 *handle, const QString &sql, const QVariantList &values,
                    const std::function<void(const PreparedRow &)> &rowSink)
{
    sqlite3_stmt *statement = nullptr;
    int status = sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &statement, nullptr);
    for (int i = 0; status == SQLITE_OK && i < values.size(); ++i) {
        const QVariant &v = values.at(i);
        if (v.typeId() == QMetaType::QString) {
            const QByteArray text = v.toString().toUtf8();
            status = sqlite3_bind_text(statement, i + 1, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        } else {
            status = sqlite3_bind_int64(statement, i + 1, v.toLongLong());
        }
    }
    if (status == SQLITE_OK) {
        const SqliteRow row(statement);
        while ((status = sqlite3_step(statement)) == SQLITE_ROW)
            rowSink(row);
        if (status == SQLITE_DONE)
            status = SQLITE_OK;
    }
    const QString error = status == SQLITE_OK ? QString() : QString::fromUtf8(sqlite3_errmsg(handle));
    sqlite3_finalize(statement);
    database.idle();
    if (error.isEmpty())
        return Outcome::success();
    database.noteError(QSqlError(QString(), error, QSqlError::StatementError));
    return Outcome::failure(database.lastError());
}

// psqlODBC runs a statement with parameters as parse, execute and a separate deallocate: three
// round trips where a plain statement takes one. Integer values go into the text instead (the
// marks stand outside quotes in these statements); any other value keeps them all bound.
QVariantList spliceIntegers(QString &sql, const QVariantList &values)
{
    for (const QVariant &v : values) {
        if (v.typeId() != QMetaType::Int && v.typeId() != QMetaType::LongLong)
            return values;
    }
    QString out;
    out.reserve(sql.size() + values.size() * 8);
    qsizetype next = 0;
    bool quoted = false;
    for (const QChar c : std::as_const(sql)) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted && next < values.size())
            out += QString::number(values.at(next++).toLongLong());
        else
            out += c;
    }
    if (next != values.size())
        return values;
    sql = out;
    return {};
}

} // namespace

int idsPerStatement(Backend backend)
{
    return backend == Backend::PostgreSQL ? 5000 : 500;
}

namespace {

// The integers as one array literal of the columns' own type: an integer compared with a
// BIGINT array costs the server twice the whole scan, and a value past INTEGER matches no row
// anyway. Integers this code formatted: nothing in them to escape.
QString postgresArray(const QList<qint64> &values)
{
    QString array;
    for (qint64 v : values) {
        if (v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max())
            array += (array.isEmpty() ? QStringLiteral("{") : QStringLiteral(",")) + QString::number(v);
    }
    return QStringLiteral("CAST('") + (array.isEmpty() ? QStringLiteral("{}") : array + QLatin1Char('}')) + QStringLiteral("' AS INTEGER[])");
}

} // namespace

QString inList(Backend backend, const QString &column, const QList<qint64> &values, QVariantList &binds)
{
    if (backend == Backend::PostgreSQL)
        return column + QStringLiteral(" = ANY (") + postgresArray(values) + QLatin1Char(')');
    QString marks;
    for (qint64 v : values) {
        binds << v;
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    return column + QStringLiteral(" IN (") + marks + QLatin1Char(')');
}

QString inListLookedUp(Backend backend, const QString &column, const QList<qint64> &values, QVariantList &binds)
{
    if (backend != Backend::PostgreSQL)
        return inList(backend, column, values, binds);
    return column + QStringLiteral(" = ANY (ARRAY(SELECT unnest(") + postgresArray(values) + QStringLiteral(")))");
}

namespace {

Outcome queryPreparedOnce(Database &database, const QString &sql, const QVariantList &values, const std::function<void(const PreparedRow &row)> &rowSink)
{
    if (!database.readyForCall())
        return Outcome::failure(database.lastError());
    const QSqlDatabase connection = database.connection();
    if (sqlite3 *handle = database.backend() == Backend::SQLite ? sqliteHandle(connection) : nullptr)
        return sqliteQuery(database, handle, sql, values, rowSink);
    QString text = sql;
    QVariantList binds = values;
    if (database.backend() == Backend::PostgreSQL) {
        binds = spliceIntegers(text, values);
        if (SQLHANDLE handle = binds.isEmpty() ? odbcHandle(connection) : nullptr)
            return odbcQuery(database, handle, text, rowSink);
    }
    // The query belongs to the call until it returns: a call left behind keeps it alive.
    struct Call {
        QSqlQuery query;
        bool ok = false;
    };
    if (const Outcome started = database.finishStarted(); !started)
        return started;
    auto call = std::make_shared<Call>();
    call->query = QSqlQuery(connection);
    call->query.setForwardOnly(true);
    // Exact decimals from a server come as text, never through the driver's double.
    call->query.setNumericalPrecisionPolicy(QSql::HighPrecision);
    const Outcome waited = database.awaitServer(
        Database::ServerCall::Statement,
        [call, text, binds] {
            QSqlQuery &q = call->query;
            if (binds.isEmpty()) {
                call->ok = q.exec(text);
            } else {
                call->ok = q.prepare(text);
                for (const QVariant &value : binds)
                    q.addBindValue(value);
                call->ok = call->ok && q.exec();
            }
        },
        [call] { return cancelOdbcStatement(odbcStatementHandle(call->query), call); });
    if (!waited) {
        database.idle();
        return waited;
    }
    QSqlQuery q = std::move(call->query);
    bool ok = call->ok;
    const QueryRow row(q);
    while (ok && q.next())
        rowSink(row);
    ok = ok && !q.lastError().isValid();
    if (!ok)
        database.noteError(q.lastError());
    q.finish();
    database.idle();
    return ok ? Outcome::success() : Outcome::failure(database.lastError());
}

} // namespace

Outcome queryPrepared(Database &database, const QString &sql, const QVariantList &values, const std::function<void(const PreparedRow &row)> &rowSink)
{
    // A server restarted while the connection sat idle: the read runs again on a new one.
    Database::ReadRetry retry(database);
    bool delivered = false;
    const auto sink = [&](const PreparedRow &row) {
        delivered = true;
        rowSink(row);
    };
    for (;;) {
        const Outcome read = queryPreparedOnce(database, sql, values, sink);
        if (read || !retry.again(delivered))
            return read;
    }
}

} // namespace verna::db

#include "db/preparedquery.h"

#include "db/database.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

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

private:
    const QSqlQuery &m_query;
};

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

} // namespace

int idsPerStatement(Backend backend)
{
    return backend == Backend::PostgreSQL ? 5000 : 500;
}

QString inList(Backend backend, const QString &column, const QList<qint64> &values, QVariantList &binds)
{
    if (backend == Backend::PostgreSQL) {
        QString array;
        for (qint64 v : values)
            array += (array.isEmpty() ? QStringLiteral("{") : QStringLiteral(",")) + QString::number(v);
        binds << (array.isEmpty() ? QStringLiteral("{}") : array + QLatin1Char('}'));
        return column + QStringLiteral(" = ANY (CAST(? AS BIGINT[]))");
    }
    QString marks;
    for (qint64 v : values) {
        binds << v;
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    return column + QStringLiteral(" IN (") + marks + QLatin1Char(')');
}

Outcome queryPrepared(Database &database, const QString &sql, const QVariantList &values, const std::function<void(const PreparedRow &row)> &rowSink)
{
    if (!database.isOpen())
        return Outcome::failure(QStringLiteral("Databáze není připojena."));
    const QSqlDatabase connection = database.connection();
    if (sqlite3 *handle = database.backend() == Backend::SQLite ? sqliteHandle(connection) : nullptr)
        return sqliteQuery(database, handle, sql, values, rowSink);
    QSqlQuery q(connection);
    q.setForwardOnly(true);
    // Exact decimals from a server come as text, never through the driver's double.
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    bool ok = q.prepare(sql);
    for (const QVariant &value : values)
        q.addBindValue(value);
    ok = ok && q.exec();
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

} // namespace verna::db

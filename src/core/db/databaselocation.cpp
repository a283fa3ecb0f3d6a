#include "db/databaselocation.h"

#include <QDir>
#include <QStandardPaths>

#include <sql.h>
#include <sqlext.h>

namespace verna::db {

DatabaseLocation DatabaseLocation::file(const QString &path)
{
    DatabaseLocation l;
    l.kind = Kind::File;
    l.path = path;
    return l;
}

DatabaseLocation DatabaseLocation::odbc(const QString &dsn)
{
    DatabaseLocation l;
    l.kind = Kind::Odbc;
    l.dsn = dsn;
    return l;
}

QString DatabaseLocation::describe() const
{
    return kind == Kind::File ? QDir::toNativeSeparators(path) : QStringLiteral("odbc:") + dsn;
}

std::optional<DatabaseLocation> parseDatabaseOption(const QString &value)
{
    if (value.trimmed().isEmpty())
        return std::nullopt;
    if (value.startsWith(QLatin1String("odbc:"))) {
        const QString dsn = value.mid(5).trimmed();
        if (dsn.isEmpty())
            return std::nullopt;
        return DatabaseLocation::odbc(dsn);
    }
    return DatabaseLocation::file(value);
}

bool isOdbcDataSourceConfigured(const QString &dsn)
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                        sizeof description, &descriptionLength))) {
        direction = SQL_FETCH_NEXT;
        if (QString::fromUtf8(reinterpret_cast<const char *>(name), nameLength).compare(dsn, Qt::CaseInsensitive) == 0) {
            found = true;
            break;
        }
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

OdbcFailure classifyOdbcFailure(const QString &dsn, const QString &error)
{
    // The driver manager speaks when the data source or its driver cannot be found or loaded;
    // once the driver runs, a failure is the server's.
    if (!isOdbcDataSourceConfigured(dsn) || error.contains(QLatin1String("Driver Manager]"), Qt::CaseInsensitive))
        return OdbcFailure::NotConfigured;
    return OdbcFailure::ServerUnavailable;
}

QString embeddedDatabasePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(folder).filePath(QStringLiteral("verna.sqlite"));
}

DatabaseLocation defaultDatabaseLocation()
{
    if (isOdbcDataSourceConfigured(kDefaultDsn))
        return DatabaseLocation::odbc(kDefaultDsn);
    return DatabaseLocation::file(embeddedDatabasePath());
}

} // namespace verna::db

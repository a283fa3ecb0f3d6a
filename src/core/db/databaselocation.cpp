#include "db/databaselocation.h"

#include "db/odbcsources.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>

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
    const Result<QList<OdbcSource>> sources = odbcDataSources();
    return std::any_of(sources.value.cbegin(), sources.value.cend(),
                       [&dsn](const OdbcSource &source) { return source.name.compare(dsn, Qt::CaseInsensitive) == 0; });
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

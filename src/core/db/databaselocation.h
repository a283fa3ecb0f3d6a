#pragma once

#include <QString>
#include <optional>

namespace verna::db {

// Where the database is: an SQLite file or an ODBC data source.
struct DatabaseLocation {
    enum class Kind { File, Odbc };
    Kind kind = Kind::File;
    QString path; // SQLite file
    QString dsn;  // ODBC data source name
    QString user = QStringLiteral("dba");
    QString password = QStringLiteral("qxj");
    bool readOnly = false; // open the file for reading only, even where it could be written

    static DatabaseLocation file(const QString &path);
    static DatabaseLocation odbc(const QString &dsn);
    QString describe() const;
};

inline const QString kDefaultDsn = QStringLiteral("finance");

// The value of --db: "odbc:DSN" or a file path. Empty or malformed gives nothing.
std::optional<DatabaseLocation> parseDatabaseOption(const QString &value);

// Whether the ODBC driver manager knows the data source (user or system DSN).
bool isOdbcDataSourceConfigured(const QString &dsn);

// Why connecting to a data source failed: it (or its driver) is not set up on this machine,
// or it is and its server does not answer or refuses the login.
enum class OdbcFailure { NotConfigured, ServerUnavailable };
OdbcFailure classifyOdbcFailure(const QString &dsn, const QString &error);

// The embedded database file in the user's data folder.
QString embeddedDatabasePath();

// No option given: the data source "finance" when the machine has it, else the embedded file.
DatabaseLocation defaultDatabaseLocation();

} // namespace verna::db

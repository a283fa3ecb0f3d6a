#pragma once

#include "db/databaselocation.h"

#include <QString>

namespace verna::db {

// What a data source's entry in odbc.ini says about connecting (the driver manager's view:
// the user's and the system's entries). Only whether a password is there is kept, never it.
struct OdbcSourceEntry {
    QString server;  // psqlODBC's Servername (or Server), "" when not set
    QString port;
    QString database;
    QString user;    // Username or UID
    bool hasPassword = false; // Password or PWD
    bool integrated = false;  // the driver logs in by the operating system's account
    QString sslMode; // SSLmode / sslmode as written, "" when not set
};
OdbcSourceEntry odbcSourceEntry(const QString &dsn);

// The PostgreSQL password file libpq reads: PGPASSFILE, else ~/.pgpass.
QString passwordFilePath();
// Whether libpq would take a password for this server, port, database and user from the
// file: a line matches field by field ("*" matches anything; "\" escapes ":" and "\").
// A file readable by group or others is ignored, as libpq ignores it.
bool passwordFileHasEntry(const QString &file, const QString &host, const QString &port, const QString &database,
                          const QString &user);

// The login a data source needs at start.
struct LoginNeed {
    bool ask = false;  // no name or no password: the user types them
    QString user;      // the source's own name, "" when it has none
};
LoginNeed loginNeed(const OdbcSourceEntry &entry, const QString &passwordFile = passwordFilePath());
LoginNeed loginNeed(const QString &dsn);

// A location that logs in with what the data source (or the password file) gives: no name
// and password of the application's own are sent.
DatabaseLocation withSourceLogin(DatabaseLocation location);

// Why a login failed, read from the driver's text (psqlODBC reports every failed connection
// as 08001 and passes libpq's words on).
enum class LoginFailure { WrongLogin, ServerUnreachable, DatabaseMissing, Other };
LoginFailure classifyLoginFailure(const QString &driverText);
// One Czech sentence for the failure; the driver's text is shown under it by the caller.
QString loginFailureText(LoginFailure failure, const QString &dsn);

// Whether a host name or address is this machine: "", localhost, 127.0.0.0/8, ::1 and a
// Unix socket folder. Anything else is treated as remote (names are not looked up).
bool isLoopbackHost(const QString &host);
// Whether a session on this data source should be warned that nobody encrypts it: the server
// is remote and the connection is not encrypted.
bool warnsUnencrypted(const QString &host, bool encrypted);

} // namespace verna::db

#include "db/odbclogin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <odbcinst.h>
#include <sys/stat.h>

namespace verna::db {

namespace {

// One key of the data source's entry; the first of the spellings that is set.
QString entryValue(const QString &dsn, std::initializer_list<const char *> keys)
{
    const QByteArray section = dsn.toUtf8();
    for (const char *key : keys) {
        char value[1024] = {};
        const int length = SQLGetPrivateProfileString(section.constData(), key, "", value, sizeof value, "odbc.ini");
        if (length > 0 && value[0] != '\0')
            return QString::fromUtf8(value).trimmed();
    }
    return {};
}

bool isYes(const QString &value)
{
    return value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 || value == QLatin1String("1")
        || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// The fields of one line of the password file, with "\" escapes undone; the rest of the line
// after the fourth ":" is the password, whatever it holds.
QStringList passwordFileFields(const QString &line)
{
    QStringList fields;
    QString field;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size() && fields.size() < 4) {
            field += line.at(++i);
        } else if (c == QLatin1Char(':') && fields.size() < 4) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

bool matches(const QString &pattern, const QString &value)
{
    return pattern == QLatin1String("*") || pattern == value;
}

bool containsAny(const QString &text, std::initializer_list<const char *> words)
{
    for (const char *word : words) {
        if (text.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

OdbcSourceEntry odbcSourceEntry(const QString &dsn)
{
    SQLSetConfigMode(ODBC_BOTH_DSN);
    OdbcSourceEntry entry;
    entry.server = entryValue(dsn, {"Servername", "Server", "Host"});
    // SQL Server writes "tcp:host,port".
    if (entry.server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        entry.server = entry.server.mid(4);
    entry.server = entry.server.section(QLatin1Char(','), 0, 0).trimmed();
    entry.port = entryValue(dsn, {"Port"});
    entry.database = entryValue(dsn, {"Database"});
    entry.user = entryValue(dsn, {"Username", "UID", "User"});
    entry.hasPassword = !entryValue(dsn, {"Password", "PWD"}).isEmpty();
    entry.integrated = isYes(entryValue(dsn, {"Trusted_Connection"}));
    entry.sslMode = entryValue(dsn, {"SSLmode", "sslmode"});
    return entry;
}

QString passwordFilePath()
{
    const QString named = qEnvironmentVariable("PGPASSFILE");
    if (!named.isEmpty())
        return named;
    return QDir::home().filePath(QStringLiteral(".pgpass"));
}

bool passwordFileHasEntry(const QString &file, const QString &host, const QString &port, const QString &database,
                          const QString &user)
{
    struct stat status {};
    const QByteArray path = QFile::encodeName(file);
    if (path.isEmpty() || stat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode)
        || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return false;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    // libpq's defaults for what the data source leaves out; a socket is "localhost" there.
    const QString wantedHost = host.isEmpty() || host.startsWith(QLatin1Char('/')) ? QStringLiteral("localhost") : host;
    const QString wantedPort = port.isEmpty() ? QStringLiteral("5432") : port;
    const QString wantedDatabase = database.isEmpty() ? user : database;
    while (!in.atEnd()) {
        QString line = QString::fromUtf8(in.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = passwordFileFields(line);
        if (f.size() == 5 && matches(f[0], wantedHost) && matches(f[1], wantedPort) && matches(f[2], wantedDatabase)
            && matches(f[3], user))
            return !f[4].isEmpty();
    }
    return false;
}

LoginNeed loginNeed(const OdbcSourceEntry &entry, const QString &passwordFile)
{
    if (entry.integrated)
        return {false, entry.user};
    if (entry.user.isEmpty())
        return {true, {}};
    const bool known = entry.hasPassword
        || passwordFileHasEntry(passwordFile, entry.server, entry.port, entry.database, entry.user);
    return {!known, entry.user};
}

LoginNeed loginNeed(const QString &dsn)
{
    return loginNeed(odbcSourceEntry(dsn));
}

DatabaseLocation withSourceLogin(DatabaseLocation location)
{
    location.user.clear();
    location.password.clear();
    return location;
}

LoginFailure classifyLoginFailure(const QString &driverText)
{
    // Server texts first: "connection to server ... failed:" leads every one of them.
    if (containsAny(driverText, {"28P01", "28000", "password authentication failed", "authentication failed",
                                 "no password supplied", "pg_hba.conf", "Login failed for user"}))
        return LoginFailure::WrongLogin;
    if (containsAny(driverText, {"3D000", "Cannot open database"})
        || (driverText.contains(QLatin1String("database \""), Qt::CaseInsensitive)
            && driverText.contains(QLatin1String("does not exist"), Qt::CaseInsensitive)))
        return LoginFailure::DatabaseMissing;
    if (containsAny(driverText, {"could not connect", "Connection refused", "could not translate host name",
                                 "nemohu přeložit jméno hostitele", "timeout expired", "timed out", "No route to host",
                                 "Network is unreachable", "server closed the connection", "Is the server running",
                                 "Name or service not known"}))
        return LoginFailure::ServerUnreachable;
    return LoginFailure::Other;
}

QString loginFailureText(LoginFailure failure, const QString &dsn)
{
    switch (failure) {
    case LoginFailure::WrongLogin:
        return QStringLiteral("Nesprávné uživatelské jméno nebo heslo ke zdroji ODBC „%1“.").arg(dsn);
    case LoginFailure::ServerUnreachable:
        return QStringLiteral("Databázový server zdroje ODBC „%1“ není dostupný.").arg(dsn);
    case LoginFailure::DatabaseMissing:
        return QStringLiteral("Databáze zdroje ODBC „%1“ na serveru neexistuje.").arg(dsn);
    case LoginFailure::Other:
        break;
    }
    return QStringLiteral("K databázi zdroje ODBC „%1“ se nelze připojit.").arg(dsn);
}

bool isLoopbackHost(const QString &host)
{
    const QString h = host.trimmed();
    if (h.isEmpty() || h.startsWith(QLatin1Char('/')))
        return true;
    if (h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || h.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive)
        || h.compare(QLatin1String("localhost.localdomain"), Qt::CaseInsensitive) == 0)
        return true;
    QString address = h;
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    // 127.0.0.0/8, written as such or mapped into IPv6; ::1 in its short or long form.
    static const QRegularExpression v4(QStringLiteral("^(::ffff:)?127(\\.\\d{1,3}){3}$"),
                                       QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression v6(QStringLiteral("^(0{0,4}:){2,7}0{0,3}1$"));
    return v4.match(address).hasMatch() || v6.match(address).hasMatch();
}

bool warnsUnencrypted(const QString &host, bool encrypted)
{
    return !encrypted && !isLoopbackHost(host);
}

} // namespace verna::db

#include "db/database.h"

#include "db/audit.h"
#include "db/openfiles.h"

#include "db/eventpause.h"
#include "db/numbertext.h"
#include "db/odbcsources.h"
#include "db/odbchandle.h"
#include "db/rights.h"
#include "db/serverthread.h"
#include "db/sqlitefunctions.h"
#include "db/tsqltranslator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>

#include <cmath>
#include <deque>
#include <optional>
#include <thread>
#include <utility>

#include <sql.h>
#include <sqlext.h>

namespace verna::db {

namespace {

bool isNumericType(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::vector<bool> numericColumns(const QSqlRecord &record)
{
    std::vector<bool> numeric(record.count());
    for (int i = 0; i < record.count(); ++i)
        numeric[i] = isNumericType(record.field(i).metaType());
    return numeric;
}

// The database's own words; Qt's generic driver text ("Unable to execute statement") only
// when there are none.
QString errorText(const QSqlError &error)
{
    QString text = error.databaseText().simplified();
    if (text.isEmpty())
        text = error.driverText().simplified();
    if (text.isEmpty())
        text = QStringLiteral("neznámá chyba databáze");
    return text;
}

// A file path as an SQLite URI, so that opening an existing file never creates one.
QString sqliteUri(const QString &path, bool readOnly)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
        + (readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw"));
}

constexpr int kBusyTimeoutMs = 30000;

// SQLite's result code without its extended part; -1 for an error of another kind.
int sqliteCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;
}

constexpr int kSqliteIoErr = 10;
constexpr int kSqliteFull = 13;

// Why a path that exists cannot hold a database file, or "" when it is a regular file.
QString notARegularFile(const QFileInfo &info)
{
    if (info.isFile())
        return {};
    const QString what = !info.exists() ? QStringLiteral("je to odkaz, který nikam nevede")
        : info.isDir()                  ? QStringLiteral("je to složka")
                                        : QStringLiteral("je to zařízení nebo jiný zvláštní soubor");
    return QStringLiteral("%1 není obyčejný soubor (%2), a není to tedy soubor databáze.").arg(info.filePath(), what);
}

// The advisory lock every PostgreSQL write transaction holds ("VERN").
constexpr qint64 kWriterLock = 0x5645524E;

// After a lost connection that could not be opened again yet, the reason stays in view.
QString notConnected(bool lost, const QString &lastError)
{
    if (lost)
        return QStringLiteral("Spojení s databází bylo přerušeno a zatím je nelze obnovit (%1).").arg(lastError);
    return QStringLiteral("Databáze není připojena.");
}

const QString kReadOnly = QStringLiteral("Databáze je otevřena jen pro čtení; změny nelze uložit.");

bool isDiskFull(const QSqlError &error, Backend backend)
{
    // SQLSTATE 53100: disk_full on PostgreSQL.
    return backend == Backend::SQLite ? sqliteCode(error) == kSqliteFull : error.nativeErrorCode().startsWith(QLatin1String("53100"));
}

Backend odbcBackend(const QSqlDatabase &db)
{
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (SQLHANDLE hdbc = odbcHandle(db); hdbc && SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_DBMS_NAME, name, sizeof name, &length))) {
        const QString dbms = QString::fromUtf8(reinterpret_cast<const char *>(name));
        if (dbms.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive))
            return Backend::PostgreSQL;
        if (dbms.contains(QLatin1String("SQLite"), Qt::CaseInsensitive))
            return Backend::SQLite;
    }
    return Backend::SqlServer;
}

// The driver's own word on whether the link to the server is gone.
bool odbcConnectionDead(const QSqlDatabase &db)
{
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLHANDLE hdbc = odbcHandle(db);
    return hdbc && SQL_SUCCEEDED(SQLGetConnectAttr(hdbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE;
}

// A value for the ODBC connection string: one with separators or braces goes in braces, with
// a closing brace doubled, so a password such as "a;b}" reaches the driver as typed.
QString connectionValue(const QString &value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) && !value.contains(QLatin1Char('}'))
        && value.trimmed() == value)
        return value;
    QString braced = value;
    braced.replace(QLatin1Char('}'), QLatin1String("}}"));
    return QLatin1Char('{') + braced + QLatin1Char('}');
}

// How often a caller waiting on the server hears of it, and how long a cancelled call may take
// to return before its connection is given up.
constexpr std::chrono::milliseconds kWaitSlice{20};
constexpr std::chrono::milliseconds kCancelGrace{1000};
constexpr int kDefaultResponseLimitSeconds = 15;

QString waitedSeconds(std::chrono::milliseconds limit)
{
    return QString::number(std::ceil(limit.count() / 100.0) / 10.0, 'f', limit.count() % 1000 ? 1 : 0);
}

QString noAnswer(Database::ServerCall kind, std::chrono::milliseconds limit)
{
    const QString head = QStringLiteral("Databázový server neodpovídá ani po %1 s; ").arg(waitedSeconds(limit));
    switch (kind) {
    case Database::ServerCall::Connect:
        return head + QStringLiteral("spojení s databází nebylo navázáno.");
    case Database::ServerCall::Commit:
        return head + QStringLiteral("nelze zjistit, zda se změny uložily (uloží se buď všechny, nebo žádná).");
    case Database::ServerCall::Statement:
    case Database::ServerCall::Rollback:
        break;
    }
    return head + QStringLiteral("operace byla přerušena a v databázi nic nezměnila.");
}

QString stopped(Database::ServerCall kind)
{
    switch (kind) {
    case Database::ServerCall::Connect:
        return QStringLiteral("Připojování k databázi bylo zastaveno; spojení nebylo navázáno.");
    case Database::ServerCall::Commit:
        return QStringLiteral("Operace byla zastavena při ukládání změn; nelze zjistit, zda se uložily (uloží se buď "
                              "všechny, nebo žádná).");
    case Database::ServerCall::Statement:
    case Database::ServerCall::Rollback:
        break;
    }
    return QStringLiteral("Operace byla zastavena a v databázi nic nezměnila.");
}

// psqlODBC hands libpq options through: TCP keepalive notices a server that vanished while the
// connection was idle. Only for the PostgreSQL driver; QODBC puts "DSN=" before a plain name.
QString withKeepalive(const QString &dsn)
{
    const QString options = QStringLiteral(";pqopt={keepalives=1 keepalives_idle=30 keepalives_interval=10 keepalives_count=3}");
    if (dsn.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive))
        return dsn.contains(QLatin1String("psqlodbc"), Qt::CaseInsensitive) ? dsn + options : dsn;
    if (dsn.contains(QLatin1Char(';')) || dsn.contains(QLatin1Char('=')))
        return dsn;
    const Result<QList<OdbcSource>> sources = odbcDataSources();
    for (const OdbcSource &source : sources.value) {
        if (source.name.compare(dsn, Qt::CaseInsensitive) == 0 && source.description.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive))
            return dsn + options;
    }
    return dsn;
}

} // namespace

// A QODBC statement handed to the connection's thread: the thread sets ok once the query returns.
struct ServerQuery {
    QSqlQuery query;
    bool ok = false;
};

// A listing's server-side cursor: batches read but not handed to its record set yet, the rows
// the last FETCH asked for, whether its transaction is open, and a failure met while the rest
// was read for another call.
struct ServerCursor {
    std::deque<QSqlQuery> batches;
    int requested = 0;
    bool open = true;
    QString error;
    QString connection; // the connection it lives on
};

namespace {

// A screenful first, then batches growing to a size whose round trip costs little beside it.
constexpr int kFirstBatch = 50;
constexpr int kLargestBatch = 5000;
const QString kCursorName = QStringLiteral("verna_listing");

} // namespace

std::chrono::milliseconds Database::configuredResponseLimit()
{
    bool ok = false;
    double seconds = qEnvironmentVariable("VERNA_LIMIT_ODPOVEDI").toDouble(&ok);
    if (!ok || seconds <= 0)
        seconds = QSettings().value(QStringLiteral("Databaze/LimitOdpovedi"), kDefaultResponseLimitSeconds).toDouble(&ok);
    if (!ok || seconds <= 0)
        seconds = kDefaultResponseLimitSeconds;
    return std::chrono::milliseconds(qRound64(seconds * 1000));
}

const QString Database::kBusyText = QStringLiteral("Databáze je zaneprázdněna probíhající operací (například importem "
                                                    "výkazů); zkuste to po jejím skončení.");

Database::Database(QObject *parent)
    : QObject(parent)
    , m_name(QStringLiteral("verna-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_responseLimit(configuredResponseLimit())
{
}

Database::~Database()
{
    close();
}

QSqlDatabase Database::connection() const
{
    return QSqlDatabase::database(m_name, false);
}

bool Database::readyForCall()
{
    // Another window's read let through by a wait (on the server, or in a transaction's work)
    // would run on the connection that work is using, or join its transaction.
    if (refuseGuest())
        return false;
    // A read of its own must not run inside an open listing's transaction: its failure there
    // would end the listing too.
    if (!m_listingCall)
        parkListing();
    reconnectIfLost();
    if (isOpen())
        return true;
    if (!m_lostReported || m_lastError.isEmpty())
        m_lastError = QStringLiteral("Databáze není připojena.");
    return false;
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_name) && connection().isOpen();
}

Outcome Database::open(const DatabaseLocation &location)
{
    if (refuseGuest())
        return Outcome::failure(kBusyText);
    close();
    m_location = location;
    m_lostReported = false;
    m_readOnly = false;
    m_createdFile = false;
    m_encrypted = false;
    if (location.kind == DatabaseLocation::Kind::File) {
        const Outcome opened = openFile(location);
        if (!opened)
            removeCreatedFile();
        return opened;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    db.setDatabaseName(withKeepalive(location.dsn));
    // Empty ones are not sent: the data source's own login (or a password file) applies.
    db.setUserName(connectionValue(location.user));
    db.setPassword(connectionValue(location.password));
    m_server = std::make_unique<ServerThread>();
    if (Outcome opened = openServerConnection(); !opened)
        return opened;
    m_backend = odbcBackend(connection());
    prepareServerSession();
    m_encrypted = readEncrypted();
    return Outcome::success();
}

void Database::prepareServerSession()
{
    // Compiling a plan pays off for statements that run for seconds. Reads here run for
    // milliseconds, yet on a large database their estimated cost crosses the compiler's
    // threshold, and each would wait up to half a second for it. A server without it refuses
    // the setting, which changes nothing.
    if (m_backend != Backend::PostgreSQL)
        return;
    QSqlQuery q;
    runOnDriver(q, QStringLiteral("SET jit = off"));
    // Text is quoted by doubling apostrophes alone: a backslash must stay a plain character
    // whatever the server's or the login's default.
    runOnDriver(q, QStringLiteral("SET standard_conforming_strings = on"));
}

bool Database::readEncrypted()
{
    QString sql;
    if (m_backend == Backend::PostgreSQL)
        sql = QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()");
    else if (m_backend == Backend::SqlServer)
        sql = QStringLiteral("SELECT encrypt_option FROM sys.dm_exec_connections WHERE session_id = @@SPID");
    else
        return false;
    // An answer that cannot be read counts as unencrypted: the warning errs on the safe side.
    QSqlQuery q;
    if (!runOnDriver(q, sql) || !q.next())
        return false;
    const QString value = q.value(0).toString().trimmed().toLower();
    return value == QLatin1String("1") || value == QLatin1String("true") || value == QLatin1String("t");
}

Outcome Database::openServerConnection()
{
    QSqlDatabase db = connection();
    // The driver's own login limit (psqlODBC: libpq's connect_timeout), beside this side's clock.
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(std::max<qint64>(1, (m_responseLimit.count() + 999) / 1000)));
    auto opened = std::make_shared<bool>(false);
    QElapsedTimer clock;
    clock.start();
    if (Outcome waited = awaitServer(ServerCall::Connect, [db, opened]() mutable { *opened = db.open(); }); !waited)
        return waited;
    if (*opened)
        return Outcome::success();
    // The driver's login limit ran out first: the same news as this side's clock.
    if (clock.elapsed() + kWaitSlice.count() >= m_responseLimit.count())
        return Outcome::failure(noAnswer(ServerCall::Connect, m_responseLimit));
    return Outcome::failure(errorText(db.lastError()));
}

Outcome Database::awaitServer(ServerCall kind, const std::function<void()> &call, const CancelCall &cancel)
{
    if (!m_server) {
        call();
        return Outcome::success();
    }
    // A rollback runs whatever became of the statement started before it.
    if (const Outcome started = finishStarted(); !started && kind != ServerCall::Rollback)
        return started;
    m_serverGaveUp = false;
    m_server->start(call);
    return awaitCall(kind, cancel);
}

Outcome Database::awaitCall(ServerCall kind, const CancelCall &cancel)
{
    if (m_server->wait(kWaitSlice))
        return Outcome::success();
    QElapsedTimer clock;
    clock.start();
    ++m_serverWaits;
    QString failure;
    std::chrono::milliseconds askedAt{0};
    bool abandoned = false;
    std::shared_ptr<std::atomic_bool> cancelled;
    while (!m_server->wait(kWaitSlice)) {
        const std::chrono::milliseconds waited(clock.elapsed() + kWaitSlice.count());
        const bool goOn = !m_waitHook.waiting || m_waitHook.waiting(waited);
        if (failure.isEmpty() && (!goOn || waited >= m_responseLimit)) {
            failure = goOn ? noAnswer(kind, m_responseLimit) : stopped(kind);
            askedAt = waited;
            if (cancel)
                cancelled = cancel();
        } else if (!failure.isEmpty() && waited - askedAt >= kCancelGrace) {
            abandonConnection(cancelled);
            abandoned = true;
            break;
        }
    }
    // The statement ended, but a cancel request still on its way would hit the connection's
    // next statement: wait for it within the same grace, else give the connection up.
    while (cancelled && !*cancelled && !abandoned) {
        const std::chrono::milliseconds waited(clock.elapsed());
        if (waited - askedAt >= kCancelGrace) {
            abandonConnection(cancelled);
            abandoned = true;
        } else {
            if (m_waitHook.waiting)
                m_waitHook.waiting(waited);
            std::this_thread::sleep_for(kWaitSlice);
        }
    }
    --m_serverWaits;
    if (m_waitHook.ended)
        m_waitHook.ended();
    if (failure.isEmpty() || (!cancel && !abandoned))
        return Outcome::success();
    m_lastError = failure;
    m_serverGaveUp = true;
    if (abandoned && m_depth > 0)
        m_abandonedTransaction = failure;
    return Outcome::failure(failure);
}

void Database::abandonConnection(const std::shared_ptr<std::atomic_bool> &cancelDone)
{
    // The old connection and its thread are never touched here again: the thread closes it
    // once the server answers (a transaction left open there is rolled back by the server).
    QSqlDatabase old = connection();
    const QString oldName = m_name;
    m_name = QStringLiteral("verna-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase::cloneDatabase(old, m_name);
    auto close = [old, oldName]() mutable {
        old.close();
        old = QSqlDatabase();
        QSqlDatabase::removeDatabase(oldName);
    };
    m_server->abandon([close, cancelDone]() mutable {
        if (!cancelDone || *cancelDone) {
            close();
            return;
        }
        // Closing frees the statements, and the cancel request still inside the driver would
        // touch a freed one. It returns once the server answers; the close waits for it on a
        // thread of its own, so that nobody else waits on a server that may never answer.
        std::thread([close, cancelDone]() mutable {
            while (!*cancelDone)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            close();
        }).detach();
    });
    m_server = std::make_unique<ServerThread>();
    // Lost, and told by the failed call itself: the next operation outside a transaction reopens.
    m_lostReported = true;
    m_lockedTables.clear();
}

Outcome Database::openFile(const DatabaseLocation &location)
{
    const QFileInfo info(location.path);
    const bool exists = info.exists() || info.isSymLink();
    if (exists) {
        if (const QString odd = notARegularFile(info); !odd.isEmpty())
            return Outcome::failure(odd);
    } else {
        if (!QDir().mkpath(info.absolutePath()))
            return Outcome::failure(QStringLiteral("Nelze vytvořit složku databáze: ") + info.absolutePath());
        // Created here rather than by SQLite, so that only a file this run made is ever removed
        // again (a second process starting at the same moment finds it there).
        QFile file(location.path);
        m_createdFile = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    // A file that cannot be written (or whose folder cannot take a journal) is still read.
    m_readOnly = location.readOnly || (exists && (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable()));
    if (Outcome opened = openSqlite(location.path, exists || m_createdFile, false); !opened)
        return opened;
    if (m_readOnly) {
        // A file in write-ahead-log mode is read through a -shm index that SQLite makes beside it.
        // Where nobody can make it (a read-only folder or mount), the file is read as it stands
        // (immutable): nobody is writing it then, as a writer keeps that index beside it.
        QSqlQuery probe(connection());
        const bool read = probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && probe.next();
        const int code = sqliteCode(probe.lastError());
        probe.finish();
        if (!read && (code == 8 /* SQLITE_READONLY */ || code == 14 /* SQLITE_CANTOPEN */)) {
            // Read as it stands, a file whose last write was cut short would show half of it.
            for (const char *suffix : {"-wal", "-journal"}) {
                const QString unfinished = location.path + QLatin1String(suffix);
                if (QFileInfo(unfinished).size() > 0)
                    return Outcome::failure(QStringLiteral("Vedle databáze leží soubor %1 s nedokončenými změnami; bez zápisu do "
                                                           "složky databáze je nelze dokončit ani vrátit, a databázi proto nelze "
                                                           "přečíst.").arg(unfinished));
            }
            if (Outcome opened = openSqlite(location.path, true, true); !opened)
                return opened;
        }
    }
    return Outcome::success();
}

Outcome Database::openSqlite(const QString &path, bool exists, bool immutable)
{
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    if (exists) {
        db.setDatabaseName(sqliteUri(path, m_readOnly) + (immutable ? QStringLiteral("&immutable=1") : QString()));
        options += QStringLiteral(";QSQLITE_OPEN_URI");
    } else {
        db.setDatabaseName(path);
    }
    if (m_readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        return Outcome::failure(errorText(db.lastError()));
    noteOpenDatabaseFile(path);
    m_fileNoted = true;
    m_backend = Backend::SQLite;
    if (!registerSqliteFunctions(db))
        return Outcome::failure(QStringLiteral("Nelze připravit databázi SQLite."));
    // Nothing here writes to the file: it may not be VERNA's (useWriteAheadLog does, later).
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // Searches over a large file come back to the same index pages: 32 MiB of cache keeps
    // them where SQLite's default 2 MiB reads them from the file again.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size=-32768"));
    return Outcome::success();
}

void Database::trimWriteAheadLog()
{
    if (m_backend != Backend::SQLite || m_readOnly || m_depth > 0 || !isOpen())
        return;
    // A reader of another process holds the log for as long as its read lasts: wait for it
    // briefly, and leave the log as it is when it takes longer.
    QSqlQuery q(connection());
    q.exec(QStringLiteral("PRAGMA busy_timeout=1000"));
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(kBusyTimeoutMs));
}

void Database::removeCreatedFile()
{
    if (!m_createdFile)
        return;
    const QString path = m_location.path;
    close();
    m_createdFile = false;
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

void Database::useWriteAheadLog()
{
    if (m_backend == Backend::SQLite && !m_readOnly && m_depth == 0 && isOpen())
        QSqlQuery(connection()).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
}

void Database::close()
{
    if (!QSqlDatabase::contains(m_name) || refuseGuest())
        return;
    // A statement still running is awaited; its failure means nothing to a closing connection.
    if (const Outcome started = finishStarted(); !started)
        m_lastError = started.error;
    // A listing still being read is cut off by the close: its reader hears so.
    if (const std::shared_ptr<ServerCursor> listing = m_listing.lock(); listing && listing->open) {
        listing->open = false;
        listing->error = QStringLiteral("Databáze není připojena.");
        m_listing.reset();
    }
    {
        QSqlDatabase db = connection();
        if (db.isOpen()) {
            if (m_depth > 0)
                rollbackTransaction();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_name);
    m_server.reset();
    m_abandonedTransaction.clear();
    if (m_fileNoted)
        forgetOpenDatabaseFile(m_location.path);
    m_fileNoted = false;
    m_depth = 0;
}

void Database::idle()
{
    if (m_idleHook)
        m_idleHook();
}

void Database::noteError(const QSqlError &error)
{
    m_lastError = errorText(error);
    if (isDiskFull(error, m_backend)) {
        // Only the write is lost: its transaction rolls back and the connection stays.
        m_lastError = QStringLiteral("Na disku s databází došlo volné místo; změny nebyly uloženy (%1)").arg(m_lastError);
        return;
    }
    // Qt calls every failed step of SQLite a connection error; an open file has no link to lose.
    // SQLSTATE class 08: the link to the server is gone.
    const bool lost = !connection().isOpen()
        || (m_backend != Backend::SQLite
            && (error.type() == QSqlError::ConnectionError || error.nativeErrorCode().startsWith(QLatin1String("08"))
                || odbcConnectionDead(connection())));
    if (m_backend == Backend::SQLite && sqliteCode(error) == kSqliteIoErr)
        m_lastError = QStringLiteral("Soubor databáze nelze číst ani do něj zapisovat (%1)").arg(m_lastError);
    if (lost)
        m_lastError = QStringLiteral("%1 (%2)").arg(kConnectionLostText, m_lastError);
    if (lost && !m_lostReported) {
        m_lostReported = true;
        if (m_quietReads > 0)
            m_unannouncedLoss = m_lastError;
        else
            emit connectionLost(m_lastError);
    }
}

Database::ReadRetry::ReadRetry(Database &database)
    : m_db(database)
    , m_armed(database.m_depth == 0 && !database.m_lostReported && database.m_location.kind == DatabaseLocation::Kind::Odbc)
{
    if (m_armed)
        ++m_db.m_quietReads;
}

Database::ReadRetry::~ReadRetry()
{
    if (!m_armed)
        return;
    --m_db.m_quietReads;
    if (m_db.m_quietReads == 0 && !m_db.m_unannouncedLoss.isEmpty())
        emit m_db.connectionLost(std::exchange(m_db.m_unannouncedLoss, QString()));
}

bool Database::ReadRetry::again(bool delivered)
{
    if (!m_armed || !m_db.m_lostReported || delivered || m_db.m_serverGaveUp)
        return false;
    m_db.reconnectIfLost();
    if (m_db.m_lostReported)
        return false;
    // Open again: the loss needs no word, and the read runs once more, this time announcing.
    m_db.m_unannouncedLoss.clear();
    m_armed = false;
    --m_db.m_quietReads;
    return true;
}

bool Database::execRaw(const QString &sql)
{
    QSqlQuery q;
    return exec(q, sql);
}

bool Database::beginTransaction()
{
    return begin(true);
}

bool Database::refusesCallsNow() const
{
    return m_serverWaits > 0 || (m_depth > 0 && EventPause::depth() > m_ownerPause);
}

bool Database::refuseGuest()
{
    if (!refusesCallsNow())
        return false;
    m_lastError = kBusyText;
    return true;
}

bool Database::begin(bool forWriting)
{
    // A guest would join the transaction of the work that let it run.
    if (refuseGuest())
        return false;
    if (m_depth > 0) {
        ++m_depth;
        return true;
    }
    parkListing();
    if (const Outcome started = finishStarted(); !started)
        return false;
    reconnectIfLost();
    if (m_server && !isOpen()) {
        m_lastError = notConnected(m_lostReported, m_lastError);
        return false;
    }
    if (forWriting && m_readOnly) {
        m_lastError = kReadOnly;
        return false;
    }
    bool ok = false;
    if (m_backend == Backend::SQLite) {
        // IMMEDIATE takes the write lock up front, so two processes computing min(key)-1
        // cannot both read the same minimum. Reads need no lock and keep writers waiting less.
        ok = execRaw(forWriting ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN DEFERRED"));
    } else {
        ok = connection().transaction();
        if (!ok)
            noteError(connection().lastError());
        // One writer at a time, as on SQLite: writes that lock their tables statement by
        // statement in different orders (mem then text, text then mem) can then never deadlock.
        // The same statement marks the transaction as VERNA's, which records its own changes.
        if (ok && forWriting && m_backend == Backend::PostgreSQL
            && !execRaw(QStringLiteral("SELECT pg_advisory_xact_lock(%1), %2").arg(kWriterLock).arg(audit::writerMarkExpression()))) {
            // A connection given up meanwhile has nothing left to roll back.
            if (m_abandonedTransaction.isEmpty() && !m_lostReported)
                endServerTransaction(false);
            ok = false;
        }
    }
    if (ok) {
        m_depth = 1;
        m_ownerPause = EventPause::depth();
        m_rollbackOnly = false;
        m_lockedTables.clear();
    }
    return ok;
}

bool Database::commitTransaction()
{
    if (m_depth == 0 || refuseGuest())
        return false;
    if (m_depth > 1) {
        --m_depth;
        return !m_rollbackOnly;
    }
    if (m_rollbackOnly) {
        rollbackTransaction();
        return false;
    }
    bool ok = false;
    if (m_backend == Backend::SQLite) {
        ok = execRaw(QStringLiteral("COMMIT"));
    } else if (m_abandonedTransaction.isEmpty()) {
        ok = endServerTransaction(true);
    }
    if (!ok) {
        rollbackTransaction();
        return false;
    }
    m_depth = 0;
    m_lockedTables.clear();
    return true;
}

void Database::rollbackTransaction()
{
    if (m_depth == 0 || refuseGuest())
        return;
    if (m_depth > 1) {
        --m_depth;
        m_rollbackOnly = true;
        return;
    }
    if (m_backend == Backend::SQLite)
        QSqlQuery(connection()).exec(QStringLiteral("ROLLBACK"));
    else if (m_abandonedTransaction.isEmpty())
        endServerTransaction(false);
    m_abandonedTransaction.clear();
    m_depth = 0;
    m_rollbackOnly = false;
    m_lockedTables.clear();
}

Outcome Database::serialiseWriters(const QString &table)
{
    if (m_depth == 0)
        return Outcome::failure(QStringLiteral("Zámek tabulky potřebuje transakci."));
    // SQLite transactions take the write lock at their start (BEGIN IMMEDIATE).
    if (m_backend != Backend::PostgreSQL || m_lockedTables.contains(table))
        return Outcome::success();
    if (!execRaw(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table)))
        return Outcome::failure(m_lastError);
    m_lockedTables << table;
    return Outcome::success();
}

void Database::failStatementForTesting(int n, bool asLostConnection)
{
    m_failAt = n;
    m_failAsLoss = asLostConnection;
    m_statementsRun = 0;
}

void Database::reconnectIfLost()
{
    // Never under a call that waits on the connection: a guest must not close it beneath that call.
    if (!m_lostReported || m_depth > 0 || m_location.kind == DatabaseLocation::Kind::File || refusesCallsNow())
        return;
    QSqlDatabase db = connection();
    db.close();
    if (const Outcome opened = openServerConnection(); opened) {
        m_lostReported = false;
        m_lockedTables.clear();
        prepareServerSession();
    } else {
        m_lastError = opened.error;
    }
}

bool Database::admitStatement()
{
    if (refuseGuest())
        return false;
    if (!m_listingCall)
        parkListing();
    if (const int n = ++m_statementsRun; n == m_failAt) {
        m_failAt = 0;
        m_lastError = QStringLiteral("zkušební porucha příkazu %1").arg(n);
        if (m_failAsLoss) {
            m_lastError = QStringLiteral("%1 (%2)").arg(kConnectionLostText, m_lastError);
            emit connectionLost(m_lastError);
        }
        return false;
    }
    return true;
}

bool Database::exec(QSqlQuery &q, const QString &sql)
{
    return admitStatement() && runOnDriver(q, sql);
}

bool Database::runOnDriver(QSqlQuery &q, const QString &sql)
{
    if (!m_abandonedTransaction.isEmpty()) {
        m_lastError = m_abandonedTransaction;
        return false;
    }
    if (!m_server) {
        q = QSqlQuery(connection());
        q.setForwardOnly(true);
        if (q.exec(sql))
            return true;
        noteError(q.lastError());
        return false;
    }
    // A started statement ends before another query is made on the connection.
    if (const Outcome started = finishStarted(); !started)
        return false;
    // The query belongs to the call until it returns: a call left behind keeps it alive.
    auto call = std::make_shared<ServerQuery>();
    call->query = QSqlQuery(connection());
    call->query.setForwardOnly(true);
    // Exact decimals from a server come as text and are normalised, never through double.
    call->query.setNumericalPrecisionPolicy(QSql::HighPrecision);
    const Outcome waited = awaitServer(
        ServerCall::Statement, [call, sql] { call->ok = call->query.exec(sql); },
        [call] { return cancelOdbcStatement(odbcStatementHandle(call->query), call); });
    if (!waited)
        return false;
    q = std::move(call->query);
    if (call->ok)
        return true;
    noteError(q.lastError());
    // The user's role does not allow the statement: say so, whatever the server's language.
    if (m_backend != Backend::SQLite && isInsufficientPrivilege(q))
        m_lastError = insufficientPrivilegeText(errorText(q.lastError()));
    return false;
}

bool Database::endServerTransaction(bool commit)
{
    QSqlDatabase db = connection();
    auto ended = std::make_shared<bool>(false);
    const Outcome waited = awaitServer(commit ? ServerCall::Commit : ServerCall::Rollback,
                                       [db, ended, commit]() mutable { *ended = commit ? db.commit() : db.rollback(); });
    if (!waited)
        return false;
    if (!*ended)
        noteError(db.lastError());
    return *ended;
}

RecordSet Database::openTranslated(const QString &sql)
{
    RecordSet rs;
    rs.m_db = this;
    if (!exec(rs.m_query, sql)) {
        rs.m_error = m_lastError;
        idle();
        return rs;
    }
    rs.m_numeric = numericColumns(rs.m_query.record());
    rs.m_active = true;
    return rs;
}

Outcome Database::runStatement(const tsql::Translation &t, const RowSink &rowSink)
{
    auto failed = [](const QString &detail) { return Outcome::failure(QStringLiteral("Příkaz SQL selhal: ") + detail); };
    if (m_backend == Backend::PostgreSQL) {
        // Key computation and insert are serialised per table for concurrent writers.
        for (const QString &table : t.keyTables) {
            if (Outcome locked = serialiseWriters(table); !locked)
                return failed(locked.error);
        }
    }
    RecordSet rs = openTranslated(t.sql);
    if (!rs.error().isEmpty())
        return failed(rs.error());
    if (rowSink && rs.m_query.isSelect()) {
        while (rs.next())
            rowSink(rs.row());
        if (!rs.error().isEmpty())
            return failed(rs.error());
    }
    return Outcome::success();
}

namespace {

// The statements of a batch, translated and checked as a whole before any of them runs.
struct Plan {
    std::vector<tsql::Translation> statements;
    bool readOnly = true;
    QString refusal;
};

// SQLite would end the statement at a NUL and PostgreSQL cannot store one: such a text is
// refused before any SQL is built from it, on every backend alike.
const QString kNulRefused = QStringLiteral("Text obsahuje neplatný znak NUL (kód 0), který nelze uložit ani hledat; "
                                           "odstraňte jej. Nic nebylo provedeno.");

Plan plan(const QStringList &pieces, Backend backend)
{
    Plan p;
    int depth = 0;
    bool ended = false;
    for (const QString &piece : pieces) {
        if (tsql::hasUnclosedComment(piece)) {
            p.refusal = QStringLiteral("Příkaz „%1“ obsahuje neukončený komentář /*; nic nebylo provedeno.").arg(piece);
            return p;
        }
        const tsql::Translation t = tsql::translate(piece, backend);
        const tsql::StatementKind kind = tsql::classify(t.sql, backend);
        if (kind == tsql::StatementKind::Empty)
            continue;
        if (ended) {
            p.refusal = QStringLiteral("Za koncem transakce (COMMIT) dávka pokračuje dalšími příkazy: „%1“. Dávka se "
                                       "provádí jako jediná transakce; nic nebylo provedeno.").arg(piece);
            return p;
        }
        switch (kind) {
        case tsql::StatementKind::BeginTran:
            ++depth;
            continue;
        case tsql::StatementKind::CommitTran:
            // BEGIN TRAN ... COMMIT TRAN mark the batch's one transaction; nested pairs count.
            if (depth > 0)
                --depth;
            ended = depth == 0;
            continue;
        case tsql::StatementKind::TransactionControl:
            p.refusal = QStringLiteral("Dávka obsahuje příkaz řízení transakce, který v ní nelze provést: „%1“. "
                                       "Nic nebylo provedeno.").arg(piece);
            return p;
        case tsql::StatementKind::Several:
            p.refusal = QStringLiteral("Příkaz „%1“ obsahuje více příkazů; oddělte je novým řádkem nebo středníkem. "
                                       "Nic nebylo provedeno.").arg(piece);
            return p;
        case tsql::StatementKind::Variable:
            if (backend != Backend::SqlServer) {
                p.refusal = QStringLiteral("Proměnné T-SQL (DECLARE @...) tato databáze neprovádí.");
                return p;
            }
            p.readOnly = false;
            break;
        case tsql::StatementKind::Plain:
            p.readOnly = false;
            break;
        case tsql::StatementKind::Query:
        case tsql::StatementKind::Empty:
            break;
        }
        p.statements.push_back(t);
    }
    return p;
}

} // namespace

Outcome Database::execute(const QString &batch, const RowSink &rowSink)
{
    if (refuseGuest())
        return Outcome::failure(kBusyText);
    m_sharedSql = batch;
    reconnectIfLost();
    if (!isOpen())
        return Outcome::failure(notConnected(m_lostReported, m_lastError));
    if (batch.contains(QChar(0)))
        return Outcome::failure(kNulRefused);
    const Plan p = plan(tsql::splitBatch(batch), m_backend);
    if (!p.refusal.isEmpty())
        return Outcome::failure(p.refusal);
    if (p.statements.empty())
        return Outcome::success();

    // Only a batch of queries that has handed out no row yet may run again.
    std::optional<ReadRetry> retry;
    if (p.readOnly)
        retry.emplace(*this);
    bool delivered = false;
    const RowSink sink = !rowSink ? RowSink() : [&](const QStringList &row) {
        delivered = true;
        rowSink(row);
    };
    for (;;) {
        const Outcome result = runBatch(p.statements, !p.readOnly, sink);
        if (result || !retry || !retry->again(delivered))
            return result;
    }
}

Outcome Database::runBatch(const std::vector<tsql::Translation> &statements, bool forWriting, const RowSink &rowSink)
{
    if (!begin(forWriting))
        return Outcome::failure(m_lastError == kReadOnly ? kReadOnly : QStringLiteral("Transakci nelze zahájit: ") + m_lastError);
    Outcome result;
    for (const tsql::Translation &t : statements) {
        result = runStatement(t, rowSink);
        idle();
        if (!result)
            break;
    }
    if (!result) {
        rollbackTransaction();
        return result;
    }
    if (!commitTransaction())
        return Outcome::failure(QStringLiteral("Transakci nelze potvrdit: ") + m_lastError);
    return Outcome::success();
}

Outcome Database::executeNative(const QString &sql)
{
    if (sql.contains(QChar(0)))
        return Outcome::failure(kNulRefused);
    if (!execRaw(sql))
        return Outcome::failure(m_lastError);
    idle();
    return Outcome::success();
}

Outcome Database::startNative(const QString &sql)
{
    if (!m_server)
        return executeNative(sql);
    if (const Outcome before = finishStarted(); !before)
        return before;
    if (sql.contains(QChar(0)))
        return Outcome::failure(kNulRefused);
    if (!admitStatement())
        return Outcome::failure(m_lastError);
    if (!m_abandonedTransaction.isEmpty())
        return Outcome::failure(m_abandonedTransaction);
    auto call = std::make_shared<ServerQuery>();
    call->query = QSqlQuery(connection());
    call->query.setForwardOnly(true);
    m_serverGaveUp = false;
    m_server->start([call, sql] { call->ok = call->query.exec(sql); });
    m_started = std::move(call);
    return Outcome::success();
}

Outcome Database::finishStarted()
{
    if (!m_started)
        return Outcome::success();
    const std::shared_ptr<ServerQuery> call = std::exchange(m_started, nullptr);
    if (const Outcome waited = awaitCall(ServerCall::Statement, [call] { return cancelOdbcStatement(odbcStatementHandle(call->query), call); });
        !waited)
        return waited;
    if (!call->ok) {
        noteError(call->query.lastError());
        if (isInsufficientPrivilege(call->query))
            m_lastError = insufficientPrivilegeText(errorText(call->query.lastError()));
        return Outcome::failure(m_lastError);
    }
    idle();
    return Outcome::success();
}

RecordSet Database::openRecordSet(const QString &statement)
{
    reconnectIfLost();
    if (!isOpen()) {
        RecordSet rs;
        rs.m_db = this;
        rs.m_error = notConnected(m_lostReported, m_lastError);
        return rs;
    }
    if (statement.contains(QChar(0))) {
        RecordSet rs;
        rs.m_db = this;
        rs.m_error = kNulRefused;
        return rs;
    }
    const QStringList statements = tsql::splitBatch(statement);
    if (statements.size() != 1) {
        RecordSet rs;
        rs.m_db = this;
        rs.m_error = QStringLiteral("Dotaz musí být jediný příkaz, bez řízení transakce.");
        return rs;
    }
    const QString sql = tsql::translate(statements.front(), m_backend).sql;
    switch (tsql::classify(sql, m_backend)) {
    case tsql::StatementKind::Plain:
        return openTranslated(sql);
    case tsql::StatementKind::Query:
        return openQuery(sql);
    default: {
        // A read must not end or split the caller's transaction either.
        RecordSet rs;
        rs.m_db = this;
        rs.m_error = QStringLiteral("Dotaz musí být jediný příkaz, bez řízení transakce.");
        return rs;
    }
    }
}

Result<QString> Database::readValue(const QString &statement)
{
    RecordSet rs = openRecordSet(statement);
    if (!rs.isValid())
        return Result<QString>::failure(rs.error());
    Result<QString> out;
    if (rs.next())
        out.value = rs.text(0);
    if (!rs.error().isEmpty())
        return Result<QString>::failure(rs.error());
    return out;
}

Rows Database::queryRows(const QString &statement)
{
    Rows out;
    RecordSet rs = openRecordSet(statement);
    if (!rs.isValid()) {
        out.error = rs.error();
        return out;
    }
    while (rs.next())
        out.rows << rs.row();
    out.error = rs.error();
    return out;
}

RecordSet Database::openQuery(const QString &sql)
{
    ReadRetry retry(*this);
    for (;;) {
        RecordSet rs = openTranslated(sql);
        if (rs.error().isEmpty())
            return rs;
        // The failed statement goes before the connection is opened again.
        const QString error = rs.error();
        rs = RecordSet();
        if (!retry.again()) {
            rs.m_db = this;
            rs.m_error = error;
            return rs;
        }
    }
}

RecordSet Database::openNativeRecordSet(const QString &sql)
{
    RecordSet rs;
    rs.m_db = this;
    reconnectIfLost();
    if (!isOpen())
        rs.m_error = notConnected(m_lostReported, m_lastError);
    else if (sql.contains(QChar(0)))
        rs.m_error = kNulRefused;
    else if (tsql::classify(sql, m_backend) != tsql::StatementKind::Query)
        rs.m_error = QStringLiteral("Dotaz musí být jediný příkaz, bez řízení transakce.");
    else
        return openQuery(sql);
    return rs;
}

const QString Database::kListingSettings =
    QStringLiteral("SELECT set_config('cursor_tuple_fraction', '0.01', true)");

RecordSet Database::openListing(const QString &sql)
{
    if (m_backend != Backend::PostgreSQL || !m_server || m_depth > 0)
        return openNativeRecordSet(sql);
    RecordSet rs;
    rs.m_db = this;
    if (refuseGuest()) {
        rs.m_error = kBusyText;
        return rs;
    }
    parkListing(); // one cursor on the connection at a time
    reconnectIfLost();
    if (!isOpen()) {
        rs.m_error = notConnected(m_lostReported, m_lastError);
        return rs;
    }
    if (sql.contains(QChar(0)) || tsql::classify(sql, m_backend) != tsql::StatementKind::Query) {
        rs.m_error = sql.contains(QChar(0)) ? kNulRefused : QStringLiteral("Dotaz musí být jediný příkaz, bez řízení transakce.");
        return rs;
    }
    ReadRetry retry(*this);
    for (;;) {
        if (const Outcome started = finishStarted(); !started) {
            rs.m_error = started.error;
            return rs;
        }
        auto cursor = std::make_shared<ServerCursor>();
        cursor->connection = m_name;
        cursor->requested = kFirstBatch;
        QSqlDatabase db = connection();
        if (!db.transaction()) {
            noteError(db.lastError());
            rs.m_error = m_lastError;
            return rs;
        }
        m_listing = cursor;
        QSqlQuery q;
        if (listingStatement(*cursor, q, kListingSettings)
            && listingStatement(*cursor, q, QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR ").arg(kCursorName) + sql)
            && listingStatement(*cursor, q, QStringLiteral("FETCH %1 FROM %2").arg(kFirstBatch).arg(kCursorName))) {
            rs.m_numeric = numericColumns(q.record());
            rs.m_query = std::move(q);
            rs.m_active = true;
            rs.m_cursor = std::move(cursor);
            return rs;
        }
        const QString error = m_lastError;
        if (!retry.again()) {
            rs.m_error = error;
            return rs;
        }
    }
}

bool Database::listingStatement(ServerCursor &cursor, QSqlQuery &q, const QString &sql)
{
    bool ok = false;
    if (cursor.connection != m_name) {
        // The connection was given up meanwhile, and the cursor with it.
        m_lastError = QStringLiteral("%1 (výpis nelze dočíst).").arg(kConnectionLostText);
    } else {
        const bool outer = std::exchange(m_listingCall, true);
        ok = exec(q, sql);
        m_listingCall = outer;
    }
    if (!ok)
        closeListing(cursor);
    return ok;
}

void Database::closeListing(ServerCursor &cursor)
{
    if (!cursor.open)
        return;
    cursor.open = false;
    if (m_listing.lock().get() == &cursor)
        m_listing.reset();
    // A connection lost or given up took the transaction with it.
    if (cursor.connection != m_name || m_lostReported || !isOpen())
        return;
    const QString error = m_lastError;
    endServerTransaction(false);
    m_lastError = error;
}

bool Database::nextBatch(RecordSet &rs)
{
    ServerCursor &cursor = *rs.m_cursor;
    if (!cursor.batches.empty()) {
        rs.m_query = std::move(cursor.batches.front());
        cursor.batches.pop_front();
        rs.m_batchRows = 0;
        return true;
    }
    if (!cursor.error.isEmpty()) {
        rs.m_error = cursor.error;
        return false;
    }
    // A batch shorter than asked for was the last.
    if (!cursor.open || rs.m_batchRows < cursor.requested)
        return false;
    const int rows = std::min(cursor.requested * 4, kLargestBatch);
    QSqlQuery q;
    if (!listingStatement(cursor, q, QStringLiteral("FETCH %1 FROM %2").arg(rows).arg(kCursorName))) {
        rs.m_error = m_lastError;
        return false;
    }
    cursor.requested = rows;
    rs.m_query = std::move(q);
    rs.m_batchRows = 0;
    return true;
}

void Database::endListing(const std::shared_ptr<ServerCursor> &cursor)
{
    if (cursor)
        closeListing(*cursor);
}

void Database::parkListing()
{
    const std::shared_ptr<ServerCursor> cursor = m_listing.lock();
    if (!cursor || !cursor->open)
        return;
    QSqlQuery rest;
    const QString before = m_lastError;
    if (listingStatement(*cursor, rest, QStringLiteral("FETCH ALL FROM ") + kCursorName)) {
        cursor->batches.push_back(std::move(rest));
        closeListing(*cursor);
    } else {
        cursor->error = m_lastError;
    }
    m_lastError = before;
}

Result<QList<QVariantList>> Database::queryNative(const QString &sql)
{
    using Out = Result<QList<QVariantList>>;
    // Before the savepoint, which would reach the driver on its own.
    if (refuseGuest())
        return Out::failure(kBusyText);
    reconnectIfLost();
    if (!isOpen())
        return Out::failure(notConnected(m_lostReported, m_lastError));
    if (sql.contains(QChar(0)))
        return Out::failure(kNulRefused);
    // PostgreSQL aborts a transaction on its first failing statement; a failed read inside the
    // caller's transaction is undone to a savepoint so that the transaction lives on.
    QSqlQuery mark;
    const bool savepoint = m_backend == Backend::PostgreSQL && m_depth > 0 && runOnDriver(mark, QStringLiteral("SAVEPOINT verna_read"));
    Out out;
    QSqlQuery q;
    ReadRetry retry(*this);
    bool ok = exec(q, sql);
    if (!ok && !savepoint && tsql::classify(sql, m_backend) == tsql::StatementKind::Query) {
        q = QSqlQuery();
        if (retry.again())
            ok = exec(q, sql);
    }
    if (ok) {
        const int columns = q.record().count();
        while (q.next()) {
            QVariantList row;
            row.reserve(columns);
            for (int i = 0; i < columns; ++i)
                row << q.value(i);
            out.value << row;
        }
        if (q.lastError().isValid()) {
            noteError(q.lastError());
            ok = false;
        }
    }
    q.finish();
    if (savepoint) {
        const QString error = m_lastError;
        QSqlQuery undo;
        if (!ok)
            runOnDriver(undo, QStringLiteral("ROLLBACK TO SAVEPOINT verna_read"));
        runOnDriver(undo, QStringLiteral("RELEASE SAVEPOINT verna_read"));
        m_lastError = error;
    }
    idle();
    if (!ok)
        return Out::failure(m_lastError);
    return out;
}

} // namespace verna::db

#include "db/database.h"

#include "db/numbertext.h"
#include "db/sqlitefunctions.h"
#include "db/tsqltranslator.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

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

QString errorText(const QSqlError &error)
{
    QString text = error.text().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("neznámá chyba databáze");
    return text;
}

// The ODBC connection handle under a QODBC connection, or null.
SQLHANDLE odbcHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || handle.metaType().sizeOf() != sizeof(SQLHANDLE))
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
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

} // namespace

Database::Database(QObject *parent)
    : QObject(parent)
    , m_name(QStringLiteral("verna-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
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

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_name) && connection().isOpen();
}

Outcome Database::open(const DatabaseLocation &location)
{
    close();
    m_location = location;
    m_lostReported = false;
    if (location.kind == DatabaseLocation::Kind::File) {
        const QFileInfo info(location.path);
        if (!QDir().mkpath(info.absolutePath()))
            return Outcome::failure(QStringLiteral("Nelze vytvořit složku databáze: ") + info.absolutePath());
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(location.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        if (!db.open())
            return Outcome::failure(errorText(db.lastError()));
        m_backend = Backend::SQLite;
        if (!registerSqliteFunctions(db))
            return Outcome::failure(QStringLiteral("Nelze připravit databázi SQLite."));
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        return Outcome::success();
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    db.setDatabaseName(location.dsn);
    db.setUserName(location.user);
    db.setPassword(location.password);
    if (!db.open())
        return Outcome::failure(errorText(db.lastError()));
    m_backend = odbcBackend(db);
    return Outcome::success();
}

void Database::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = connection();
        if (db.isOpen()) {
            if (m_depth > 0)
                rollbackTransaction();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_name);
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
    const bool lost = error.type() == QSqlError::ConnectionError || !connection().isOpen()
        || (m_backend != Backend::SQLite && odbcConnectionDead(connection()));
    if (lost && !m_lostReported) {
        m_lostReported = true;
        emit connectionLost(m_lastError);
    }
}

bool Database::execRaw(const QString &sql)
{
    QSqlQuery q(connection());
    if (!q.exec(sql)) {
        noteError(q.lastError());
        return false;
    }
    return true;
}

bool Database::beginTransaction()
{
    if (m_depth > 0) {
        ++m_depth;
        return true;
    }
    bool ok = false;
    if (m_backend == Backend::SQLite) {
        // IMMEDIATE takes the write lock up front, so two processes computing min(key)-1
        // cannot both read the same minimum.
        ok = execRaw(QStringLiteral("BEGIN IMMEDIATE"));
    } else {
        ok = connection().transaction();
        if (!ok)
            noteError(connection().lastError());
    }
    if (ok) {
        m_depth = 1;
        m_rollbackOnly = false;
        m_lockedTables.clear();
    }
    return ok;
}

bool Database::commitTransaction()
{
    if (m_depth == 0)
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
    } else {
        ok = connection().commit();
        if (!ok)
            noteError(connection().lastError());
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
    if (m_depth == 0)
        return;
    if (m_depth > 1) {
        --m_depth;
        m_rollbackOnly = true;
        return;
    }
    if (m_backend == Backend::SQLite)
        QSqlQuery(connection()).exec(QStringLiteral("ROLLBACK"));
    else
        connection().rollback();
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

Outcome Database::runStatement(const QString &statement, const RowSink &rowSink)
{
    const tsql::Translation t = tsql::translate(statement, m_backend);
    if (m_backend == Backend::PostgreSQL) {
        // Key computation and insert are serialised per table for concurrent writers.
        for (const QString &table : t.keyTables) {
            if (Outcome locked = serialiseWriters(table); !locked)
                return locked;
        }
    }
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    if (m_backend != Backend::SQLite)
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!q.exec(t.sql)) {
        noteError(q.lastError());
        return Outcome::failure(m_lastError);
    }
    if (rowSink && q.isSelect()) {
        const std::vector<bool> numeric = numericColumns(q.record());
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < static_cast<int>(numeric.size()); ++i)
                row << valueText(q.value(i), numeric[i]);
            rowSink(row);
        }
        if (q.lastError().isValid()) {
            noteError(q.lastError());
            return Outcome::failure(m_lastError);
        }
    }
    return Outcome::success();
}

Outcome Database::execute(const QString &batch, const RowSink &rowSink)
{
    m_sharedSql = batch;
    if (!isOpen())
        return Outcome::failure(QStringLiteral("Databáze není připojena."));
    const QStringList statements = tsql::splitBatch(batch);
    if (statements.isEmpty())
        return Outcome::success();

    if (!beginTransaction())
        return Outcome::failure(m_lastError);
    Outcome result;
    for (const QString &statement : statements) {
        switch (tsql::classify(statement)) {
        case tsql::StatementKind::BeginTran:
        case tsql::StatementKind::CommitTran:
            continue; // the batch runs in one transaction anyway
        case tsql::StatementKind::RollbackTran:
            result = Outcome::failure(QStringLiteral("Dávka byla odvolána (ROLLBACK)."));
            break;
        case tsql::StatementKind::Variable:
            if (m_backend != Backend::SqlServer) {
                result = Outcome::failure(QStringLiteral("Proměnné T-SQL (DECLARE @...) tato databáze neprovádí."));
                break;
            }
            [[fallthrough]];
        case tsql::StatementKind::Plain:
            result = runStatement(statement, rowSink);
            break;
        }
        idle();
        if (!result)
            break;
    }
    if (!result) {
        rollbackTransaction();
        return result;
    }
    if (!commitTransaction())
        return Outcome::failure(m_lastError.isEmpty() ? QStringLiteral("Transakci nelze potvrdit.") : m_lastError);
    return Outcome::success();
}

Outcome Database::executeNative(const QString &sql)
{
    if (!execRaw(sql))
        return Outcome::failure(m_lastError);
    idle();
    return Outcome::success();
}

RecordSet Database::openRecordSet(const QString &statement)
{
    RecordSet rs;
    rs.m_db = this;
    if (!isOpen()) {
        rs.m_error = QStringLiteral("Databáze není připojena.");
        return rs;
    }
    const QStringList statements = tsql::splitBatch(statement);
    if (statements.size() != 1) {
        rs.m_error = QStringLiteral("Dotaz musí být jediný příkaz.");
        return rs;
    }
    const tsql::Translation t = tsql::translate(statements.front(), m_backend);
    rs.m_query = QSqlQuery(connection());
    rs.m_query.setForwardOnly(true);
    // Exact decimals from a server come as text and are normalised, never through double.
    if (m_backend != Backend::SQLite)
        rs.m_query.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!rs.m_query.exec(t.sql)) {
        noteError(rs.m_query.lastError());
        rs.m_error = m_lastError;
        idle();
        return rs;
    }
    rs.m_numeric = numericColumns(rs.m_query.record());
    rs.m_active = true;
    return rs;
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

} // namespace verna::db

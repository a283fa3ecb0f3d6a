// Bulk loading: the statement import and the demo generator against the plainest program that
// stores the same rows into the same schema: on SQLite one using the sqlite3 C API (prepared
// statements, one transaction, the connection settings VERNA uses), on PostgreSQL psql's COPY
// FROM STDIN in one transaction.
#include "benchmarks.h"

#include "db/database.h"
#include "db/schema.h"
#include "db/databaselocation.h"
#include "db/sqlquote.h"
#include "shell/demodata.h"
#include "shell/startup.h"
#include "statements/statementimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <functional>
#include <sqlite3.h>
#include <vector>

using namespace verna;

namespace {

// About 10,000 statement pairs (eight quarters, a few companies start later): a CSV of some
// 36 MB, half the largest file the import reads.
constexpr int kImportEntities = 1300;
// About a million lines of statements.
constexpr int kDemoEntities = 1000;
// The national sizes: about 100,000 statement pairs, and a demo of tens of seconds.
constexpr int kNationalImportEntities = 13000;
constexpr int kNationalDemoEntities = 3000;

// The sizes and the fixtures' names of one run.
struct BulkSizes {
    QString prefix; // of the fixture files
    int importEntities;
    int demoEntities;
};

shell::DemoOptions bulkDemo(int entities)
{
    shell::DemoOptions demo;
    demo.entities = entities;
    demo.firstYear = 2000;
    demo.lastYear = 2001;
    return demo;
}

// One stored value with its storage class, as the plain program binds it.
struct Value {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    QByteArray text;
};

struct TableRows {
    QByteArray table;
    int columns = 0;
    std::vector<std::vector<Value>> rows;
};

QString sqliteError(sqlite3 *handle)
{
    return QString::fromUtf8(sqlite3_errmsg(handle));
}

// The rows of the tables that one file holds beyond another (its rowids past the other's last).
bool newRows(const QString &before, const QString &after, const QList<QByteArray> &tables, std::vector<TableRows> &out, QString &error)
{
    sqlite3 *old = nullptr;
    sqlite3 *now = nullptr;
    bool ok = sqlite3_open_v2(before.toUtf8().constData(), &old, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_open_v2(after.toUtf8().constData(), &now, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    for (const QByteArray &table : tables) {
        if (!ok)
            break;
        sqlite3_stmt *s = nullptr;
        sqlite3_int64 last = 0;
        ok = sqlite3_prepare_v2(old, "SELECT COALESCE(max(rowid), 0) FROM " + table, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW;
        if (ok)
            last = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        ok = ok && sqlite3_prepare_v2(now, "SELECT * FROM " + table + " WHERE rowid > ?1 ORDER BY rowid", -1, &s, nullptr) == SQLITE_OK;
        if (!ok)
            break;
        sqlite3_bind_int64(s, 1, last);
        TableRows rows{table, sqlite3_column_count(s), {}};
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::vector<Value> row(static_cast<size_t>(rows.columns));
            for (int c = 0; c < rows.columns; ++c) {
                Value &v = row[static_cast<size_t>(c)];
                v.type = sqlite3_column_type(s, c);
                if (v.type == SQLITE_INTEGER)
                    v.integer = sqlite3_column_int64(s, c);
                else if (v.type == SQLITE_FLOAT)
                    v.real = sqlite3_column_double(s, c);
                else if (v.type != SQLITE_NULL)
                    v.text = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, c)), sqlite3_column_bytes(s, c));
            }
            rows.rows.push_back(std::move(row));
        }
        sqlite3_finalize(s);
        out.push_back(std::move(rows));
    }
    if (!ok)
        error = sqliteError(old && sqlite3_errcode(old) != SQLITE_OK ? old : now);
    sqlite3_close(old);
    sqlite3_close(now);
    return ok;
}

struct Timing {
    qint64 cpuNs = -1;
    qint64 wallNs = 0;
};

// The plain program: every row through one prepared insert per table, in one transaction, with
// the connection's settings and the insert's conflict clause VERNA uses (which keeps SQLite from
// journalling each row of a table with triggers).
Timing plainInsert(const QString &file, const std::vector<TableRows> &tables, QString &error)
{
    Timing out;
    const Stopwatch timer;
    sqlite3 *handle = nullptr;
    bool ok = sqlite3_open_v2(file.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && sqlite3_exec(handle, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-32768; BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const TableRows &t : tables) {
        if (!ok)
            break;
        QByteArray sql = "INSERT OR FAIL INTO " + t.table + " VALUES (?";
        for (int c = 1; c < t.columns; ++c)
            sql += ",?";
        sql += ")";
        sqlite3_stmt *s = nullptr;
        ok = sqlite3_prepare_v2(handle, sql.constData(), -1, &s, nullptr) == SQLITE_OK;
        for (size_t r = 0; ok && r < t.rows.size(); ++r) {
            const std::vector<Value> &row = t.rows[r];
            for (int c = 0; c < t.columns; ++c) {
                const Value &v = row[static_cast<size_t>(c)];
                if (v.type == SQLITE_INTEGER)
                    sqlite3_bind_int64(s, c + 1, v.integer);
                else if (v.type == SQLITE_FLOAT)
                    sqlite3_bind_double(s, c + 1, v.real);
                else if (v.type == SQLITE_NULL)
                    sqlite3_bind_null(s, c + 1);
                else
                    sqlite3_bind_text(s, c + 1, v.text.constData(), static_cast<int>(v.text.size()), SQLITE_STATIC);
            }
            ok = sqlite3_step(s) == SQLITE_DONE;
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
    }
    ok = ok && sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        error = sqliteError(handle);
    sqlite3_close(handle);
    out.wallNs = timer.wallNs();
    out.cpuNs = ok ? timer.cpuNs() : -1;
    return out;
}

bool copyFile(const QString &from, const QString &to)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(to + QLatin1String(suffix));
    return QFile::copy(from, to);
}

qint64 rowCount(const std::vector<TableRows> &tables)
{
    qint64 n = 0;
    for (const TableRows &t : tables)
        n += static_cast<qint64>(t.rows.size());
    return n;
}

QString perSecond(qint64 rows, qint64 ns)
{
    return QString::number(qRound64(rows * 1e9 / std::max<qint64>(ns, 1))) + QStringLiteral(" rows/s");
}

void compare(BenchContext &context, const QString &name, qint64 rows, const Timing &verna, const Timing &plain, const QString &what)
{
    const double ratio = static_cast<double>(verna.cpuNs) / static_cast<double>(std::max<qint64>(plain.cpuNs, 1));
    context.table.check(name, QStringLiteral("< 2× plain sqlite3"), QStringLiteral("%1×").arg(ratio, 0, 'f', 2), ratio < 2.0,
                        QStringLiteral("%1; VERNA %2 (%3 ms CPU, %4 ms wall), plain %5 (%6 ms CPU)")
                            .arg(what, perSecond(rows, verna.cpuNs))
                            .arg(verna.cpuNs / 1000000)
                            .arg(verna.wallNs / 1000000)
                            .arg(perSecond(rows, plain.cpuNs))
                            .arg(plain.cpuNs / 1000000));
}

// The statements of the fixture's companies as an import file in the long layout.
bool writeImportFile(const QString &database, const QString &csv, QString &error)
{
    sqlite3 *handle = nullptr;
    sqlite3_stmt *s = nullptr;
    bool ok = sqlite3_open_v2(database.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(handle,
                              "SELECT i.ident_txt, s.year_dt, s.quarter_dt, s.stmt_type_cd, s.fill_lvl_ind, t.item_type_cd, "
                              "CAST(t.amt_val AS INTEGER) FROM finl_stmt s JOIN ident i ON i.subj_id = s.subj_id JOIN finl_item t "
                              "ON t.finl_stmt_id = s.finl_stmt_id WHERE s.inac_ind = 0 AND t.inac_ind = 0 AND s.subj_id <> 3366 "
                              "ORDER BY s.subj_id, s.year_dt, s.quarter_dt, s.stmt_type_cd, t.row_id",
                              -1, &s, nullptr)
            == SQLITE_OK;
    QFile file(csv);
    ok = ok && file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (ok) {
        QByteArray text = "ico;rok;ctvrtleti;vykaz;rozsah;radek;castka\n";
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < 7; ++c) {
                text += reinterpret_cast<const char *>(sqlite3_column_text(s, c));
                text += c < 6 ? ';' : '\n';
            }
            if (text.size() > (1 << 20)) {
                file.write(text);
                text.clear();
            }
        }
        ok = file.write(text) == text.size();
    }
    if (!ok)
        error = handle ? sqliteError(handle) : file.errorString();
    sqlite3_finalize(s);
    sqlite3_close(handle);
    return ok;
}

// The fixture without its companies' statements: where the import writes them again.
bool withoutStatements(const QString &from, const QString &to, QString &error)
{
    if (!copyFile(from, to)) {
        error = QStringLiteral("copy failed");
        return false;
    }
    sqlite3 *handle = nullptr;
    const bool ok = sqlite3_open_v2(to.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && sqlite3_exec(handle,
                        "DELETE FROM finl_item WHERE subj_id <> 3366; DELETE FROM finl_stmt WHERE subj_id <> 3366; "
                        "PRAGMA journal_mode=DELETE; VACUUM",
                        nullptr, nullptr, nullptr)
            == SQLITE_OK;
    if (!ok)
        error = sqliteError(handle);
    sqlite3_close(handle);
    return ok;
}

QString importCsv(const BenchContext &context, const BulkSizes &sizes)
{
    return QDir(context.fixtures).absoluteFilePath(sizes.prefix + QStringLiteral("-import.csv"));
}

// The import file's statement pairs, or an empty string when it cannot be made.
QString benchImport(BenchContext &context, const BulkSizes &sizes)
{
    const QDir dir(context.fixtures);
    const QString base = dir.absoluteFilePath(sizes.prefix + QStringLiteral("-import-base.sqlite"));
    const QString target = dir.absoluteFilePath(sizes.prefix + QStringLiteral("-import-target.sqlite"));
    const QString csv = importCsv(context, sizes);
    const QString viaVerna = dir.absoluteFilePath(sizes.prefix + QStringLiteral("-import-verna.sqlite"));
    const QString viaPlain = dir.absoluteFilePath(sizes.prefix + QStringLiteral("-import-plain.sqlite"));
    QString error;
    {
        db::Database database;
        if (!openFixture(database, base, bulkDemo(sizes.importEntities), context.log)) {
            context.table.check(QStringLiteral("bulk import fixture"), QStringLiteral("made"), QStringLiteral("failed"), false);
            return {};
        }
    }
    if ((!QFileInfo::exists(csv) && !writeImportFile(base, csv, error)) || (!QFileInfo::exists(target) && !withoutStatements(base, target, error))
        || !copyFile(target, viaVerna) || !copyFile(target, viaPlain)) {
        context.table.check(QStringLiteral("bulk import fixture"), QStringLiteral("made"), error, false);
        return {};
    }
    Timing verna;
    statements::ImportSummary summary;
    {
        db::Database database;
        if (const Outcome opened = database.open(db::DatabaseLocation::file(viaVerna)); !opened) {
            context.table.check(QStringLiteral("bulk import"), QStringLiteral("no error"), opened.error, false);
            return {};
        }
        const Stopwatch timer;
        summary = statements::StatementImport(database).importFile(csv, {});
        database.close();
        verna = {timer.cpuNs(), timer.wallNs()};
    }
    if (!summary.complete()) {
        context.table.check(QStringLiteral("bulk import"), QStringLiteral("complete"), summary.lines().value(0), false);
        return {};
    }
    std::vector<TableRows> rows;
    if (!newRows(target, viaVerna, {"finl_stmt", "finl_item"}, rows, error)) {
        context.table.check(QStringLiteral("bulk import"), QStringLiteral("rows read back"), error, false);
        return {};
    }
    const Timing plain = plainInsert(viaPlain, rows, error);
    if (plain.cpuNs < 0) {
        context.table.check(QStringLiteral("bulk import limit"), QStringLiteral("no error"), error, false);
        return {};
    }
    compare(context, QStringLiteral("import of %1 statement pairs, embedded").arg(summary.imported / 2), rowCount(rows), verna, plain,
            QStringLiteral("%1 rows of a %2 MB CSV").arg(rowCount(rows)).arg(QFileInfo(csv).size() / 1000000));
    return csv;
}

void benchDemo(BenchContext &context, const BulkSizes &sizes)
{
    const QDir dir(context.fixtures);
    const QString empty = dir.absoluteFilePath(QStringLiteral("bulk-demo-empty.sqlite"));
    const QString viaVerna = dir.absoluteFilePath(sizes.prefix + QStringLiteral("-demo-verna.sqlite"));
    const QString viaPlain = dir.absoluteFilePath(sizes.prefix + QStringLiteral("-demo-plain.sqlite"));
    if (!QFileInfo::exists(empty)) {
        db::Database database;
        const Outcome opened = database.open(db::DatabaseLocation::file(empty));
        const Outcome made = opened ? shell::initialiseDatabase(database, false) : opened;
        if (!made) {
            context.table.check(QStringLiteral("bulk demo fixture"), QStringLiteral("made"), made.error, false);
            database.close();
            QFile::remove(empty);
            return;
        }
    }
    if (!copyFile(empty, viaVerna) || !copyFile(empty, viaPlain)) {
        context.table.check(QStringLiteral("bulk demo fixture"), QStringLiteral("copied"), QStringLiteral("failed"), false);
        return;
    }
    Timing verna;
    {
        db::Database database;
        Outcome made = database.open(db::DatabaseLocation::file(viaVerna));
        const Stopwatch timer;
        if (made)
            made = shell::generateDemoData(database, bulkDemo(sizes.demoEntities));
        database.close();
        verna = {timer.cpuNs(), timer.wallNs()};
        if (!made) {
            context.table.check(QStringLiteral("bulk demo"), QStringLiteral("no error"), made.error, false);
            return;
        }
    }
    QString error;
    std::vector<TableRows> rows;
    if (!newRows(empty, viaVerna, {"subj", "ident", "name", "actv", "mem", "text", "finl_stmt", "finl_item", "audit_log"}, rows, error)) {
        context.table.check(QStringLiteral("bulk demo"), QStringLiteral("rows read back"), error, false);
        return;
    }
    const Timing plain = plainInsert(viaPlain, rows, error);
    if (plain.cpuNs < 0) {
        context.table.check(QStringLiteral("bulk demo limit"), QStringLiteral("no error"), error, false);
        return;
    }
    compare(context, QStringLiteral("demo data of %1 companies, embedded").arg(sizes.demoEntities), rowCount(rows), verna, plain,
            QStringLiteral("%1 rows, 8 quarters").arg(rowCount(rows)));
}

// The PostgreSQL side: VERNA over ODBC against psql's COPY of the same rows, both into
// databases of their own beside "finance" made alike, wall clock (the server does the work).
class ServerBulk
{
public:
    explicit ServerBulk(BenchContext &context)
        : m_context(context)
        , m_psql(qEnvironmentVariable("VERNA_TEST_PG_BIN") + QStringLiteral("/psql"))
        , m_port(qEnvironmentVariable("VERNA_TEST_PG_PORT"))
    {
    }

    // Why the server cannot be measured, or an empty string.
    QString unavailable()
    {
        if (m_port.isEmpty() || !QFileInfo(m_psql).isExecutable())
            return QStringLiteral("no private PostgreSQL cluster with psql (make bench runs it beside one)");
        if (const Outcome opened = m_server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !opened || m_server.backend() != db::Backend::PostgreSQL)
            return QStringLiteral("PostgreSQL not available: ") + opened.error;
        return {};
    }

    void demo(int entities)
    {
        const QString name = QStringLiteral("demo data of %1 companies, PostgreSQL").arg(entities);
        const QStringList tables = {"subj", "ident", "name", "actv", "mem", "text", "finl_stmt", "finl_item", "audit_log"};
        QString error = fresh(QStringLiteral("verna_bulk_demo"), {}) + fresh(QStringLiteral("verna_bulk_demo_copy"), {});
        if (error.isEmpty())
            error = initialise(QStringLiteral("verna_bulk_demo")) + initialise(QStringLiteral("verna_bulk_demo_copy"));
        qint64 verna = 0;
        if (error.isEmpty())
            error = timed(QStringLiteral("verna_bulk_demo"), tables, verna, [&](db::Database &database) {
                return shell::generateDemoData(database, bulkDemo(entities));
            });
        finish(name, QStringLiteral("verna_bulk_demo"), tables, verna, error);
    }

    void import(const QString &csv, int entities)
    {
        const QString name = QStringLiteral("import of statement pairs, PostgreSQL");
        if (csv.isEmpty()) {
            m_context.table.check(name, QStringLiteral("< 2× psql COPY"), QStringLiteral("no import file"), false);
            return;
        }
        // The companies without statements, kept as a template between runs of a kept cluster.
        const QString base = QStringLiteral("verna_bulk_base_%1").arg(entities);
        QString error;
        const Result<QString> exists = m_server.readValue(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = ") + db::quoted(base));
        if (!exists.ok())
            error = exists.error;
        else if (exists.value != QLatin1String("1") || !ofThisSchema(base))
            error = makeBase(base, entities);
        error += fresh(QStringLiteral("verna_bulk_import"), base) + fresh(QStringLiteral("verna_bulk_import_copy"), base);
        const QStringList tables = {"finl_stmt", "finl_item", "audit_log"};
        qint64 verna = 0;
        statements::ImportSummary summary;
        if (error.isEmpty())
            error = timed(QStringLiteral("verna_bulk_import"), tables, verna, [&](db::Database &database) {
                summary = statements::StatementImport(database).importFile(csv, {});
                return summary.complete() ? Outcome::success() : Outcome::failure(summary.lines().value(0));
            });
        finish(QStringLiteral("import of %1 statement pairs, PostgreSQL").arg(summary.imported / 2), QStringLiteral("verna_bulk_import"), tables, verna,
               error);
    }

    void dropWork()
    {
        for (const char *name : {"verna_bulk_demo", "verna_bulk_demo_copy", "verna_bulk_import", "verna_bulk_import_copy"}) {
            if (const Outcome dropped = m_server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + QLatin1String(name)); !dropped)
                m_context.log << "the database " << name << " cannot be dropped: " << dropped.error << "\n";
        }
    }

private:
    static QString location(const QString &database) { return db::kDefaultDsn + QStringLiteral(";Database=") + database; }

    QString fresh(const QString &database, const QString &from)
    {
        Outcome made = m_server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + database);
        if (made)
            made = m_server.executeNative(QStringLiteral("CREATE DATABASE ") + database + (from.isEmpty() ? QString() : QStringLiteral(" TEMPLATE ") + from));
        return made ? QString() : made.error;
    }

    static QString initialise(const QString &database)
    {
        db::Database d;
        Outcome made = d.open(db::DatabaseLocation::odbc(location(database)));
        if (made)
            made = shell::initialiseDatabase(d, false);
        return made ? QString() : made.error;
    }

    // A base kept from a build of another schema is made again.
    static bool ofThisSchema(const QString &database)
    {
        db::Database d;
        return d.open(db::DatabaseLocation::odbc(location(database))).ok && db::Schema::version(d).value == db::Schema::kVersion;
    }

    QString makeBase(const QString &base, int entities)
    {
        m_context.log << "generating the PostgreSQL import base of " << entities << " companies ...\n";
        m_context.log.flush();
        if (QString error = fresh(base, {}); !error.isEmpty())
            return error;
        db::Database d;
        Outcome made = d.open(db::DatabaseLocation::odbc(location(base)));
        if (made)
            made = shell::initialiseDatabase(d, false);
        if (made)
            made = shell::generateDemoData(d, bulkDemo(entities));
        d.close();
        // psql deletes the statements (a delete of millions of rows outlasts VERNA's wait for the
        // server), marked as VERNA's writes so that the audit triggers stay quiet.
        QString error;
        if (made && psql(base, "SELECT set_config('verna.akce', 'verna', false);\nDELETE FROM finl_item WHERE subj_id <> 3366;\nDELETE FROM finl_stmt WHERE subj_id <> 3366;\nVACUUM ANALYZE;\n", error) < 0)
            made = Outcome::failure(error);
        if (made)
            return {};
        // A half-made base would be taken for a whole one by the next run.
        if (const Outcome dropped = m_server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + base); !dropped)
            return made.error + QStringLiteral("; ") + dropped.error;
        return made.error;
    }

    // Runs the write on the database and times it; m_newRows then selects the rows it added.
    QString timed(const QString &database, const QStringList &tables, qint64 &wallNs, const std::function<Outcome(db::Database &)> &write)
    {
        db::Database d;
        if (const Outcome opened = d.open(db::DatabaseLocation::odbc(location(database))); !opened)
            return opened.error;
        m_newRows.clear();
        for (const QString &table : tables) {
            const db::Rows range = d.queryRows(QStringLiteral("SELECT COALESCE(min(row_id), 0), COALESCE(max(row_id), 0) FROM ") + table);
            if (!range.ok())
                return range.error;
            m_newRows << QStringLiteral("row_id < %1 OR row_id > %2").arg(range.rows[0][0], range.rows[0][1]);
        }
        const Stopwatch timer;
        const Outcome done = write(d);
        wallNs = timer.wallNs();
        return done ? QString() : done.error;
    }

    // psql with the script on its standard input; its wall clock, or -1 with the reason.
    qint64 psql(const QString &database, const QByteArray &script, QString &error)
    {
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PGPASSWORD"), QStringLiteral("qxj"));
        p.setProcessEnvironment(environment);
        const Stopwatch timer;
        p.start(m_psql, {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("-p"), m_port, QStringLiteral("-U"), QStringLiteral("dba"), QStringLiteral("-d"),
                         database});
        p.write(script);
        p.closeWriteChannel();
        if (!p.waitForFinished(3600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
            return -1;
        }
        return timer.wallNs();
    }

    // The rows the write added go out to files, then in again by COPY into the copy database,
    // in one transaction that marks itself as VERNA's writes do (the audit triggers stay quiet).
    void finish(const QString &name, const QString &database, const QStringList &tables, qint64 verna, QString error)
    {
        const QString target = QStringLiteral("< 2× psql COPY");
        const QDir dir(m_context.fixtures);
        QByteArray out, in = "BEGIN;\nSELECT set_config('verna.akce', 'verna', true);\n";
        qint64 rows = 0;
        for (qsizetype t = 0; t < tables.size() && error.isEmpty(); ++t) {
            const QString file = dir.absoluteFilePath(database + QLatin1Char('-') + tables[t] + QStringLiteral(".copy"));
            out += "\\copy (SELECT * FROM " + tables[t].toUtf8() + " WHERE " + m_newRows[t].toUtf8() + " ORDER BY row_id) TO "
                + db::quoted(file).toUtf8() + "\n";
            in += "\\copy " + tables[t].toUtf8() + " FROM " + db::quoted(file).toUtf8() + "\n";
        }
        in += "COMMIT;\n";
        qint64 copy = -1;
        if (error.isEmpty() && psql(database, out, error) >= 0)
            copy = psql(database + QStringLiteral("_copy"), in, error);
        if (error.isEmpty()) {
            for (qsizetype t = 0; t < tables.size(); ++t) {
                QFile file(dir.absoluteFilePath(database + QLatin1Char('-') + tables[t] + QStringLiteral(".copy")));
                if (file.open(QIODevice::ReadOnly)) {
                    while (!file.atEnd())
                        rows += file.readLine().isEmpty() ? 0 : 1;
                }
                file.remove();
            }
        }
        if (!error.isEmpty() || copy < 0) {
            m_context.table.check(name, target, error.left(200), false);
            return;
        }
        const double ratio = static_cast<double>(verna) / static_cast<double>(std::max<qint64>(copy, 1));
        m_context.table.check(name, target, QStringLiteral("%1×").arg(ratio, 0, 'f', 2), ratio < 2.0,
                              QStringLiteral("%1 rows, wall clock; VERNA %2 (%3 ms), psql COPY %4 (%5 ms)")
                                  .arg(rows)
                                  .arg(perSecond(rows, verna))
                                  .arg(verna / 1000000)
                                  .arg(perSecond(rows, copy))
                                  .arg(copy / 1000000));
    }

    BenchContext &m_context;
    QString m_psql;
    QString m_port;
    db::Database m_server;
    QStringList m_newRows; // per table, the condition selecting the rows the timed write added
};

// The demo on the server only with a size (0: left to bulk-national, so that the everyday run
// stays within a minute beside a throwaway cluster).
void benchServer(BenchContext &context, const QString &csv, const BulkSizes &sizes, int demoEntities)
{
    ServerBulk server(context);
    if (const QString why = server.unavailable(); !why.isEmpty()) {
        context.table.add(Figure::Status::Skipped, QStringLiteral("import of statement pairs, PostgreSQL"), QStringLiteral("< 2× psql COPY"), why);
        if (demoEntities > 0)
            context.table.add(Figure::Status::Skipped, QStringLiteral("demo data, PostgreSQL"), QStringLiteral("< 2× psql COPY"), why);
        return;
    }
    server.import(csv, sizes.importEntities);
    if (demoEntities > 0)
        server.demo(demoEntities);
    server.dropWork();
}

} // namespace

void benchBulk(BenchContext &context)
{
    const BulkSizes sizes{QStringLiteral("bulk"), kImportEntities, kDemoEntities};
    const QString csv = benchImport(context, sizes);
    benchDemo(context, sizes);
    benchServer(context, csv, sizes, 0);
}

void benchBulkNational(BenchContext &context)
{
    const BulkSizes sizes{QStringLiteral("bulk-national"), kNationalImportEntities, kNationalDemoEntities};
    const QString csv = benchImport(context, sizes);
    benchDemo(context, sizes);
    benchServer(context, csv, sizes, kNationalDemoEntities);
}

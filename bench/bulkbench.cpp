// Bulk loading: the statement import and the demo generator against the plainest program that
// stores the same rows into the same schema with the sqlite3 C API (prepared statements, one
// transaction, the connection settings VERNA uses).
#include "benchmarks.h"

#include "db/database.h"
#include "db/databaselocation.h"
#include "shell/demodata.h"
#include "shell/startup.h"
#include "statements/statementimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <vector>

using namespace verna;

namespace {

// About 10,000 statement pairs (eight quarters, a few companies start later): a CSV of some
// 36 MB, half the largest file the import reads.
constexpr int kImportEntities = 1300;
// About a million lines of statements.
constexpr int kDemoEntities = 1000;

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

// The plain program: every row through one prepared insert per table, in one transaction.
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
        QByteArray sql = "INSERT INTO " + t.table + " VALUES (?";
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

void benchImport(BenchContext &context)
{
    const QDir dir(context.fixtures);
    const QString base = dir.absoluteFilePath(QStringLiteral("bulk-import-base.sqlite"));
    const QString target = dir.absoluteFilePath(QStringLiteral("bulk-import-target.sqlite"));
    const QString csv = dir.absoluteFilePath(QStringLiteral("bulk-import.csv"));
    const QString viaVerna = dir.absoluteFilePath(QStringLiteral("bulk-import-verna.sqlite"));
    const QString viaPlain = dir.absoluteFilePath(QStringLiteral("bulk-import-plain.sqlite"));
    QString error;
    {
        db::Database database;
        if (!openFixture(database, base, bulkDemo(kImportEntities), context.log)) {
            context.table.check(QStringLiteral("bulk import fixture"), QStringLiteral("made"), QStringLiteral("failed"), false);
            return;
        }
    }
    if ((!QFileInfo::exists(csv) && !writeImportFile(base, csv, error)) || (!QFileInfo::exists(target) && !withoutStatements(base, target, error))
        || !copyFile(target, viaVerna) || !copyFile(target, viaPlain)) {
        context.table.check(QStringLiteral("bulk import fixture"), QStringLiteral("made"), error, false);
        return;
    }
    Timing verna;
    statements::ImportSummary summary;
    {
        db::Database database;
        if (const Outcome opened = database.open(db::DatabaseLocation::file(viaVerna)); !opened) {
            context.table.check(QStringLiteral("bulk import"), QStringLiteral("no error"), opened.error, false);
            return;
        }
        const Stopwatch timer;
        summary = statements::StatementImport(database).importFile(csv, {});
        database.close();
        verna = {timer.cpuNs(), timer.wallNs()};
    }
    if (!summary.complete()) {
        context.table.check(QStringLiteral("bulk import"), QStringLiteral("complete"), summary.lines().value(0), false);
        return;
    }
    std::vector<TableRows> rows;
    if (!newRows(target, viaVerna, {"finl_stmt", "finl_item"}, rows, error)) {
        context.table.check(QStringLiteral("bulk import"), QStringLiteral("rows read back"), error, false);
        return;
    }
    const Timing plain = plainInsert(viaPlain, rows, error);
    if (plain.cpuNs < 0) {
        context.table.check(QStringLiteral("bulk import limit"), QStringLiteral("no error"), error, false);
        return;
    }
    compare(context, QStringLiteral("import of %1 statement pairs, embedded").arg(summary.imported / 2), rowCount(rows), verna, plain,
            QStringLiteral("%1 rows of a %2 MB CSV").arg(rowCount(rows)).arg(QFileInfo(csv).size() / 1000000));
}

void benchDemo(BenchContext &context)
{
    const QDir dir(context.fixtures);
    const QString empty = dir.absoluteFilePath(QStringLiteral("bulk-demo-empty.sqlite"));
    const QString viaVerna = dir.absoluteFilePath(QStringLiteral("bulk-demo-verna.sqlite"));
    const QString viaPlain = dir.absoluteFilePath(QStringLiteral("bulk-demo-plain.sqlite"));
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
            made = shell::generateDemoData(database, bulkDemo(kDemoEntities));
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
    compare(context, QStringLiteral("demo data of %1 companies, embedded").arg(kDemoEntities), rowCount(rows), verna, plain,
            QStringLiteral("%1 rows, 8 quarters").arg(rowCount(rows)));
}

} // namespace

void benchBulk(BenchContext &context)
{
    benchImport(context);
    benchDemo(context);
}

void benchBulkNational(BenchContext &context)
{
    context.table.add(Figure::Status::Pending, QStringLiteral("import of 100000 statement pairs"), QStringLiteral("< 2× plain"), QStringLiteral("not measured yet"));
}

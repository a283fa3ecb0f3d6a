// The national scale: a fixture of 1,000,000 companies with one year-end statement pair each,
// on SQLite and on a PostgreSQL copy, both kept between runs; the bytes a stored statement
// pair takes on each, the peer figures against a division of 50,000 companies and the
// analysis table of every company in the window.
#include "benchmarks.h"

#include "db/database.h"
#include "db/databaselocation.h"
#include "db/schema.h"
#include "db/statementpack.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

using namespace verna;

namespace {

const QString kNationalDatabase = QStringLiteral("verna_national");
// What tells a kept copy from one of another fixture or schema.
const QString kMarkerTable = QStringLiteral("bench_fixture");

// Bytes of the statement tables and their indexes per stored pair when the national fixture
// was first built: a later schema or writer must not store a pair in more.
constexpr double kSqliteBytesPerPair = 10770;
constexpr double kPostgresBytesPerPair = 15760;

// The tables a statement pair is stored in.
const QStringList kStatementTables = {QStringLiteral("finl_stmt"), QStringLiteral("finl_item"), QStringLiteral("finl_pack")};

QString kilobytes(double bytes)
{
    return QString::number(bytes / 1000.0, 'f', 2) + QStringLiteral(" kB");
}

// psql of the private cluster (scripts/test-postgres.sh names it), "" when there is none.
QString psqlCommand(const QString &database)
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString bin = env.value(QStringLiteral("VERNA_TEST_PG_BIN"));
    const QString port = env.value(QStringLiteral("VERNA_TEST_PG_PORT"));
    if (bin.isEmpty() || port.isEmpty())
        return {};
    return QStringLiteral("PGPASSWORD=qxj '%1/psql' -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p %2 -U dba -d %3").arg(bin, port, database);
}

// One CSV field as COPY reads it: NULL unquoted and empty, every text quoted.
void writeField(std::FILE *out, sqlite3_stmt *row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        std::fputs(reinterpret_cast<const char *>(sqlite3_column_text(row, column)), out);
        return;
    default: {
        const char *text = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
        std::fputc('"', out);
        for (const char *c = text; *c; ++c) {
            if (*c == '"')
                std::fputc('"', out);
            std::fputc(*c, out);
        }
        std::fputc('"', out);
    }
    }
}

// The national copy on PostgreSQL: the schema and reference data as the application makes
// them, then every row of the SQLite fixture's tables by psql's COPY (the audit triggers off,
// so the copy is the fixture's rows and no more). Kept between runs of a kept cluster.
class NationalServer
{
public:
    // "" when the copy is open, else why not; skipped is set when there is no server at all.
    QString open(BenchContext &context, const QString &file, qint64 entities, bool &skipped)
    {
        db::Database server;
        if (const Outcome opened = server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !opened || server.backend() != db::Backend::PostgreSQL) {
            skipped = true;
            return QStringLiteral("PostgreSQL not available (make bench-scale runs it beside a private cluster): ") + opened.error;
        }
        const QString marker = markerOf(file, entities);
        const QString exists = server.singleValue(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = '%1'").arg(kNationalDatabase));
        server.close();
        if (exists == QLatin1String("1") && openKept(marker)) {
            context.log << "the PostgreSQL national copy is kept from an earlier run\n";
            return {};
        }
        if (psqlCommand(QStringLiteral("postgres")).isEmpty()) {
            skipped = true;
            return QStringLiteral("psql of the private cluster is not known (make bench-scale names it)");
        }
        context.log << "copying the national fixture to PostgreSQL ...\n";
        context.log.flush();
        const Stopwatch timer;
        if (const QString made = make(context, file); !made.isEmpty())
            return made;
        if (const Outcome marked = m_database.executeNative(QStringLiteral("CREATE TABLE %1 (what_txt VARCHAR(200))").arg(kMarkerTable)); !marked)
            return marked.error;
        if (const Outcome marked = m_database.executeNative(QStringLiteral("INSERT INTO %1 VALUES ('%2')").arg(kMarkerTable, marker)); !marked)
            return marked.error;
        context.table.info(QStringLiteral("national fixture copied to PostgreSQL"), QStringLiteral("%1 s").arg(timer.wallNs() / 1e9, 0, 'f', 0),
                           QStringLiteral("wall clock, once per kept cluster; schema and reference data as the application makes them, "
                                          "then every table of the SQLite fixture by psql COPY, VACUUM ANALYZE"));
        return {};
    }

    // Only a copy kept from an earlier run of the same fixture and schema, never one made anew.
    bool openKept(const QString &file, qint64 entities) { return openKept(markerOf(file, entities)); }

    db::Database &database() { return m_database; }

private:
    // The file's size is no mark of its rows: it grows when SQLite folds its log back in.
    static QString markerOf(const QString &file, qint64 entities)
    {
        qint64 lastItem = 0;
        sqlite3 *handle = nullptr;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_open_v2(file.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
            && sqlite3_prepare_v2(handle, "SELECT max(row_id) FROM finl_item", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            lastItem = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        sqlite3_close(handle);
        return QStringLiteral("%1 entities, schema %2, items to %3").arg(entities).arg(db::Schema::kVersion).arg(lastItem);
    }

    bool openKept(const QString &marker)
    {
        if (!openCopy().isEmpty())
            return false;
        if (m_database.singleValue(QStringLiteral("SELECT max(what_txt) FROM ") + kMarkerTable) == marker)
            return true;
        m_database.close();
        return false;
    }

    QString openCopy()
    {
        // QODBC passes a data source name with attributes on as a connection string.
        const Outcome opened = m_database.open(db::DatabaseLocation::odbc(db::kDefaultDsn + QStringLiteral(";Database=") + kNationalDatabase));
        return opened ? QString() : opened.error;
    }

    QString make(BenchContext &context, const QString &file)
    {
        {
            db::Database server;
            if (const Outcome opened = server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !opened)
                return opened.error;
            if (const Outcome dropped = server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + kNationalDatabase); !dropped)
                return dropped.error;
            if (const Outcome created = server.executeNative(QStringLiteral("CREATE DATABASE ") + kNationalDatabase); !created)
                return created.error;
        }
        if (const QString failed = openCopy(); !failed.isEmpty())
            return failed;
        if (const Outcome made = shell::initialiseDatabase(m_database, false); !made)
            return made.error;
        const auto present = m_database.queryNative(QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema()"));
        if (!present.ok())
            return present.error;
        QStringList serverTables;
        for (const QVariantList &row : present.value)
            serverTables << row.value(0).toString();

        sqlite3 *handle = nullptr;
        if (sqlite3_open_v2(file.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(handle);
            return QStringLiteral("the fixture cannot be opened");
        }
        const auto close = qScopeGuard([&] { sqlite3_close(handle); });
        QStringList tables;
        {
            sqlite3_stmt *list = nullptr;
            sqlite3_prepare_v2(handle, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid", -1, &list, nullptr);
            while (sqlite3_step(list) == SQLITE_ROW) {
                const QString table = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(list, 0)));
                // The SQLite-only search tables and the version row stay as the server makes them;
                // the server packs the statements its own way, after the items are in.
                if (serverTables.contains(table) && table != QLatin1String("schema_ver") && table != QLatin1String("finl_pack"))
                    tables << table;
            }
            sqlite3_finalize(list);
        }
        for (const QString &table : tables) {
            if (const QString failed = copyTable(context, handle, table); !failed.isEmpty())
                return table + QStringLiteral(": ") + failed;
        }
        // Identity columns continue after the copied keys, as after the application's own writes.
        const auto identities = m_database.queryNative(QStringLiteral(
            "SELECT table_name, column_name FROM information_schema.columns WHERE table_schema = current_schema() AND is_identity = 'YES'"));
        if (!identities.ok())
            return identities.error;
        for (const QVariantList &row : identities.value) {
            const QString sql = QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), GREATEST(1, (SELECT max(%2) FROM %1)))")
                                    .arg(row.value(0).toString(), row.value(1).toString());
            if (const auto set = m_database.queryNative(sql); !set.ok())
                return set.error;
        }
        // Over a hundred million rows these outlast the application's wait for one statement;
        // the packing is planned with the copied rows' statistics.
        const auto psql = [&](const QString &sql) {
            return std::system(QStringLiteral("%1 -c '%2'").arg(psqlCommand(kNationalDatabase), sql).toUtf8().constData()) == 0;
        };
        if (!psql(QStringLiteral("VACUUM ANALYZE")))
            return QStringLiteral("VACUUM ANALYZE failed");
        const std::chrono::milliseconds wait = m_database.responseLimit();
        m_database.setResponseLimit(std::chrono::hours(1));
        const Outcome packed = db::pack::missing(m_database);
        m_database.setResponseLimit(wait);
        if (!packed)
            return packed.error;
        if (!psql(QStringLiteral("VACUUM ANALYZE finl_pack")))
            return QStringLiteral("VACUUM ANALYZE failed");
        return {};
    }

    QString copyTable(BenchContext &context, sqlite3 *handle, const QString &table)
    {
        QStringList columns;
        {
            sqlite3_stmt *info = nullptr;
            sqlite3_prepare_v2(handle, QStringLiteral("PRAGMA table_info(%1)").arg(table).toUtf8().constData(), -1, &info, nullptr);
            while (sqlite3_step(info) == SQLITE_ROW)
                columns << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 1)));
            sqlite3_finalize(info);
        }
        sqlite3_stmt *rows = nullptr;
        if (sqlite3_prepare_v2(handle, QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QLatin1Char(',')), table).toUtf8().constData(), -1, &rows,
                               nullptr)
            != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errmsg(handle));
        const auto finalize = qScopeGuard([&] { sqlite3_finalize(rows); });
        // Triggers off for the copy (the cluster's owner may): the audit rows are the fixture's own.
        const QString command = QStringLiteral("PGOPTIONS='-c session_replication_role=replica' %1 -c \"TRUNCATE %2; COPY %2 (%3) FROM STDIN WITH (FORMAT csv)\"")
                                    .arg(psqlCommand(kNationalDatabase), table, columns.join(QLatin1Char(',')));
        std::FILE *out = popen(command.toUtf8().constData(), "w");
        if (!out)
            return QStringLiteral("psql cannot be started");
        qint64 copied = 0;
        const int count = static_cast<int>(columns.size());
        while (sqlite3_step(rows) == SQLITE_ROW) {
            for (int c = 0; c < count; ++c) {
                if (c > 0)
                    std::fputc(',', out);
                writeField(out, rows, c);
            }
            std::fputc('\n', out);
            ++copied;
        }
        if (pclose(out) != 0)
            return QStringLiteral("psql's COPY failed");
        context.log << "  " << table << ": " << copied << " rows\n";
        context.log.flush();
        return {};
    }

    db::Database m_database;
};

// Bytes of the statement tables with their indexes, and the pairs stored in them.
struct Storage {
    double bytes = 0;
    qint64 pairs = 0;
    QString error;
};

// dbstat pages on SQLite, pg_total_relation_size (with indexes and TOAST) on PostgreSQL.
Storage statementStorage(db::Database &database)
{
    Storage s;
    QStringList names;
    QStringList sizes;
    for (const QString &table : kStatementTables) {
        names << QStringLiteral("'%1'").arg(table);
        sizes << QStringLiteral("COALESCE(pg_total_relation_size(to_regclass('%1')), 0)").arg(table);
    }
    const QString sql = database.backend() == db::Backend::SQLite
        ? QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name IN (%1) OR name IN "
                         "(SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name IN (%1))")
              .arg(names.join(QLatin1Char(',')))
        : QStringLiteral("SELECT ") + sizes.join(QLatin1Char('+'));
    const auto bytes = database.queryNative(sql);
    if (!bytes.ok() || bytes.value.isEmpty()) {
        s.error = bytes.ok() ? QStringLiteral("no size") : bytes.error;
        return s;
    }
    s.bytes = bytes.value.front().value(0).toDouble();
    s.pairs = database.singleValue(QStringLiteral("SELECT count(*) FROM finl_stmt")).toLongLong() / 2;
    return s;
}

void storageRow(BenchContext &context, const QString &backend, const Storage &storage, double today, const QString &how)
{
    const QString name = QStringLiteral("bytes per statement pair (%1)").arg(backend);
    if (!storage.error.isEmpty() || storage.pairs == 0) {
        context.table.check(name, QStringLiteral("measured"), QStringLiteral("failed"), false, storage.error);
        return;
    }
    const double perPair = storage.bytes / storage.pairs;
    const QString note = QStringLiteral("%1 over %2 pairs, the statement, item and pack tables with their indexes").arg(how).arg(storage.pairs);
    if (today <= 0) {
        context.table.info(name, kilobytes(perPair), note);
        return;
    }
    context.table.check(name, QStringLiteral("<= %1 (first build)").arg(kilobytes(today)), kilobytes(perPair), perPair <= today * 1.01, note);
}

} // namespace

void benchNational(BenchContext &context)
{
    const QString file = scaleFixtureFile(context);
    db::Database embedded;
    QElapsedTimer made;
    made.start();
    const bool existed = QFileInfo::exists(file);
    if (!openFixture(embedded, file, scaleDemo(), context.log)) {
        context.table.check(QStringLiteral("national fixture"), QStringLiteral("made"), QStringLiteral("failed"), false);
        return;
    }
    if (!existed)
        context.log << "made in " << made.elapsed() / 1000.0 << " s\n";
    const qint64 entities = fixtureEntities(embedded).size();
    context.table.info(QStringLiteral("national fixture"), QStringLiteral("%1 companies").arg(entities),
                       QStringLiteral("one statement pair of 1998/4 each; %1 GB of SQLite file").arg(QFileInfo(file).size() / 1e9, 0, 'f', 1));
    storageRow(context, QStringLiteral("SQLite"), statementStorage(embedded), kSqliteBytesPerPair, QStringLiteral("dbstat pages"));

    NationalServer server;
    bool skipped = false;
    const QString failed = server.open(context, file, entities, skipped);
    if (failed.isEmpty())
        storageRow(context, QStringLiteral("PostgreSQL"), statementStorage(server.database()), kPostgresBytesPerPair,
                   QStringLiteral("pg_total_relation_size"));
    else if (skipped)
        context.table.add(Figure::Status::Skipped, QStringLiteral("bytes per statement pair (PostgreSQL)"), QStringLiteral("measured"), failed);
    else
        context.table.check(QStringLiteral("national fixture copied to PostgreSQL"), QStringLiteral("done"), QStringLiteral("failed"), false, failed);

    benchNationalPeers(context, embedded, failed.isEmpty() ? &server.database() : nullptr);
    embedded.close();
    benchNationalTable(context, file);
}

void benchNationalPeersOnly(BenchContext &context)
{
    const QString file = scaleFixtureFile(context);
    db::Database embedded;
    db::DatabaseLocation location = db::DatabaseLocation::file(file);
    location.readOnly = true;
    if (!QFileInfo::exists(file) || !embedded.open(location) || db::Schema::version(embedded).value != db::Schema::kVersion) {
        context.table.check(QStringLiteral("national fixture"), QStringLiteral("kept from bench-scale"), QStringLiteral("none"), false);
        return;
    }
    NationalServer server;
    const bool kept = server.openKept(file, fixtureEntities(embedded).size());
    if (!kept)
        context.log << "no kept PostgreSQL copy of the national fixture: embedded only\n";
    benchNationalPeers(context, embedded, kept ? &server.database() : nullptr);
}

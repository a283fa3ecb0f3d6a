// The searches of the search window on the scale fixture, on SQLite and on a PostgreSQL copy
// of it, each with the indexes its plan shows; the data-selection tree; the starts.
#include "benchmarks.h"

#include "db/bulkinsert.h"
#include "db/database.h"
#include "db/recordset.h"
#include "db/schema.h"
#include "db/sqlquote.h"
#include "db/transaction.h"
#include "db/tsqltranslator.h"
#include "entities/entitysearch.h"
#include "entities/searchsql.h"
#include "indicators/evaluator.h"
#include "selection/treedata.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>

using namespace verna;

namespace {

// The scale entities again on PostgreSQL, in a database of their own beside "finance".
const QString kScaleDatabase = QStringLiteral("verna_scale");

// A company from the middle of the fixture: its name, IČO and id (the same on both backends),
// and the first name from there on whose first letters carry diacritics.
struct Sample {
    QString name;
    QString ico;
    qint32 entity = 0;
    QString accented;
};

// The lines of the window's first screenful: what the user waits for.
constexpr int kScreenful = 50;

// A listing timed: to its first screenful of rows (or its end, when it has fewer), to its end,
// and the rows it listed.
struct Timing {
    double firstRows = 1e12;
    double whole = 1e12;
    int rows = 0;
};

// Best of three runs of the listing, in milliseconds. On the embedded database the CPU time of
// this thread; over ODBC the wall clock, as the server works elsewhere.
Timing timed(const std::function<entities::Listing(const entities::EntitySearch::ItemSink &sink)> &search, bool wall)
{
    Timing best;
    for (int run = 0; run < 3; ++run) {
        const Stopwatch timer;
        const auto now = [&] { return (wall ? timer.wallNs() : timer.cpuNs()) / 1e6; };
        double first = -1;
        const entities::Listing listing = search([&](const entities::ListItem &, int count) {
            if (count == kScreenful)
                first = now();
        });
        const double whole = now();
        best.firstRows = std::min(best.firstRows, first < 0 ? whole : first);
        best.whole = std::min(best.whole, whole);
        best.rows = listing.ok() ? listing.count : -1;
    }
    return best;
}

// The indexes a plan reads, and the tables of names and identifiers it reads whole.
struct PlanUse {
    QStringList indexes;
    QStringList scanned;
    bool sorted = false; // the database sorts the rows before the first one
    QString error;
    bool ok() const { return error.isEmpty() && scanned.isEmpty() && !indexes.isEmpty(); }
    QString note() const
    {
        if (!error.isEmpty())
            return QStringLiteral("no plan: ") + error;
        QString text = indexes.isEmpty() ? QStringLiteral("no index")
                                         : (indexes.size() == 1 ? QStringLiteral("index ") : QStringLiteral("indexes ")) + indexes.join(QStringLiteral(", "));
        if (!scanned.isEmpty())
            text += QStringLiteral("; the plan reads %1 whole").arg(scanned.join(QStringLiteral(" and ")));
        text += sorted ? QStringLiteral("; sorted before the first row") : QStringLiteral("; rows in index order, no sort");
        return text;
    }
};

PlanUse planUse(db::Database &database, const QString &sql, bool cursor)
{
    PlanUse use;
    const bool sqlite = database.backend() == db::Backend::SQLite;
    // PostgreSQL reads a listing through a cursor, with its settings: the plan is the cursor's.
    std::optional<db::Transaction> listing;
    if (cursor) {
        listing.emplace(database);
        if (const auto set = database.queryNative(db::Database::kListingSettings); !set.ok()) {
            use.error = set.error;
            return use;
        }
    }
    const auto plan = database.queryNative(sqlite   ? QStringLiteral("EXPLAIN QUERY PLAN ") + sql
                                           : cursor ? QStringLiteral("EXPLAIN DECLARE verna_plan NO SCROLL CURSOR FOR ") + sql
                                                    : QStringLiteral("EXPLAIN ") + sql);
    if (!plan.ok()) {
        use.error = plan.error;
        return use;
    }
    // SQLite: "SEARCH f USING COVERING INDEX ix_name_srch_fold (fold_txt>? AND fold_txt<?)", "SCAN name_fold
    // VIRTUAL TABLE INDEX 0:M2", "SCAN i"; PostgreSQL: "Index Scan using ix_ident_txt on ident i",
    // "Bitmap Index Scan on ix_name_fold_trgm", "Seq Scan on name n".
    static const QRegularExpression sqliteIndex(QStringLiteral("^(?:SEARCH|SCAN) \\S+ USING (?:COVERING )?INDEX (\\w+)|^SCAN (\\w+) VIRTUAL TABLE"));
    static const QRegularExpression sqliteScan(QStringLiteral("^SCAN (n|i|name|ident)\\b"));
    static const QRegularExpression postgresIndex(QStringLiteral("(?:Index (?:Only )?Scan using|Bitmap Index Scan on) (\\w+)"));
    static const QRegularExpression postgresScan(QStringLiteral("Seq Scan on (name|ident)\\b"));
    for (const QVariantList &line : plan.value) {
        const QString detail = line.value(sqlite ? 3 : 0).toString().trimmed();
        const QRegularExpressionMatch index = (sqlite ? sqliteIndex : postgresIndex).match(detail);
        const QString name = index.captured(1).isEmpty() ? index.captured(2) : index.captured(1);
        if (!name.isEmpty() && !use.indexes.contains(name))
            use.indexes << name;
        if (detail.startsWith(QLatin1String("USE TEMP B-TREE FOR ORDER BY")) || detail.contains(QRegularExpression(QStringLiteral("^(->\\s*)?Sort\\b"))))
            use.sorted = true;
        const QRegularExpressionMatch scan = (sqlite ? sqliteScan : postgresScan).match(detail);
        const QString table = scan.captured(1).startsWith(QLatin1Char('n')) ? QStringLiteral("name") : QStringLiteral("ident");
        if (scan.hasMatch() && !use.scanned.contains(table))
            use.scanned << table;
    }
    return use;
}

// The five searches of the search window on one backend, each with the indexes of its plan.
void searchRows(BenchContext &context, db::Database &database, const Sample &sample, int entityCount, const QString &backendName)
{
    const bool wall = database.backend() != db::Backend::SQLite;
    entities::EntitySearch search(database);
    const QString scope = QStringLiteral("%1 entities (target at 100000)").arg(entityCount);
    // A branch holds some per cent of all companies: there the planner may rightly read the
    // names whole, and only the time counts.
    const auto row = [&](const QString &figure, double limit, const Timing &measured, const PlanUse &plan, bool indexed = true) {
        const QString clock = wall ? QStringLiteral("wall clock, best of 3 (the server works in its own process; large results come through a "
                                                    "server-side cursor, a screenful first)")
                                   : QStringLiteral("CPU time, best of 3");
        const QString note = QStringLiteral("%1 to the first %2 rows, as the window shows them (the whole result when smaller); %3 rows; %4; %5")
                                 .arg(clock)
                                 .arg(kScreenful)
                                 .arg(measured.rows)
                                 .arg(scope, plan.note());
        const QString name = QStringLiteral("search: %1 (%2)").arg(figure, backendName);
        context.table.check(name, QStringLiteral("< %1 ms").arg(limit), millis(measured.firstRows),
                            measured.firstRows < limit && measured.rows >= 0 && (indexed ? plan.ok() : plan.error.isEmpty()), note);
        context.table.info(name + QStringLiteral(", whole listing"), millis(measured.whole),
                           QStringLiteral("%1 to the last of the %2 rows").arg(clock).arg(measured.rows));
    };
    const auto byName = [&](const QString &figure, double limit, const entities::NameQuery &query) {
        const Timing measured = timed([&](const auto &sink) { return search.byName(query, sink); }, wall);
        row(figure, limit, measured, planUse(database, search.lastSql(), search.lastSqlThroughCursor()));
    };
    entities::NameQuery prefix;
    prefix.name = sample.name.left(5);
    byName(QStringLiteral("name prefix"), 30, prefix);
    entities::NameQuery ico;
    ico.ico = sample.ico;
    byName(QStringLiteral("IČO"), 30, ico);
    entities::NameQuery plain;
    plain.name = sample.accented.left(5).normalized(QString::NormalizationForm_D).remove(QRegularExpression(QStringLiteral("\\p{Mn}"))).toLower();
    byName(QStringLiteral("without diacritics"), 100, plain);
    entities::NameQuery infix;
    infix.name = sample.name.mid(2, 4);
    infix.anywhere = true;
    byName(QStringLiteral("anywhere in the name"), 100, infix);
    const Timing branch = timed([&](const auto &sink) { return search.sameBranchEntities(sample.entity, sink); }, wall);
    row(QStringLiteral("in the branch"), 100, branch, planUse(database, search.lastSql(), search.lastSqlThroughCursor()), false);
}

// The scale entities on PostgreSQL, in a database of their own beside "finance": schema and
// reference data as the application makes them, then the entity rows the searches read, copied
// from the SQLite fixture through psql's COPY (multi-row INSERTs where psql is not at hand), so
// both backends search the same data. A marker table names the fixture the copy holds; a
// cluster kept between runs (make bench-scale) keeps the copy, and the next run reuses it.
class PostgresCopy
{
public:
    // "" when the copy is ready, else why not.
    QString make(BenchContext &context, db::Database &from, int entityCount)
    {
        const Stopwatch timer;
        db::Database server;
        if (const Outcome opened = server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !opened)
            return QStringLiteral("PostgreSQL not available (make bench runs it beside a private cluster): ") + opened.error;
        if (server.backend() != db::Backend::PostgreSQL)
            return QStringLiteral("the data source is not PostgreSQL");
        m_available = true;
        int rows = 0;
        for (const QString &table : kTables) {
            const Result<QString> count = from.readValue(QStringLiteral("SELECT count(*) FROM ") + table);
            if (!count.ok())
                return count.error;
            rows += count.value.toInt();
        }
        const QString marker = QStringLiteral("%1 %2 %3").arg(entityCount).arg(db::Schema::kVersion).arg(rows);
        if (server.readValue(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'").arg(kScaleDatabase)).value == QLatin1String("1")) {
            if (const QString failed = openCopy(); !failed.isEmpty())
                return failed;
            // A copy interrupted before its marker, or of another fixture or schema, is made anew.
            const Result<QString> held = m_copy.readValue(QStringLiteral("SELECT fixture_txt FROM verna_scale_copy"));
            if (held.ok() && held.value == marker) {
                context.table.info(QStringLiteral("scale entities copied to PostgreSQL"), millis(timer.wallNs() / 1e6),
                                   QStringLiteral("wall clock; the copy a previous run left in the kept cluster, %1 rows of subj, ident, name "
                                                  "and actv, reused: its marker names the same fixture and schema version")
                                       .arg(rows));
                return {};
            }
            m_copy.close();
        }
        if (const Outcome dropped = server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + kScaleDatabase); !dropped)
            return dropped.error;
        if (const Outcome created = server.executeNative(QStringLiteral("CREATE DATABASE ") + kScaleDatabase); !created)
            return created.error;
        server.close();
        if (const QString failed = openCopy(); !failed.isEmpty())
            return failed;
        if (const Outcome made = shell::initialiseDatabase(m_copy, false); !made)
            return made.error;
        context.log << "PostgreSQL copy: schema and reference data after " << timer.wallNs() / 1e9 << " s\n";
        const QString psql = qEnvironmentVariable("VERNA_TEST_PG_BIN") + QStringLiteral("/psql");
        const bool copying = !qEnvironmentVariableIsEmpty("VERNA_TEST_PG_PORT") && QFileInfo(psql).isExecutable();
        {
            db::Transaction tx(m_copy);
            // The reference entity is in both already: the fixture's rows replace it.
            for (const QString &table : kTables) {
                if (const Outcome emptied = m_copy.executeNative(QStringLiteral("DELETE FROM ") + table); !emptied)
                    return table + QStringLiteral(": ") + emptied.error;
                if (!copying) {
                    if (const QString failed = insertTable(from, table); !failed.isEmpty())
                        return table + QStringLiteral(": ") + failed;
                }
            }
            if (!tx.commit())
                return m_copy.lastError();
        }
        for (const QString &table : kTables) {
            if (!copying)
                break;
            // An index built once over all rows costs a fraction of one kept up row by row.
            const Result<QList<QVariantList>> indexes = m_copy.queryNative(
                QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema() AND tablename = '%1'").arg(table));
            if (!indexes.ok())
                return indexes.error;
            for (const QVariantList &index : indexes.value) {
                if (const Outcome dropped = m_copy.executeNative(QStringLiteral("DROP INDEX ") + index.value(0).toString()); !dropped)
                    return dropped.error;
            }
            // psql builds them, free of the application's wait limit for one statement.
            QStringList definitions;
            for (const QVariantList &index : indexes.value)
                definitions << index.value(1).toString();
            if (const QString failed = copyTable(from, psql, table, definitions); !failed.isEmpty())
                return table + QStringLiteral(": ") + failed;
            context.log << "PostgreSQL copy: " << table << " after " << timer.wallNs() / 1e9 << " s\n";
        }
        if (const Outcome analysed = m_copy.executeNative(QStringLiteral("ANALYZE")); !analysed)
            return analysed.error;
        for (const QString &sql : {QStringLiteral("CREATE TABLE verna_scale_copy (fixture_txt text)"),
                                   QStringLiteral("INSERT INTO verna_scale_copy VALUES (%1)").arg(db::quoted(marker))}) {
            if (const Outcome marked = m_copy.executeNative(sql); !marked)
                return marked.error;
        }
        context.table.info(QStringLiteral("scale entities copied to PostgreSQL"), millis(timer.wallNs() / 1e6),
                           QStringLiteral("wall clock; schema and reference data as the application makes them, %1 rows of subj, ident, "
                                          "name and actv from the SQLite fixture %2, ANALYZE; kept for the next run")
                               .arg(rows)
                               .arg(copying ? QStringLiteral("through psql's COPY") : QStringLiteral("in multi-row INSERTs (psql not found)")));
        return {};
    }

    bool available() const { return m_available; }
    db::Database &database() { return m_copy; }

private:
    inline static const QStringList kTables = {QStringLiteral("subj"), QStringLiteral("ident"), QStringLiteral("name"), QStringLiteral("actv")};

    QString openCopy()
    {
        // QODBC passes a data source name with attributes on as a connection string.
        const Outcome opened = m_copy.open(db::DatabaseLocation::odbc(db::kDefaultDsn + QStringLiteral(";Database=") + kScaleDatabase));
        return opened ? QString() : opened.error;
    }

    // The table's rows as CSV into psql's COPY, written while they are read; then its indexes.
    QString copyTable(db::Database &from, const QString &psql, const QString &table, const QStringList &indexes)
    {
        QStringList statements = {QStringLiteral("-c"), QStringLiteral("COPY %1 FROM STDIN WITH (FORMAT csv)").arg(table),
                                  QStringLiteral("-c"), QStringLiteral("SET maintenance_work_mem = '256MB'")};
        for (const QString &index : indexes)
            statements << QStringLiteral("-c") << index;
        QProcess copy;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PGPASSWORD"), QStringLiteral("qxj"));
        copy.setProcessEnvironment(environment);
        copy.start(psql, QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), qEnvironmentVariable("VERNA_TEST_PG_PORT"),
                          QStringLiteral("-U"), QStringLiteral("dba"), QStringLiteral("-d"), kScaleDatabase, QStringLiteral("-v"),
                          QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-q"),
                          // Copied rows are no change a user made: the history's triggers stay out, as for VERNA's own writes.
                          QStringLiteral("-c"), QStringLiteral("SET verna.akce = 'verna'")} + statements);
        if (!copy.waitForStarted())
            return copy.errorString();
        db::RecordSet rows = from.openNativeRecordSet(QStringLiteral("SELECT * FROM %1 ORDER BY row_id").arg(table));
        QByteArray chunk;
        while (rows.next()) {
            for (int column = 0; column < rows.columnCount(); ++column) {
                if (column > 0)
                    chunk += ',';
                // An unquoted empty field is NULL; every text is quoted, so "" stays a text.
                if (!rows.isNull(column))
                    chunk += '"' + rows.text(column).toUtf8().replace('"', "\"\"") + '"';
            }
            chunk += '\n';
            if (chunk.size() > (1 << 20)) {
                copy.write(chunk);
                copy.waitForBytesWritten(-1);
                chunk.clear();
            }
        }
        copy.write(chunk);
        copy.closeWriteChannel();
        if (!copy.waitForFinished(-1) || copy.exitStatus() != QProcess::NormalExit || copy.exitCode() != 0)
            return QString::fromUtf8(copy.readAllStandardError()).trimmed();
        return rows.error();
    }

    QString insertTable(db::Database &from, const QString &table)
    {
        const auto read = from.queryNative(QStringLiteral("SELECT * FROM %1 ORDER BY row_id").arg(table));
        if (!read.ok())
            return read.error;
        db::BulkInsert insert(m_copy, table, 2000);
        for (const QVariantList &row : read.value) {
            QStringList literals;
            literals.reserve(row.size());
            for (const QVariant &value : row) {
                if (value.isNull())
                    literals << db::BulkInsert::null();
                else if (value.typeId() == QMetaType::QString)
                    literals << db::BulkInsert::text(value.toString());
                else
                    literals << value.toString();
            }
            if (const Outcome added = insert.add(literals); !added)
                return added.error;
        }
        if (const Outcome flushed = insert.flush(); !flushed)
            return flushed.error;
        return {};
    }

    db::Database m_copy;
    bool m_available = false;
};

} // namespace

void benchSearch(BenchContext &context, db::Database &database, int entityCount)
{
    const QList<QStringList> names = database
                                         .queryRows(QStringLiteral("SELECT TRIM(n.name_txt), TRIM(i.ident_txt), n.subj_id FROM name n, ident i "
                                                                   "WHERE n.subj_id = i.subj_id AND i.form_type_cd <> 215 ORDER BY n.subj_id"))
                                         .rows;
    const QStringList picked = names.value(entityCount / 2);
    Sample sample{picked.value(0), picked.value(1), picked.value(2).toInt(), picked.value(0)};
    for (qsizetype r = entityCount / 2; r < names.size(); ++r) {
        const QString start = names.at(r).value(0).left(5);
        if (start.normalized(QString::NormalizationForm_D) != start) {
            sample.accented = names.at(r).value(0);
            break;
        }
    }
    searchRows(context, database, sample, entityCount, QStringLiteral("SQLite"));
    {
        PostgresCopy copy;
        const QString failed = copy.make(context, database, entityCount);
        if (failed.isEmpty()) {
            searchRows(context, copy.database(), sample, entityCount, QStringLiteral("PostgreSQL"));
        } else if (copy.available()) {
            context.table.check(QStringLiteral("scale entities copied to PostgreSQL"), QStringLiteral("done"), QStringLiteral("failed"), false, failed);
        } else {
            const std::pair<const char *, int> searches[] = {
                {"name prefix", 30}, {"IČO", 30}, {"without diacritics", 100}, {"anywhere in the name", 100}, {"in the branch", 100}};
            for (const auto &[figure, limit] : searches) {
                context.table.add(Figure::Status::Skipped, QStringLiteral("search: %1 (PostgreSQL)").arg(QString::fromUtf8(figure)),
                                  QStringLiteral("< %1 ms").arg(limit), failed);
            }
        }
    }

    // The data-selection tree: an entity with 40 periods (ten years of quarters), down to its
    // statements, in a small fixture of its own.
    QTemporaryDir dir;
    db::Database history;
    shell::DemoOptions decade;
    decade.entities = 2;
    decade.seed = 3;
    decade.firstYear = 1990;
    decade.lastYear = 1999;
    if (!makeFixture(history, dir.filePath(QStringLiteral("decade.sqlite")), decade, context.log))
        return;
    const qint32 busiest = fixtureEntities(history, 1).value(0);
    const int periods = history.singleValue(QStringLiteral("SELECT count(DISTINCT year_dt * 10 + quarter_dt) FROM finl_stmt WHERE subj_id = %1").arg(busiest)).toInt();
    indicators::Evaluator evaluator(history);
    selection::TreeData tree(history, evaluator);
    double best = 1e12;
    for (int run = 0; run < 3; ++run) {
        const Stopwatch timer;
        const auto read = tree.entity(busiest);
        best = std::min(best, timer.cpuNs() / 1e6);
        if (!read.ok()) {
            context.table.check(QStringLiteral("selection tree: entity to its statements"), QStringLiteral("no error"), read.error, false);
            return;
        }
    }
    context.table.check(QStringLiteral("selection tree: entity to its statements"), QStringLiteral("< 100 ms (40 periods)"), millis(best), best < 100,
                        QStringLiteral("CPU time; entity with %1 periods").arg(periods));
}

void benchStart(BenchContext &context, const QString &file, int entityCount)
{
    // First start: schema, reference data and the default demo data in a fresh file.
    QTemporaryDir dir;
    Stopwatch timer;
    {
        // As the application's first start does it: in one transaction.
        db::Database fresh;
        if (fresh.open(db::DatabaseLocation::file(dir.filePath(QStringLiteral("first.sqlite")))).ok) {
            db::Transaction tx(fresh);
            if (shell::initialiseDatabase(fresh, false).ok && shell::generateDemoData(fresh, shell::DemoOptions{}).ok)
                tx.commit();
        }
    }
    const double first = timer.cpuNs() / 1e6;
    context.table.check(QStringLiteral("first start: schema, reference, demo data"), QStringLiteral("< 1.5 s or a progress window"), millis(first),
                        true, first < 1500 ? QStringLiteral("CPU time of the core's part, without the window")
                                           : QStringLiteral("CPU time of the core's part; over 1.5 s the application shows a window naming each step"));
    timer = Stopwatch();
    db::Database later;
    const Outcome opened = shell::openDatabase(later, db::DatabaseLocation::file(file));
    const bool listed = entities::EntitySearch(later).legalForms().ok();
    const double open = timer.cpuNs() / 1e6;
    context.table.check(QStringLiteral("later start: open and check the database"), QStringLiteral("< 1 s (10000 entities)"), millis(open),
                        opened.ok && listed && open < 1000, QStringLiteral("CPU time; %1 entities").arg(entityCount));
}

// The searches of the search window on the scale fixture, on SQLite and on a PostgreSQL copy
// of it, each with the indexes its plan shows; the data-selection tree; the starts.
#include "benchmarks.h"

#include "db/bulkinsert.h"
#include "db/database.h"
#include "db/transaction.h"
#include "db/tsqltranslator.h"
#include "entities/entitysearch.h"
#include "entities/searchsql.h"
#include "indicators/evaluator.h"
#include "selection/treedata.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

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

// Best of three runs of the listing, in milliseconds, and the rows it listed. On the embedded
// database the CPU time of this thread; over ODBC the wall clock, as the server works elsewhere.
std::pair<double, int> timed(const std::function<entities::Listing()> &search, bool wall)
{
    double best = 1e12;
    int rows = 0;
    for (int run = 0; run < 3; ++run) {
        const Stopwatch timer;
        const entities::Listing listing = search();
        best = std::min(best, (wall ? timer.wallNs() : timer.cpuNs()) / 1e6);
        rows = listing.ok() ? listing.count : -1;
    }
    return {best, rows};
}

// The indexes a plan reads, and the tables of names and identifiers it reads whole.
struct PlanUse {
    QStringList indexes;
    QStringList scanned;
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
        return text;
    }
};

PlanUse planUse(db::Database &database, const QString &sql)
{
    PlanUse use;
    const bool sqlite = database.backend() == db::Backend::SQLite;
    const auto plan = database.queryNative((sqlite ? QStringLiteral("EXPLAIN QUERY PLAN ") : QStringLiteral("EXPLAIN ")) + sql);
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
    const auto sink = [](const entities::ListItem &, int) {};
    const QString scope = QStringLiteral("%1 entities (target at 100000)").arg(entityCount);
    // A branch holds some per cent of all companies: there the planner may rightly read the
    // names whole, and only the time counts.
    const auto row = [&](const QString &figure, double limit, const std::pair<double, int> &measured, const PlanUse &plan, bool indexed = true) {
        const QString note = QStringLiteral("%1; %2 rows; %3; %4")
                                 .arg(wall ? QStringLiteral("wall clock, best of 3 (the server works in its own process)") : QStringLiteral("CPU time"))
                                 .arg(measured.second)
                                 .arg(scope, plan.note());
        context.table.check(QStringLiteral("search: %1 (%2)").arg(figure, backendName), QStringLiteral("< %1 ms").arg(limit), millis(measured.first),
                            measured.first < limit && measured.second >= 0 && (indexed ? plan.ok() : plan.error.isEmpty()), note);
    };
    const auto byName = [&](const QString &figure, double limit, const entities::NameQuery &query) {
        row(figure, limit, timed([&] { return search.byName(query, sink); }, wall),
            planUse(database, entities::searchSql::byNameFolded(query, database.backend())));
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
    row(QStringLiteral("in the branch"), 100, timed([&] { return search.sameBranchEntities(sample.entity, sink); }, wall),
        planUse(database, db::tsql::translate(entities::searchSql::sameBranchEntities(sample.entity), database.backend()).sql), false);
}

// The scale entities on PostgreSQL, in a database of their own beside "finance" (the
// private cluster of make bench is new on every run): schema and reference data as the
// application makes them, then the entity rows the searches read, copied from the SQLite
// fixture in large batches, so both backends search the same data. Dropped at the end.
class PostgresCopy
{
public:
    ~PostgresCopy()
    {
        if (!m_created)
            return;
        m_copy.close();
        db::Database server;
        // Clean-up at the end of a run: a copy left behind is dropped by the next run's make().
        if (server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)).ok)
            (void)server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + kScaleDatabase);
    }

    // "" when the copy is ready, else why not.
    QString make(BenchContext &context, db::Database &from)
    {
        const Stopwatch timer;
        db::Database server;
        if (const Outcome opened = server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !opened)
            return QStringLiteral("PostgreSQL not available (make bench runs it beside a private cluster): ") + opened.error;
        if (server.backend() != db::Backend::PostgreSQL)
            return QStringLiteral("the data source is not PostgreSQL");
        m_available = true;
        if (const Outcome dropped = server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + kScaleDatabase); !dropped)
            return dropped.error;
        if (const Outcome created = server.executeNative(QStringLiteral("CREATE DATABASE ") + kScaleDatabase); !created)
            return created.error;
        m_created = true;
        server.close();
        // QODBC passes a data source name with attributes on as a connection string.
        if (const Outcome opened = m_copy.open(db::DatabaseLocation::odbc(db::kDefaultDsn + QStringLiteral(";Database=") + kScaleDatabase)); !opened)
            return opened.error;
        if (const Outcome made = shell::initialiseDatabase(m_copy, false); !made)
            return made.error;
        int rows = 0;
        {
            db::Transaction tx(m_copy);
            // The reference entity is in both already: the fixture's rows replace it.
            for (const QString &table : {QStringLiteral("subj"), QStringLiteral("ident"), QStringLiteral("name"), QStringLiteral("actv")}) {
                const QString failed = copyTable(from, table, rows);
                if (!failed.isEmpty())
                    return table + QStringLiteral(": ") + failed;
            }
            if (!tx.commit())
                return m_copy.lastError();
        }
        if (const Outcome analysed = m_copy.executeNative(QStringLiteral("ANALYZE")); !analysed)
            return analysed.error;
        context.table.info(QStringLiteral("scale entities copied to PostgreSQL"), millis(timer.wallNs() / 1e6),
                           QStringLiteral("wall clock; schema and reference data as the application makes them, %1 rows of subj, ident, "
                                          "name and actv from the SQLite fixture, ANALYZE")
                               .arg(rows));
        return {};
    }

    bool available() const { return m_available; }
    db::Database &database() { return m_copy; }

private:
    QString copyTable(db::Database &from, const QString &table, int &rows)
    {
        if (const Outcome emptied = m_copy.executeNative(QStringLiteral("DELETE FROM ") + table); !emptied)
            return emptied.error;
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
        rows += insert.rowsWritten();
        return {};
    }

    db::Database m_copy;
    bool m_available = false;
    bool m_created = false;
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
        const QString failed = copy.make(context, database);
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

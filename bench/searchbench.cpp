// The searches of the search window on the scale fixture, the data-selection tree, and the
// starts: each timed once warm, with the index the plan shows.
#include "benchmarks.h"

#include "db/database.h"
#include "db/transaction.h"
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

// Best of three runs of the listing, in milliseconds, and the rows it listed.
std::pair<double, int> timed(const std::function<entities::Listing()> &search)
{
    double best = 1e12;
    int rows = 0;
    for (int run = 0; run < 3; ++run) {
        const Stopwatch timer;
        const entities::Listing listing = search();
        best = std::min(best, timer.cpuNs() / 1e6);
        rows = listing.ok() ? listing.count : -1;
    }
    return {best, rows};
}

// The index the plan of the name search uses, or "" when it scans the names.
QString planIndex(db::Database &database, const entities::NameQuery &query)
{
    const QString sql = entities::searchSql::byNameFolded(query, database.backend());
    const Result<QList<QVariantList>> plan = database.queryNative(QStringLiteral("EXPLAIN QUERY PLAN ") + sql);
    QString index;
    bool scansNames = false;
    for (const QVariantList &line : plan.value) {
        const QString detail = line.value(3).toString();
        if (detail.contains(QLatin1String("INDEX")) && index.isEmpty())
            index = detail.mid(detail.indexOf(QLatin1String("INDEX")) + 6).section(QLatin1Char(' '), 0, 0);
        scansNames = scansNames || detail.startsWith(QLatin1String("SCAN n")) || detail.startsWith(QLatin1String("SCAN i"));
    }
    return scansNames ? QString() : index;
}

} // namespace

void benchSearch(BenchContext &context, db::Database &database, int entityCount)
{
    entities::EntitySearch search(database);
    const auto sink = [](const entities::ListItem &, int) {};
    // A company from the middle of the fixture: its name, IČO and main branch.
    const QStringList sample = database
                                   .queryRows(QStringLiteral("SELECT TRIM(n.name_txt), TRIM(i.ident_txt), n.subj_id FROM name n, ident i "
                                                             "WHERE n.subj_id = i.subj_id AND i.form_type_cd <> 215 ORDER BY n.subj_id"))
                                   .rows.value(entityCount / 2);
    const QString name = sample.value(0);
    const QString scope = QStringLiteral("%1 entities (target at 100000)").arg(entityCount);
    const auto row = [&](const QString &figure, double limit, const std::pair<double, int> &measured, const QString &index = QStringLiteral("-")) {
        QString note = QStringLiteral("CPU time; %1 rows; %2").arg(measured.second).arg(scope);
        if (index != QLatin1String("-"))
            note += index.isEmpty() ? QStringLiteral("; the plan scans the names") : QStringLiteral("; index ") + index;
        context.table.check(figure, QStringLiteral("< %1 ms").arg(limit), millis(measured.first), measured.first < limit && measured.second >= 0 && !index.isEmpty(),
                            note);
    };
    entities::NameQuery prefix;
    prefix.name = name.left(5);
    row(QStringLiteral("search: name prefix (SQLite)"), 30, timed([&] { return search.byName(prefix, sink); }), planIndex(database, prefix));
    entities::NameQuery ico;
    ico.ico = sample.value(1);
    row(QStringLiteral("search: IČO (SQLite)"), 30, timed([&] { return search.byName(ico, sink); }), planIndex(database, ico));
    entities::NameQuery plain;
    plain.name = name.left(5).normalized(QString::NormalizationForm_D).remove(QRegularExpression(QStringLiteral("\\p{Mn}"))).toLower();
    row(QStringLiteral("search: without diacritics (SQLite)"), 100, timed([&] { return search.byName(plain, sink); }));
    entities::NameQuery infix;
    infix.name = name.mid(2, 4);
    infix.anywhere = true;
    row(QStringLiteral("search: anywhere in the name (SQLite)"), 100, timed([&] { return search.byName(infix, sink); }));
    const qint32 entity = sample.value(2).toInt();
    row(QStringLiteral("search: in the branch (SQLite)"), 100, timed([&] { return search.sameBranchEntities(entity, sink); }));

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
        tree.entity(busiest);
        best = std::min(best, timer.cpuNs() / 1e6);
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
    entities::EntitySearch(later).legalForms();
    const double open = timer.cpuNs() / 1e6;
    context.table.check(QStringLiteral("later start: open and check the database"), QStringLiteral("< 1 s (10000 entities)"), millis(open),
                        opened.ok && open < 1000, QStringLiteral("CPU time; %1 entities").arg(entityCount));
}

// The analysis table of the national fixture in the window's own grid and models, offscreen:
// 1,000,000 rows x 12 indicators filled, a page scrolled, the rows sorted by a column and a
// page shown. Each size runs in a child process of its own, so that its peak memory is its own.
#include "benchmarks.h"

#include "db/database.h"
#include "db/databaselocation.h"

#include <QFileInfo>
#include <QProcess>

#ifdef VERNA_BENCH_WINDOWS
#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/analysismodel.h"
#include "analysis/evaluatorsource.h"
#include "analysis/peerzonemodel.h"
#include "ui/frozentableview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#endif

using namespace verna;

namespace {

constexpr int kYear = 1998;

struct TableRun {
    qint64 cpuNs = 0; // the fill, CPU of the process
    qint64 wallNs = 0;
    qint64 cells = 0;
    qint64 peakKb = 0;
    qint64 scrollNs = 0;   // the slowest page scrolled to and painted
    qint64 sortNs = 0;     // the slowest sort by an indicator column, a page painted after it
    qint64 nameSortNs = 0; // by the names, in the locale's order
    QString error;
};

TableRun runTable(const BenchContext &context, const QString &file, int entities)
{
    TableRun run;
    QProcess child;
    child.start(context.program, {QStringLiteral("--child"), QStringLiteral("table"), file, QString::number(kYear), QString::number(entities)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        run.error = QString::fromUtf8(child.readAllStandardError()).trimmed();
        if (run.error.isEmpty())
            run.error = QStringLiteral("the child process failed");
        return run;
    }
    const QStringList f = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    run.cpuNs = f.value(0).toLongLong();
    run.wallNs = f.value(1).toLongLong();
    run.cells = f.value(2).toLongLong();
    run.peakKb = f.value(3).toLongLong();
    run.scrollNs = f.value(4).toLongLong();
    run.sortNs = f.value(5).toLongLong();
    run.nameSortNs = f.value(6).toLongLong();
    return run;
}

} // namespace

// --child table FILE YEAR ENTITIES: the first ENTITIES companies' periods of YEAR in the grid,
// the fill indicators' columns computed; prints "fill-cpu-ns fill-wall-ns cells peak-kB
// scroll-ns sort-ns name-sort-ns".
int nationalTableChild(const QStringList &arguments)
{
    QTextStream err(stderr);
#ifdef VERNA_BENCH_WINDOWS
    db::Database database;
    db::DatabaseLocation location = db::DatabaseLocation::file(arguments.value(1));
    location.readOnly = true; // the national fixture is shared: only read
    if (const Outcome opened = database.open(location); !opened) {
        err << opened.error << "\n";
        return 1;
    }
    const int year = arguments.value(2).toInt();
    const QList<qint32> entities = fixtureEntities(database, arguments.value(3).toInt());

    // The window's parts: the model in the user's locale behind the peer colouring proxy, in
    // the grid with its frozen name and period columns.
    analysis::AnalysisModel model{QLocale()};
    analysis::AnalysisData data(database);
    analysis::EvaluatorSource source(database);
    analysis::AnalysisEngine engine(model, data, source);
    analysis::PeerZoneModel zones(model);
    ui::FrozenTableView grid(2);
    grid.setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid.verticalHeader()->setDefaultSectionSize(grid.fontMetrics().height() + 8);
    grid.setModel(&zones);
    grid.resize(1400, 900);
    grid.show();
    QCoreApplication::processEvents();

    QList<QPair<int, QString>> columns;
    for (int id : kFillIndicators)
        columns.append({id, QString::number(id)});
    const Stopwatch fill;
    if (const Result<int> added = engine.addYearsRows(entities, year, year); !added.ok()) {
        err << added.error << "\n";
        return 1;
    }
    if (const Outcome filled = engine.addIndicators(columns); !filled) {
        err << filled.error << "\n";
        return 1;
    }
    QCoreApplication::processEvents();
    const qint64 fillCpu = fill.processCpuNs();
    const qint64 fillWall = fill.wallNs();

    // A page shown: the grid and its frozen part painted now, not when the loop gets to it.
    const auto paint = [&] {
        grid.viewport()->repaint();
        grid.frozenView()->viewport()->repaint();
        grid.verticalHeader()->viewport()->repaint();
    };
    QScrollBar *bar = grid.verticalScrollBar();
    qint64 scroll = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        if (i % 2 == 0)
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        else
            bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * ((i * 37) % 100) / 100));
        paint();
        scroll = std::max(scroll, t.nsecsElapsed());
    }
    qint64 sort = 0;
    const int count = model.indicatorCount();
    for (const auto &[column, order] : {std::pair{0, Qt::AscendingOrder}, std::pair{count / 2, Qt::DescendingOrder}, std::pair{count - 1, Qt::AscendingOrder}}) {
        QElapsedTimer t;
        t.start();
        grid.sortRows(analysis::AnalysisModel::kFixedColumns + column, order);
        paint();
        sort = std::max(sort, t.nsecsElapsed());
    }
    QElapsedTimer byName;
    byName.start();
    grid.sortRows(0, Qt::AscendingOrder);
    paint();
    const qint64 nameSort = byName.nsecsElapsed();

    QTextStream(stdout) << fillCpu << " " << fillWall << " " << qint64(model.dataRowCount()) * count << " " << peakMemoryKb() << " " << scroll
                        << " " << sort << " " << nameSort << "\n";
    return 0;
#else
    Q_UNUSED(arguments);
    err << "built without the windows\n";
    return 1;
#endif
}

void benchNationalTable(BenchContext &context, const QString &file)
{
    const QString name = QStringLiteral("analysis table in the window, 1000000 x 12");
#ifndef VERNA_BENCH_WINDOWS
    context.table.add(Figure::Status::Skipped, name, QStringLiteral("< 2 GB, page < 100 ms"), QStringLiteral("built without the windows"));
    return;
#endif
    if (!QFileInfo::exists(file)) {
        context.table.add(Figure::Status::Skipped, name, QStringLiteral("< 2 GB, page < 100 ms"), QStringLiteral("no national fixture"));
        return;
    }
    // The small table's cost per cell: the best of three runs.
    TableRun small;
    for (int i = 0; i < 3; ++i) {
        const TableRun r = runTable(context, file, 1000);
        if (!r.error.isEmpty()) {
            context.table.check(name, QStringLiteral("no error"), r.error, false);
            return;
        }
        if (i == 0 || r.cpuNs < small.cpuNs)
            small = r;
    }
    const TableRun all = runTable(context, file, -1);
    if (!all.error.isEmpty()) {
        context.table.check(name, QStringLiteral("no error"), all.error, false);
        return;
    }
    const auto perCell = [](const TableRun &r) { return r.cpuNs / 1e3 / std::max<qint64>(1, r.cells); };
    const double growth = perCell(all) / perCell(small);
    const QString rows = QStringLiteral("%1 rows x 12").arg(all.cells / 12);
    context.table.check(QStringLiteral("window table: peak memory, %1").arg(rows), QStringLiteral("< 2 GB"),
                        QString::number(all.peakKb / 1024.0, 'f', 0) + QStringLiteral(" MB"), all.peakKb < 2 * 1024 * 1024,
                        QStringLiteral("VmHWM of a process of its own: the grid, its models and the fill, offscreen"));
    context.table.check(QStringLiteral("window table: page scrolled and shown"), QStringLiteral("< 100 ms"), millis(all.scrollNs / 1e6),
                        all.scrollNs < 100000000, QStringLiteral("wall clock, the slowest of 20 pages (a page down or a jump), grid painted"));
    context.table.check(QStringLiteral("window table: sorted by a column and a page shown"), QStringLiteral("< 100 ms"), millis(all.sortNs / 1e6),
                        all.sortNs < 100000000,
                        QStringLiteral("wall clock, the slowest of three indicator columns; by the names (locale order) %1").arg(millis(all.nameSortNs / 1e6)));
    context.table.check(QStringLiteral("window table: fill growth per cell, %1 / 1000 rows").arg(all.cells / 12), QStringLiteral("<= 1.3"),
                        QString::number(growth, 'f', 2), growth <= 1.3,
                        QStringLiteral("%1 vs %2 us of CPU per cell in the window's grid; fill wall clock %3 s")
                            .arg(perCell(all), 0, 'f', 2)
                            .arg(perCell(small), 0, 'f', 2)
                            .arg(all.wallNs / 1e9, 0, 'f', 1));
}

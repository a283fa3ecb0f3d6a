// Growth and memory: the fill at 1,000 rows and at 100,000 rows (one quarter of 100,000
// companies), in the table and in verna-db analyze, each in its own process so that its peak
// memory is its own.
#include "benchmarks.h"

#include "db/database.h"
#include "shell/demodata.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <sys/resource.h>

using namespace verna;

namespace {

constexpr int kYear = 1998;

QString megabytes(qint64 kb)
{
    return QString::number(kb / 1024.0, 'f', 0) + QStringLiteral(" MB");
}

// verna-db analyze over the first entities, its list in a file; CPU nanoseconds, or -1.
qint64 cliAnalyze(BenchContext &context, const QString &file, const QList<qint32> &entities, QString &error)
{
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("entities.txt")));
    if (!list.open(QIODevice::WriteOnly))
        return -1;
    for (qint32 id : entities)
        list.write(QByteArray::number(id) + '\n');
    list.close();
    QStringList indicators;
    for (int id : kFillIndicators)
        indicators << QString::number(id);
    return cliCpuNs(context, {QStringLiteral("--db"), file, QStringLiteral("analyze"), QStringLiteral("--entities"), QLatin1Char('@') + list.fileName(),
                              QStringLiteral("--years"), QString::number(kYear), QStringLiteral("--indicators"), indicators.join(QLatin1Char(','))},
                    error);
}

} // namespace

qint64 cliCpuNs(const BenchContext &context, const QStringList &arguments, QString &error)
{
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    // The child's CPU time: on a shared machine its wall clock is mostly other jobs'.
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    cli.start(context.cli, arguments);
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0) {
        error = QString::fromUtf8(cli.readAllStandardError()).trimmed();
        return -1;
    }
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const auto ns = [](const rusage &r) {
        return (static_cast<qint64>(r.ru_utime.tv_sec) + r.ru_stime.tv_sec) * 1000000000 + (static_cast<qint64>(r.ru_utime.tv_usec) + r.ru_stime.tv_usec) * 1000;
    };
    return ns(after) - ns(before);
}

shell::DemoOptions scaleDemo()
{
    shell::DemoOptions demo;
    demo.entities = scaleEntities;
    demo.seed = 17;
    demo.firstYear = kYear;
    demo.lastYear = kYear;
    demo.firstQuarter = 4;
    demo.lastQuarter = 4;
    return demo;
}

QString scaleFixtureFile(const BenchContext &context)
{
    return QFileInfo(context.fixtures + QStringLiteral("/scale-%1.sqlite").arg(scaleEntities)).absoluteFilePath();
}

int scaleEntities = 100000;

void benchScale(BenchContext &context)
{
    const shell::DemoOptions demo = scaleDemo();
    const QString file = scaleFixtureFile(context);
    db::Database database;
    QElapsedTimer made;
    made.start();
    const bool existed = QFileInfo::exists(file);
    if (!openFixture(database, file, demo, context.log)) {
        context.table.check(QStringLiteral("scale fixture"), QStringLiteral("made"), QStringLiteral("failed"), false);
        return;
    }
    if (!existed)
        context.log << "made in " << made.elapsed() / 1000.0 << " s\n";
    const qint64 all = fixtureEntities(database).size();
    benchSearch(context, database, static_cast<int>(all));
#ifdef VERNA_BENCH_WINDOWS
    benchSearchWindow(context, database, static_cast<int>(all));
#else
    context.table.add(Figure::Status::Skipped, QStringLiteral("search window: all entities listed"), QStringLiteral("< 1 s, Stop < 100 ms"),
                      QStringLiteral("built without the windows"));
#endif
    database.close();
    benchStart(context, file, static_cast<int>(all));

    const int small = 1000;
    const int medium = std::min<int>(16000, static_cast<int>(all));
    ChildResult results[3];
    const int counts[3] = {small, medium, static_cast<int>(all)};
    // Best of three CPU times per size; the peak memory is the highest of the three.
    for (int i = 0; i < 3; ++i) {
        for (int run = 0; run < 3; ++run) {
            const ChildResult r = runChild(context.program, {QStringLiteral("fill"), file, QString::number(kYear), QString::number(counts[i])});
            if (!r.error.isEmpty()) {
                context.table.check(QStringLiteral("fill of %1 rows").arg(counts[i]), QStringLiteral("no error"), r.error, false);
                return;
            }
            const qint64 peak = std::max(results[i].peakKb, r.peakKb);
            if (run == 0 || r.nanoseconds < results[i].nanoseconds)
                results[i] = r;
            results[i].peakKb = peak;
        }
    }
    const auto perCell = [](const ChildResult &r) { return r.nanoseconds / 1e3 / std::max<qint64>(1, r.cells); };
    const double growth = perCell(results[2]) / perCell(results[0]);
    context.table.check(QStringLiteral("fill growth per cell, %1 / %2 rows").arg(counts[2]).arg(small), QStringLiteral("<= 1.3"),
                        QString::number(growth, 'f', 2), growth <= 1.3,
                        QStringLiteral("%1 vs %2 us of CPU per cell; %3 (wall clock %4)")
                            .arg(perCell(results[2]), 0, 'f', 2)
                            .arg(perCell(results[0]), 0, 'f', 2)
                            .arg(rate(1e6 / perCell(results[2])))
                            .arg(rate(results[2].cells * 1e9 / std::max<qint64>(1, results[2].wallNanoseconds))));
    context.table.check(QStringLiteral("peak memory, %1-cell fill").arg(results[1].cells), QStringLiteral("< 200 MB"), megabytes(results[1].peakKb),
                        results[1].peakKb < 200 * 1024, QStringLiteral("VmHWM of the process"));
    if (results[2].cells >= 1200000) {
        context.table.check(QStringLiteral("peak memory, %1-cell fill").arg(results[2].cells), QStringLiteral("< 1 GB"), megabytes(results[2].peakKb),
                            results[2].peakKb < 1024 * 1024);
    } else {
        context.table.add(Figure::Status::Pending, QStringLiteral("peak memory, 1200000-cell fill"), QStringLiteral("< 1 GB"),
                          QStringLiteral("%1 at %2 cells; the 100000-row fixture: --scale-entities 100000").arg(megabytes(results[2].peakKb)).arg(results[2].cells));
    }

    db::Database reopened;
    if (const Outcome opened = reopened.open(db::DatabaseLocation::file(file)); !opened) {
        context.table.check(QStringLiteral("verna-db analyze --entities @FILE"), QStringLiteral("no error"), opened.error, false);
        return;
    }
    const QList<qint32> ids = fixtureEntities(reopened);
    reopened.close();
    QString error;
    const qint64 cliSmall = cliAnalyze(context, file, ids.mid(0, small), error);
    const qint64 cliAll = cliSmall < 0 ? -1 : cliAnalyze(context, file, ids, error);
    if (cliAll < 0) {
        context.table.check(QStringLiteral("verna-db analyze --entities @FILE"), QStringLiteral("no error"), error, false);
        return;
    }
    const double cliGrowth = (cliAll / static_cast<double>(results[2].cells)) / (cliSmall / static_cast<double>(results[0].cells));
    context.table.check(QStringLiteral("verna-db analyze growth per cell, %1 / %2 rows").arg(counts[2]).arg(small), QStringLiteral("<= 1.3"),
                        QString::number(cliGrowth, 'f', 2), cliGrowth <= 1.3,
                        QStringLiteral("CPU time of the whole process, list from a file; %1 s for %2 cells").arg(cliAll / 1e9, 0, 'f', 1).arg(results[2].cells));
}

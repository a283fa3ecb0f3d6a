// Benchmarks with repeatable fixtures; each prints its measurements and their ratios.
//   verna-bench [NAME...]   runs the named benchmarks, or all of them
//   verna-bench --list      lists them
#include "benchmarks.h"

#include "db/database.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <iterator>

bool makeFixture(verna::db::Database &database, const QString &folder, const verna::shell::DemoOptions &demo, QTextStream &out)
{
    using namespace verna;
    if (const Outcome opened = database.open(db::DatabaseLocation::file(folder + QStringLiteral("/bench.sqlite"))); !opened) {
        out << "database cannot be opened: " << opened.error << "\n";
        return false;
    }
    Outcome made = shell::initialiseDatabase(database, false);
    if (made)
        made = shell::generateDemoData(database, demo);
    if (!made)
        out << made.error << "\n";
    return made.ok;
}

namespace {

const Benchmark kBenchmarks[] = {
    {"evaluator", "indicator values per second: cell by cell, with a cache, a column at a time", benchEvaluator},
    {"analysis", "analysis table fill through the model beside the set-based limit", benchAnalysisFill},
    {"report", "the report of one full-statement row with every section", benchReport},
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTextStream out(stdout);
    QStringList names = app.arguments().mid(1);
    if (names.contains(QStringLiteral("--list"))) {
        for (const Benchmark &b : kBenchmarks)
            out << b.name << "\t" << b.description << "\n";
        return 0;
    }
    for (const QString &name : names) {
        if (std::none_of(std::begin(kBenchmarks), std::end(kBenchmarks), [&](const Benchmark &b) { return name == QLatin1String(b.name); })) {
            QTextStream(stderr) << "Neznámý benchmark: " << name << " (seznam: --list)\n";
            return 2;
        }
    }
    int status = 0;
    for (const Benchmark &b : kBenchmarks) {
        if (!names.isEmpty() && !names.contains(QLatin1String(b.name)))
            continue;
        out << "== " << b.name << ": " << b.description << "\n";
        out.flush();
        status = std::max(status, b.run(out));
        out << "\n";
    }
    return status;
}

#pragma once

#include <QTextStream>

// One benchmark: builds its own repeatable fixture, prints its measurements and their ratios,
// and returns a process exit code (non-zero when the paths it compares disagree).
struct Benchmark {
    const char *name;
    const char *description;
    int (*run)(QTextStream &out);
};

namespace verna::db {
class Database;
}
namespace verna::shell {
struct DemoOptions;
}

// Opens a fresh SQLite database in the folder with reference and demo data; false (with
// the reason printed) when that fails.
bool makeFixture(verna::db::Database &database, const QString &folder, const verna::shell::DemoOptions &demo, QTextStream &out);

int benchEvaluator(QTextStream &out);
int benchAnalysisFill(QTextStream &out);
int benchReport(QTextStream &out);

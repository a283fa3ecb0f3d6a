#pragma once

#include <QTextStream>

// One benchmark: builds its own repeatable fixture, prints its measurements and their ratios,
// and returns a process exit code (non-zero when the paths it compares disagree).
struct Benchmark {
    const char *name;
    const char *description;
    int (*run)(QTextStream &out);
};

int benchEvaluator(QTextStream &out);
int benchAnalysisFill(QTextStream &out);

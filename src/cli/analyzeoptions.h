#pragma once

#include "commands.h"

#include "analysis/aggregates.h"
#include "analysis/analysismodel.h"
#include "db/database.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace verna::cli {

// The analysis arguments that analyze and report share.
struct AnalyzeOptions {
    QList<qint32> entities;
    QStringList icos;
    std::optional<qint32> group;
    QList<QPair<int, int>> periods; // (year, quarter)
    std::optional<QPair<int, int>> years;
    QList<int> indicators;
    std::optional<analysis::Aggregate> aggregate;
    analysis::YearChange yearChange = analysis::YearChange::None; // beside every indicator column
    QString xlsx;
    QString csv;
};

// An analysis computed for a command: its arguments, the database it read and the table.
struct ComputedAnalysis {
    AnalyzeOptions options;
    db::Database database;
    analysis::AnalysisModel model{QLocale::c()};
};

// Parses the analysis arguments (a usage error names the command), opens the database and
// fills the table as the analysis window would: rows of the entities' periods, then the
// indicator columns, then the aggregate; with rowsOnly the rows alone (the indicators checked).
// Returns an exit code, with the message on err.
int computeAnalysis(const QStringList &args, const QString &command, const Options &global, ComputedAnalysis &analysis,
                    QTextStream &err, bool rowsOnly = false);

} // namespace verna::cli

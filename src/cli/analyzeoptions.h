#pragma once

#include "analysis/aggregates.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::analysis {
class AnalysisModel;
}

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
    QString xlsx;
    QString csv;
};

// Nullopt with a Czech message (naming the command) on a usage error.
std::optional<AnalyzeOptions> parseAnalyzeOptions(const QStringList &args, QTextStream &err, const QString &command);

// Fills the table as the analysis window would: rows of the entities' periods, then the
// indicator columns, then the aggregate. Returns an exit code, with the message on err.
int computeAnalysis(const AnalyzeOptions &options, db::Database &database, analysis::AnalysisModel &model, QTextStream &err);

} // namespace verna::cli

#pragma once

#include "db/outcome.h"

#include <QString>

namespace verna::analysis {

class AnalysisModel;

// A rectangle of the table in model coordinates (columns 0 and 1 are name and period).
struct CellRange {
    int top = 0;
    int left = 0;
    int bottom = -1;
    int right = -1;
};

// The table as shown, with its header and, when one is current, the aggregate row:
// CSV (comma-separated, quoted where needed), and tab-separated text of a rectangle for
// spreadsheets to paste into cells.
QString tableAsCsv(const AnalysisModel &model);
QString rangeAsTsv(const AnalysisModel &model, const CellRange &range);

Outcome writeCsv(const AnalysisModel &model, const QString &path);
// XLSX with numbers as numbers (two decimals) and the header row frozen.
Outcome writeXlsx(const AnalysisModel &model, const QString &path);

} // namespace verna::analysis

#pragma once

#include "analysis/aggregates.h"
#include "analysis/chartdata.h"
#include "analysis/tableexport.h"

#include <QString>
#include <optional>

namespace verna::analysis {
class AnalysisModel;
}

namespace verna::report {

// How a selection of the table reads for the report (model coordinates, bounds inclusive):
// every data row covered is whole columns; else every indicator column covered is whole
// rows; else the rectangle. Name and period columns are no values.
struct ReportShape {
    enum Kind { WholeColumns, WholeRows, Rectangle };
    Kind kind = WholeColumns;
    int top = 0;
    int bottom = -1;
    int left = 0;  // model column, >= 2
    int right = -1;
    bool isEmpty() const { return bottom < top || right < left; }
};
ReportShape reportShape(const analysis::AnalysisModel &model, const analysis::CellRange &selection);

// The aggregate row and the profile score are computed over the analysis model, so they live
// there; the report keeps calling them by these names.
using analysis::AggregateRow;
using analysis::profileScore;
using analysis::reportAggregate;

// The chart section between GRAF markers: the profile applet for whole rows, else the column
// chart applet, each with the same chart drawn inside as SVG.
QString chartSection(const analysis::AnalysisModel &model, const ReportShape &shape, const QString &classFolder);

// The page of the "Paprsky" chart: the profile of the selected whole rows (other shapes
// chart every row).
QString profilePage(const analysis::AnalysisModel &model, const analysis::CellRange &selection, const QString &classFolder);

} // namespace verna::report

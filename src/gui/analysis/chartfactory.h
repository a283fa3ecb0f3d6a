#pragma once

#include "analysis/chartpanel.h"

class QChart;

namespace verna::analysis {

// A new chart of the data in one of the chart types (the caller owns it): short labels on
// the axes and in the legend with what they share as the title, a second value axis for
// series of a much larger order, and for "Paprsky" the profile of each row on 0 … 200.
QChart *makeChart(const ChartData &data, ChartPanel::ChartType type);

// The scales differ by orders, but the indicators are the categories: one axis cannot
// show them, rotating would give each its own series and the large ones their own axis.
bool scalesNeedRotation(const ChartData &data);

} // namespace verna::analysis

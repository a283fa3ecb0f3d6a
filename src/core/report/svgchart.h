#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace verna::report {

// A chart to draw: one series per label, one value per category (nullopt for none).
struct SvgChartData {
    QStringList series;
    QStringList categories;
    QList<QList<std::optional<double>>> values; // values[series][category]
};

// Inline SVG (one line per element, CR LF) of a column chart: categories along the x axis,
// one column per series in each, a legend under it. Texts are escaped.
QString columnChartSvg(const SvgChartData &data, int width = 600, int height = 320);

// A radar chart on the fixed scale 0…200 (100 = the aggregate): one axis per category, one
// closed line per series, a legend under it. With fewer than three categories, columns on
// that scale with the 100 line marked.
QString radarChartSvg(const SvgChartData &data, int width = 600, int height = 400);

} // namespace verna::report

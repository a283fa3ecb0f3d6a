#include "analysis/chartdata.h"

#include "analysis/analysismodel.h"
#include "analysis/twodecimals.h"

namespace verna::analysis {

ChartData ChartData::rotated() const
{
    ChartData out;
    out.series = categories;
    out.categories = series;
    out.seriesTitle = categoryTitle;
    out.categoryTitle = seriesTitle;
    out.wholeRows = wholeRows;
    out.locale = locale;
    for (int c = 0; c < categories.size(); ++c) {
        QList<std::optional<double>> line;
        line.reserve(series.size());
        for (int s = 0; s < series.size(); ++s)
            line << values.at(s).at(c);
        out.values << line;
    }
    return out;
}

ChartData chartData(const AnalysisModel &model, const CellRange &selection)
{
    const int rows = model.dataRowCount();
    const int first = AnalysisModel::kFixedColumns;
    const int last = model.columnCount() - 1;
    if (rows == 0 || last < first)
        return {};

    int top = std::min(selection.top, selection.bottom);
    int bottom = std::min(std::max(selection.top, selection.bottom), rows - 1);
    int left = std::min(selection.left, selection.right);
    int right = std::min(std::max(selection.left, selection.right), last);
    if (top < 0 || left < 0 || top > bottom || left > right) {
        top = 0;
        bottom = rows - 1;
        left = first;
        right = last;
    }
    const bool wholeColumns = top == 0 && bottom == rows - 1;
    // Name and period are no values; a selection in them only stands for its rows.
    if (right < first)
        right = last;
    left = std::max(left, first);
    const bool wholeRows = !wholeColumns && left == first && right == last;

    ChartData data;
    data.seriesTitle = kRowsAxisTitle;
    data.categoryTitle = kIndicatorsAxisTitle;
    data.wholeRows = wholeRows;
    data.locale = model.locale();
    for (int c = left; c <= right; ++c)
        data.categories << model.indicatorName(c - first);
    for (int r = top; r <= bottom; ++r) {
        data.series << model.entityName(r) + QLatin1Char(' ') + model.rowKey(r).periodText();
        QList<std::optional<double>> line;
        for (int c = left; c <= right; ++c) {
            // Cells hold hundredths exactly; the chart only needs them as numbers.
            const std::optional<Cents> cents = parseCell(model.cell(r, c - first), model.locale());
            line << (cents ? std::optional<double>(static_cast<double>(*cents) / 100.0) : std::nullopt);
        }
        data.values << line;
    }
    return data;
}

} // namespace verna::analysis

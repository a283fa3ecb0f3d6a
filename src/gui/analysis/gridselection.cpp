#include "analysis/gridselection.h"

#include "analysis/analysismodel.h"

#include <QItemSelectionModel>

namespace verna::analysis {

std::optional<CellRange> selectedRange(const QItemSelectionModel *selection)
{
    if (!selection)
        return std::nullopt;
    const QItemSelection ranges = selection->selection();
    std::optional<CellRange> out;
    for (const QItemSelectionRange &r : ranges) {
        if (!r.isValid())
            continue;
        if (!out) {
            out = CellRange{r.top(), r.left(), r.bottom(), r.right()};
            continue;
        }
        out->top = std::min(out->top, r.top());
        out->left = std::min(out->left, r.left());
        out->bottom = std::max(out->bottom, r.bottom());
        out->right = std::max(out->right, r.right());
    }
    return out;
}

DeleteRequest deleteRequest(const CellRange &selection, int dataRows, int indicators)
{
    const int top = std::min(selection.top, selection.bottom);
    const int bottom = std::max(selection.top, selection.bottom);
    const int left = std::min(selection.left, selection.right);
    const int right = std::max(selection.left, selection.right);
    const int firstValue = AnalysisModel::kFixedColumns;
    const int lastColumn = firstValue + indicators - 1;
    if (dataRows <= 0 || top < 0 || bottom >= dataRows || left < 0 || right > std::max(lastColumn, firstValue - 1))
        return {};

    const bool allRows = top == 0 && bottom == dataRows - 1;
    const bool wholeRows = indicators > 0 ? left <= firstValue && right == lastColumn : left == 0 && right == firstValue - 1;
    if (indicators > 0 && allRows && wholeRows)
        return {DeleteRequest::AllIndicators, 0, indicators - 1};
    if (wholeRows)
        return {DeleteRequest::Rows, top, bottom};
    if (allRows && right >= firstValue)
        return {DeleteRequest::Indicators, std::max(left, firstValue) - firstValue, right - firstValue};
    return {};
}

} // namespace verna::analysis

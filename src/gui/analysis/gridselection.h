#pragma once

#include "analysis/tableexport.h"

#include <optional>

class QItemSelectionModel;

namespace verna::analysis {

// The one rectangle the result grid's selection covers (model coordinates, top-left first,
// whichever corner the user started from); nullopt when nothing is selected.
std::optional<CellRange> selectedRange(const QItemSelectionModel *selection);

// What the Delete key removes for a selection of the result grid.
struct DeleteRequest {
    enum Kind { None, AllIndicators, Rows, Indicators };
    Kind kind = None;
    int first = 0; // data rows for Rows, indicator columns (0 = first indicator) for Indicators
    int last = -1;
};

// The three shapes: the whole value area (every indicator column goes), whole rows (from
// the first indicator, or a name or period cell, to the last column), whole columns (every
// data row). Name and period columns are never removed; without an indicator column a row
// selected from name to period counts as whole.
DeleteRequest deleteRequest(const CellRange &selection, int dataRows, int indicators);

} // namespace verna::analysis

#pragma once

#include <QList>

namespace verna::base {

// The fixed item-code lists that statement windows, the selection tree and the evaluator read.
struct ItemCodes {
    // Lines of the abbreviated balance sheet, in display order.
    static const QList<int> &abbreviatedBalanceSheet();
    // Lines of the abbreviated income statement, in display order.
    static const QList<int> &abbreviatedIncomeStatement();
    // Lines that a full income statement does not store ...
    static const QList<int> &computedItems();
    // ... and the indicators that compute them, pair by pair.
    static const QList<int> &computedItemFormulas();
};

} // namespace verna::base

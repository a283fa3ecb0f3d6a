#include "base/itemcodes.h"

namespace verna::base {

const QList<int> &ItemCodes::abbreviatedBalanceSheet()
{
    // The decree's lines plus 193, which the liquidity ratios need to split bank loans.
    static const QList<int> codes = {92,  93,  94,  95,  103, 113, 119, 120, 127, 133, 142, 146, 152,
                                     153, 154, 157, 162, 166, 169, 170, 171, 175, 182, 192, 193, 196};
    return codes;
}

const QList<int> &ItemCodes::abbreviatedIncomeStatement()
{
    static const QList<int> codes = {202, 203, 36,  37,  204, 41, 42, 48, 205, 206, 207, 208, 59, 209,
                                     210, 211, 212, 77,  82,  83, 84, 85, 86,  213, 88,  90,  91};
    return codes;
}

const QList<int> &ItemCodes::computedItems()
{
    static const QList<int> codes = {202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213};
    return codes;
}

const QList<int> &ItemCodes::computedItemFormulas()
{
    static const QList<int> ids = {17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28};
    return ids;
}

} // namespace verna::base

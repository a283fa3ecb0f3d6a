#pragma once

#include <QList>
#include <QString>

namespace verna::indicators {

// Quantities the shipped indicators share, stated once: lines no statement stores, which the
// evaluator writes out by the period's form of income statement before it evaluates (as it
// does for the days line [219]). A full statement takes the textbook definition; an
// abbreviated one the nearest lines that every abbreviated statement carries.
struct DerivedLine {
    int code;
    QString name;        // as the formula editor lists it
    QString full;        // over the lines of a full statement
    QString abbreviated; // over the lines of an abbreviated statement
};

class DerivedLines
{
public:
    static constexpr int kEbit = 220;
    static constexpr int kEbitda = 221;
    static constexpr int kSales = 222;
    static constexpr int kRevenues = 223;
    static constexpr int kShortTermDebt = 224;
    static constexpr int kProfitBeforeTax = 225;

    static const QList<DerivedLine> &all();

    // The formula with every derived line written out for the form; no derived line refers
    // to another, so one pass suffices.
    static QString expanded(const QString &formula, bool fullForm);
};

} // namespace verna::indicators

#pragma once

#include "db/arithmetic.h"
#include "indicators/formula.h"

#include <QHash>
#include <QString>
#include <vector>

namespace verna::indicators {

// A valid formula compiled to a short postfix program over numbered item itemSlots, computed in
// C++ with the arithmetic the backends use (db/arithmetic.h): the same value the emitted
// statement gives, once the referenced amounts are read.
class FormulaProgram
{
public:
    using Number = db::arithmetic::Number;

    // Item codes get itemSlots from the table, new codes the next free one.
    FormulaProgram(const Formula &formula, QHash<QString, int> &itemSlots);

    // The value for the amounts by slot (a NULL where the item has no value).
    Number run(const Number *amounts) const;

    // The value text as the backends print it: integers exact, the rest to 12 significant
    // digits, "" for no value.
    static QString text(const Number &value);

private:
    struct Step {
        enum class Kind : unsigned char { Push, Item, Negate, Binary } kind;
        char op = 0;
        int slot = 0;
        Number constant;
    };
    void compile(const Formula &formula, int index, QHash<QString, int> &itemSlots);

    std::vector<Step> m_steps;
    int m_depth = 0;
};

} // namespace verna::indicators

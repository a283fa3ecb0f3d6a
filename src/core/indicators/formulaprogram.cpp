#include "indicators/formulaprogram.h"

#include "db/numbertext.h"

namespace verna::indicators {

namespace {
using Kind = Formula::Node::Kind;
namespace arithmetic = db::arithmetic;
} // namespace

FormulaProgram::FormulaProgram(const Formula &formula, QHash<QString, int> &itemSlots)
{
    if (!formula.isValid())
        return;
    compile(formula, formula.root(), itemSlots);
    // The stack never holds more than the tree is high.
    m_depth = formula.height() + 1;
}

void FormulaProgram::compile(const Formula &formula, int index, QHash<QString, int> &itemSlots)
{
    const Formula::Node &n = formula.node(index);
    switch (n.kind) {
    case Kind::Constant:
        m_steps.push_back({Step::Kind::Push, 0, 0, n.decimals > 0 ? Number::real(n.value()) : Number::integer(n.constant)});
        return;
    case Kind::Item: {
        auto slot = itemSlots.constFind(n.code);
        if (slot == itemSlots.constEnd())
            slot = itemSlots.insert(n.code, static_cast<int>(itemSlots.size()));
        m_steps.push_back({Step::Kind::Item, 0, *slot, {}});
        return;
    }
    case Kind::Negate:
        compile(formula, n.left, itemSlots);
        m_steps.push_back({Step::Kind::Negate, 0, 0, {}});
        return;
    default:
        compile(formula, n.left, itemSlots);
        compile(formula, n.right, itemSlots);
        m_steps.push_back({Step::Kind::Binary, "+-*/^"[static_cast<int>(n.kind) - static_cast<int>(Kind::Add)], 0, {}});
        return;
    }
}

FormulaProgram::Number FormulaProgram::run(const Number *amounts) const
{
    if (m_steps.empty())
        return Number::none();
    constexpr int kOnStack = 64;
    Number local[kOnStack];
    std::vector<Number> heap;
    Number *stack = local;
    if (m_depth > kOnStack) {
        heap.resize(static_cast<size_t>(m_depth));
        stack = heap.data();
    }
    int top = 0;
    for (const Step &s : m_steps) {
        switch (s.kind) {
        case Step::Kind::Push: stack[top++] = s.constant; break;
        case Step::Kind::Item: stack[top++] = amounts[s.slot]; break;
        case Step::Kind::Negate: stack[top - 1] = arithmetic::negate(stack[top - 1]); break;
        case Step::Kind::Binary:
            --top;
            stack[top - 1] = arithmetic::apply(s.op, stack[top - 1], stack[top]);
            break;
        }
    }
    return stack[0];
}

QString FormulaProgram::text(const Number &value)
{
    switch (value.type) {
    case Number::Type::Integer: return QString::number(value.i);
    case Number::Type::Double: return db::numberText(value.d);
    default: return QString();
    }
}

} // namespace verna::indicators

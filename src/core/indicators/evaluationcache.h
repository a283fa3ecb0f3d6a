#pragma once

#include "indicators/formula.h"
#include "indicators/period.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

namespace verna::indicators {

// What an evaluator may remember for the length of one operation over many cells (a column
// of the analysis table, a report section): the forms of the periods' income statements,
// the stored formulas, their expansions and parsed trees. Values are the same as without it;
// only the queries that read them again are saved. Make one per operation and drop it after:
// it does not see later changes to statements or indicators.
class EvaluationCache
{
public:
    // Form query answers by period.
    std::optional<QString> form(const Period &period) const;
    void setForm(const Period &period, const QString &answer);

    // Stored formulas by indicator id ("" for a missing or deleted indicator).
    std::optional<QString> indicatorFormula(int indicatorId) const;
    void setIndicatorFormula(int indicatorId, const QString &formula);

    // Formulas with computed items expanded, by the formula before expansion.
    std::optional<QString> expansion(const QString &formula) const;
    void setExpansion(const QString &formula, const QString &expanded);

    // The parsed tree of a formula text (after expansion), parsed once.
    std::shared_ptr<const Formula> parsed(const QString &text);

    void clear();

private:
    QHash<Period, QString> m_forms;
    QHash<int, QString> m_formulas;
    QHash<QString, QString> m_expansions;
    QHash<QString, std::shared_ptr<const Formula>> m_parsed;
};

} // namespace verna::indicators

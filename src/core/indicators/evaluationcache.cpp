#include "indicators/evaluationcache.h"

namespace verna::indicators {

namespace {

template<typename Key>
std::optional<QString> lookup(const QHash<Key, QString> &hash, const Key &key)
{
    const auto it = hash.constFind(key);
    if (it == hash.constEnd())
        return std::nullopt;
    return it.value();
}

} // namespace

std::optional<QString> EvaluationCache::form(const Period &period) const
{
    return lookup(m_forms, period);
}

void EvaluationCache::setForm(const Period &period, const QString &answer)
{
    m_forms.insert(period, answer);
}

std::optional<QString> EvaluationCache::indicatorFormula(int indicatorId) const
{
    return lookup(m_formulas, indicatorId);
}

void EvaluationCache::setIndicatorFormula(int indicatorId, const QString &formula)
{
    m_formulas.insert(indicatorId, formula);
}

std::optional<QString> EvaluationCache::expansion(const QString &formula) const
{
    return lookup(m_expansions, formula);
}

void EvaluationCache::setExpansion(const QString &formula, const QString &expanded)
{
    m_expansions.insert(formula, expanded);
}

std::shared_ptr<const Formula> EvaluationCache::parsed(const QString &text)
{
    auto &slot = m_parsed[text];
    if (!slot)
        slot = std::make_shared<const Formula>(Formula::parseExpanded(text));
    return slot;
}

void EvaluationCache::clear()
{
    m_forms.clear();
    m_formulas.clear();
    m_expansions.clear();
    m_parsed.clear();
}

} // namespace verna::indicators

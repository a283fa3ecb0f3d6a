#pragma once

#include "analysis/indicatorsource.h"
#include "indicators/evaluationcache.h"
#include "indicators/evaluator.h"

namespace verna::analysis {

// Indicator values from the formula evaluator. One cache lives for each call, so a column
// reads its formula, expansion and statement forms once and sees later changes next time.
class EvaluatorSource : public IndicatorSource
{
public:
    explicit EvaluatorSource(db::Database &db);
    Result<QStringList> values(int indicatorId, const QList<RowKey> &rows, const std::function<bool()> &shouldStop) override;
    Result<QList<QStringList>> columns(const QList<int> &indicatorIds, const QList<RowKey> &rows, const std::function<bool()> &shouldStop) override;

private:
    db::Database &m_db;
};

} // namespace verna::analysis

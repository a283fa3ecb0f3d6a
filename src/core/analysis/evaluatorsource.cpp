#include "analysis/evaluatorsource.h"

namespace verna::analysis {

EvaluatorSource::EvaluatorSource(db::Database &db)
    : m_db(db)
{
}

Result<QStringList> EvaluatorSource::values(int indicatorId, const QList<RowKey> &rows, const std::function<bool()> &shouldStop)
{
    indicators::EvaluationCache cache;
    indicators::Evaluator evaluator(m_db, &cache);
    return evaluator.indicatorColumn(indicatorId, rows, shouldStop);
}

Result<QList<QStringList>> EvaluatorSource::columns(const QList<int> &indicatorIds, const QList<RowKey> &rows, const std::function<bool()> &shouldStop)
{
    indicators::EvaluationCache cache;
    indicators::Evaluator evaluator(m_db, &cache);
    return evaluator.indicatorColumns(indicatorIds, rows, shouldStop);
}

} // namespace verna::analysis

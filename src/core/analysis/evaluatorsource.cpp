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
    QList<indicators::Period> periods;
    periods.reserve(rows.size());
    for (const RowKey &key : rows)
        periods.append({key.entityText(), key.yearText(), key.quarterText()});
    return {evaluator.indicatorColumn(indicatorId, periods, shouldStop), {}};
}

} // namespace verna::analysis

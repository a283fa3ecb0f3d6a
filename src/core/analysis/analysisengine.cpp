#include "analysis/analysisengine.h"

namespace verna::analysis {

AnalysisEngine::AnalysisEngine(AnalysisModel &model, AnalysisData &data, IndicatorSource &source)
    : m_model(model)
    , m_data(data)
    , m_source(source)
{
}

int AnalysisEngine::addEntityRows(qint32 entity)
{
    int added = 0;
    for (int year : m_data.yearsOf(entity)) {
        if (stopped())
            break;
        added += addYearRows(entity, year);
    }
    return added;
}

int AnalysisEngine::addYearRows(qint32 entity, int year)
{
    int added = 0;
    for (int quarter : m_data.rowQuarters(entity, year)) {
        if (stopped())
            break;
        added += addRow(RowKey{year, quarter, entity}) ? 1 : 0;
    }
    return added;
}

bool AnalysisEngine::addRow(const RowKey &key)
{
    if (m_model.hasRow(key))
        return false;
    const QString name = m_data.rowEntityName(key.entity);
    const int row = m_model.appendRow(key, name);
    if (row < 0)
        return false;
    computeRow(row);
    reapplyAggregate();
    return true;
}

int AnalysisEngine::addPeriodForEntities(int year, int quarter, const QList<qint32> &entities)
{
    int added = 0;
    for (qint32 entity : entities) {
        if (stopped())
            break;
        if (m_data.statementCount(entity, year, quarter) == 2)
            added += addRow(RowKey{year, quarter, entity}) ? 1 : 0;
    }
    return added;
}

void AnalysisEngine::computeRow(int row)
{
    const RowKey key = m_model.rowKey(row);
    for (int c = 0; c < m_model.indicatorCount(); ++c) {
        if (stopped())
            return;
        const QStringList values = m_source.values(m_model.indicatorId(c), {key}, m_shouldStop);
        if (!values.isEmpty())
            m_model.setValue(row, c, values.front());
    }
}

void AnalysisEngine::addIndicator(int indicatorId, const QString &name)
{
    const int column = m_model.appendIndicator(indicatorId, name);
    const QList<RowKey> keys = m_model.rowKeys();
    if (!keys.isEmpty()) {
        const QStringList values = m_source.values(indicatorId, keys, m_shouldStop);
        for (int r = 0; r < values.size() && r < m_model.dataRowCount(); ++r)
            m_model.setValue(r, column, values.at(r));
    }
    reapplyAggregate();
}

void AnalysisEngine::applyAggregate(Aggregate aggregate, bool purge)
{
    if (purge)
        m_model.purgeIncompleteRows();
    m_model.setCurrentAggregate(aggregate);
}

void AnalysisEngine::reapplyAggregate(bool purge)
{
    if (const auto current = m_model.currentAggregate())
        applyAggregate(*current, purge);
}

} // namespace verna::analysis

#include "analysis/analysisengine.h"

#include <QHash>

namespace verna::analysis {

AnalysisEngine::AnalysisEngine(AnalysisModel &model, AnalysisData &data, IndicatorSource &source)
    : m_model(model)
    , m_data(data)
    , m_source(source)
{
}

Result<int> AnalysisEngine::addEntityRows(qint32 entity)
{
    const Result<QList<int>> years = m_data.yearsOf(entity);
    if (!years.ok())
        return Result<int>::failure(years.error);
    QList<RowKey> keys;
    for (int year : years.value) {
        if (stopped())
            break;
        const Result<QList<int>> quarters = m_data.rowQuarters(entity, year);
        if (!quarters.ok())
            return Result<int>::failure(quarters.error);
        for (int quarter : quarters.value)
            keys << RowKey{year, quarter, entity};
    }
    return addRows(keys);
}

Result<int> AnalysisEngine::addYearRows(qint32 entity, int year)
{
    const Result<QList<int>> quarters = m_data.rowQuarters(entity, year);
    if (!quarters.ok())
        return Result<int>::failure(quarters.error);
    QList<RowKey> keys;
    for (int quarter : quarters.value)
        keys << RowKey{year, quarter, entity};
    return addRows(keys);
}

Result<int> AnalysisEngine::addRow(const RowKey &key)
{
    return addRows({key});
}

Result<int> AnalysisEngine::addPeriodForEntities(int year, int quarter, const QList<qint32> &entities)
{
    QList<RowKey> keys;
    for (qint32 entity : entities) {
        if (stopped())
            break;
        const Result<int> count = m_data.statementCount(entity, year, quarter);
        if (!count.ok())
            return Result<int>::failure(count.error);
        if (count.value == 2)
            keys << RowKey{year, quarter, entity};
    }
    return addRows(keys);
}

Result<int> AnalysisEngine::addRows(const QList<RowKey> &keys)
{
    // Rows first, then each column computed for all new rows at once.
    const int first = m_model.dataRowCount();
    QList<RowKey> added;
    QString error;
    QHash<qint32, QString> names; // an entity's periods come together: its name is read once
    for (const RowKey &key : keys) {
        if (stopped())
            break;
        if (m_model.hasRow(key))
            continue;
        auto name = names.find(key.entity);
        if (name == names.end()) {
            const Result<QString> read = m_data.rowEntityName(key.entity);
            if (!read.ok()) {
                error = read.error;
                break;
            }
            name = names.insert(key.entity, read.value);
        }
        if (m_model.appendRow(key, *name) >= 0)
            added << key;
    }
    for (int c = 0; c < m_model.indicatorCount() && !added.isEmpty() && error.isEmpty(); ++c) {
        if (stopped())
            break;
        const Result<QStringList> values = m_source.values(m_model.indicatorId(c), added, m_shouldStop);
        if (!values.ok()) {
            error = values.error;
            break;
        }
        for (int i = 0; i < values.value.size(); ++i)
            m_model.setValue(first + i, c, values.value.at(i));
    }
    if (!error.isEmpty()) {
        // Rows with cells that could not be read would pass for a result: they go again.
        if (!added.isEmpty())
            m_model.removeDataRows(first, first + static_cast<int>(added.size()) - 1);
        return Result<int>::failure(error);
    }
    if (!added.isEmpty())
        reapplyAggregate();
    return {static_cast<int>(added.size()), {}};
}

Outcome AnalysisEngine::addIndicator(int indicatorId, const QString &name)
{
    const int column = m_model.appendIndicator(indicatorId, name);
    const QList<RowKey> keys = m_model.rowKeys();
    if (!keys.isEmpty()) {
        const Result<QStringList> values = m_source.values(indicatorId, keys, m_shouldStop);
        if (!values.ok()) {
            m_model.removeIndicators(column, column);
            reapplyAggregate();
            return values.outcome();
        }
        for (int r = 0; r < values.value.size() && r < m_model.dataRowCount(); ++r)
            m_model.setValue(r, column, values.value.at(r));
    }
    reapplyAggregate();
    return Outcome::success();
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

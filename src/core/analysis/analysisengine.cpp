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

Result<int> AnalysisEngine::addYearsRows(const QList<qint32> &entities, int firstYear, int lastYear)
{
    const Result<QList<RowKey>> keys = m_data.rowPeriods(entities, firstYear, lastYear);
    if (!keys.ok())
        return Result<int>::failure(keys.error);
    QList<qint32> withRows;
    for (const RowKey &key : keys.value) {
        if (withRows.isEmpty() || withRows.back() != key.entity)
            withRows << key.entity;
    }
    const Result<QHash<qint32, QString>> names = m_data.rowEntityNames(withRows);
    if (!names.ok())
        return Result<int>::failure(names.error);
    return addRows(keys.value, &names.value);
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

Result<int> AnalysisEngine::addRows(const QList<RowKey> &keys, const QHash<qint32, QString> *knownNames)
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
        if (name == names.end() && knownNames)
            name = names.insert(key.entity, knownNames->value(key.entity));
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
    if (m_model.indicatorCount() > 0 && !added.isEmpty() && error.isEmpty() && !stopped()) {
        QList<int> ids;
        for (int c = 0; c < m_model.indicatorCount(); ++c)
            ids << m_model.indicatorId(c);
        const Result<QList<QStringList>> values = m_source.columns(ids, added, m_shouldStop);
        if (values.ok())
            m_model.setValues(0, first, values.value);
        else
            error = values.error;
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
    return addIndicators({{indicatorId, name}});
}

Outcome AnalysisEngine::addIndicators(const QList<QPair<int, QString>> &indicators)
{
    const int first = m_model.indicatorCount();
    QList<int> ids;
    for (const auto &[id, name] : indicators) {
        m_model.appendIndicator(id, name);
        ids << id;
    }
    const QList<RowKey> keys = m_model.rowKeys();
    if (!keys.isEmpty() && !ids.isEmpty()) {
        const Result<QList<QStringList>> values = m_source.columns(ids, keys, m_shouldStop);
        if (!values.ok()) {
            m_model.removeIndicators(first, m_model.indicatorCount() - 1);
            reapplyAggregate();
            return values.outcome();
        }
        m_model.setValues(first, 0, values.value);
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

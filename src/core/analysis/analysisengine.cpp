#include "analysis/analysisengine.h"

#include <QHash>

namespace verna::analysis {

AnalysisEngine::AnalysisEngine(AnalysisModel &model, AnalysisData &data, IndicatorSource &source)
    : m_model(model)
    , m_data(data)
    , m_source(source)
{
}

int AnalysisEngine::addEntityRows(qint32 entity)
{
    QList<RowKey> keys;
    for (int year : m_data.yearsOf(entity)) {
        if (stopped())
            break;
        for (int quarter : m_data.rowQuarters(entity, year))
            keys << RowKey{year, quarter, entity};
    }
    return addRows(keys);
}

int AnalysisEngine::addYearRows(qint32 entity, int year)
{
    QList<RowKey> keys;
    for (int quarter : m_data.rowQuarters(entity, year))
        keys << RowKey{year, quarter, entity};
    return addRows(keys);
}

bool AnalysisEngine::addRow(const RowKey &key)
{
    return addRows({key}) == 1;
}

int AnalysisEngine::addPeriodForEntities(int year, int quarter, const QList<qint32> &entities)
{
    QList<RowKey> keys;
    for (qint32 entity : entities) {
        if (stopped())
            break;
        if (m_data.statementCount(entity, year, quarter) == 2)
            keys << RowKey{year, quarter, entity};
    }
    return addRows(keys);
}

int AnalysisEngine::addRows(const QList<RowKey> &keys)
{
    // Rows first, then each column computed for all new rows at once.
    const int first = m_model.dataRowCount();
    QList<RowKey> added;
    QHash<qint32, QString> names; // an entity's periods come together: its name is read once
    for (const RowKey &key : keys) {
        if (stopped())
            break;
        if (m_model.hasRow(key))
            continue;
        auto name = names.find(key.entity);
        if (name == names.end())
            name = names.insert(key.entity, m_data.rowEntityName(key.entity));
        if (m_model.appendRow(key, *name) >= 0)
            added << key;
    }
    for (int c = 0; c < m_model.indicatorCount() && !added.isEmpty(); ++c) {
        if (stopped())
            break;
        const QStringList values = m_source.values(m_model.indicatorId(c), added, m_shouldStop);
        for (int i = 0; i < values.size(); ++i)
            m_model.setValue(first + i, c, values.at(i));
    }
    if (!added.isEmpty())
        reapplyAggregate();
    return static_cast<int>(added.size());
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

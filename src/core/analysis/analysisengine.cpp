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
        QList<int> valueColumns;
        QList<int> changeColumns;
        for (int c = 0; c < m_model.indicatorCount(); ++c)
            (m_model.isChangeColumn(c) ? changeColumns : valueColumns) << c;
        if (changeColumns.isEmpty()) {
            QList<int> ids;
            for (int c : valueColumns)
                ids << m_model.indicatorId(c);
            if (const Outcome filled = fillValues(0, ids, first, added); !filled)
                error = filled.error;
        } else if (const Outcome filled = fillColumns(first, added, valueColumns, changeColumns); !filled) {
            error = filled.error;
        }
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
        if (const Outcome filled = fillValues(first, ids, 0, keys); !filled) {
            m_model.removeIndicators(first, m_model.indicatorCount() - 1);
            reapplyAggregate();
            return filled;
        }
    }
    reapplyAggregate();
    return Outcome::success();
}

Outcome AnalysisEngine::fillValues(int firstColumn, const QList<int> &ids, int firstRow, const QList<RowKey> &rows)
{
    // The evaluator's texts of one slice live at a time, not those of the whole table.
    constexpr qsizetype kSlice = 65536;
    for (qsizetype start = 0; start < rows.size(); start += kSlice) {
        const QList<RowKey> slice = rows.mid(start, kSlice);
        const Result<QList<QStringList>> values = m_source.columns(ids, slice, m_shouldStop);
        if (!values.ok())
            return values.outcome();
        m_model.setValues(firstColumn, firstRow + static_cast<int>(start), values.value);
        // A stop leaves a prefix of the rows computed.
        const qsizetype computed = values.value.isEmpty() ? slice.size() : values.value.front().size();
        if (computed < slice.size() || stopped())
            break;
    }
    return Outcome::success();
}

Outcome AnalysisEngine::fillColumns(int firstRow, const QList<RowKey> &rows, const QList<int> &valueColumns, const QList<int> &changeColumns)
{
    QHash<RowKey, int> tableRows;
    const QList<RowKey> keys = m_model.rowKeys();
    for (int r = 0; r < keys.size(); ++r)
        tableRows.insert(keys.at(r), r);
    // The rows' own periods first, then the year-before periods the table has no row for.
    QList<RowKey> periods = valueColumns.isEmpty() ? QList<RowKey>() : rows;
    const int ownPeriods = static_cast<int>(periods.size());
    QHash<RowKey, int> evaluated;
    if (!changeColumns.isEmpty()) {
        for (const RowKey &key : rows) {
            const RowKey before = yearBefore(key);
            if (!tableRows.contains(before) && !evaluated.contains(before)) {
                evaluated.insert(before, static_cast<int>(periods.size()));
                periods << before;
            }
        }
    }
    // An indicator shown twice, or with its change, is computed once.
    QList<int> ids;
    QHash<int, int> idIndex;
    const auto need = [&](int column) {
        const int id = m_model.indicatorId(column);
        if (!idIndex.contains(id)) {
            idIndex.insert(id, static_cast<int>(ids.size()));
            ids << id;
        }
    };
    for (int c : valueColumns)
        need(c);
    for (int c : changeColumns)
        need(c);
    QList<QStringList> values;
    if (!periods.isEmpty()) {
        const Result<QList<QStringList>> read = m_source.columns(ids, periods, m_shouldStop);
        if (!read.ok())
            return read.outcome();
        values = read.value;
    }
    // A stop leaves a prefix of the periods computed.
    const int computed = values.isEmpty() ? 0 : static_cast<int>(values.front().size());
    for (int c : valueColumns)
        m_model.setValues(c, firstRow, {values.value(idIndex.value(m_model.indicatorId(c))).mid(0, ownPeriods)});
    for (int c : changeColumns) {
        const QStringList column = values.value(idIndex.value(m_model.indicatorId(c)));
        QList<YearBeforeValue> before;
        before.reserve(rows.size());
        for (const RowKey &key : rows) {
            const RowKey earlier = yearBefore(key);
            if (const auto row = tableRows.constFind(earlier); row != tableRows.cend()) {
                const bool filledNow = !valueColumns.isEmpty() && *row >= firstRow && *row - firstRow < ownPeriods;
                if (filledNow && *row - firstRow >= computed)
                    before << YearBeforeValue{};
                else
                    before << YearBeforeValue{true, m_model.cellValue(*row, c - 1)};
                continue;
            }
            const int at = evaluated.value(earlier);
            before << (at < computed ? YearBeforeValue{true, roundToCents(column.at(at))} : YearBeforeValue{});
        }
        m_model.setYearBefore(c, firstRow, before);
    }
    return Outcome::success();
}

Outcome AnalysisEngine::setYearChange(int column, YearChange kind)
{
    if (column < 0 || column >= m_model.indicatorCount())
        return Outcome::success();
    if (m_model.isChangeColumn(column))
        --column;
    const int changeColumn = column + 1;
    const bool shown = changeColumn < m_model.indicatorCount() && m_model.isChangeColumn(changeColumn);
    if (kind != YearChange::None && !shown)
        return insertYearChanges({column}, kind);
    if (kind == YearChange::None && shown)
        m_model.removeIndicators(changeColumn, changeColumn);
    else if (shown)
        m_model.setChangeKind(changeColumn, kind);
    reapplyAggregate();
    return Outcome::success();
}

Outcome AnalysisEngine::addYearChanges(YearChange kind)
{
    QList<int> columns;
    for (int c = 0; c < m_model.indicatorCount(); ++c) {
        if (m_model.isChangeColumn(c))
            continue;
        if (c + 1 < m_model.indicatorCount() && m_model.isChangeColumn(c + 1)) {
            if (const Outcome switched = setYearChange(c, kind); !switched)
                return switched;
        } else {
            columns << c;
        }
    }
    return kind == YearChange::None ? Outcome::success() : insertYearChanges(columns, kind);
}

Outcome AnalysisEngine::insertYearChanges(const QList<int> &valueColumns, YearChange kind)
{
    // From the right, so the columns left of each insertion keep their places.
    QList<int> changeColumns;
    for (qsizetype i = valueColumns.size() - 1; i >= 0; --i) {
        m_model.insertChangeColumn(valueColumns.at(i), kind);
        changeColumns.prepend(valueColumns.at(i) + 1 + static_cast<int>(i));
    }
    if (m_model.dataRowCount() > 0 && !changeColumns.isEmpty()) {
        if (const Outcome filled = fillColumns(0, m_model.rowKeys(), {}, changeColumns); !filled) {
            for (qsizetype i = changeColumns.size() - 1; i >= 0; --i)
                m_model.removeIndicators(changeColumns.at(i), changeColumns.at(i));
            reapplyAggregate();
            return filled;
        }
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

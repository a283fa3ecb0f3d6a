#include "analysis/analysismodel.h"

namespace verna::analysis {

AnalysisModel::AnalysisModel(const QLocale &locale, QObject *parent)
    : QAbstractTableModel(parent)
    , m_locale(locale)
{
    m_locale.setNumberOptions(QLocale::OmitGroupSeparator);
}

int AnalysisModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : dataRowCount();
}

int AnalysisModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kFixedColumns + indicatorCount();
}

QVariant AnalysisModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= dataRowCount())
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return row.entityName;
        if (index.column() == 1)
            return row.key.periodText();
        return row.cells.value(index.column() - kFixedColumns);
    }
    if (role == Qt::TextAlignmentRole && index.column() >= kFixedColumns)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant AnalysisModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section == 0)
        return QStringLiteral("Subjekt");
    if (section == 1)
        return QStringLiteral("Období");
    return section - kFixedColumns < indicatorCount() ? m_columns.at(section - kFixedColumns).name : QVariant();
}

bool AnalysisModel::hasRow(const RowKey &key) const
{
    return m_keys.contains(key);
}

QList<RowKey> AnalysisModel::rowKeys() const
{
    QList<RowKey> keys;
    keys.reserve(m_rows.size());
    for (const Row &r : m_rows)
        keys << r.key;
    return keys;
}

QStringList AnalysisModel::columnCells(int column) const
{
    QStringList cells;
    cells.reserve(m_rows.size());
    for (const Row &r : m_rows)
        cells << r.cells.at(column);
    return cells;
}

int AnalysisModel::appendRow(const RowKey &key, const QString &entityName)
{
    if (hasRow(key))
        return -1;
    const int row = dataRowCount();
    beginInsertRows({}, row, row);
    QStringList cells;
    for (int i = 0; i < indicatorCount(); ++i)
        cells << QString();
    m_rows.append({key, entityName, cells});
    m_keys.insert(key);
    endInsertRows();
    return row;
}

int AnalysisModel::appendIndicator(int indicatorId, const QString &name)
{
    const int column = indicatorCount();
    beginInsertColumns({}, kFixedColumns + column, kFixedColumns + column);
    m_columns.append({indicatorId, name});
    for (Row &r : m_rows)
        r.cells << QString();
    endInsertColumns();
    return column;
}

void AnalysisModel::setValue(int row, int column, const QString &valueText)
{
    m_rows[row].cells[column] = formatValue(valueText, m_locale);
    const QModelIndex i = index(row, kFixedColumns + column);
    emit dataChanged(i, i);
}

void AnalysisModel::setValues(int firstColumn, int firstRow, const QList<QStringList> &columns)
{
    int last = firstRow - 1;
    for (const QStringList &column : columns)
        last = std::max<int>(last, std::min<int>(dataRowCount(), firstRow + static_cast<int>(column.size())) - 1);
    if (columns.isEmpty() || firstRow > last)
        return;
    for (int r = firstRow; r <= last; ++r) {
        QStringList &cells = m_rows[r].cells;
        for (int c = 0; c < columns.size(); ++c) {
            if (r - firstRow < columns.at(c).size())
                cells[firstColumn + c] = formatValue(columns.at(c).at(r - firstRow), m_locale);
        }
    }
    emit dataChanged(index(firstRow, kFixedColumns + firstColumn), index(last, kFixedColumns + firstColumn + static_cast<int>(columns.size()) - 1));
}

void AnalysisModel::removeDataRows(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, dataRowCount() - 1);
    if (first > last)
        return;
    beginRemoveRows({}, first, last);
    for (int r = first; r <= last; ++r)
        m_keys.remove(m_rows.at(r).key);
    m_rows.remove(first, last - first + 1);
    endRemoveRows();
}

void AnalysisModel::removeIndicators(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, indicatorCount() - 1);
    if (first > last)
        return;
    beginRemoveColumns({}, kFixedColumns + first, kFixedColumns + last);
    m_columns.remove(first, last - first + 1);
    for (Row &r : m_rows)
        r.cells.remove(first, last - first + 1);
    endRemoveColumns();
}

void AnalysisModel::removeAllIndicators()
{
    removeIndicators(0, indicatorCount() - 1);
}

int AnalysisModel::purgeIncompleteRows()
{
    int removed = 0;
    for (int r = dataRowCount() - 1; r >= 0; --r) {
        if (m_rows.at(r).cells.contains(QString())) {
            removeDataRows(r, r);
            ++removed;
        }
    }
    return removed;
}

void AnalysisModel::setCurrentAggregate(std::optional<Aggregate> aggregate)
{
    m_aggregate = aggregate;
    emit aggregateChanged();
}

QStringList AnalysisModel::aggregateRow() const
{
    QStringList row;
    if (!m_aggregate)
        return row;
    for (int c = 0; c < indicatorCount(); ++c) {
        const auto value = aggregateCells(*m_aggregate, columnCells(c), m_locale);
        row << (value ? formatCents(*value, m_locale) : QString());
    }
    return row;
}

} // namespace verna::analysis

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
    if (role == Qt::ToolTipRole && index.column() >= kFixedColumns && isChangeColumn(index.column() - kFixedColumns))
        return changeTip(index.row(), index.column() - kFixedColumns);
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
    return section - kFixedColumns < indicatorCount() ? indicatorName(section - kFixedColumns) : QVariant();
}

QString AnalysisModel::indicatorName(int column) const
{
    const Column &c = m_columns.at(column);
    return c.change == YearChange::None ? c.name : yearChangeHeader(c.name, c.change);
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
    m_rows.append({key, entityName, cells, QList<YearBeforeValue>(indicatorCount())});
    m_keys.insert(key);
    endInsertRows();
    return row;
}

int AnalysisModel::appendIndicator(int indicatorId, const QString &name)
{
    const int column = indicatorCount();
    beginInsertColumns({}, kFixedColumns + column, kFixedColumns + column);
    m_columns.append({indicatorId, name});
    for (Row &r : m_rows) {
        r.cells << QString();
        r.before << YearBeforeValue{};
    }
    endInsertColumns();
    return column;
}

int AnalysisModel::insertChangeColumn(int column, YearChange kind)
{
    const int at = column + 1;
    beginInsertColumns({}, kFixedColumns + at, kFixedColumns + at);
    m_columns.insert(at, {m_columns.at(column).id, m_columns.at(column).name, kind});
    for (Row &r : m_rows) {
        r.cells.insert(at, QString());
        r.before.insert(at, YearBeforeValue{});
    }
    endInsertColumns();
    return at;
}

void AnalysisModel::setChangeKind(int column, YearChange kind)
{
    m_columns[column].change = kind;
    emit headerDataChanged(Qt::Horizontal, kFixedColumns + column, kFixedColumns + column);
    refreshChanges(column - 1, column - 1, 0, dataRowCount() - 1);
}

void AnalysisModel::setYearBefore(int column, int firstRow, const QList<YearBeforeValue> &values)
{
    const int last = std::min<int>(dataRowCount(), firstRow + static_cast<int>(values.size())) - 1;
    for (int r = firstRow; r <= last; ++r)
        m_rows[r].before[column] = values.at(r - firstRow);
    refreshChanges(column - 1, column - 1, firstRow, last);
}

QString AnalysisModel::changeCell(const Row &row, int column) const
{
    const YearBeforeValue &before = row.before.at(column);
    const auto change = analysis::yearChange(m_columns.at(column).change, parseCell(row.cells.at(column - 1), m_locale),
                                   before.known ? before.value : std::nullopt);
    return change ? formatCents(*change, m_locale) : QString();
}

QString AnalysisModel::changeTip(int row, int column) const
{
    const Row &r = m_rows.at(row);
    const YearBeforeValue &before = r.before.at(column);
    const RowKey earlier = yearBefore(r.key);
    if (!r.cells.at(column).isEmpty())
        return QStringLiteral("Proti %1: %2").arg(earlier.periodText(), formatCents(*before.value, m_locale));
    // Which side has no value, and why, as the evaluator tells it.
    std::optional<RowKey> missing;
    if (r.cells.at(column - 1).isEmpty())
        missing = r.key;
    else if (!before.known)
        return QStringLiteral("Hodnota za %1 nebyla spočtena.").arg(earlier.periodText());
    else if (!before.value)
        missing = earlier;
    if (!missing)
        return QStringLiteral("Změnu v procentech lze spočítat, jen jsou-li obě hodnoty kladné.");
    QString tip = QStringLiteral("Hodnota za %1 chybí").arg(missing->periodText());
    if (!m_missingReason)
        return tip + QLatin1Char('.');
    const Result<QString> why = m_missingReason(m_columns.at(column).id, *missing);
    if (!why.ok())
        return tip + QStringLiteral("; důvod nelze zjistit: ") + why.error;
    return tip + (why.value.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why.value);
}

void AnalysisModel::refreshChanges(int first, int last, int firstRow, int lastRow)
{
    if (firstRow > lastRow)
        return;
    for (int c = std::max(first, 0) + 1; c <= std::min(last + 1, indicatorCount() - 1); ++c) {
        if (!isChangeColumn(c) || isChangeColumn(c - 1))
            continue;
        for (int r = firstRow; r <= lastRow; ++r)
            m_rows[r].cells[c] = changeCell(m_rows.at(r), c);
        emit dataChanged(index(firstRow, kFixedColumns + c), index(lastRow, kFixedColumns + c));
    }
}

void AnalysisModel::setValue(int row, int column, const QString &valueText)
{
    m_rows[row].cells[column] = formatValue(valueText, m_locale);
    const QModelIndex i = index(row, kFixedColumns + column);
    emit dataChanged(i, i);
    refreshChanges(column, column, row, row);
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
    refreshChanges(firstColumn, firstColumn + static_cast<int>(columns.size()) - 1, firstRow, last);
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
    // A change without its indicator column would compare nothing.
    if (last + 1 < indicatorCount() && isChangeColumn(last + 1) && !isChangeColumn(last))
        ++last;
    beginRemoveColumns({}, kFixedColumns + first, kFixedColumns + last);
    m_columns.remove(first, last - first + 1);
    for (Row &r : m_rows) {
        r.cells.remove(first, last - first + 1);
        r.before.remove(first, last - first + 1);
    }
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
        const QStringList &cells = m_rows.at(r).cells;
        bool incomplete = false;
        for (int c = 0; c < cells.size() && !incomplete; ++c)
            incomplete = cells.at(c).isEmpty() && !isChangeColumn(c);
        if (incomplete) {
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

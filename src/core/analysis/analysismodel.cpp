#include "analysis/analysismodel.h"

#include <QCollator>
#include <algorithm>

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
    const Row &row = m_rows.at(stored(index.row()));
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return row.entityName;
        if (index.column() == 1)
            return row.key.periodText();
        return index.column() - kFixedColumns < indicatorCount() ? cell(index.row(), index.column() - kFixedColumns) : QVariant();
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
    keys.reserve(m_order.size());
    for (int s : m_order)
        keys << m_rows.at(s).key;
    return keys;
}

QString AnalysisModel::cell(int row, int column) const
{
    const Cents value = m_columns.at(column).cells.at(stored(row));
    return value == kEmpty ? QString() : formatCents(value, m_locale);
}

std::optional<Cents> AnalysisModel::cellValue(int row, int column) const
{
    const Cents value = m_columns.at(column).cells.at(stored(row));
    return value == kEmpty ? std::nullopt : std::optional<Cents>(value);
}

QStringList AnalysisModel::columnCells(int column) const
{
    QStringList cells;
    cells.reserve(m_rows.size());
    for (int r = 0; r < dataRowCount(); ++r)
        cells << cell(r, column);
    return cells;
}

int AnalysisModel::appendRow(const RowKey &key, const QString &entityName)
{
    if (hasRow(key))
        return -1;
    const int row = dataRowCount();
    beginInsertRows({}, row, row);
    m_order.push_back(static_cast<int>(m_rows.size()));
    m_rows.append({key, entityName});
    for (Column &c : m_columns) {
        c.cells.push_back(kEmpty);
        if (c.change != YearChange::None)
            c.before.emplace_back();
    }
    m_keys.insert(key);
    endInsertRows();
    return row;
}

int AnalysisModel::appendIndicator(int indicatorId, const QString &name)
{
    const int column = indicatorCount();
    beginInsertColumns({}, kFixedColumns + column, kFixedColumns + column);
    m_columns.append({indicatorId, name, YearChange::None, std::vector<Cents>(m_rows.size(), kEmpty), {}});
    endInsertColumns();
    return column;
}

int AnalysisModel::insertChangeColumn(int column, YearChange kind)
{
    const int at = column + 1;
    beginInsertColumns({}, kFixedColumns + at, kFixedColumns + at);
    m_columns.insert(at, {m_columns.at(column).id, m_columns.at(column).name, kind, std::vector<Cents>(m_rows.size(), kEmpty),
                          std::vector<YearBeforeValue>(m_rows.size())});
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
        m_columns[column].before[stored(r)] = values.at(r - firstRow);
    refreshChanges(column - 1, column - 1, firstRow, last);
}

Cents AnalysisModel::changeCell(int row, int column) const
{
    const YearBeforeValue &before = m_columns.at(column).before.at(stored(row));
    const auto change = analysis::yearChange(m_columns.at(column).change, cellValue(row, column - 1), before.known ? before.value : std::nullopt);
    return change ? *change : kEmpty;
}

QString AnalysisModel::changeTip(int row, int column) const
{
    const Row &r = m_rows.at(stored(row));
    const YearBeforeValue &before = m_columns.at(column).before.at(stored(row));
    const RowKey earlier = yearBefore(r.key);
    if (cellValue(row, column))
        return QStringLiteral("Proti %1: %2").arg(earlier.periodText(), formatCents(*before.value, m_locale));
    // Which side has no value, and why, as the evaluator tells it.
    std::optional<RowKey> missing;
    if (!cellValue(row, column - 1))
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
            m_columns[c].cells[stored(r)] = changeCell(r, c);
        emit dataChanged(index(firstRow, kFixedColumns + c), index(lastRow, kFixedColumns + c));
    }
}

void AnalysisModel::setValue(int row, int column, const QString &valueText)
{
    m_columns[column].cells[stored(row)] = roundToCents(valueText).value_or(kEmpty);
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
    for (int c = 0; c < columns.size(); ++c) {
        std::vector<Cents> &cells = m_columns[firstColumn + c].cells;
        const QStringList &texts = columns.at(c);
        for (int r = firstRow; r <= last && r - firstRow < texts.size(); ++r)
            cells[stored(r)] = roundToCents(texts.at(r - firstRow)).value_or(kEmpty);
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
    // Only their places go now; their cells stay until the dead outnumber the rows.
    for (int r = first; r <= last; ++r)
        m_keys.remove(m_rows.at(stored(r)).key);
    m_order.erase(m_order.begin() + first, m_order.begin() + last + 1);
    if (m_rows.size() > 2 * static_cast<qsizetype>(m_order.size()) + 1024)
        compactStorage();
    endRemoveRows();
}

void AnalysisModel::compactStorage()
{
    // The rows' cells close up in the order added, in m_rows and in every column alike.
    std::vector<int> moved(m_rows.size(), -1);
    for (int s : m_order)
        moved[s] = 0;
    int kept = 0;
    for (int &m : moved)
        m = m < 0 ? -1 : kept++;
    const auto closeUp = [&moved, kept](auto &items) {
        for (int s = 0; s < static_cast<int>(moved.size()); ++s) {
            if (moved[s] >= 0 && moved[s] != s)
                items[moved[s]] = std::move(items[s]);
        }
        items.resize(kept);
    };
    closeUp(m_rows);
    for (Column &c : m_columns) {
        closeUp(c.cells);
        if (!c.before.empty())
            closeUp(c.before);
    }
    for (int &s : m_order)
        s = moved[s];
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
    endRemoveColumns();
}

void AnalysisModel::removeAllIndicators()
{
    removeIndicators(0, indicatorCount() - 1);
}

int AnalysisModel::purgeIncompleteRows()
{
    const auto incomplete = [this](int r) {
        for (int c = 0; c < indicatorCount(); ++c) {
            if (m_columns.at(c).cells.at(stored(r)) == kEmpty && !isChangeColumn(c))
                return true;
        }
        return false;
    };
    std::vector<std::pair<int, int>> runs; // first, last
    for (int r = 0; r < dataRowCount(); ++r) {
        if (!incomplete(r))
            continue;
        if (!runs.empty() && runs.back().second == r - 1)
            runs.back().second = r;
        else
            runs.emplace_back(r, r);
    }
    int removed = 0;
    for (const auto &[first, last] : runs)
        removed += last - first + 1;
    // A few runs go one by one, from the end; many at once, as each would shift the rows after it.
    if (runs.size() <= 64) {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run)
            removeDataRows(run->first, run->second);
        return removed;
    }
    beginResetModel();
    std::vector<int> kept;
    kept.reserve(m_order.size() - removed);
    for (int r = 0; r < dataRowCount(); ++r) {
        if (incomplete(r))
            m_keys.remove(m_rows.at(stored(r)).key);
        else
            kept.push_back(m_order[r]);
    }
    m_order = std::move(kept);
    compactStorage();
    endResetModel();
    return removed;
}

namespace {

// The positions of keys in ascending order, ties in their given order: a least-significant
// digit radix sort, 16 bits a pass, passes skipped where every key has the same digit.
std::vector<int> stableOrder(const std::vector<quint64> &keys)
{
    const int n = static_cast<int>(keys.size());
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i)
        order[i] = i;
    std::vector<int> scratch(n);
    std::vector<int> counts(1 << 16);
    for (int shift = 0; shift < 64; shift += 16) {
        std::fill(counts.begin(), counts.end(), 0);
        for (quint64 key : keys)
            ++counts[(key >> shift) & 0xFFFF];
        if (n == 0 || counts[(keys.front() >> shift) & 0xFFFF] == n)
            continue;
        int sum = 0;
        for (int &c : counts) {
            const int here = c;
            c = sum;
            sum += here;
        }
        for (int i : order)
            scratch[counts[(keys[i] >> shift) & 0xFFFF]++] = i;
        order.swap(scratch);
    }
    return order;
}

// A signed number as an unsigned key of the same order.
quint64 orderKey(qint64 value)
{
    return static_cast<quint64>(value) ^ (quint64(1) << 63);
}

} // namespace

void AnalysisModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    const bool descending = order == Qt::DescendingOrder;
    std::vector<int> rows;
    if (column == 0) {
        // Names in Czech order, whatever locale writes the numbers; each distinct name gets its
        // collation key once.
        QCollator collator(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        std::vector<QCollatorSortKey> keys;
        QHash<QString, int> keyOf;
        std::vector<int> rowKey(m_order.size());
        for (int r = 0; r < dataRowCount(); ++r) {
            const QString &name = m_rows.at(stored(r)).entityName;
            auto at = keyOf.constFind(name);
            if (at == keyOf.cend()) {
                at = keyOf.insert(name, static_cast<int>(keys.size()));
                keys.push_back(collator.sortKey(name));
            }
            rowKey[r] = *at;
        }
        // Rank the distinct names, then order the rows by rank as numbers.
        std::vector<int> byName(keys.size());
        for (int i = 0; i < static_cast<int>(byName.size()); ++i)
            byName[i] = i;
        std::stable_sort(byName.begin(), byName.end(), [&](int a, int b) { return keys[a].compare(keys[b]) < 0; });
        std::vector<qint64> rank(keys.size());
        for (int i = 0; i < static_cast<int>(byName.size()); ++i)
            rank[byName[i]] = i > 0 && keys[byName[i]].compare(keys[byName[i - 1]]) == 0 ? rank[byName[i - 1]] : i;
        std::vector<quint64> sortKeys(m_order.size());
        for (int r = 0; r < dataRowCount(); ++r)
            sortKeys[r] = orderKey(descending ? -rank[rowKey[r]] : rank[rowKey[r]]);
        rows = stableOrder(sortKeys);
    } else {
        std::vector<quint64> keys(m_order.size());
        if (column == 1) {
            for (int r = 0; r < dataRowCount(); ++r) {
                const RowKey &key = m_rows.at(stored(r)).key;
                const qint64 period = qint64(key.year) * 10 + key.quarter;
                keys[r] = orderKey(descending ? -period : period);
            }
        } else {
            // Empty cells last in both orders: they take the greatest key.
            const std::vector<Cents> &cells = m_columns.at(column - kFixedColumns).cells;
            for (int r = 0; r < dataRowCount(); ++r) {
                const Cents value = cells[m_order[r]];
                keys[r] = value == kEmpty ? ~quint64(0) : orderKey(descending ? -value : value);
            }
        }
        rows = stableOrder(keys);
    }
    reorderRows(rows);
}

void AnalysisModel::reorderRows(const std::vector<int> &order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> places(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        places[i] = m_order[order[i]];
    m_order = std::move(places);
    // The views' current cell and selection follow their rows.
    std::vector<int> newRow(order.size());
    for (int i = 0; i < static_cast<int>(order.size()); ++i)
        newRow[order[i]] = i;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after << index(newRow[i.row()], i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
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

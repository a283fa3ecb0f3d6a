#include "statements/statementtable.h"

#include "analysis/twodecimals.h"

namespace verna::statements {

namespace {

const QString kChange = QStringLiteral("Změna");

// Hundredths as plain decimal text: "-12.5", "3".
QString centsText(analysis::Cents cents)
{
    const bool negative = cents < 0;
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(cents) : static_cast<quint64>(cents);
    QString text = QString::number(magnitude / 100);
    if (const quint64 fraction = magnitude % 100; fraction != 0) {
        text += QLatin1Char('.') + QString::number(fraction).rightJustified(2, QLatin1Char('0'));
        if (text.endsWith(QLatin1Char('0')))
            text.chop(1);
    }
    return negative ? QLatin1Char('-') + text : text;
}

} // namespace

std::optional<DropRule> dropRule(const QString &prefix)
{
    static const QHash<QString, DropRule> rules = {
        {QStringLiteral("QP"), {QStringLiteral("QP"), QStringLiteral("Plná rozvaha")}},
        {QStringLiteral("QZ"), {QStringLiteral("QW"), QStringLiteral("Zkrácená rozvaha")}},
        {QStringLiteral("QG"), {QStringLiteral("QG"), QStringLiteral("Plná výsledovka")}},
        {QStringLiteral("QW"), {QStringLiteral("QW"), QStringLiteral("Zkrácená rozvaha")}},
        {QStringLiteral("QV"), {QStringLiteral("QV"), QStringLiteral("Zkrácená výsledovka")}},
        {QStringLiteral("QF"), {QStringLiteral("QV"), QStringLiteral("Zkrácená výsledovka")}},
        {QStringLiteral("YR"), {QStringLiteral("QW"), QStringLiteral("Zkrácená rozvaha")}},
        {QStringLiteral("YV"), {QStringLiteral("QV"), QStringLiteral("Zkrácená výsledovka")}},
        {QStringLiteral("CR"), {QStringLiteral("QW"), QStringLiteral("Zkrácená rozvaha")}},
        {QStringLiteral("CV"), {QStringLiteral("QV"), QStringLiteral("Zkrácená výsledovka")}},
    };
    // A loaded view (N...) drops as its unloaded form (Q...).
    QString key = prefix;
    if (key.size() == 2 && key.front() == QLatin1Char('N'))
        key[0] = QLatin1Char('Q');
    const auto it = rules.constFind(key);
    return it == rules.cend() ? std::nullopt : std::optional<DropRule>(*it);
}

QString changeAbsolute(const QString &left, const QString &right)
{
    const auto l = analysis::roundToCents(left);
    const auto r = analysis::roundToCents(right);
    if (left.isEmpty() || right.isEmpty() || !l || !r)
        return {};
    return centsText(*r - *l);
}

namespace {

// numerator in per cent of denominator as hundredths of a per cent, rounded half away from
// zero, without overflow; denominator is not zero.
analysis::Cents hundredthsOfPercent(analysis::Cents numerator, analysis::Cents denominator)
{
    const __int128 n = static_cast<__int128>(numerator) * 10000 * (denominator < 0 ? -1 : 1);
    const __int128 d = denominator < 0 ? -static_cast<__int128>(denominator) : static_cast<__int128>(denominator);
    const __int128 half = d / 2;
    return static_cast<analysis::Cents>(n >= 0 ? (n + half) / d : -((-n + half) / d));
}

} // namespace

QString changePercent(const QString &left, const QString &right)
{
    const auto l = analysis::roundToCents(left);
    const auto r = analysis::roundToCents(right);
    if (left.isEmpty() || right.isEmpty() || !l || !r || *l == 0)
        return {};
    // The change relative to |left|: a loss that shrinks is a rise.
    return centsText(hundredthsOfPercent(*r - *l, *l < 0 ? -*l : *l));
}

QString sharePercent(const QString &value, const QString &base)
{
    const auto v = analysis::roundToCents(value);
    const auto b = analysis::roundToCents(base);
    if (value.isEmpty() || base.isEmpty() || !v || !b || *b == 0)
        return {};
    return centsText(hundredthsOfPercent(*v, *b));
}

QString structureBase(const StatementColumn &statement, int code)
{
    constexpr int kTotalAssets = 92;
    constexpr int kTotalLiabilities = 152; // the first line of the liabilities side
    if (statement.type == kIncomeStatement)
        return statement.revenues;
    if (statement.type == kBalanceSheet)
        return statement.values.value(code >= kTotalLiabilities ? kTotalLiabilities : kTotalAssets);
    return {};
}

StatementTable::StatementTable(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void StatementTable::setKind(const DropRule &rule)
{
    m_kind = rule.kind;
    m_title = rule.title;
}

int StatementTable::statementCount() const
{
    return static_cast<int>(std::count_if(m_columns.cbegin(), m_columns.cend(), [](const Column &c) { return c.kind == ColumnKind::Statement; }));
}

void StatementTable::appendColumn(const StatementColumn &statement)
{
    beginResetModel();
    if (statementCount() == 0) {
        m_columns.clear();
        m_codes = statement.codes;
        m_titles.clear();
    }
    // A line the table lacks goes before the first line with a higher code (fixed lists
    // share their lines, so this only places items of full statements).
    for (int code : statement.codes) {
        if (!m_titles.contains(code))
            m_titles.insert(code, statement.titles.value(code));
        if (m_codes.contains(code))
            continue;
        const auto higher = std::find_if(m_codes.begin(), m_codes.end(), [code](int c) { return c > code; });
        m_codes.insert(higher, code);
    }
    Column column;
    column.serial = m_nextSerial++;
    column.statement = statement;
    m_columns.append(column);
    if (m_structure)
        m_columns.append(structureOf(column));
    endResetModel();
}

void StatementTable::removeColumns(int first, int last)
{
    first = std::max(first, 1);
    last = std::min(last, static_cast<int>(m_columns.size()));
    if (first > last)
        return;
    beginResetModel();
    QSet<int> removed;
    for (int c = first; c <= last; ++c) {
        if (m_columns.at(c - 1).kind == ColumnKind::Statement)
            removed.insert(m_columns.at(c - 1).serial);
    }
    m_columns.remove(first - 1, last - first + 1);
    m_columns.removeIf([&removed](const Column &c) { return c.kind != ColumnKind::Statement && (removed.contains(c.left) || removed.contains(c.right)); });
    // An empty table starts afresh with the next drop.
    if (statementCount() == 0) {
        m_columns.clear();
        m_codes.clear();
        m_titles.clear();
    }
    endResetModel();
}

StatementTable::Column StatementTable::structureOf(const Column &statement)
{
    Column structure;
    structure.kind = ColumnKind::Structure;
    structure.left = statement.serial;
    return structure;
}

int StatementTable::statementEnd(int column) const
{
    if (column < 1 || column > m_columns.size())
        return column;
    if (m_columns.at(column - 1).kind == ColumnKind::Structure)
        return column;
    if (column < m_columns.size() && m_columns.at(column).kind == ColumnKind::Structure)
        return column + 1;
    return column;
}

void StatementTable::setStructureShown(bool shown)
{
    if (shown == m_structure)
        return;
    beginResetModel();
    m_structure = shown;
    if (shown) {
        for (qsizetype i = m_columns.size() - 1; i >= 0; --i) {
            if (m_columns.at(i).kind == ColumnKind::Statement)
                m_columns.insert(i + 1, structureOf(m_columns.at(i)));
        }
    } else {
        m_columns.removeIf([](const Column &c) { return c.kind == ColumnKind::Structure; });
    }
    endResetModel();
}

bool StatementTable::canInsertChange(int column) const
{
    // On a structure column the change is that of its statement.
    if (column > 1 && column <= m_columns.size() && m_columns.at(column - 1).kind == ColumnKind::Structure)
        --column;
    const int end = statementEnd(column);
    if (column < 1 || end >= m_columns.size())
        return false;
    const Column &left = m_columns.at(column - 1);
    const Column &right = m_columns.at(end);
    return left.kind == ColumnKind::Statement && right.kind == ColumnKind::Statement && left.statement.entity == right.statement.entity;
}

void StatementTable::insertChange(int column)
{
    if (!canInsertChange(column))
        return;
    if (m_columns.at(column - 1).kind == ColumnKind::Structure)
        --column;
    const int end = statementEnd(column);
    const int left = m_columns.at(column - 1).serial;
    const int right = m_columns.at(end).serial;
    column = end;
    beginInsertColumns({}, column + 1, column + 2);
    Column absolute;
    absolute.kind = ColumnKind::ChangeAbsolute;
    absolute.left = left;
    absolute.right = right;
    Column percent = absolute;
    percent.kind = ColumnKind::ChangePercent;
    m_columns.insert(column, percent);
    m_columns.insert(column, absolute);
    endInsertColumns();
}

const StatementTable::Column *StatementTable::statementBySerial(int serial) const
{
    for (const Column &c : m_columns) {
        if (c.kind == ColumnKind::Statement && c.serial == serial)
            return &c;
    }
    return nullptr;
}

bool StatementTable::isComputed(int row, int column) const
{
    if (column < 1 || column > m_columns.size() || row < 0 || row >= m_codes.size())
        return false;
    const Column &c = m_columns.at(column - 1);
    return c.kind == ColumnKind::Statement && c.statement.computed.contains(m_codes.at(row));
}

QString StatementTable::text(int row, int column) const
{
    if (row < 0 || row >= m_codes.size() || column < 0 || column > m_columns.size())
        return {};
    const int code = m_codes.at(row);
    if (column == 0)
        return m_titles.value(code);
    const Column &c = m_columns.at(column - 1);
    if (c.kind == ColumnKind::Statement)
        return c.statement.values.value(code);
    if (c.kind == ColumnKind::Structure) {
        const Column *statement = statementBySerial(c.left);
        return statement ? sharePercent(statement->statement.values.value(code), structureBase(statement->statement, code)) : QString();
    }
    const Column *left = statementBySerial(c.left);
    const Column *right = statementBySerial(c.right);
    if (!left || !right)
        return {};
    const QString a = left->statement.values.value(code);
    const QString b = right->statement.values.value(code);
    return c.kind == ColumnKind::ChangeAbsolute ? changeAbsolute(a, b) : changePercent(a, b);
}

QStringList StatementTable::headerLines(int column) const
{
    if (column < 1 || column > m_columns.size())
        return {QString(), QString()};
    const Column &c = m_columns.at(column - 1);
    switch (c.kind) {
    case ColumnKind::Statement:
        return {c.statement.entityName, c.statement.periodText()};
    case ColumnKind::ChangeAbsolute:
        return {kChange, QStringLiteral("absolutně")};
    case ColumnKind::ChangePercent:
        return {kChange, QStringLiteral("v %")};
    case ColumnKind::Structure:
        return {QStringLiteral("Struktura"), QStringLiteral("v %")};
    }
    return {};
}

int StatementTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_codes.size());
}

int StatementTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size()) + 1;
}

QVariant StatementTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return text(index.row(), index.column());
    if (role == Qt::ToolTipRole && isComputed(index.row(), index.column()))
        return QStringLiteral("Vypočteno ukazatelem z plného výkazu");
    if (role == Qt::TextAlignmentRole && index.column() > 0)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant StatementTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QString::number(m_codes.value(section));
    return headerLines(section).join(QLatin1Char('\n'));
}

QList<QStringList> StatementTable::cells(int top, int left, int bottom, int right) const
{
    QList<QStringList> out;
    for (int r = std::max(0, top); r <= std::min(bottom, rowCount() - 1); ++r) {
        QStringList row;
        for (int c = std::max(0, left); c <= std::min(right, columnCount() - 1); ++c)
            row << text(r, c);
        out << row;
    }
    return out;
}

analysis::ExportTable StatementTable::exportTable() const
{
    analysis::ExportTable table;
    table.sheetName = m_title.isEmpty() ? QStringLiteral("Finanční data") : m_title;
    QStringList names{QString()};
    QStringList periods{QString()};
    for (int c = 1; c < columnCount(); ++c) {
        const QStringList lines = headerLines(c);
        names << lines.value(0);
        periods << lines.value(1);
    }
    table.header = {names, periods};
    table.rows = cells(0, 0, rowCount() - 1, columnCount() - 1);
    table.fixedColumns = 1;
    table.number = [](const QString &cell) -> std::optional<double> {
        const std::optional<analysis::Cents> value = analysis::roundToCents(cell);
        return value && !cell.isEmpty() ? std::optional<double>(static_cast<double>(*value) / 100.0) : std::nullopt;
    };
    table.columnWidths = {48};
    return table;
}

} // namespace verna::statements

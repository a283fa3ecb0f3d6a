#pragma once

#include "analysis/tableexport.h"
#include "statements/statementdata.h"

#include <QAbstractTableModel>
#include <optional>

namespace verna::statements {

// What a drop of a tree node does to the table: the kind of table it needs (or makes) and
// the title the table then carries.
struct DropRule {
    QString kind;  // "QP", "QW", "QG", "QV"
    QString title; // "Plná rozvaha", ...
};

// The rule of a tree key's two-letter prefix (QP, NP, ..., YR, YV, CR, CV); nullopt for others.
std::optional<DropRule> dropRule(const QString &prefix);

// Statements side by side: column 0 the row titles, then one column per statement (and the
// change columns the user asked for). Rows are matched by item code, so statements with
// different items stay aligned and a missing line is an empty cell. The header of a column
// is the entity's name and the period, one per line.
class StatementTable : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kHeaderRows = 2;

    explicit StatementTable(QObject *parent = nullptr);

    // The kind stays once set, even when every column is removed again.
    QString kind() const { return m_kind; }
    QString title() const { return m_title; }
    bool accepts(const DropRule &rule) const { return m_kind.isEmpty() || m_kind == rule.kind; }
    void setKind(const DropRule &rule);

    void appendColumn(const StatementColumn &column);
    int statementCount() const;
    // Removes model columns first..last (never column 0); a change column goes with either
    // statement it compares. With no statement left the rows go too.
    void removeColumns(int first, int last);
    // A change can be shown right of column when it and the next are statements of one entity.
    bool canInsertChange(int column) const;
    // Inserts "Změna" (absolute, then in per cent) between column and the next.
    void insertChange(int column);
    // "Struktura": beside every statement the share of each line in per cent of its base
    // (structureBase); statements added later get theirs too.
    void setStructureShown(bool shown);
    bool structureShown() const { return m_structure; }

    int itemCode(int row) const { return m_codes.value(row); }
    bool isComputed(int row, int column) const;
    // Name and period of a column (column 0: two empty lines).
    QStringList headerLines(int column) const;

    // The whole table for files, the header in two rows; amounts are numbers.
    analysis::ExportTable exportTable() const;
    // Cells of a rectangle of the model as text.
    QList<QStringList> cells(int top, int left, int bottom, int right) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    enum class ColumnKind { Statement, ChangeAbsolute, ChangePercent, Structure };
    struct Column {
        ColumnKind kind = ColumnKind::Statement;
        int serial = 0;       // a statement column's own number
        int left = 0, right = 0; // a change column: the serials of the statements it compares; a structure column: left
        StatementColumn statement;
    };

    QString text(int row, int column) const;
    const Column *statementBySerial(int serial) const;
    // The statement a column shows or describes the structure of, skipping that structure column.
    int statementEnd(int column) const;
    static Column structureOf(const Column &statement);

    QString m_kind;
    QString m_title;
    QList<int> m_codes;
    QHash<int, QString> m_titles;
    QList<Column> m_columns; // model column c is m_columns[c - 1]
    int m_nextSerial = 1;
    bool m_structure = false;
};

// The change between two amounts: right minus left, exact; "" when either is no number.
QString changeAbsolute(const QString &left, const QString &right);
// The same in per cent of |left|, two decimals; "" when left is zero.
QString changePercent(const QString &left, const QString &right);

// The base a line's structure share is taken of: a balance sheet's assets in per cent of
// AKTIVA CELKEM [92], its liabilities of PASIVA CELKEM [152] (the same total); an income
// statement's lines in per cent of its revenues. "" when the statement lacks it.
QString structureBase(const StatementColumn &statement, int code);
// value in per cent of base, two decimals; "" when either is no number or base is zero.
QString sharePercent(const QString &value, const QString &base);

} // namespace verna::statements

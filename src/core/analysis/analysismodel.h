#pragma once

#include "analysis/aggregates.h"
#include "analysis/rowkey.h"
#include "analysis/yearchange.h"

#include <QAbstractTableModel>
#include <QLocale>
#include <QSet>
#include <limits>
#include <optional>
#include <vector>

namespace verna::analysis {

// The analysis table: one row per period of an entity (unique by row key), column 0 the
// entity's name, column 1 the period, then one column per indicator with texts as "0.00".
// An indicator column may have its year-on-year change in the column right after it.
// Holds the current aggregate and its row as well. Cells are kept as hundredths and their
// texts made when asked for: a table of a million rows fits in memory.
class AnalysisModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kFixedColumns = 2;

    explicit AnalysisModel(const QLocale &locale = QLocale::c(), QObject *parent = nullptr);

    const QLocale &locale() const { return m_locale; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Rows by a column: names in the locale's order, periods in time, indicator cells as
    // numbers with empty cells last in both orders; rows that tie keep their order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int dataRowCount() const { return static_cast<int>(m_order.size()); }
    int indicatorCount() const { return static_cast<int>(m_columns.size()); }
    bool hasRow(const RowKey &key) const;
    RowKey rowKey(int row) const { return m_rows.at(stored(row)).key; }
    QList<RowKey> rowKeys() const;
    QString entityName(int row) const { return m_rows.at(stored(row)).entityName; }
    // For a change column: its indicator's id, and its header.
    int indicatorId(int column) const { return m_columns.at(column).id; }
    QString indicatorName(int column) const;
    QString cell(int row, int column) const;
    // The same cell as a number; nullopt for an empty cell.
    std::optional<Cents> cellValue(int row, int column) const;
    QStringList columnCells(int column) const;

    // Appends a row with empty cells; -1 when the period of the entity is already there.
    int appendRow(const RowKey &key, const QString &entityName);
    // Appends an indicator column with empty cells; the same indicator may come twice.
    int appendIndicator(int indicatorId, const QString &name);
    // Stores an evaluator's value text formatted as "0.00" ("" when it is no number).
    void setValue(int row, int column, const QString &valueText);
    // The same for consecutive columns from firstColumn and rows from firstRow on (one list per
    // column), announced as one change and written row by row, as the rows hold their cells.
    void setValues(int firstColumn, int firstRow, const QList<QStringList> &columns);

    // What a column shows: its indicator's values (None) or their year-on-year change.
    YearChange yearChange(int column) const { return m_columns.at(column).change; }
    bool isChangeColumn(int column) const { return yearChange(column) != YearChange::None; }
    // Puts a change column right after the indicator column, its cells empty until their
    // year-before values are set; returns its index.
    int insertChangeColumn(int column, YearChange kind);
    // Switches a change column between absolute and per cent; its cells follow.
    void setChangeKind(int column, YearChange kind);
    // The year-before values of a change column for rows from firstRow on.
    void setYearBefore(int column, int firstRow, const QList<YearBeforeValue> &values);
    // Who explains a missing value in a change cell's tooltip.
    void setMissingReason(MissingReason reason) { m_missingReason = std::move(reason); }

    void removeDataRows(int first, int last);
    // An indicator column takes its change column with it.
    void removeIndicators(int first, int last);
    void removeAllIndicators();

    // Drops every row that has an empty indicator cell (a change may be empty in a complete
    // row); returns how many went.
    int purgeIncompleteRows();

    // The aggregate shown under the table, if any, and its texts per indicator column
    // ("" for a column without numbers).
    std::optional<Aggregate> currentAggregate() const { return m_aggregate; }
    void setCurrentAggregate(std::optional<Aggregate> aggregate);
    QStringList aggregateRow() const;

signals:
    void aggregateChanged();

private:
    struct Row {
        RowKey key;
        QString entityName;
    };
    // An empty cell; no value of fifteen digits comes near it.
    static constexpr Cents kEmpty = std::numeric_limits<Cents>::min();
    struct Column {
        int id;
        QString name;
        YearChange change = YearChange::None;
        std::vector<Cents> cells;            // one per kept row, kEmpty for none
        std::vector<YearBeforeValue> before; // one per kept row in a change column, else none
    };

    // Where a row of the table is kept: rows stay where they were added, a sort orders only
    // their places, so a million rows sort without moving their cells.
    int stored(int row) const { return m_order.at(row); }
    // Drops the cells of removed rows.
    void compactStorage();
    Cents changeCell(int row, int column) const;
    // Puts the rows in the order given (new row i is old row order[i]), for views as a layout change.
    void reorderRows(const std::vector<int> &order);
    QString changeTip(int row, int column) const;
    // Recomputes the change columns that follow columns first..last, in rows firstRow..lastRow.
    void refreshChanges(int first, int last, int firstRow, int lastRow);

    QLocale m_locale;
    QList<Row> m_rows;       // in the order added, as the columns' cells
    std::vector<int> m_order; // the table's rows: indices into m_rows
    QSet<RowKey> m_keys;     // the keys of m_rows: a row is found without a scan
    QList<Column> m_columns;
    std::optional<Aggregate> m_aggregate;
    MissingReason m_missingReason;
};

} // namespace verna::analysis

#pragma once

#include <QTableView>

namespace verna::ui {

// A table whose first columns stay in view while the others scroll sideways: a second view
// over the same model and selection lies over them and scrolls only up and down with the
// table. The context menu on the frozen part is the table's; ui::acceptTextDrops takes drops
// on both parts.
class FrozenTableView : public QTableView
{
    Q_OBJECT
public:
    explicit FrozenTableView(int frozenColumns, QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    QTableView *frozenView() const { return m_frozen; }
    // Rows by a column (the model sorts), the sort shown on both headers. Whole columns
    // selected stay selected; any other selection goes, as a large one would follow every
    // row's move one index at a time.
    void sortRows(int column, Qt::SortOrder order);
    // The last sort, -1 for none; a header click selects and shows no sort of its own.
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // No sort shown, as when rows come after a sort.
    void clearSortIndicator();

protected:
    void resizeEvent(QResizeEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void updateGeometries() override;

private:
    int frozenWidth() const;
    void syncFrozen();
    void showSort();

    int m_columns;
    QTableView *m_frozen;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace verna::ui

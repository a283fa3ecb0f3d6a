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

protected:
    void resizeEvent(QResizeEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void updateGeometries() override;

private:
    int frozenWidth() const;
    void syncFrozen();

    int m_columns;
    QTableView *m_frozen;
};

} // namespace verna::ui

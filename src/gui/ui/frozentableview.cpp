#include "ui/frozentableview.h"

#include <QHeaderView>
#include <QScrollBar>

namespace verna::ui {

FrozenTableView::FrozenTableView(int frozenColumns, QWidget *parent)
    : QTableView(parent)
    , m_columns(frozenColumns)
    , m_frozen(new QTableView(this))
{
    m_frozen->setObjectName(QStringLiteral("frozenColumns"));
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->verticalHeader()->hide();
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollMode(ScrollPerPixel);
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->setContextMenuPolicy(Qt::CustomContextMenu);
    viewport()->stackUnder(m_frozen);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column < m_columns) {
            m_frozen->setColumnWidth(column, size);
            updateGeometries();
        }
    });
    connect(verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { m_frozen->setRowHeight(row, size); });
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(), &QAbstractSlider::setValue);
    // A header flips its sort indicator on a click that sorts nothing: it shows the last sort again.
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &FrozenTableView::showSort);
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionClicked, this, &FrozenTableView::showSort);
    connect(m_frozen, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        emit customContextMenuRequested(viewport()->mapFromGlobal(m_frozen->viewport()->mapToGlobal(pos)));
    });
}

void FrozenTableView::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    m_frozen->setModel(model);
    m_frozen->setSelectionModel(selectionModel());
    if (model) {
        // Columns come and go with the indicators; the frozen view shows only its own.
        connect(model, &QAbstractItemModel::columnsInserted, this, &FrozenTableView::syncFrozen);
        connect(model, &QAbstractItemModel::columnsRemoved, this, &FrozenTableView::syncFrozen);
        connect(model, &QAbstractItemModel::modelReset, this, &FrozenTableView::syncFrozen);
    }
    syncFrozen();
}

void FrozenTableView::sortRows(int column, Qt::SortOrder order)
{
    if (!model())
        return;
    // Kept as columns: the selection's own corners would follow their rows.
    const int rows = model()->rowCount();
    QList<std::pair<int, int>> columns;
    bool wholeColumns = true;
    for (const QItemSelectionRange &r : selectionModel()->selection()) {
        wholeColumns = wholeColumns && r.top() == 0 && r.bottom() == rows - 1;
        columns.append({r.left(), r.right()});
    }
    clearSelection();
    m_sortColumn = column;
    m_sortOrder = order;
    showSort();
    model()->sort(column, order);
    if (!wholeColumns || columns.isEmpty())
        return;
    QItemSelection selection;
    for (const auto &[left, right] : columns)
        selection.select(model()->index(0, left), model()->index(rows - 1, right));
    selectionModel()->select(selection, QItemSelectionModel::Select);
}

void FrozenTableView::clearSortIndicator()
{
    m_sortColumn = -1;
    showSort();
}

void FrozenTableView::showSort()
{
    for (QHeaderView *header : {horizontalHeader(), m_frozen->horizontalHeader()}) {
        header->setSortIndicatorShown(m_sortColumn >= 0);
        header->setSortIndicator(m_sortColumn, m_sortOrder);
    }
}

void FrozenTableView::syncFrozen()
{
    m_frozen->setSelectionMode(selectionMode());
    m_frozen->setSelectionBehavior(selectionBehavior());
    m_frozen->setEditTriggers(editTriggers());
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    const int count = model() ? model()->columnCount() : 0;
    for (int c = 0; c < count; ++c) {
        m_frozen->setColumnHidden(c, c >= m_columns);
        if (c < m_columns)
            m_frozen->setColumnWidth(c, columnWidth(c));
    }
    updateGeometries();
}

int FrozenTableView::frozenWidth() const
{
    int width = 0;
    const int count = model() ? std::min(m_columns, model()->columnCount()) : 0;
    for (int c = 0; c < count; ++c)
        width += columnWidth(c);
    return width;
}

void FrozenTableView::updateGeometries()
{
    QTableView::updateGeometries();
    if (!m_frozen)
        return;
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_frozen->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), frozenWidth(),
                          viewport()->height() + horizontalHeader()->height());
}

void FrozenTableView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    updateGeometries();
}

// Moving left onto a scrolled column brings it out from under the frozen part.
QModelIndex FrozenTableView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    if (cursorAction == MoveLeft && current.column() >= m_columns && visualRect(current).left() < frozenWidth())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + visualRect(current).left() - frozenWidth());
    return current;
}

void FrozenTableView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (index.column() >= m_columns)
        QTableView::scrollTo(index, hint);
}

} // namespace verna::ui

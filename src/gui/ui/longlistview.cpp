#include "ui/longlistview.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyleOptionViewItem>

namespace verna::ui {

LongListView::LongListView(QWidget *parent)
    : QTableView(parent)
{
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Tab leaves the list, as it leaves a list box.
    setTabKeyNavigation(false);
    setDragEnabled(true);
    fitLineHeight();
}

void LongListView::startDrag(Qt::DropActions)
{
    if (m_starter)
        m_starter();
}

QModelIndex LongListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    // A table's Home and End stay in the row; a list's go to its first and last line.
    if (cursorAction == MoveHome || cursorAction == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(cursorAction, modifiers);
}

void LongListView::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitLineHeight();
}

void LongListView::fitLineHeight()
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("Žluťoučký kůň Ágy");
    const int height = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
}

} // namespace verna::ui

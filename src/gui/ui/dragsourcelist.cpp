#include "ui/dragsourcelist.h"

namespace verna::ui {

DragSourceList::DragSourceList(QWidget *parent)
    : QListWidget(parent)
{
    setDragEnabled(true);
}

void DragSourceList::startDrag(Qt::DropActions)
{
    if (m_starter)
        m_starter();
}

} // namespace verna::ui

#include "analysis/dragsourcelist.h"

namespace verna::analysis {

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

} // namespace verna::analysis

#include "dropdelivery.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace verna::test {

bool deliverDrop(QWidget *root, const QString &controlName, const QString &text, const QPoint &pos, Qt::KeyboardModifiers modifiers)
{
    if (!root)
        return false;
    QWidget *control = root->objectName() == controlName ? root : root->findChild<QWidget *>(controlName);
    return control && deliverDrop(control, text, pos, modifiers);
}

bool deliverDrop(QWidget *control, const QString &text, const QPoint &pos, Qt::KeyboardModifiers modifiers)
{
    // Drops land on the viewport of a scroll area, not on the area itself.
    QWidget *surface = control;
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
        surface = area->viewport();
    if (!surface->acceptDrops())
        return false;
    QMimeData data;
    data.setText(text);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;

    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(surface, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(surface, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), actions, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(surface, &drop);
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

} // namespace verna::test

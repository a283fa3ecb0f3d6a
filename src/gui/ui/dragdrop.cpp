#include "ui/dragdrop.h"

#include "ui/busyguard.h"
#include "ui/scripteduser.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace verna::ui {

namespace {

// Drops land on the viewport of a scroll area, not on the area itself.
QWidget *dropSurface(QWidget *control)
{
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
        return area->viewport();
    return control;
}

class TextDropTarget : public QObject
{
public:
    TextDropTarget(QWidget *control, ModifiedTextDropHandler handler)
        : QObject(control)
        , m_control(control)
        , m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (acceptable(drag->mimeData()))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            if (!acceptable(drop->mimeData())) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            const QString text = drop->mimeData()->text();
            const QPoint pos = drop->position().toPoint();
            m_handler(text, pos, drop->modifiers());
            return true;
        }
        default:
            return false;
        }
    }

private:
    bool acceptable(const QMimeData *data) const
    {
        return data && data->hasText() && !isBusy(ownerWindow(m_control));
    }

    QWidget *m_control;
    ModifiedTextDropHandler m_handler;
};

} // namespace

void startTextDrag(QWidget *source, const QString &payload)
{
    if (ScriptedUser *user = ScriptedUser::current()) {
        user->recordDrag(payload);
        return;
    }
    auto *drag = new QDrag(source);
    auto *data = new QMimeData;
    data->setText(payload);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void acceptTextDrops(QWidget *control, TextDropHandler handler)
{
    acceptTextDrops(control, ModifiedTextDropHandler([handler = std::move(handler)](const QString &text, const QPoint &pos,
                                                                                    Qt::KeyboardModifiers) { handler(text, pos); }));
}

void acceptTextDrops(QWidget *control, ModifiedTextDropHandler handler)
{
    QWidget *surface = dropSurface(control);
    control->setAcceptDrops(true);
    surface->setAcceptDrops(true);
    surface->installEventFilter(new TextDropTarget(control, std::move(handler)));
}

bool deliverDrop(QWidget *root, const QString &controlName, const QString &text, const QPoint &pos,
                 Qt::KeyboardModifiers modifiers)
{
    if (!root)
        return false;
    QWidget *control = root->objectName() == controlName ? root : root->findChild<QWidget *>(controlName);
    return control && deliverDrop(control, text, pos, modifiers);
}

bool deliverDrop(QWidget *control, const QString &text, const QPoint &pos, Qt::KeyboardModifiers modifiers)
{
    QWidget *surface = dropSurface(control);
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
    return drop.isAccepted();
}

} // namespace verna::ui

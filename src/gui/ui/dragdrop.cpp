#include "ui/dragdrop.h"

#include "ui/busyguard.h"
#include "ui/frozentableview.h"
#include "ui/scripteduser.h"

#include "selection/payload.h"

#include <QAbstractScrollArea>
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
            // Always a copy: a source that honours a move would delete what it dragged here.
            if (acceptable(drag->mimeData()) && (drag->possibleActions() & Qt::CopyAction)) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            if (!acceptable(drop->mimeData()) || !(drop->possibleActions() & Qt::CopyAction)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
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
        // Only VERNA's own payloads: file links and other programs' texts are refused at once.
        return data && data->hasText() && selection::Payload::parse(data->text()) && !isBusy(ownerWindow(m_control));
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
    QList<QWidget *> surfaces{dropSurface(control)};
    // A table with frozen columns takes drops on them too.
    if (auto *frozen = qobject_cast<FrozenTableView *>(control))
        surfaces << frozen->frozenView()->viewport();
    control->setAcceptDrops(true);
    for (QWidget *surface : surfaces) {
        surface->setAcceptDrops(true);
        surface->installEventFilter(new TextDropTarget(control, handler));
    }
}

} // namespace verna::ui

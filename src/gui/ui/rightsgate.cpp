#include "ui/rightsgate.h"

#include <QEvent>
#include <QWidget>

namespace verna::ui {

namespace {

// Turns the control off again whenever the window turns it on.
class RightsGate : public QObject
{
public:
    explicit RightsGate(QWidget *control)
        : QObject(control)
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *control = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::EnabledChange && control->isEnabled())
            control->setEnabled(false);
        return false;
    }
};

} // namespace

void requireRight(QWidget *control, const db::Rights &rights, db::Right right)
{
    if (!control || rights.can(right))
        return;
    control->setToolTip(db::Rights::missing(right));
    control->setEnabled(false);
    if (!control->findChild<RightsGate *>(QString(), Qt::FindDirectChildrenOnly))
        new RightsGate(control);
}

} // namespace verna::ui

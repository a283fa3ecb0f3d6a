#include "ui/busyguard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiSubWindow>

namespace verna::ui {

namespace {

const char *const kCloseFilterName = "verna_busyCloseFilter";
// How many guards hold the window now.
const char *const kBusyDepth = "verna_busyDepth";

class BusyCloseFilter : public QObject
{
public:
    explicit BusyCloseFilter(QObject *parent)
        : QObject(parent)
    {
        setObjectName(QLatin1String(kCloseFilterName));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close && isBusy(qobject_cast<QWidget *>(watched))) {
            event->ignore();
            return true;
        }
        return false;
    }
};

int busyDepth(const QWidget *window)
{
    return window ? window->property(kBusyDepth).toInt() : 0;
}

} // namespace

bool isBusy(const QWidget *window)
{
    return busyDepth(window) > 0;
}

void refuseCloseWhileBusy(QWidget *window)
{
    if (!window || window->findChild<BusyCloseFilter *>(QLatin1String(kCloseFilterName), Qt::FindDirectChildrenOnly))
        return;
    window->installEventFilter(new BusyCloseFilter(window));
}

QWidget *ownerWindow(QWidget *control)
{
    QWidget *w = control;
    while (w && !w->isWindow() && w->parentWidget() && !qobject_cast<QMdiSubWindow *>(w->parentWidget()))
        w = w->parentWidget();
    return w;
}

BusyGuard::BusyGuard(QWidget *window, const QString &captionAfter)
    : m_window(window)
    , m_captionAfter(captionAfter)
{
    if (m_window) {
        if (m_captionAfter.isEmpty())
            m_captionAfter = m_window->windowTitle();
        refuseCloseWhileBusy(m_window);
        m_window->setProperty(kBusyDepth, busyDepth(m_window) + 1);
        m_window->setWindowTitle(kBusyCaption);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyGuard::~BusyGuard()
{
    QApplication::restoreOverrideCursor();
    if (m_window) {
        m_window->setProperty(kBusyDepth, busyDepth(m_window) - 1);
        m_window->setWindowTitle(m_captionAfter);
    }
}

} // namespace verna::ui

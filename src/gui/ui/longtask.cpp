#include "ui/longtask.h"

#include "ui/busyguard.h"
#include "ui/idlehook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QProgressDialog>
#include <QShortcut>

namespace verna::ui {

namespace {

int g_running = 0;
// The stop questions of the running long tasks, innermost last.
std::vector<std::function<bool()>> g_stopChecks;
// How long a wait on the server goes unseen before the window shows it.
constexpr std::chrono::milliseconds kShowWaitAfter{500};

// A close asked for while the work runs is refused (BusyGuard) and ends the work.
class CloseWatcher : public QObject
{
public:
    CloseWatcher(QWidget *window, bool *stopRequested)
        : QObject(window)
        , m_stop(stopRequested)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            *m_stop = true;
        return false;
    }

private:
    bool *m_stop;
};

// Everything the task changes on the window and its stop button, put back when it ends.
class Running
{
public:
    Running(QWidget *window, QAbstractButton *stopButton, const std::shared_ptr<bool> &stop)
        : m_button(stopButton)
        , m_busy(window)
    {
        ++g_running;
        m_esc = new QShortcut(QKeySequence(Qt::Key_Escape), window);
        m_esc->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(m_esc, &QShortcut::activated, [stop] { *stop = true; });
        m_watcher = new CloseWatcher(window, stop.get());
        if (m_button) {
            m_text = m_button->text();
            m_visible = m_button->isVisibleTo(m_button->parentWidget());
            m_enabled = m_button->isEnabled();
            m_button->setText(QStringLiteral("Stop"));
            m_button->setVisible(true);
            m_button->setEnabled(true);
            m_clicked = QObject::connect(m_button, &QAbstractButton::clicked, [stop] { *stop = true; });
        }
    }

    ~Running()
    {
        --g_running;
        delete m_esc.data();
        delete m_watcher.data();
        QObject::disconnect(m_clicked);
        if (m_button) {
            m_button->setText(m_text);
            m_button->setVisible(m_visible);
            m_button->setEnabled(m_enabled);
        }
    }

    Running(const Running &) = delete;
    Running &operator=(const Running &) = delete;

private:
    QPointer<QAbstractButton> m_button;
    BusyGuard m_busy;
    QPointer<QShortcut> m_esc;
    QPointer<CloseWatcher> m_watcher;
    QMetaObject::Connection m_clicked;
    QString m_text;
    bool m_visible = false;
    bool m_enabled = false;
};

} // namespace

LongTask::LongTask(QWidget *window)
    : m_state(std::make_shared<State>())
{
    m_state->window = window;
}

bool LongTask::next()
{
    processEventsPaced();
    return !stopped();
}

bool LongTask::stopped() const
{
    return m_state->stopRequested || !m_state->window;
}

void LongTask::showProgress(const QString &text)
{
    if (m_state->window)
        m_state->window->setWindowTitle(kBusyCaption + QLatin1Char(' ') + text);
}

std::function<bool()> LongTask::stopCheck() const
{
    return [state = m_state] { return state->stopRequested || !state->window; };
}

TaskEnd runLongTask(QWidget *window, QAbstractButton *stopButton, const std::function<void(LongTask &)> &work)
{
    if (!window || isBusy(window))
        return TaskEnd::Refused;
    LongTask task(window);
    {
        // The watcher, the shortcut and the button write into the task's own state, which
        // outlives the window.
        const std::shared_ptr<bool> stop(task.m_state, &task.m_state->stopRequested);
        Running running(window, stopButton, stop);
        g_stopChecks.push_back(task.stopCheck());
        work(task);
        g_stopChecks.pop_back();
    }
    if (!task.m_state->window)
        return TaskEnd::WindowGone;
    return task.m_state->stopRequested ? TaskEnd::Stopped : TaskEnd::Finished;
}

bool longTaskRunning()
{
    return g_running > 0;
}

namespace {

// The window made busy by a wait on the server outside any long task.
struct ServerWait {
    std::shared_ptr<bool> stop;
    std::unique_ptr<Running> running;
};

ServerWait &serverWait()
{
    static ServerWait wait;
    return wait;
}

} // namespace

bool waitingOnServer(std::chrono::milliseconds waited, bool userInput)
{
    const bool shown = waited >= kShowWaitAfter;
    // Until the window shows that it waits, a click or key waits too and runs once the call has
    // returned: work it would start now could only be refused. A long task's Stop is seen at once.
    processEventsPaced((userInput && longTaskRunning()) || shown);
    if (!g_stopChecks.empty())
        return !g_stopChecks.back()();
    ServerWait &wait = serverWait();
    if (shown && !wait.stop) {
        wait.stop = std::make_shared<bool>(false);
        QWidget *focus = QApplication::focusWidget();
        QWidget *window = focus ? ownerWindow(focus) : QApplication::activeWindow();
        if (window && !isBusy(window))
            wait.running = std::make_unique<Running>(window, nullptr, wait.stop);
    }
    return !(wait.stop && *wait.stop);
}

void serverWaitEnded()
{
    ServerWait &wait = serverWait();
    wait.running.reset();
    wait.stop.reset();
}

StepWindow::StepWindow(QWidget *parent, const QString &title)
    : m_parent(parent)
    , m_title(title)
{
}

StepWindow::~StepWindow() = default;

void StepWindow::step(const QString &text)
{
    if (!m_dialog) {
        m_dialog = std::make_unique<QProgressDialog>(text, QString(), 0, 0, m_parent);
        m_dialog->setWindowTitle(m_title);
        m_dialog->setMinimumDuration(0);
        m_dialog->setCancelButton(nullptr);
        m_dialog->show();
    }
    m_dialog->setLabelText(text);
    // Nothing may be clicked into a database that is being built.
    processEventsPaced(false);
}

} // namespace verna::ui

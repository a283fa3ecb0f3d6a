#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

class QAbstractButton;
class QProgressDialog;

namespace verna::ui {

enum class TaskEnd {
    Finished,  // the work ran to its end
    Stopped,   // Stop, Esc or a close asked while it ran ended it early
    Refused,   // the window was busy already: nothing ran
    WindowGone // the window was deleted meanwhile: touch nothing of it
};

// The running work's view of its task: after each step it asks whether to go on.
class LongTask
{
public:
    // The work's step: lets pending events run (at most once per interval of ui/idlehook's
    // shared pace), then tells whether the work may go on: no Stop, no Esc, no close asked,
    // and the window still there.
    bool next();
    // The same question without processing events.
    bool stopped() const;
    // Shows how far the work is ("Kontroluji výkazy: 120 z 2400") after the busy caption until
    // the next call or the end of the task.
    void showProgress(const QString &text);
    // The question as a function for the core's stop checks; safe to call after the task.
    std::function<bool()> stopCheck() const;

private:
    friend TaskEnd runLongTask(QWidget *, QAbstractButton *, const std::function<void(LongTask &)> &);
    struct State {
        QPointer<QWidget> window;
        bool stopRequested = false;
    };
    explicit LongTask(QWidget *window);
    std::shared_ptr<State> m_state;
};

// Runs work as the window's long task, the one way every window runs a long loop: the window
// is busy meanwhile (BusyGuard: flag, caption, wait cursor; it ignores drops and refuses to
// close), stopButton reads "Stop" and is shown and usable, and Stop, Esc in the window or an
// attempt to close it ask the work to end. Everything is restored afterwards.
TaskEnd runLongTask(QWidget *window, QAbstractButton *stopButton, const std::function<void(LongTask &)> &work);

// Whether any window runs a long task now.
bool longTaskRunning();

// While a database call waits on its server: pending events run at the long tasks' pace (user
// input too once half a second has passed, or when userInput says so), and from then on the
// window with the focus shows it is busy and takes Esc, unless a long task runs already. The
// answer is false once Stop, Esc or a close asks the wait to end. serverWaitEnded puts the
// window back.
bool waitingOnServer(std::chrono::milliseconds waited, bool userInput);
void serverWaitEnded();

// Names the steps of work that cannot be stopped and comes before any window that could run
// it as a long task (the first start builds its database): the first step shows a small
// window, each step sets its text and lets events through at the long tasks' pace, without
// user input. The window goes with this object.
class StepWindow
{
public:
    StepWindow(QWidget *parent, const QString &title);
    ~StepWindow();
    StepWindow(const StepWindow &) = delete;
    StepWindow &operator=(const StepWindow &) = delete;

    void step(const QString &text);

private:
    QPointer<QWidget> m_parent;
    QString m_title;
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace verna::ui

#include "ui/idlehook.h"

#include "db/database.h"
#include "db/eventpause.h"
#include "ui/longtask.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace verna::ui {

namespace {

struct Pace {
    Pace() { sinceLast.start(); }
    QElapsedTimer sinceLast;
    std::chrono::milliseconds interval{50};
    bool pumping = false;
};

Pace &pace()
{
    static Pace p;
    return p;
}

} // namespace

void processEventsPaced(bool userInput)
{
    Pace &p = pace();
    // A database call made by an event handled here must not pump again underneath it.
    if (p.pumping || p.sinceLast.elapsed() < p.interval.count())
        return;
    p.pumping = true;
    // Whatever these events start is a guest of a transaction open below: the database refuses it.
    const db::EventPause pause;
    QCoreApplication::processEvents(userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    p.pumping = false;
    p.sinceLast.restart();
}

void installIdleHook(db::Database &database, std::chrono::milliseconds interval)
{
    pace().interval = interval;
    db::Database *db = &database;
    // A long task's Stop and Esc are user input and must be seen also inside its transaction;
    // guests are refused there anyway. Short writes outside long tasks keep clicks for later.
    database.setIdleHook([db]() { processEventsPaced(!db->inTransaction() || longTaskRunning()); });
    database.setWaitHook({[db](std::chrono::milliseconds waited) { return waitingOnServer(waited, !db->inTransaction() || longTaskRunning()); },
                          [] { serverWaitEnded(); }});
}

} // namespace verna::ui

#include "ui/idlehook.h"

#include "db/database.h"

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
    QCoreApplication::processEvents(userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    p.pumping = false;
    p.sinceLast.restart();
}

void installIdleHook(db::Database &database, std::chrono::milliseconds interval)
{
    pace().interval = interval;
    db::Database *db = &database;
    database.setIdleHook([db]() { processEventsPaced(!db->inTransaction()); });
}

} // namespace verna::ui

#include "ui/idlehook.h"

#include "db/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>

namespace verna::ui {

void installIdleHook(db::Database &database, std::chrono::milliseconds interval)
{
    struct State {
        QElapsedTimer sinceLast;
        bool pumping = false;
    };
    auto state = std::make_shared<State>();
    state->sinceLast.start();
    db::Database *db = &database;
    database.setIdleHook([state, db, interval]() {
        // A database call made by an event handled here must not pump again underneath it.
        if (state->pumping || state->sinceLast.elapsed() < interval.count())
            return;
        state->pumping = true;
        const auto flags = db->inTransaction() ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents;
        QCoreApplication::processEvents(flags);
        state->pumping = false;
        state->sinceLast.restart();
    });
}

} // namespace verna::ui

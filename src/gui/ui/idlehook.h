#pragma once

#include <chrono>

namespace verna::db {
class Database;
}

namespace verna::ui {

// Lets the windows repaint and take Stop and Esc between database calls: pending events are
// processed after a call when at least interval has passed since they last were. Inside a
// transaction only repaints run, unless a long task runs: user input then runs too, and
// whatever it starts in the database is refused until the transaction ends (db::EventPause).
// It also installs the wait hook (ui::waitingOnServer) for calls that wait on a server.
void installIdleHook(db::Database &database, std::chrono::milliseconds interval = std::chrono::milliseconds(50));

// One pass over pending events if the pace allows it (the interval of the idle hook, 50 ms
// until one is installed); without user input when userInput is false. The idle hook and
// the long tasks share this pace, so the application pumps at most once per interval. The
// pass is a db::EventPause: a transaction open below it refuses the calls made in it.
void processEventsPaced(bool userInput = true);

} // namespace verna::ui

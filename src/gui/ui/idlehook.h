#pragma once

#include <chrono>

namespace verna::db {
class Database;
}

namespace verna::ui {

// Lets the windows repaint and take Stop and Esc between database calls: pending events are
// processed after a call when at least interval has passed since they last were. Inside a
// transaction only repaints run, so no click can start a second write that would join it.
void installIdleHook(db::Database &database, std::chrono::milliseconds interval = std::chrono::milliseconds(50));

} // namespace verna::ui

#pragma once

namespace verna::db {

// Marks, for its lifetime, a pass over pending events that long work lets through (another
// window's click, a timer). A transaction opened outside the pass refuses the database calls
// made inside it: they would join it, and on PostgreSQL a failing one would abort it. Passes
// nest; the count is the calling thread's.
class EventPause
{
public:
    EventPause();
    ~EventPause();
    EventPause(const EventPause &) = delete;
    EventPause &operator=(const EventPause &) = delete;

    // How many passes the calling thread is inside now.
    static int depth();
};

} // namespace verna::db

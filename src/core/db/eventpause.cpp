#include "db/eventpause.h"

namespace verna::db {

namespace {
thread_local int t_depth = 0;
} // namespace

EventPause::EventPause()
{
    ++t_depth;
}

EventPause::~EventPause()
{
    --t_depth;
}

int EventPause::depth()
{
    return t_depth;
}

} // namespace verna::db

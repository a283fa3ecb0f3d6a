#pragma once

namespace verna::reliability {

// Stops a private PostgreSQL cluster under an open connection and starts it again: reads and
// writes fail with a Czech message meanwhile and work again after, on the same connection
// object. 0 when they do, 77 when no cluster can be made here (and none is required).
int serverFaults(bool required);

} // namespace verna::reliability

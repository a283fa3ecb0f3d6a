#pragma once

#include "indicators/period.h"

namespace verna::analysis {

// A row of the analysis table is a period of an entity.
using RowKey = indicators::Period;

} // namespace verna::analysis

#pragma once

#include "base/textforms.h"
#include "db/outcome.h"

#include <functional>

namespace verna::db {
class Database;
}

namespace verna::shell {

struct DemoOptions {
    int entities = 250;
    quint32 seed = 1;
    int firstYear = 1996;
    int lastYear = 1999;
    int firstQuarter = 1; // first quarter of the first year
    int lastQuarter = 4;  // last quarter of the last year
};

// Fills the database with made-up Czech companies: names with legal forms, valid IČO,
// branches, groups with members, notes, and full and abbreviated statements per quarter
// whose amounts pass every sum rule. The same options on the same database give the same data.
// Needs the reference data (code lists, sum rules, the 3366 statements as a template).
Outcome generateDemoData(db::Database &db, const DemoOptions &options,
                         const std::function<void(int done, int total)> &progress = {});

// The IČO checks under the names callers have long used; they live on the ground floor.
using base::icoCheckDigit;
using base::isValidIco;

} // namespace verna::shell

#pragma once

#include "db/outcome.h"
#include "indicators/formula.h"

#include <QString>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::indicators {

// Why the evaluator gives no value for an indicator (or a formula as typed) in a period, as a
// Czech sentence: a refused formula, an unknown indicator or entity, a period out of range, no
// statement, missing items, a division by zero, an overflow. "" when none of these explains
// it. It reads more than an evaluation does: for the command line and for editors, not loops.
// What is wrong with a formula that cannot be read, as a Czech sentence; "" for a sound one.
QString formulaProblem(Formula::Error error);

Result<QString> whyNoValue(db::Database &db, const std::optional<int> &indicatorId, const QString &formula,
                           const QString &entity, const QString &year, const QString &quarter);

} // namespace verna::indicators

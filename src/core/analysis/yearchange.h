#pragma once

#include "analysis/rowkey.h"
#include "analysis/twodecimals.h"
#include "db/outcome.h"

#include <QString>
#include <functional>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::analysis {

// The year-on-year change an indicator column may show beside it: none, the difference
// against the same quarter a year before, or that difference in per cent of the earlier value.
enum class YearChange { None, Absolute, Percent };

// The value a change compares with in a row: not known until computed (a fill may stop
// first), then a value or none.
struct YearBeforeValue {
    bool known = false;
    std::optional<Cents> value;
};

// The same quarter of the year before, of the same entity.
RowKey yearBefore(const RowKey &key);

// The change in hundredths (of the unit, or of a per cent); nullopt when there is none: a
// side without a value, or per cent unless both values are above zero.
std::optional<Cents> yearChange(YearChange kind, std::optional<Cents> value, std::optional<Cents> before);

// "<name> – meziroční změna", with " (%)" for per cent.
QString yearChangeHeader(const QString &indicatorName, YearChange kind);

// Why an indicator has no value in a period, as the evaluator explains it; "" when nothing
// explains it. Asked per cell, on demand (a tooltip), never in a loop.
using MissingReason = std::function<Result<QString>(int indicatorId, const RowKey &period)>;

// The evaluator's reasons read from a database, each period and indicator once.
MissingReason evaluatorReasons(db::Database &db);

} // namespace verna::analysis

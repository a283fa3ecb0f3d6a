#include "analysis/yearchange.h"

#include "indicators/emptyvalue.h"

#include <QHash>
#include <limits>
#include <memory>

namespace verna::analysis {

RowKey yearBefore(const RowKey &key)
{
    return RowKey{key.year - 1, key.quarter, key.entity};
}

std::optional<Cents> yearChange(YearChange kind, std::optional<Cents> value, std::optional<Cents> before)
{
    if (!value || !before || kind == YearChange::None)
        return std::nullopt;
    if (kind == YearChange::Absolute)
        return *value - *before;
    // A share of a value at or below zero says nothing (and zero divides).
    if (*value <= 0 || *before <= 0)
        return std::nullopt;
    // (value - before) / before in hundredths of a per cent, rounded half away from zero;
    // wide enough for any cell of fifteen whole digits.
    const __int128 numerator = static_cast<__int128>(*value - *before) * 10000;
    const __int128 magnitude = numerator < 0 ? -numerator : numerator;
    const __int128 quotient = (2 * magnitude + *before) / (2 * static_cast<__int128>(*before));
    if (quotient > std::numeric_limits<Cents>::max())
        return std::nullopt;
    return static_cast<Cents>(numerator < 0 ? -quotient : quotient);
}

QString yearChangeHeader(const QString &indicatorName, YearChange kind)
{
    return indicatorName + (kind == YearChange::Percent ? QStringLiteral(" – meziroční změna (%)") : QStringLiteral(" – meziroční změna"));
}

MissingReason evaluatorReasons(db::Database &db)
{
    auto known = std::make_shared<QHash<QPair<int, RowKey>, QString>>();
    return [&db, known](int indicatorId, const RowKey &period) -> Result<QString> {
        const QPair<int, RowKey> key{indicatorId, period};
        if (const auto found = known->constFind(key); found != known->cend())
            return {*found, {}};
        const Result<QString> why = indicators::whyNoValue(db, indicatorId, QString(), period.entityText(), period.yearText(), period.quarterText());
        if (why.ok())
            known->insert(key, why.value);
        return why;
    };
}

} // namespace verna::analysis

#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace verna::indicators {

// How a reader takes an indicator's value, stored as dir_cd beside the indicator.
enum class Direction {
    None = 0,         // bez hodnocení: the value describes, it does not grade
    HigherBetter = 1, // vyšší je lepší
    LowerBetter = 2,  // nižší je lepší
    TargetRange = 3,  // cílové rozmezí low..high
};

// An indicator's unit ("%", "×", "dny", "tis. Kč", ...) and direction, so values can be
// labelled and coloured.
struct IndicatorUnit {
    QString unit;
    Direction direction = Direction::None;
    std::optional<double> low;
    std::optional<double> high;

    bool operator==(const IndicatorUnit &) const = default;

    // The Czech texts of the directions, in the order of their codes.
    static const QStringList &directionTexts();
    // "cílové rozmezí 1,5 až 2,5" and the like.
    QString describe() const;
};

} // namespace verna::indicators

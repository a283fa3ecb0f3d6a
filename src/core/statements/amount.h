#pragma once

#include "db/outcome.h"

#include <QString>
#include <optional>

namespace verna::statements {

using verna::Result;

// An amount of a statement line as an exact decimal (four places), so sums are compared as
// numbers and never rounded through a double. At most 12 significant digits, which every
// backend stores and reads back unchanged.
class Amount
{
public:
    static constexpr int kDecimals = 4;
    static constexpr int kDigits = 12;

    Amount() = default;

    // A typed amount: an optional sign, digits, "," or "." as the decimal separator, blanks
    // between digit groups ("1 234,5"). Exponents, letters, a second separator, more than four
    // decimals or twelve digits are refused with a Czech reason; so is an empty text.
    static Result<Amount> parse(const QString &typed);
    // A whole number within the digit limit.
    static std::optional<Amount> whole(qint64 value);

    // Plain decimal text: "1234.5", "-5", "0"; what the inserts write and the lists show.
    QString text() const;

    // nullopt when the result would leave the range of the arithmetic.
    std::optional<Amount> plus(const Amount &other) const;
    Amount negated() const;

    bool operator==(const Amount &other) const = default;

private:
    explicit Amount(qint64 units)
        : m_units(units)
    {
    }
    qint64 m_units = 0; // ten-thousandths
};

} // namespace verna::statements

#pragma once

#include <QString>
#include <QVariant>

namespace verna::db {

// Plain decimal text in the C locale: no exponent, no group separator, trailing fractional
// zeros dropped ("45", "0.5", "-1234567.25"). Doubles are first normalised to 12
// significant digits so that binary noise (2.67499999...) does not leak into texts.
QString numberText(double value);

// A decimal text as a server returns it ("500.00", "-0.50", "1E+3") in the same plain form;
// returns the input unchanged when it is not a number.
QString normaliseDecimalText(const QString &text);

// The text of a field value as VERNA reads it: NULL is "", numbers in plain decimal form.
QString valueText(const QVariant &value, bool numericColumn);

} // namespace verna::db

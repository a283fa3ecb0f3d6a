#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace verna::analysis {

// Amounts and indicator values in hundredths, so sums and medians are exact and rounding
// is half away from zero on the decimal value, never on a binary double.
using Cents = qint64;

// A decimal text ("-12.345", "1e3", "1234567890.12") rounded half away from zero to hundredths.
// nullopt for text that is not a number or does not fit.
std::optional<Cents> roundToCents(const QString &decimalText);

// A cell text as written in a locale ("1,67" in Czech, "1.67" in C); the C form is accepted too.
std::optional<Cents> parseCell(const QString &text, const QLocale &locale);

// "0.00" in the locale's decimal separator, no group separators.
QString formatCents(Cents value, const QLocale &locale);

// An evaluator's value text as the grid shows it: "0.00", or "" when there is no number.
QString formatValue(const QString &valueText, const QLocale &locale);

// Rounded quotient of hundredths by a count (half away from zero).
Cents divideRounded(Cents total, qint64 count);

} // namespace verna::analysis

#pragma once

#include "analysis/twodecimals.h"
#include "db/outcome.h"
#include "indicators/period.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::analysis {

using verna::Result;

// One factor of the ROE decomposition: its Czech name and its formula over statement lines.
struct RoeFactor {
    QString name;
    QString formula;
};

// ROE = tax burden × interest burden × operating margin × asset turnover × leverage, flows
// annualised as the ROE indicator is, so the five multiply to ROE (here a fraction, ×100 in %).
const QList<RoeFactor> &roeFactors();
// ROE in per cent: annualised net profit / equity.
const RoeFactor &roeIndicator();

enum class RoeMethod { None, Logarithmic, Substitution };

// "logaritmická metoda", "postupné substituce", "" for none.
QString roeMethodName(RoeMethod method);

// How the change of ROE splits among the factors: contributions in ROE's per cent points that
// add up to ROE(b) − ROE(a) of the factors' products. Logarithmic when every factor is positive
// in both periods, else successive substitution in the factors' order.
struct RoeContributions {
    RoeMethod method = RoeMethod::None;
    QList<double> values;
};
RoeContributions roeContributions(const QList<double> &a, const QList<double> &b);

// The values rounded to hundredths so that they add up to total exactly: each is rounded down,
// then the missing hundredths go to those with the largest remainders (or come from the smallest).
QList<Cents> roundToTotal(const QList<double> &values, Cents total);

// A value of one period: the number, or why there is none.
struct RoeValue {
    std::optional<double> value;
    QString reason;
};

struct RoeDecomposition {
    indicators::Period a;
    indicators::Period b;
    QList<RoeValue> factorsA; // in roeFactors() order
    QList<RoeValue> factorsB;
    RoeValue roeA; // in per cent
    RoeValue roeB;
    RoeMethod method = RoeMethod::None;
    QList<Cents> contributions; // per factor, in hundredths of a per cent point; empty without a method
    std::optional<Cents> delta; // ROE(b) − ROE(a) as printed
    QString reason;             // why there are no contributions

    // The table of factors: a header row, then one row per factor and ROE (name, value in a,
    // in b, contribution); factors with four decimals, ROE and contributions with two.
    QList<QStringList> table(const QLocale &locale) const;
    // A missing value's cell: "–".
    static QString missingText() { return QStringLiteral("–"); }
};

// Evaluates the factors and ROE for both periods through the evaluator and splits the change.
// A missing value is no error: its reason is kept and no contributions are given. A failed
// read is an error.
Result<RoeDecomposition> decomposeRoe(db::Database &db, indicators::Evaluator &evaluator, const indicators::Period &a,
                                      const indicators::Period &b);

// The default pair for a period: the same quarter a year before, then the period itself.
std::pair<indicators::Period, indicators::Period> defaultRoePeriods(const indicators::Period &b);

// A fraction with four decimals, half away from zero, in the locale's decimal separator.
QString formatFactor(double value, const QLocale &locale);

} // namespace verna::analysis

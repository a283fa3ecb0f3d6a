#include "analysis/roedecomposition.h"

#include "indicators/derivedlines.h"
#include "indicators/emptyvalue.h"
#include "indicators/evaluator.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace verna::analysis {

namespace {

QString line(int code)
{
    return QLatin1Char('[') + QString::number(code) + QLatin1Char(']');
}

// The lines the factors are made of: EBIT, sales and profit before tax are the evaluator's
// derived lines, so they mean here what they mean in every indicator.
const QString kNetProfit = line(90);
const QString kProfitBeforeTax = line(indicators::DerivedLines::kProfitBeforeTax);
const QString kEbit = line(indicators::DerivedLines::kEbit);
const QString kSales = line(indicators::DerivedLines::kSales);
const QString kAssets = line(92);
const QString kEquity = line(153);
// A flow of the year to date as a yearly flow, as the ROE indicator annualises it.
const QString kYearly = QStringLiteral("*360/[219]");

double product(const QList<double> &values)
{
    return std::accumulate(values.cbegin(), values.cend(), 1.0, std::multiplies<>());
}

Result<RoeValue> evaluate(db::Database &db, indicators::Evaluator &evaluator, const QString &formula, const indicators::Period &period)
{
    const Result<QString> value = evaluator.formulaValue(formula, period);
    if (!value.ok())
        return Result<RoeValue>::failure(value.error);
    RoeValue out;
    bool ok = false;
    const double number = value.value.toDouble(&ok);
    if (!value.value.isEmpty() && ok && std::isfinite(number)) {
        out.value = number;
        return {out, {}};
    }
    const Result<QString> why = indicators::whyNoValue(db, std::nullopt, formula, period.entityText(), period.yearText(), period.quarterText());
    if (!why.ok())
        return Result<RoeValue>::failure(why.error);
    out.reason = why.value.isEmpty() ? QStringLiteral("Hodnotu nelze spočítat.") : why.value;
    return {out, {}};
}

QString missingReason(const QString &name, const indicators::Period &period, const RoeValue &value)
{
    return QStringLiteral("Rozklad nelze spočítat: %1 nemá za období %2 hodnotu. %3").arg(name, period.periodText(), value.reason);
}

} // namespace

const QList<RoeFactor> &roeFactors()
{
    static const QList<RoeFactor> factors = {
        {QStringLiteral("Daňové břemeno (čistý zisk / zisk před zdaněním)"), kNetProfit + QLatin1Char('/') + kProfitBeforeTax},
        {QStringLiteral("Úrokové břemeno (zisk před zdaněním / EBIT)"), kProfitBeforeTax + QLatin1Char('/') + kEbit},
        {QStringLiteral("Provozní marže (EBIT / tržby)"), kEbit + QLatin1Char('/') + kSales},
        {QStringLiteral("Obrat aktiv (roční tržby / aktiva)"), kSales + kYearly + QLatin1Char('/') + kAssets},
        {QStringLiteral("Finanční páka (aktiva / vlastní kapitál)"), kAssets + QLatin1Char('/') + kEquity},
    };
    return factors;
}

const RoeFactor &roeIndicator()
{
    static const RoeFactor roe{QStringLiteral("ROE (%)"), kNetProfit + kYearly + QLatin1Char('/') + kEquity + QStringLiteral("*100")};
    return roe;
}

QString roeMethodName(RoeMethod method)
{
    switch (method) {
    case RoeMethod::Logarithmic:
        return QStringLiteral("logaritmická metoda");
    case RoeMethod::Substitution:
        return QStringLiteral("postupné substituce");
    case RoeMethod::None:
        break;
    }
    return {};
}

RoeContributions roeContributions(const QList<double> &a, const QList<double> &b)
{
    RoeContributions out;
    if (a.size() != b.size() || a.isEmpty())
        return out;
    const bool positive = std::all_of(a.cbegin(), a.cend(), [](double v) { return v > 0; })
        && std::all_of(b.cbegin(), b.cend(), [](double v) { return v > 0; });
    if (positive) {
        out.method = RoeMethod::Logarithmic;
        const double roeA = product(a) * 100;
        const double roeB = product(b) * 100;
        double logRatio = 0;
        for (qsizetype i = 0; i < a.size(); ++i)
            logRatio += std::log(b.at(i) / a.at(i));
        // ΔROE / ln(ROE_B / ROE_A), the logarithmic mean of the two; ROE_A itself in the limit
        // of an unchanged ROE, where the factors' shifts still show but cancel out.
        const double weight = std::abs(logRatio) < 1e-12 ? roeA : (roeB - roeA) / logRatio;
        for (qsizetype i = 0; i < a.size(); ++i)
            out.values << weight * std::log(b.at(i) / a.at(i));
        return out;
    }
    out.method = RoeMethod::Substitution;
    QList<double> current = a;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const double before = product(current) * 100;
        current[i] = b.at(i);
        out.values << product(current) * 100 - before;
    }
    return out;
}

QList<Cents> roundToTotal(const QList<double> &values, Cents total)
{
    QList<Cents> out;
    QList<std::pair<double, qsizetype>> remainders;
    Cents sum = 0;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double scaled = values.at(i) * 100;
        const double floor = std::floor(scaled);
        out << static_cast<Cents>(floor);
        sum += static_cast<Cents>(floor);
        remainders.append({scaled - floor, i});
    }
    if (values.isEmpty())
        return out;
    std::stable_sort(remainders.begin(), remainders.end(), [](const auto &l, const auto &r) { return l.first > r.first; });
    const qsizetype n = remainders.size();
    for (Cents k = 0; k < total - sum; ++k)
        ++out[remainders.at(k % n).second];
    for (Cents k = 0; k < sum - total; ++k)
        --out[remainders.at(n - 1 - k % n).second];
    return out;
}

QString formatFactor(double value, const QLocale &locale)
{
    // Twelve significant digits first, as every value is printed, then four decimals.
    const double scaled = std::round(QString::number(value, 'g', 12).toDouble() * 10000);
    const bool negative = scaled < 0;
    const QString digits = QString::number(std::abs(scaled), 'f', 0).rightJustified(5, QLatin1Char('0'));
    const QString text = digits.left(digits.size() - 4) + locale.decimalPoint() + digits.right(4);
    return negative ? QLatin1Char('-') + text : text;
}

std::pair<indicators::Period, indicators::Period> defaultRoePeriods(const indicators::Period &b)
{
    indicators::Period a = b;
    a.year = b.year - 1;
    return {a, b};
}

Result<RoeDecomposition> decomposeRoe(db::Database &db, indicators::Evaluator &evaluator, const indicators::Period &a,
                                      const indicators::Period &b)
{
    using Out = Result<RoeDecomposition>;
    RoeDecomposition d;
    d.a = a;
    d.b = b;
    for (const auto &[period, into] : {std::pair{a, &d.factorsA}, std::pair{b, &d.factorsB}}) {
        for (const RoeFactor &factor : roeFactors()) {
            const Result<RoeValue> value = evaluate(db, evaluator, factor.formula, period);
            if (!value.ok())
                return Out::failure(value.error);
            into->append(value.value);
        }
    }
    const Result<RoeValue> roeA = evaluate(db, evaluator, roeIndicator().formula, a);
    if (!roeA.ok())
        return Out::failure(roeA.error);
    const Result<RoeValue> roeB = evaluate(db, evaluator, roeIndicator().formula, b);
    if (!roeB.ok())
        return Out::failure(roeB.error);
    d.roeA = roeA.value;
    d.roeB = roeB.value;

    // The change as the two printed values give it, so the contributions add up to what is shown.
    const auto centsOf = [](const RoeValue &v) { return v.value ? roundToCents(QString::number(*v.value, 'g', 12)) : std::nullopt; };
    const std::optional<Cents> centsA = centsOf(d.roeA);
    const std::optional<Cents> centsB = centsOf(d.roeB);
    if (centsA && centsB)
        d.delta = *centsB - *centsA;

    QList<double> fa, fb;
    for (qsizetype i = 0; i < roeFactors().size() && d.reason.isEmpty(); ++i) {
        if (!d.factorsA.at(i).value)
            d.reason = missingReason(roeFactors().at(i).name, a, d.factorsA.at(i));
        else if (!d.factorsB.at(i).value)
            d.reason = missingReason(roeFactors().at(i).name, b, d.factorsB.at(i));
        else {
            fa << *d.factorsA.at(i).value;
            fb << *d.factorsB.at(i).value;
        }
    }
    if (d.reason.isEmpty() && !d.delta)
        d.reason = missingReason(roeIndicator().name, d.roeA.value ? b : a, d.roeA.value ? d.roeB : d.roeA);
    if (!d.reason.isEmpty())
        return {d, {}};
    const RoeContributions split = roeContributions(fa, fb);
    d.method = split.method;
    d.contributions = roundToTotal(split.values, *d.delta);
    return {d, {}};
}

QList<QStringList> RoeDecomposition::table(const QLocale &locale) const
{
    QList<QStringList> out{{QStringLiteral("Činitel"), a.periodText(), b.periodText(), QStringLiteral("Příspěvek ke změně ROE (p. b.)")}};
    const auto factorText = [&locale](const RoeValue &v) { return v.value ? formatFactor(*v.value, locale) : missingText(); };
    for (qsizetype i = 0; i < roeFactors().size(); ++i) {
        out << QStringList{roeFactors().at(i).name, factorText(factorsA.value(i)), factorText(factorsB.value(i)),
                           i < contributions.size() ? formatCents(contributions.at(i), locale) : missingText()};
    }
    const auto roeText = [&locale](const RoeValue &v) {
        const std::optional<Cents> cents = v.value ? roundToCents(QString::number(*v.value, 'g', 12)) : std::nullopt;
        return cents ? formatCents(*cents, locale) : missingText();
    };
    out << QStringList{roeIndicator().name, roeText(roeA), roeText(roeB), delta ? formatCents(*delta, locale) : missingText()};
    return out;
}

} // namespace verna::analysis

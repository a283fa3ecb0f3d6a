#include "analysis/twodecimals.h"

#include "db/numbertext.h"

#include <QRegularExpression>

namespace verna::analysis {

namespace {

// The plain form every value text has ("-12.345"): read without a pattern, as a table fill
// formats every cell through here. nullopt for anything else.
std::optional<std::optional<Cents>> plainCents(const QString &text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    const bool negative = n > 0 && text.at(0) == QLatin1Char('-');
    if (n > 0 && (negative || text.at(0) == QLatin1Char('+')))
        ++i;
    qint64 whole = 0;
    int wholeDigits = 0;
    for (; i < n && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9'; ++i, ++wholeDigits) {
        if (wholeDigits < 16)
            whole = whole * 10 + (text.at(i).unicode() - '0');
    }
    int fraction[3] = {0, 0, 0};
    int fractionDigits = 0;
    if (i < n && text.at(i) == QLatin1Char('.')) {
        for (++i; i < n && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9'; ++i, ++fractionDigits) {
            if (fractionDigits < 3)
                fraction[fractionDigits] = text.at(i).unicode() - '0';
        }
    }
    if (i != n)
        return std::nullopt; // not plain: the pattern decides
    if (wholeDigits == 0 && fractionDigits == 0)
        return std::optional<Cents>();
    if (wholeDigits > 15)
        return std::optional<Cents>();
    qint64 cents = whole * 100 + fraction[0] * 10 + fraction[1];
    if (fraction[2] >= 5)
        ++cents; // half away from zero: the magnitude rounds up, the sign comes after
    return std::optional<Cents>(negative ? -cents : cents);
}

} // namespace

std::optional<Cents> roundToCents(const QString &decimalText)
{
    if (const auto plain = plainCents(decimalText))
        return *plain;
    QString text = decimalText.trimmed();
    if (text.contains(QLatin1Char('e')) || text.contains(QLatin1Char('E'))) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok)
            return std::nullopt;
        text = db::numberText(value);
    }
    static const QRegularExpression decimal(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
    const auto m = decimal.match(text);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        return std::nullopt;
    const QString whole = m.captured(2).isEmpty() ? QStringLiteral("0") : m.captured(2);
    const QString fraction = m.captured(3);
    if (whole.size() > 15)
        return std::nullopt;
    qint64 cents = whole.toLongLong() * 100;
    cents += fraction.size() > 0 ? fraction.at(0).digitValue() * 10 : 0;
    cents += fraction.size() > 1 ? fraction.at(1).digitValue() : 0;
    if (fraction.size() > 2 && fraction.at(2).digitValue() >= 5)
        ++cents; // half away from zero: the magnitude rounds up, the sign comes after
    if (m.captured(1) == QLatin1String("-"))
        cents = -cents;
    return cents;
}

std::optional<Cents> parseCell(const QString &text, const QLocale &locale)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    t.remove(locale.groupSeparator());
    t.replace(locale.decimalPoint(), QStringLiteral("."));
    t.replace(locale.negativeSign(), QStringLiteral("-"));
    return roundToCents(t);
}

QString formatCents(Cents value, const QLocale &locale)
{
    const bool negative = value < 0;
    const quint64 magnitude = negative ? static_cast<quint64>(-(value + 1)) + 1 : static_cast<quint64>(value);
    // Every cell of a table fill comes through here: one string, built in place.
    QString out;
    out.reserve(24);
    if (negative && magnitude != 0)
        out += locale.negativeSign();
    out += QString::number(magnitude / 100);
    out += locale.decimalPoint();
    const auto cents = static_cast<char16_t>(magnitude % 100);
    out += QChar(u'0' + cents / 10);
    out += QChar(u'0' + cents % 10);
    return out;
}

QString formatValue(const QString &valueText, const QLocale &locale)
{
    const std::optional<Cents> cents = roundToCents(valueText);
    return cents ? formatCents(*cents, locale) : QString();
}

Cents divideRounded(Cents total, qint64 count)
{
    if (count <= 0)
        return 0;
    const bool negative = total < 0;
    const quint64 magnitude = negative ? static_cast<quint64>(-total) : static_cast<quint64>(total);
    const quint64 q = (2 * magnitude + static_cast<quint64>(count)) / (2 * static_cast<quint64>(count));
    return negative ? -static_cast<Cents>(q) : static_cast<Cents>(q);
}

} // namespace verna::analysis

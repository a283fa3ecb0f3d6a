#include "statements/amount.h"

namespace verna::statements {

namespace {

constexpr qint64 kScale = 10000;

QString shown(const QString &typed)
{
    const QString t = typed.trimmed();
    return QStringLiteral("„") + (t.size() > 40 ? t.left(40) + QStringLiteral("…") : t) + QStringLiteral("“");
}

} // namespace

Result<Amount> Amount::parse(const QString &typed)
{
    using Out = Result<Amount>;
    // The common case of a file's cell, a whole number of up to twelve digits, without copies.
    if (const qsizetype sign = typed.startsWith(QLatin1Char('-')) ? 1 : 0; typed.size() > sign && typed.size() <= sign + kDigits) {
        qint64 units = 0;
        qsizetype i = sign;
        for (; i < typed.size() && typed.at(i) >= QLatin1Char('0') && typed.at(i) <= QLatin1Char('9'); ++i)
            units = units * 10 + (typed.at(i).unicode() - '0');
        if (i == typed.size())
            return {Amount(sign ? -units * kScale : units * kScale), {}};
    }
    QString text;
    text.reserve(typed.size());
    for (QChar c : typed) {
        if (c == QChar(0x2212)) // the typographic minus
            text += QLatin1Char('-');
        else if (!c.isSpace())
            text += c;
    }
    if (text.isEmpty())
        return Out::failure(QStringLiteral("Zadejte částku."));
    int i = 0;
    bool negative = false;
    if (text.at(0) == QLatin1Char('-') || text.at(0) == QLatin1Char('+')) {
        negative = text.at(0) == QLatin1Char('-');
        ++i;
    }
    QString whole;
    QString fraction;
    bool separator = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            (separator ? fraction : whole) += c;
        else if ((c == QLatin1Char(',') || c == QLatin1Char('.')) && !separator)
            separator = true;
        else
            return Out::failure(QStringLiteral("Částka ") + shown(typed) + QStringLiteral(" není číslo."));
    }
    if (whole.isEmpty() && fraction.isEmpty())
        return Out::failure(QStringLiteral("Částka ") + shown(typed) + QStringLiteral(" není číslo."));
    while (whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (fraction.size() > kDecimals)
        return Out::failure(QStringLiteral("Částka ") + shown(typed) + QStringLiteral(" má víc než 4 desetinná místa."));
    QString digits = whole + fraction;
    while (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.size() > kDigits)
        return Out::failure(QStringLiteral("Částka ") + shown(typed) + QStringLiteral(" má víc než 12 platných číslic."));
    const qint64 units = whole.toLongLong() * kScale + fraction.leftJustified(kDecimals, QLatin1Char('0')).toLongLong();
    return {Amount(negative ? -units : units), {}};
}

std::optional<Amount> Amount::whole(qint64 value)
{
    constexpr qint64 limit = 1'000'000'000'000; // twelve digits
    if (value <= -limit || value >= limit)
        return std::nullopt;
    return Amount(value * kScale);
}

QString Amount::text() const
{
    const qint64 magnitude = m_units < 0 ? -m_units : m_units;
    QString out = QString::number(magnitude / kScale);
    if (const qint64 fraction = magnitude % kScale) {
        QString digits = QString::number(fraction).rightJustified(kDecimals, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        out += QLatin1Char('.') + digits;
    }
    return m_units < 0 ? QLatin1Char('-') + out : out;
}

std::optional<Amount> Amount::plus(const Amount &other) const
{
    qint64 sum = 0;
    if (__builtin_add_overflow(m_units, other.m_units, &sum))
        return std::nullopt;
    return Amount(sum);
}

Amount Amount::negated() const
{
    return Amount(-m_units);
}

} // namespace verna::statements

#include "analysis/twodecimals.h"

#include "db/numbertext.h"

#include <QRegularExpression>

namespace verna::analysis {

std::optional<Cents> roundToCents(const QString &decimalText)
{
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
    QString out = QString::number(magnitude / 100) + locale.decimalPoint()
        + QString::number(magnitude % 100).rightJustified(2, QLatin1Char('0'));
    if (negative && magnitude != 0)
        out.prepend(locale.negativeSign());
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

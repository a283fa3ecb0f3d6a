#include "db/numbertext.h"

#include <QRegularExpression>
#include <cmath>

namespace verna::db {

namespace {

QString stripFraction(QString text)
{
    if (!text.contains(QLatin1Char('.')))
        return text;
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

} // namespace

QString numberText(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return QString();
    if (value == 0)
        return QStringLiteral("0");
    // Round to 12 significant digits, then print with as many fixed decimals as that leaves.
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::max(0, 11 - magnitude);
    return stripFraction(QString::number(value, 'f', std::min(decimals, 300)));
}

QString normaliseDecimalText(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^\\s*([+-]?)(\\d*)(?:\\.(\\d*))?\\s*$"));
    static const QRegularExpression withExponent(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)[eE][+-]?\\d+\\s*$"));
    const auto m = plain.match(text);
    if (m.hasMatch() && (!m.captured(2).isEmpty() || !m.captured(3).isEmpty())) {
        QString intPart = m.captured(2);
        while (intPart.size() > 1 && intPart.front() == QLatin1Char('0'))
            intPart.remove(0, 1);
        if (intPart.isEmpty())
            intPart = QStringLiteral("0");
        QString out = intPart;
        if (!m.captured(3).isEmpty())
            out += QLatin1Char('.') + m.captured(3);
        out = stripFraction(out);
        if (m.captured(1) == QLatin1String("-") && out != QLatin1String("0"))
            out.prepend(QLatin1Char('-'));
        return out;
    }
    if (withExponent.match(text).hasMatch())
        return numberText(text.trimmed().toDouble());
    return text;
}

QString valueText(const QVariant &value, bool numericColumn)
{
    if (value.isNull() || !value.isValid())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(value.toDouble());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        break;
    }
    const QString text = value.toString();
    return numericColumn ? normaliseDecimalText(text) : text;
}

} // namespace verna::db

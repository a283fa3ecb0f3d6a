#include "indicators/formulatext.h"

#include <algorithm>

namespace verna::indicators {

QString displayFormula(const QString &stored, const QList<ItemName> &items)
{
    QString text = stored;
    for (const ItemName &item : items)
        text.replace(QLatin1Char('[') + QString::number(item.code) + QLatin1Char(']'), item.text.trimmed());
    return text;
}

std::optional<QString> storedFormula(const QString &display, const QList<ItemName> &items)
{
    QList<ItemName> byLength;
    for (const ItemName &item : items) {
        if (!item.text.trimmed().isEmpty())
            byLength.append({item.text.trimmed(), item.code});
    }
    std::stable_sort(byLength.begin(), byLength.end(),
                     [](const ItemName &a, const ItemName &b) { return a.text.size() > b.text.size(); });

    QString out;
    for (qsizetype i = 0; i < display.size();) {
        const auto match = std::find_if(byLength.cbegin(), byLength.cend(),
                                        [&](const ItemName &item) { return QStringView(display).mid(i).startsWith(item.text); });
        if (match != byLength.cend()) {
            out += QLatin1Char('[') + QString::number(match->code) + QLatin1Char(']');
            i += match->text.size();
            continue;
        }
        const QChar c = display.at(i);
        const auto isDigit = [](QChar ch) { return ch >= QLatin1Char('0') && ch <= QLatin1Char('9'); };
        if (isDigit(c) || QStringLiteral("+-*/[]()^").contains(c)) {
            out += c;
        } else if (c == QLatin1Char('.')) {
            if (out.isEmpty() || !isDigit(out.back()) || i + 1 >= display.size() || !isDigit(display.at(i + 1)))
                return std::nullopt;
            out += c;
        } else if (!c.isSpace()) {
            return std::nullopt;
        }
        ++i;
    }
    return out;
}

} // namespace verna::indicators

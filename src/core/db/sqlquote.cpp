#include "db/sqlquote.h"

namespace verna::db {

QString escapeApostrophes(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return out;
}

QString quoted(const QString &text)
{
    return QLatin1Char('\'') + escapeApostrophes(text) + QLatin1Char('\'');
}

QString quotedIdentifier(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

std::optional<qint32> parseId(const QString &text)
{
    if (text.isEmpty() || text.size() > 11)
        return std::nullopt;
    int start = text.front() == QLatin1Char('-') ? 1 : 0;
    if (start == text.size())
        return std::nullopt;
    for (int i = start; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

bool isId(const QString &text)
{
    return parseId(text).has_value();
}

bool isYear(const QString &text)
{
    if (text.size() != 4)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool isQuarter(const QString &text)
{
    return text.size() == 1 && text.at(0) >= QLatin1Char('1') && text.at(0) <= QLatin1Char('4');
}

} // namespace verna::db

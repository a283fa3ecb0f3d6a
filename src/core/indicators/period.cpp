#include "indicators/period.h"

#include "db/sqlquote.h"

namespace verna::indicators {

QString Period::toString() const
{
    return yearText() + QLatin1Char('_') + quarterText() + QLatin1Char('_') + entityText();
}

std::optional<Period> Period::parse(const QString &text)
{
    if (text.size() < 8 || text.at(4) != QLatin1Char('_') || text.at(6) != QLatin1Char('_'))
        return std::nullopt;
    return fromTexts(text.mid(7), text.left(4), text.mid(5, 1));
}

std::optional<Period> Period::fromTexts(const QString &entity, const QString &year, const QString &quarter)
{
    const auto id = db::parseId(entity);
    if (!id || !db::isYear(year) || !db::isQuarter(quarter))
        return std::nullopt;
    const Period p{year.toInt(), quarter.toInt(), *id};
    return p.isValid() ? std::optional<Period>(p) : std::nullopt;
}

} // namespace verna::indicators

#include "analysis/rowkey.h"

#include "db/sqlquote.h"

namespace verna::analysis {

QString RowKey::toString() const
{
    return yearText() + QLatin1Char('_') + quarterText() + QLatin1Char('_') + entityText();
}

std::optional<RowKey> RowKey::parse(const QString &text)
{
    if (text.size() < 8 || text.at(4) != QLatin1Char('_') || text.at(6) != QLatin1Char('_'))
        return std::nullopt;
    const QString year = text.left(4);
    const QString quarter = text.mid(5, 1);
    const auto entity = db::parseId(text.mid(7));
    if (!db::isYear(year) || !db::isQuarter(quarter) || !entity)
        return std::nullopt;
    return RowKey{year.toInt(), quarter.toInt(), *entity};
}

} // namespace verna::analysis

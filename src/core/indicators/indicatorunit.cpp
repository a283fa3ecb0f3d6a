#include "indicators/indicatorunit.h"

#include <QLocale>

namespace verna::indicators {

const QStringList &IndicatorUnit::directionTexts()
{
    static const QStringList texts = {QStringLiteral("bez hodnocení"), QStringLiteral("vyšší je lepší"), QStringLiteral("nižší je lepší"),
                                      QStringLiteral("cílové rozmezí")};
    return texts;
}

QString IndicatorUnit::describe() const
{
    const QString text = directionTexts().value(static_cast<int>(direction));
    if (direction != Direction::TargetRange || !low || !high)
        return text;
    const QLocale czech(QLocale::Czech, QLocale::CzechRepublic);
    return text + QLatin1Char(' ') + czech.toString(*low, 'g', 12) + QStringLiteral(" až ") + czech.toString(*high, 'g', 12);
}

} // namespace verna::indicators

#include "report/svgchart.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace verna::report;
using namespace Qt::StringLiterals;

TEST(SvgChartTest, AnIndicatorOfAMuchLargerOrderIsReadOnARightAxis)
{
    // A ratio near 1 beside an amount in millions: on one axis the ratio's columns vanish.
    SvgChartData data{{u"2001/1"_s, u"2001/2"_s}, {u"Běžná likvidita"_s, u"EBITDA"_s}, {{1.5, 2'000'000.0}, {-0.5, -1'000'000.0}}};
    const QString svg = columnChartSvg(data);
    EXPECT_TRUE(svg.contains(u"EBITDA (pravá osa)"_s));
    EXPECT_FALSE(svg.contains(u"likvidita (pravá osa)"_s));
    // Heights of the columns, in the order drawn.
    QList<double> heights;
    static const QRegularExpression column(uR"re(<rect x="[^"]+" y="[^"]+" width="[^"]+" height="([^"]+)" fill="#[0-9a-f]+"><title>)re"_s);
    for (const QRegularExpressionMatch &m : column.globalMatch(svg))
        heights << m.captured(1).toDouble();
    ASSERT_EQ(heights.size(), 4);
    // Each column stands against its own axis (-0.5…1.5 left, -1 M…3 M right, zero shared).
    EXPECT_NEAR(heights[0] / heights[1], 3.0, 0.02);
    EXPECT_NEAR(heights[2] / heights[3], 2.0, 0.02);
    EXPECT_NEAR(heights[0] / heights[2], 1.5, 0.02);
    EXPECT_EQ(svg.count(uR"(stroke="black")"_s), 3); // zero line and both axes

    // Values of one order keep one axis.
    data.values = {{1.5, 3.0}, {0.5, 2.0}};
    EXPECT_FALSE(columnChartSvg(data).contains(u"pravá osa"_s));
}

#include "analysis/analysismodel.h"
#include "analysis/chartdata.h"

#include <gtest/gtest.h>

using namespace verna::analysis;
using namespace Qt::StringLiterals;

namespace verna::analysis {
// Readable failures.
void PrintTo(const ChartData &d, std::ostream *os)
{
    *os << "series " << d.series.join(u" | "_s).toStdString() << "; categories "
        << d.categories.join(u" | "_s).toStdString() << (d.wholeRows ? "; whole rows" : "");
}
} // namespace verna::analysis

namespace {

const QLocale kCzech(QLocale::Czech, QLocale::CzechRepublic);

// Three periods of two entities and three indicators; values are row*10 + indicator.
class ChartDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.appendIndicator(30, u"Běžná likvidita"_s);
        model.appendIndicator(31, u"Rentabilita"_s);
        model.appendIndicator(32, u"Zadluženost"_s);
        model.appendRow({1996, 4, 3366}, u"Alfa a.s."_s);
        model.appendRow({1997, 1, 3366}, u"Alfa a.s."_s);
        model.appendRow({1997, 1, -5}, u"Beta s.r.o."_s);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                model.setValue(r, c, QString::number(r * 10 + c));
    }

    static CellRange range(int top, int left, int bottom, int right) { return {top, left, bottom, right}; }

    AnalysisModel model{kCzech};
};

} // namespace

TEST_F(ChartDataTest, WholeColumnsChartEveryRowAgainstTheSelectedColumns)
{
    const ChartData d = chartData(model, range(2, 3, 0, 4)); // either corner first
    EXPECT_EQ(d.series, (QStringList{u"Alfa a.s. 1996/4"_s, u"Alfa a.s. 1997/1"_s,
                                     u"Beta s.r.o. 1997/1"_s}));
    EXPECT_EQ(d.categories, (QStringList{u"Rentabilita"_s, u"Zadluženost"_s}));
    EXPECT_EQ(d.value(2, 1), 22.0);
    EXPECT_FALSE(d.wholeRows);
    EXPECT_EQ(d.seriesTitle, kRowsAxisTitle);
    EXPECT_EQ(d.categoryTitle, kIndicatorsAxisTitle);

    // The whole table is whole columns first: no profile chart.
    EXPECT_FALSE(chartData(model, range(0, 2, 2, 4)).wholeRows);
    EXPECT_FALSE(chartData(model).wholeRows);
    EXPECT_EQ(chartData(model).series.size(), 3);
    EXPECT_EQ(chartData(model).categories.size(), 3);
}

TEST_F(ChartDataTest, WholeRowsChartEveryIndicatorAndOfferTheProfileChart)
{
    const ChartData d = chartData(model, range(2, 4, 1, 2));
    EXPECT_EQ(d.series, (QStringList{u"Alfa a.s. 1997/1"_s, u"Beta s.r.o. 1997/1"_s}));
    EXPECT_EQ(d.categories.size(), 3);
    EXPECT_EQ(d.value(0, 0), 10.0);
    EXPECT_TRUE(d.wholeRows);

    // A row picked by its header covers name and period too; a name alone stands for its row.
    EXPECT_EQ(chartData(model, range(1, 0, 1, 4)), chartData(model, range(1, 2, 1, 4)));
    EXPECT_EQ(chartData(model, range(1, 0, 2, 1)), d);
}

TEST_F(ChartDataTest, OtherSelectionsChartTheRectangle)
{
    const ChartData d = chartData(model, range(1, 3, 0, 3));
    EXPECT_EQ(d.series.size(), 2);
    EXPECT_EQ(d.categories, QStringList{u"Rentabilita"_s});
    EXPECT_EQ(d.value(0, 0), 1.0);
    EXPECT_EQ(d.value(1, 0), 11.0);
    EXPECT_FALSE(d.wholeRows);

    // Name and period are no values: a rectangle starting in them begins at the first indicator.
    const ChartData fromName = chartData(model, range(0, 1, 1, 3));
    EXPECT_EQ(fromName.categories, (QStringList{u"Běžná likvidita"_s, u"Rentabilita"_s}));
    EXPECT_FALSE(fromName.wholeRows);
}

TEST_F(ChartDataTest, CellsAreReadInTheTablesLocale)
{
    model.setValue(0, 0, u"1.666"_s);
    model.setValue(1, 0, u"-2.5"_s);
    model.setValue(2, 0, QString()); // the evaluator had no value
    ASSERT_EQ(model.cell(0, 0), u"1,67"_s);

    const ChartData d = chartData(model, range(0, 2, 2, 2));
    EXPECT_DOUBLE_EQ(*d.value(0, 0), 1.67);
    EXPECT_DOUBLE_EQ(*d.value(1, 0), -2.5);
    EXPECT_FALSE(d.value(2, 0).has_value());
    EXPECT_EQ(d.locale, model.locale());
}

TEST_F(ChartDataTest, RotationSwapsSeriesAndCategoriesAndTwiceIsIdentity)
{
    const ChartData d = chartData(model, range(0, 2, 1, 4));
    const ChartData r = d.rotated();
    EXPECT_EQ(r.series, d.categories);
    EXPECT_EQ(r.categories, d.series);
    EXPECT_EQ(r.seriesTitle, kIndicatorsAxisTitle);
    EXPECT_EQ(r.categoryTitle, kRowsAxisTitle);
    ASSERT_EQ(r.values.size(), 3);
    ASSERT_EQ(r.values.at(0).size(), 2);
    for (int s = 0; s < 2; ++s)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(r.value(c, s), d.value(s, c));
    EXPECT_EQ(r.wholeRows, d.wholeRows);
    EXPECT_EQ(r.rotated(), d);
}

TEST_F(ChartDataTest, TooSmallTablesGiveNoData)
{
    AnalysisModel noIndicators(kCzech);
    noIndicators.appendRow({1996, 4, 3366}, u"Alfa a.s."_s);
    EXPECT_TRUE(chartData(noIndicators, range(0, 0, 0, 1)).isEmpty());

    AnalysisModel noRows(kCzech);
    noRows.appendIndicator(30, u"Běžná likvidita"_s);
    EXPECT_TRUE(chartData(noRows).isEmpty());
    EXPECT_TRUE(chartData(noRows).rotated().isEmpty());

    // The smallest chartable table: one period, one indicator.
    noRows.appendRow({1996, 4, 3366}, u"Alfa a.s."_s);
    EXPECT_FALSE(chartData(noRows).isEmpty());

    // A selection outside the table charts all of it rather than nothing.
    EXPECT_EQ(chartData(model, range(7, 9, 8, 12)), chartData(model));
}

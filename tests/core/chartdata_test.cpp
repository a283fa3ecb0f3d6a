#include "analysis/analysismodel.h"
#include "analysis/chartdata.h"
#include "report/chartsection.h"

#include <QDate>
#include <array>

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

TEST_F(ChartDataTest, SelectionsChartTheirCellsRotateAndLabelThemAndTooSmallTablesGiveNoData)
{
    const ChartData columns = chartData(model, range(2, 3, 0, 4)); // either corner first
    EXPECT_EQ(columns.series, (QStringList{u"Alfa a.s. 1996/4"_s, u"Alfa a.s. 1997/1"_s, u"Beta s.r.o. 1997/1"_s}));
    EXPECT_EQ(columns.categories, (QStringList{u"Rentabilita"_s, u"Zadluženost"_s}));
    EXPECT_EQ(columns.value(2, 1), 22.0);
    EXPECT_FALSE(columns.wholeRows);
    EXPECT_EQ(columns.seriesTitle, kRowsAxisTitle);
    EXPECT_EQ(columns.categoryTitle, kIndicatorsAxisTitle);

    // The whole table is whole columns first: no profile chart.
    EXPECT_FALSE(chartData(model, range(0, 2, 2, 4)).wholeRows);
    EXPECT_FALSE(chartData(model).wholeRows);
    EXPECT_TRUE(chartData(model).series.size() == 3 && chartData(model).categories.size() == 3);

    // Whole rows chart every indicator and offer the profile chart.
    const ChartData rows = chartData(model, range(2, 4, 1, 2));
    EXPECT_EQ(rows.series, (QStringList{u"Alfa a.s. 1997/1"_s, u"Beta s.r.o. 1997/1"_s}));
    EXPECT_EQ(rows.categories.size(), 3);
    EXPECT_EQ(rows.value(0, 0), 10.0);
    EXPECT_TRUE(rows.wholeRows);

    // A row picked by its header covers name and period too; a name alone stands for its row.
    EXPECT_EQ(chartData(model, range(1, 0, 1, 4)), chartData(model, range(1, 2, 1, 4)));
    EXPECT_EQ(chartData(model, range(1, 0, 2, 1)), rows);

    // Other selections chart the rectangle.
    const ChartData rectangle = chartData(model, range(1, 3, 0, 3));
    EXPECT_EQ(rectangle.series.size(), 2);
    EXPECT_EQ(rectangle.categories, QStringList{u"Rentabilita"_s});
    EXPECT_EQ(rectangle.value(0, 0), 1.0);
    EXPECT_EQ(rectangle.value(1, 0), 11.0);
    EXPECT_FALSE(rectangle.wholeRows);

    // Name and period are no values: a rectangle starting in them begins at the first indicator.
    const ChartData fromName = chartData(model, range(0, 1, 1, 3));
    EXPECT_EQ(fromName.categories, (QStringList{u"Běžná likvidita"_s, u"Rentabilita"_s}));
    EXPECT_FALSE(fromName.wholeRows);

    // Rotation swaps series and categories; twice it is the identity.
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

    // Too small tables give no data.
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

    // Labels follow the rotation; the title names the caption, the companies and the date.
    const ChartData whole = chartData(model);
    EXPECT_EQ(shortSeriesLabels(whole, 30).labels, (QStringList{u"1996/4 Alfa a.s."_s, u"1997/1 Alfa a.s."_s, u"1997/1 Beta s.r.o."_s}));
    EXPECT_EQ(shortCategoryLabels(whole.rotated(), 30).labels, shortSeriesLabels(whole, 30).labels);
    EXPECT_EQ(shortSeriesLabels(whole.rotated(), 30).labels, whole.categories);

    EXPECT_EQ(chartTitle(u"Analýza 2"_s, whole, QDate(2026, 3, 7)), u"Analýza 2 – Alfa a.s., Beta s.r.o. – 7. 3. 2026"_s);
    ChartData many = whole;
    many.rowNames = QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s};
    EXPECT_EQ(chartTitle(u"Analýza 2"_s, many, QDate(2026, 3, 7)), u"Analýza 2 – A, B, C… (5 subjektů) – 7. 3. 2026"_s);
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

// Two or more companies: each label still tells entity and period apart, not "Stroj…"/"Če…".
TEST(ChartLabelsTest, RowLabelsShortenTheSharedPartAndKeepWhatTellsThemApart)
{
    const QString north = u"Severočeské strojírny a slévárny, a.s."_s;
    const QString south = u"Severočeské doly a.s."_s;
    const QStringList periods{u"1996/4"_s, u"1997/1"_s, u"1996/4"_s};

    // One entity: its periods, the entity said once.
    const ShortLabels one = shortRowLabels({north, north, north}, {u"1996/4"_s, u"1997/1"_s, u"1997/2"_s}, 20);
    EXPECT_EQ(one.labels, (QStringList{u"1996/4"_s, u"1997/1"_s, u"1997/2"_s}));
    EXPECT_EQ(one.shared, north);

    // Several: the period, then the name: its shared leading word becomes an initial, the
    // legal form goes.
    const ShortLabels two = shortRowLabels({north, north, south}, periods, 24);
    EXPECT_EQ(two.labels, (QStringList{u"1996/4 S. strojírny a s…"_s, u"1997/1 S. strojírny a s…"_s, u"1996/4 S. doly"_s}));
    EXPECT_TRUE(two.shared.isEmpty());
    for (const QString &label : two.labels)
        EXPECT_LE(label.size(), 24) << label.toStdString();

    // One period for all: the names alone; short names stay whole.
    const ShortLabels sameDay = shortRowLabels({u"Alfa"_s, south}, {u"1997/1"_s, u"1997/1"_s}, 12);
    EXPECT_EQ(sameDay.labels, (QStringList{u"Alfa"_s, u"Severočeské…"_s}));
    EXPECT_EQ(sameDay.shared, u"1997/1"_s);

    // Indicators alike; names equal up to the cut keep their ends apart; the same name twice
    // is numbered.
    EXPECT_EQ(shortNames({u"Rentabilita tržeb provozní"_s, u"Rentabilita tržeb čistá"_s, u"Zisk"_s, u"Zisk"_s}, 14).labels,
              (QStringList{u"R. t. provozní"_s, u"R. t. čistá"_s, u"Zisk"_s, u"Zisk (2)"_s}));
    EXPECT_EQ(shortNames({u"Velmi dlouhý název první"_s, u"Velmi dlouhý název druhá"_s}, 8).labels,
              (QStringList{u"Vel…rvní"_s, u"Vel…ruhá"_s}));
}

TEST_F(ChartDataTest, SeriesOfAMuchLargerOrderGetTheirOwnAxis)
{
    model.appendIndicator(40, u"EBITDA"_s);
    for (int r = 0; r < 3; ++r)
        model.setValue(r, 3, QString::number(-250000 * (r + 1)));
    const ChartData d = chartData(model).rotated(); // the indicators as series
    EXPECT_EQ(secondAxisSeries(d), (QList<bool>{false, false, false, true}));
    // Rows as series mix the indicators; alike scales share one axis; so do zeros.
    EXPECT_TRUE(secondAxisSeries(chartData(model)).isEmpty());
    EXPECT_TRUE(secondAxisSeries(chartData(model, {0, 2, 2, 4}).rotated()).isEmpty());
    ChartData zeros = d;
    for (auto &line : zeros.values)
        for (auto &v : line)
            v = 0.0;
    EXPECT_TRUE(secondAxisSeries(zeros).isEmpty());
}

TEST_F(ChartDataTest, ProfileScoresRowsAgainstTheAggregateOnTheScaleToTwoHundred)
{
    // {value, reference, score}: 100 / (|x|·b) for x < 0 < b, 100·x·|b| for b < 0 < x, 100·|b| / |x| for both below zero.
    const std::array<double, 3> scores[] = {{50, 100, 50}, {300, 100, 200}, {7, 0, 200},   {0, 0, 100},    {-3, 0, 0},  {0, 4, 0},
                                            {-4, 0.5, 50}, {0.5, -2, 100},  {0, -0.5, 50}, {-8, -2, 25}, {1, 3, 33}};
    for (const auto &[x, b, score] : scores)
        EXPECT_EQ(verna::report::profileScore(x, b), static_cast<int>(score)) << x << " against " << b;

    // Whole rows 1 and 2 against the mean of each whole column (no aggregate shown yet).
    const ChartData d = chartData(model, {1, 2, 2, 4});
    ASSERT_TRUE(d.wholeRows);
    EXPECT_EQ(d.referenceName, u"Průměr aritmetický"_s);
    EXPECT_EQ(d.reference, (QList<std::optional<double>>{10.0, 11.0, 12.0}));
    EXPECT_EQ(profileScores(d), profileScores(d.rotated()));
    EXPECT_EQ(profileScores(d), (QList<QList<std::optional<int>>>{{100, 100, 100}, {200, 191, 183}}));

    model.setCurrentAggregate(Aggregate::Median);
    model.setValue(0, 0, QString());
    const ChartData median = chartData(model, {1, 2, 2, 4});
    EXPECT_EQ(median.referenceName, u"Medián"_s);
    EXPECT_EQ(profileScores(median).at(1).at(0), 133); // 20 against 15, the median of the two numbers
    model.setValue(1, 1, u"x"_s);
    EXPECT_FALSE(profileScores(chartData(model, {1, 2, 2, 4})).at(0).at(1).has_value());
}

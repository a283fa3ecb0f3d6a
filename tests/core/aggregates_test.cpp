#include "analysis/aggregates.h"
#include "analysis/analysismodel.h"
#include "analysis/rowkey.h"

#include <gtest/gtest.h>

using namespace verna::analysis;

namespace {
const QLocale kC = QLocale::c();
const QLocale kCzech(QLocale::Czech, QLocale::CzechRepublic);

QString agg(Aggregate kind, const QStringList &cells, const QLocale &locale = kC)
{
    const auto v = aggregateCells(kind, cells, locale);
    return v ? formatCents(*v, locale) : QStringLiteral("<none>");
}
} // namespace

TEST(Aggregates, MeanSumAndMedianOnDecimals)
{
    const QStringList ones = {QStringLiteral("1.00"), QStringLiteral("2.00"), QStringLiteral("2.00")};
    EXPECT_EQ(agg(Aggregate::Mean, ones), QStringLiteral("1.67"));
    EXPECT_EQ(agg(Aggregate::Sum, ones), QStringLiteral("5.00"));
    EXPECT_EQ(agg(Aggregate::Median, {QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2")}), QStringLiteral("2.50"));
    EXPECT_EQ(agg(Aggregate::Median, {QStringLiteral("7"), QStringLiteral("1"), QStringLiteral("4")}), QStringLiteral("4.00"));
    EXPECT_EQ(agg(Aggregate::Mean, {QStringLiteral("-1.00"), QStringLiteral("-2.00"), QStringLiteral("-2.00")}), QStringLiteral("-1.67"));
    // Sums of many hundredths stay exact where a double would drift.
    QStringList dimes;
    for (int i = 0; i < 1000; ++i)
        dimes << QStringLiteral("0.10");
    EXPECT_EQ(agg(Aggregate::Sum, dimes), QStringLiteral("100.00"));
}

TEST(Aggregates, OnlyNumericCellsCount)
{
    EXPECT_EQ(agg(Aggregate::Mean, {QStringLiteral("1.00"), QStringLiteral("abc"), QStringLiteral("2.00")}), QStringLiteral("1.50"));
    EXPECT_EQ(agg(Aggregate::Mean, {QStringLiteral("3.00"), QString(), QStringLiteral("6.00")}), QStringLiteral("4.50"));
    EXPECT_EQ(agg(Aggregate::Median, {QString(), QStringLiteral("5.00")}), QStringLiteral("5.00"));
    EXPECT_EQ(agg(Aggregate::Sum, {}), QStringLiteral("<none>"));
    EXPECT_EQ(agg(Aggregate::Mean, {QString(), QStringLiteral("x")}), QStringLiteral("<none>"));
}

TEST(Aggregates, CellsAreReadInTheLocaleTheyWereWrittenIn)
{
    EXPECT_EQ(agg(Aggregate::Sum, {QStringLiteral("1,67"), QStringLiteral("2,33")}, kCzech), QStringLiteral("4,00"));
    EXPECT_EQ(agg(Aggregate::Mean, {QStringLiteral("1,00"), QStringLiteral("2,00"), QStringLiteral("2,00")}, kCzech), QStringLiteral("1,67"));
    EXPECT_EQ(formatCents(-250, kCzech), QStringLiteral("-2,50"));
}

TEST(TwoDecimals, HalfAwayFromZeroOnTheDecimalValue)
{
    EXPECT_EQ(formatValue(QStringLiteral("2.675"), kC), QStringLiteral("2.68"));
    EXPECT_EQ(formatValue(QStringLiteral("-2.675"), kC), QStringLiteral("-2.68"));
    EXPECT_EQ(formatValue(QStringLiteral("2.674999"), kC), QStringLiteral("2.67"));
    EXPECT_EQ(formatValue(QStringLiteral("-0.004"), kC), QStringLiteral("0.00"));
    EXPECT_EQ(formatValue(QStringLiteral("45"), kC), QStringLiteral("45.00"));
    EXPECT_EQ(formatValue(QStringLiteral("1234567890.125"), kC), QStringLiteral("1234567890.13"));
    EXPECT_EQ(formatValue(QStringLiteral("1E+3"), kC), QStringLiteral("1000.00"));
    EXPECT_EQ(formatValue(QString(), kC), QString());
    EXPECT_EQ(formatValue(QStringLiteral("abc"), kC), QString());
    EXPECT_EQ(formatValue(QStringLiteral("0.5"), kCzech), QStringLiteral("0,50"));
    EXPECT_EQ(divideRounded(5, 2), 3);
    EXPECT_EQ(divideRounded(-5, 2), -3);
}

TEST(RowKeys, OnlyWellFormedKeysParse)
{
    const auto key = RowKey::parse(QStringLiteral("1999_2_-1234"));
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->year, 1999);
    EXPECT_EQ(key->quarter, 2);
    EXPECT_EQ(key->entity, -1234);
    EXPECT_EQ(key->toString(), QStringLiteral("1999_2_-1234"));
    for (const char *bad : {"1999_5_12", "199_2_12", "1999_2_", "1999_2_1-2", "1999_2_12'", "1999-2-12", "1999_2_12 OR 1=1"})
        EXPECT_FALSE(RowKey::parse(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(AnalysisTable, RowsColumnsRemovalAndTheAggregateRow)
{
    AnalysisModel model(kC);
    EXPECT_EQ(model.appendRow(RowKey{1998, 4, 1}, QStringLiteral("Alfa")), 0);
    EXPECT_EQ(model.appendRow(RowKey{1998, 4, 1}, QStringLiteral("Alfa")), -1);
    EXPECT_EQ(model.appendRow(RowKey{1999, 1, 2}, QStringLiteral("Beta")), 1);
    EXPECT_EQ(model.appendRow(RowKey{1999, 2, 2}, QStringLiteral("Beta")), 2);
    const int c = model.appendIndicator(10, QStringLiteral("ROA"));
    model.setValue(0, c, QStringLiteral("1"));
    model.setValue(1, c, QStringLiteral("2"));
    model.setValue(2, c, QString()); // no value: the row goes when an aggregate is applied
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("ROA"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("1999/1"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("1.00"));

    model.setCurrentAggregate(Aggregate::Mean);
    EXPECT_EQ(model.aggregateRow(), QStringList{QStringLiteral("1.50")});
    EXPECT_EQ(model.purgeIncompleteRows(), 1);
    EXPECT_EQ(model.dataRowCount(), 2);

    model.appendIndicator(11, QStringLiteral("ROE"));
    model.setValue(0, 1, QStringLiteral("-3.5"));
    model.setValue(1, 1, QStringLiteral("x"));
    EXPECT_EQ(model.aggregateRow(), (QStringList{QStringLiteral("1.50"), QStringLiteral("-3.50")}));
    model.removeIndicators(0, 0);
    EXPECT_EQ(model.indicatorId(0), 11);
    model.removeAllIndicators();
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_TRUE(model.aggregateRow().isEmpty());
    model.removeDataRows(0, 5);
    EXPECT_EQ(model.dataRowCount(), 0);
}

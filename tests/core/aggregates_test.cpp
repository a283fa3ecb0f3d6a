#include "analysis/aggregates.h"
#include "analysis/analysismodel.h"
#include "analysis/rowkey.h"

#include <gtest/gtest.h>

using namespace verna::analysis;
using namespace Qt::StringLiterals;

namespace {
const QLocale kC = QLocale::c();
const QLocale kCzech(QLocale::Czech, QLocale::CzechRepublic);

QString agg(Aggregate kind, const QStringList &cells, const QLocale &locale = kC)
{
    const auto v = aggregateCells(kind, cells, locale);
    return v ? formatCents(*v, locale) : u"<none>"_s;
}
} // namespace

TEST(Aggregates, MeansSumsAndMediansInTheirLocaleRoundHalfAwayFromZeroAndFollowTheTable)
{
    const struct { Aggregate kind; QStringList cells; QString expected; QLocale locale = kC; } cases[] = {
        {Aggregate::Mean, {u"1.00"_s, u"2.00"_s, u"2.00"_s}, u"1.67"_s},
        {Aggregate::Sum, {u"1.00"_s, u"2.00"_s, u"2.00"_s}, u"5.00"_s},
        {Aggregate::Median, {u"4"_s, u"1"_s, u"3"_s, u"2"_s}, u"2.50"_s},
        {Aggregate::Median, {u"7"_s, u"1"_s, u"4"_s}, u"4.00"_s},
        {Aggregate::Mean, {u"-1.00"_s, u"-2.00"_s, u"-2.00"_s}, u"-1.67"_s},
        // Only numeric cells count.
        {Aggregate::Mean, {u"1.00"_s, u"abc"_s, u"2.00"_s}, u"1.50"_s},
        {Aggregate::Mean, {u"3.00"_s, QString(), u"6.00"_s}, u"4.50"_s},
        {Aggregate::Median, {QString(), u"5.00"_s}, u"5.00"_s},
        {Aggregate::Sum, {}, u"<none>"_s},
        {Aggregate::Mean, {QString(), u"x"_s}, u"<none>"_s},
        // Cells are read in the locale they were written in.
        {Aggregate::Sum, {u"1,67"_s, u"2,33"_s}, u"4,00"_s, kCzech},
        {Aggregate::Mean, {u"1,00"_s, u"2,00"_s, u"2,00"_s}, u"1,67"_s, kCzech},
    };
    for (const auto &c : cases)
        EXPECT_EQ(agg(c.kind, c.cells, c.locale), c.expected) << c.cells.join(u' ').toStdString();
    EXPECT_EQ(formatCents(-250, kCzech), u"-2,50"_s);
    // Sums of many hundredths stay exact where a double would drift.
    EXPECT_EQ(agg(Aggregate::Sum, QStringList(1000, u"0.10"_s)), u"100.00"_s);

    // Two decimals, half away from zero on the decimal value.
    const std::pair<const char *, const char *> values[] = {{"2.675", "2.68"}, {"-2.675", "-2.68"}, {"2.674999", "2.67"}, {"-0.004", "0.00"},
                                                           {"45", "45.00"},   {"1234567890.125", "1234567890.13"},       {"1E+3", "1000.00"},
                                                           {"", ""},          {"abc", ""}};
    for (const auto &[value, shown] : values)
        EXPECT_EQ(formatValue(QString::fromLatin1(value), kC), QString::fromLatin1(shown)) << value;
    EXPECT_EQ(formatValue(u"0.5"_s, kCzech), u"0,50"_s);
    EXPECT_EQ(divideRounded(5, 2), 3);
    EXPECT_EQ(divideRounded(-5, 2), -3);

    // The year-on-year change: per cent only between positive values; its cells follow their indicator.
    EXPECT_EQ(yearChange(YearChange::Absolute, 150, 100), 50);
    EXPECT_EQ(yearChange(YearChange::Absolute, -50, 100), -150);
    EXPECT_EQ(yearChange(YearChange::Absolute, std::nullopt, 100), std::nullopt);
    EXPECT_EQ(yearChange(YearChange::Percent, 150, 100), 5000);
    EXPECT_EQ(yearChange(YearChange::Percent, 100, 300), -6667);
    for (const auto &[value, before] : {std::pair<Cents, Cents>{150, 0}, {150, -100}, {-150, 100}, {0, 100}})
        EXPECT_EQ(yearChange(YearChange::Percent, value, before), std::nullopt) << value << " " << before;

    AnalysisModel model(kC);
    model.appendRow(RowKey{1999, 1, 1}, u"Alfa"_s);
    model.appendIndicator(10, u"ROA"_s);
    model.setValue(0, 0, u"3"_s);
    EXPECT_EQ(model.insertChangeColumn(0, YearChange::Absolute), 1);
    model.setYearBefore(1, 0, {YearBeforeValue{true, 100}});
    EXPECT_EQ(model.cell(0, 1), u"2.00"_s);
    model.setValue(0, 0, u"0.5"_s);
    EXPECT_EQ(model.cell(0, 1), u"-0.50"_s);
    model.setChangeKind(1, YearChange::Percent);
    EXPECT_EQ(model.cell(0, 1), u"-50.00"_s);
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), u"ROA – meziroční změna (%)"_s);

    // Rows, columns, their removal and the aggregate row.
    AnalysisModel table(kC);
    EXPECT_EQ(table.appendRow(RowKey{1998, 4, 1}, u"Alfa"_s), 0);
    EXPECT_EQ(table.appendRow(RowKey{1998, 4, 1}, u"Alfa"_s), -1);
    EXPECT_EQ(table.appendRow(RowKey{1999, 1, 2}, u"Beta"_s), 1);
    EXPECT_EQ(table.appendRow(RowKey{1999, 2, 2}, u"Beta"_s), 2);
    const int column = table.appendIndicator(10, u"ROA"_s);
    table.setValue(0, column, u"1"_s);
    table.setValue(1, column, u"2"_s);
    table.setValue(2, column, QString()); // no value: the row goes when an aggregate is applied
    EXPECT_EQ(table.headerData(2, Qt::Horizontal).toString(), u"ROA"_s);
    EXPECT_EQ(table.data(table.index(1, 1)).toString(), u"1999/1"_s);
    EXPECT_EQ(table.data(table.index(0, 2)).toString(), u"1.00"_s);

    table.setCurrentAggregate(Aggregate::Mean);
    EXPECT_EQ(table.aggregateRow(), QStringList{u"1.50"_s});
    EXPECT_EQ(table.purgeIncompleteRows(), 1);
    EXPECT_EQ(table.dataRowCount(), 2);

    table.appendIndicator(11, u"ROE"_s);
    table.setValue(0, 1, u"-3.5"_s);
    table.setValue(1, 1, u"x"_s);
    EXPECT_EQ(table.aggregateRow(), (QStringList{u"1.50"_s, u"-3.50"_s}));
    table.removeIndicators(0, 0);
    EXPECT_EQ(table.indicatorId(0), 11);
    table.removeAllIndicators();
    EXPECT_EQ(table.columnCount(), 2);
    EXPECT_TRUE(table.aggregateRow().isEmpty());
    table.removeDataRows(0, 5);
    EXPECT_EQ(table.dataRowCount(), 0);
}


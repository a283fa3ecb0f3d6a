#include "db/numbertext.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"

#include <gtest/gtest.h>

using namespace verna::db;
using namespace Qt::StringLiterals;

TEST(NumberText, PlainDecimalWithoutExponentOrTrailingZeros)
{
    EXPECT_EQ(numberText(45.0), u"45"_s);
    EXPECT_EQ(numberText(0.5), u"0.5"_s);
    EXPECT_EQ(numberText(1234567890.12), u"1234567890.12"_s);
    EXPECT_EQ(numberText(-1234567.25), u"-1234567.25"_s);
    EXPECT_EQ(numberText(1e15), u"1000000000000000"_s);
    EXPECT_EQ(numberText(0.1 + 0.2), u"0.3"_s);
    EXPECT_EQ(numberText(2.675), u"2.675"_s);
    EXPECT_EQ(numberText(1e-7), u"0.0000001"_s);
    EXPECT_EQ(numberText(-0.0), u"0"_s);
}

TEST(NumberText, ServerDecimalsAreNormalisedExactly)
{
    EXPECT_EQ(normaliseDecimalText(u"500.00"_s), u"500"_s);
    EXPECT_EQ(normaliseDecimalText(u"-0.50"_s), u"-0.5"_s);
    EXPECT_EQ(normaliseDecimalText(u"-0.00"_s), u"0"_s);
    EXPECT_EQ(normaliseDecimalText(u"123456789012345678.12"_s), u"123456789012345678.12"_s);
    EXPECT_EQ(normaliseDecimalText(u"1E+3"_s), u"1000"_s);
    EXPECT_EQ(normaliseDecimalText(u".5"_s), u"0.5"_s);
    EXPECT_EQ(normaliseDecimalText(u"abc"_s), u"abc"_s);
    // Text columns keep their text even when it looks like a number.
    EXPECT_EQ(valueText(u"1.50"_s, false), u"1.50"_s);
    EXPECT_EQ(valueText(QVariant(), true), QString());
}

TEST(Quoting, DoublesApostrophes)
{
    EXPECT_EQ(quoted(u"O'Brien"_s), u"'O''Brien'"_s);
    EXPECT_EQ(quoted(u"'; DROP TABLE text --"_s), u"'''; DROP TABLE text --'"_s);
}

TEST(Quoting, OnlyWholeThirtyTwoBitIntegersAreIds)
{
    EXPECT_EQ(parseId(u"-12"_s), -12);
    EXPECT_EQ(parseId(u"2147483647"_s), 2147483647);
    EXPECT_EQ(parseId(u"-2147483648"_s), std::numeric_limits<qint32>::min());
    for (const char *bad : {"", "-", "1-2", "--5", "1__2", "12'", " 1", "2147483648", "1.0", "+3", "99999999999"})
        EXPECT_FALSE(isId(QString::fromLatin1(bad))) << bad;
    EXPECT_TRUE(isYear(u"1996"_s));
    EXPECT_FALSE(isYear(u"996"_s));
    EXPECT_FALSE(isYear(u"19960"_s));
    EXPECT_TRUE(isQuarter(u"4"_s));
    EXPECT_FALSE(isQuarter(u"5"_s));
    EXPECT_FALSE(isQuarter(u"0"_s));
}

TEST(TextComparison, CaseInsensitiveWithCzechLettersAndTrailingBlanks)
{
    EXPECT_EQ(compareText(u"čeština"_s, u"ČEŠTINA"_s), 0);
    EXPECT_NE(compareText(u"cestina"_s, u"čeština"_s), 0);
    // Czech order: c < č < d, h < ch < i.
    EXPECT_LT(compareText(u"cuk"_s, u"čaj"_s), 0);
    EXPECT_LT(compareText(u"čaj"_s, u"dům"_s), 0);
    EXPECT_LT(compareText(u"hrad"_s, u"chata"_s), 0);
    EXPECT_TRUE(sqlLikeMatch(u"ŽLUŤ%"_s, u"žluťoučký kůň"_s));
    EXPECT_TRUE(sqlLikeMatch(u"%kůň"_s, u"ŽLUŤOUČKÝ KŮŇ"_s));
    EXPECT_TRUE(sqlLikeMatch(u"_a%"_s, u"Ša"_s));
    EXPECT_FALSE(sqlLikeMatch(u"a%b"_s, u"ac"_s));
    EXPECT_TRUE(sqlLikeMatch(u"100\\%"_s, u"100%"_s, QLatin1Char('\\')));
    EXPECT_FALSE(sqlLikeMatch(u"100\\%"_s, u"1000"_s, QLatin1Char('\\')));
    EXPECT_FALSE(sqlLikeMatch(u"a\\_b"_s, u"axb"_s, QLatin1Char('\\')));
}

#include "db/numbertext.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"

#include <gtest/gtest.h>

using namespace verna::db;

TEST(NumberText, PlainDecimalWithoutExponentOrTrailingZeros)
{
    EXPECT_EQ(numberText(45.0), QStringLiteral("45"));
    EXPECT_EQ(numberText(0.5), QStringLiteral("0.5"));
    EXPECT_EQ(numberText(1234567890.12), QStringLiteral("1234567890.12"));
    EXPECT_EQ(numberText(-1234567.25), QStringLiteral("-1234567.25"));
    EXPECT_EQ(numberText(1e15), QStringLiteral("1000000000000000"));
    EXPECT_EQ(numberText(0.1 + 0.2), QStringLiteral("0.3"));
    EXPECT_EQ(numberText(2.675), QStringLiteral("2.675"));
    EXPECT_EQ(numberText(1e-7), QStringLiteral("0.0000001"));
    EXPECT_EQ(numberText(-0.0), QStringLiteral("0"));
}

TEST(NumberText, ServerDecimalsAreNormalisedExactly)
{
    EXPECT_EQ(normaliseDecimalText(QStringLiteral("500.00")), QStringLiteral("500"));
    EXPECT_EQ(normaliseDecimalText(QStringLiteral("-0.50")), QStringLiteral("-0.5"));
    EXPECT_EQ(normaliseDecimalText(QStringLiteral("-0.00")), QStringLiteral("0"));
    EXPECT_EQ(normaliseDecimalText(QStringLiteral("123456789012345678.12")), QStringLiteral("123456789012345678.12"));
    EXPECT_EQ(normaliseDecimalText(QStringLiteral("1E+3")), QStringLiteral("1000"));
    EXPECT_EQ(normaliseDecimalText(QStringLiteral(".5")), QStringLiteral("0.5"));
    EXPECT_EQ(normaliseDecimalText(QStringLiteral("abc")), QStringLiteral("abc"));
    // Text columns keep their text even when it looks like a number.
    EXPECT_EQ(valueText(QStringLiteral("1.50"), false), QStringLiteral("1.50"));
    EXPECT_EQ(valueText(QVariant(), true), QString());
}

TEST(Quoting, DoublesApostrophes)
{
    EXPECT_EQ(quoted(QStringLiteral("O'Brien")), QStringLiteral("'O''Brien'"));
    EXPECT_EQ(quoted(QStringLiteral("'; DROP TABLE text --")), QStringLiteral("'''; DROP TABLE text --'"));
}

TEST(Quoting, OnlyWholeThirtyTwoBitIntegersAreIds)
{
    EXPECT_EQ(parseId(QStringLiteral("-12")), -12);
    EXPECT_EQ(parseId(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(parseId(QStringLiteral("-2147483648")), std::numeric_limits<qint32>::min());
    for (const char *bad : {"", "-", "1-2", "--5", "1__2", "12'", " 1", "2147483648", "1.0", "+3", "99999999999"})
        EXPECT_FALSE(isId(QString::fromLatin1(bad))) << bad;
    EXPECT_TRUE(isYear(QStringLiteral("1996")));
    EXPECT_FALSE(isYear(QStringLiteral("996")));
    EXPECT_FALSE(isYear(QStringLiteral("19960")));
    EXPECT_TRUE(isQuarter(QStringLiteral("4")));
    EXPECT_FALSE(isQuarter(QStringLiteral("5")));
    EXPECT_FALSE(isQuarter(QStringLiteral("0")));
}

TEST(TextComparison, CaseInsensitiveWithCzechLettersAndTrailingBlanks)
{
    EXPECT_EQ(compareText(QStringLiteral("čeština"), QStringLiteral("ČEŠTINA")), 0);
    EXPECT_NE(compareText(QStringLiteral("cestina"), QStringLiteral("čeština")), 0);
    // Czech order: c < č < d, h < ch < i.
    EXPECT_LT(compareText(QStringLiteral("cuk"), QStringLiteral("čaj")), 0);
    EXPECT_LT(compareText(QStringLiteral("čaj"), QStringLiteral("dům")), 0);
    EXPECT_LT(compareText(QStringLiteral("hrad"), QStringLiteral("chata")), 0);
    EXPECT_TRUE(sqlLikeMatch(QStringLiteral("ŽLUŤ%"), QStringLiteral("žluťoučký kůň")));
    EXPECT_TRUE(sqlLikeMatch(QStringLiteral("%kůň"), QStringLiteral("ŽLUŤOUČKÝ KŮŇ")));
    EXPECT_TRUE(sqlLikeMatch(QStringLiteral("_a%"), QStringLiteral("Ša")));
    EXPECT_FALSE(sqlLikeMatch(QStringLiteral("a%b"), QStringLiteral("ac")));
    EXPECT_TRUE(sqlLikeMatch(QStringLiteral("100\\%"), QStringLiteral("100%"), QLatin1Char('\\')));
    EXPECT_FALSE(sqlLikeMatch(QStringLiteral("100\\%"), QStringLiteral("1000"), QLatin1Char('\\')));
    EXPECT_FALSE(sqlLikeMatch(QStringLiteral("a\\_b"), QStringLiteral("axb"), QLatin1Char('\\')));
}

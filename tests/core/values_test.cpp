#include "db/numbertext.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"

#include <gtest/gtest.h>

using namespace verna::db;
using namespace Qt::StringLiterals;

TEST(ValueTexts, NumbersAreNormalisedIdsAndQuotesCheckedAndTextComparesInCzech)
{
    const std::pair<double, const char *> cases[] = {{45.0, "45"},     {0.5, "0.5"},     {1234567890.12, "1234567890.12"}, {-1234567.25, "-1234567.25"},
                                                     {1e15, "1000000000000000"}, {0.1 + 0.2, "0.3"}, {2.675, "2.675"},    {1e-7, "0.0000001"},
                                                     {-0.0, "0"}};
    for (const auto &[number, text] : cases)
        EXPECT_EQ(numberText(number), QString::fromLatin1(text)) << text;

    // Server decimals are normalised exactly.
    const std::pair<const char *, const char *> decimals[] = {{"500.00", "500"}, {"-0.50", "-0.5"}, {"-0.00", "0"}, {"1E+3", "1000"}, {".5", "0.5"},
                                                           {"abc", "abc"},    {"123456789012345678.12", "123456789012345678.12"}};
    for (const auto &[server, text] : decimals)
        EXPECT_EQ(normaliseDecimalText(QString::fromLatin1(server)), QString::fromLatin1(text)) << server;
    // Text columns keep their text even when it looks like a number.
    EXPECT_EQ(valueText(u"1.50"_s, false), u"1.50"_s);
    EXPECT_EQ(valueText(QVariant(), true), QString());

    // Quoting doubles apostrophes; only whole 32-bit integers are ids.
    EXPECT_EQ(quoted(u"O'Brien"_s), u"'O''Brien'"_s);
    EXPECT_EQ(quoted(u"'; DROP TABLE text --"_s), u"'''; DROP TABLE text --'"_s);

    EXPECT_EQ(parseId(u"-12"_s), -12);
    EXPECT_EQ(parseId(u"2147483647"_s), 2147483647);
    EXPECT_EQ(parseId(u"-2147483648"_s), std::numeric_limits<qint32>::min());
    for (const char *bad : {"", "-", "1-2", "--5", "1__2", "12'", " 1", "2147483648", "1.0", "+3", "99999999999"})
        EXPECT_FALSE(isId(QString::fromLatin1(bad))) << bad;
    EXPECT_TRUE(isYear(u"1996"_s) && !isYear(u"996"_s) && !isYear(u"19960"_s));
    EXPECT_TRUE(isQuarter(u"4"_s) && !isQuarter(u"5"_s) && !isQuarter(u"0"_s));

    // Text compares case-insensitively, with Czech letters and trailing blanks.
    EXPECT_EQ(compareText(u"čeština"_s, u"ČEŠTINA"_s), 0);
    EXPECT_NE(compareText(u"cestina"_s, u"čeština"_s), 0);
    // Czech order: c < č < d, h < ch < i.
    EXPECT_LT(compareText(u"cuk"_s, u"čaj"_s), 0);
    EXPECT_LT(compareText(u"čaj"_s, u"dům"_s), 0);
    EXPECT_LT(compareText(u"hrad"_s, u"chata"_s), 0);
    // {pattern, text, escape, matches}
    const std::tuple<QString, QString, QChar, bool> likes[] = {
        {u"ŽLUŤ%"_s, u"žluťoučký kůň"_s, QChar(), true}, {u"%kůň"_s, u"ŽLUŤOUČKÝ KŮŇ"_s, QChar(), true}, {u"_a%"_s, u"Ša"_s, QChar(), true},
        {u"a%b"_s, u"ac"_s, QChar(), false},            {u"100\\%"_s, u"100%"_s, u'\\', true},         {u"100\\%"_s, u"1000"_s, u'\\', false},
        {u"a\\_b"_s, u"axb"_s, u'\\', false}};
    for (const auto &[pattern, text, escape, matches] : likes)
        EXPECT_EQ(sqlLikeMatch(pattern, text, escape), matches) << pattern.toStdString() << " ~ " << text.toStdString();
}


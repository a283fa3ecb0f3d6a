// Drag-and-drop payloads: the texts of every kind, round trips and what is refused.
#include "selection/payload.h"

#include "support/printing.h"

#include <gtest/gtest.h>
#include <limits>
#include <tuple>
#include <ostream>

using namespace verna::selection;
using namespace Qt::StringLiterals;

namespace {

Payload parsed(const QString &text)
{
    const std::optional<Payload> p = Payload::parse(text);
    EXPECT_TRUE(p.has_value()) << text.toStdString();
    return p.value_or(Payload());
}

} // namespace

TEST(Payload, EveryKindSurvivesARoundTripNodeKeysAreReadByKindAndHostileTextsAreNone)
{
    const qint32 lowest = std::numeric_limits<qint32>::min();
    const qint32 highest = std::numeric_limits<qint32>::max();
    for (qint32 id : {0, 1234, -7, lowest, highest}) {
        const Payload p = parsed(Payload::singleEntity(id));
        EXPECT_EQ(p.kind(), Payload::Kind::SingleEntity);
        EXPECT_EQ(p.entityIds(), QList<qint32>{id});
        EXPECT_EQ(p.text(), Payload::singleEntity(id));
    }
    const Payload list = parsed(Payload::entityList({12, -5, 40, lowest, highest}));
    EXPECT_EQ(list.kind(), Payload::Kind::EntityList);
    EXPECT_EQ(list.entityIds(), (QList<qint32>{12, -5, 40, lowest, highest}));
    // The parse of the rest "-12_7" gives -12 and 7.
    EXPECT_EQ(parsed(u"/*/-12_7"_s).entityIds(), (QList<qint32>{-12, 7}));

    EXPECT_EQ(Payload::aggregate(-1), QString()); // no aggregate chosen drags nothing
    const std::tuple<QString, Payload::Kind, QList<int>> indices[] = {
        {Payload::aggregate(3), Payload::Kind::Aggregate, {3}},
        {Payload::indicatorOne(0), Payload::Kind::IndicatorOne, {0}},
        {Payload::indicatorsSeveral({0, 3, 4}), Payload::Kind::IndicatorsSeveral, {0, 3, 4}}};
    for (const auto &[text, kind, expected] : indices) {
        EXPECT_EQ(parsed(text).kind(), kind) << text.toStdString();
        EXPECT_EQ(parsed(text).indices(), expected) << text.toStdString();
    }
    const Payload several = parsed(Payload::indicatorsSeveral({0, 3, 4}));
    EXPECT_TRUE(several.text().endsWith(QLatin1Char('_')));
    // Carried in the order given, as the receiver adds columns in that order.
    EXPECT_EQ(parsed(u"@&@FS3_0_"_s).indices(), (QList<int>{3, 0}));

    // Node keys are read by kind.
    struct Case {
        QString key;
        QString kind;
        qint32 id;
        int year;
        qint32 code;
    };
    const std::vector<Case> tree = {
        {u"SU-12"_s, u"SU"_s, -12, 0, 0},     {u"ob3366"_s, u"ob"_s, 3366, 0, 0},
        {u"pz5"_s, u"pz"_s, 5, 0, 0},         {u"CR7"_s, u"CR"_s, 7, 0, 0},
        {u"CV7"_s, u"CV"_s, 7, 0, 0},         {u"YR1999_7"_s, u"YR"_s, 7, 1999, 0},
        {u"YV2001_-7"_s, u"YV"_s, -7, 2001, 0}, {u"Q8812"_s, u"Q"_s, 8812, 0, 0},
        {u"Q-3"_s, u"Q"_s, -3, 0, 0},         {u"QP8812"_s, u"QP"_s, 8812, 0, 0},
        {u"NG-4"_s, u"NG"_s, -4, 0, 0},       {u"QF9"_s, u"QF"_s, 9, 0, 0},
        {u"IP77"_s, u"IP"_s, 77, 0, 0},       {u"IZ77"_s, u"IZ"_s, 77, 0, 0},
        {u"IZ-8_205"_s, u"IZ"_s, -8, 0, 205}, {u"AC3029_3366"_s, u"AC"_s, 3366, 0, 3029},
    };
    for (const Case &c : tree) {
        const Payload p = parsed(Payload::kTreeNode + c.key);
        EXPECT_EQ(p.kind(), Payload::Kind::TreeNode);
        EXPECT_EQ(std::tuple(p.node().kind, p.node().id, p.node().year, p.node().code), std::tuple(c.kind, c.id, c.year, c.code))
            << c.key.toStdString();
        EXPECT_EQ(p.text(), Payload::kTreeNode + c.key);
    }
    EXPECT_EQ(parsed(u"#&#AC3029_3366"_s).branchCode(), 3029);
    EXPECT_FALSE(parsed(u"#&#SU3366"_s).branchCode());

    const Payload quarter = parsed(u"@&@SQ1999_2_-1234"_s);
    EXPECT_EQ(quarter.kind(), Payload::Kind::AnalysisNode);
    EXPECT_EQ(std::tuple(quarter.node().kind, quarter.node().year, quarter.node().quarter, quarter.node().id), std::tuple(u"SQ"_s, 1999, 2, -1234));
    EXPECT_EQ(parsed(u"@&@SY1999_12"_s).node().year, 1999);
    EXPECT_EQ(parsed(u"@&@SU12"_s).node().id, 12);

    // A tree takes entities from the search window (groups expanded) and an entity node of the
    // other tree (as it is); its own nodes and other kinds of node are no entity drop.
    const auto drop = [](const QString &text, Payload::Kind otherTree) { return parsed(text).entityDrop(otherTree); };
    EXPECT_EQ(drop(u"/*/5_6"_s, Payload::Kind::TreeNode)->ids, (QList<qint32>{5, 6}));
    EXPECT_TRUE(drop(u"*/*5"_s, Payload::Kind::TreeNode)->expandGroups);
    const auto node = drop(u"#&#SU-12"_s, Payload::Kind::TreeNode);
    EXPECT_TRUE(node && node->ids == QList<qint32>{-12} && !node->expandGroups);
    EXPECT_FALSE(drop(u"#&#SU-12"_s, Payload::Kind::AnalysisNode));
    EXPECT_FALSE(drop(u"#&#ob3366"_s, Payload::Kind::TreeNode));

    // Hostile texts are no payload.
    const QStringList refused = {
        QString(), u"*/*"_s, u"*/*12'"_s, u"*/*1 OR 1=1"_s, u"*/*2147483648"_s, u"*/*+5"_s, u"*/* 5"_s, u"*/*5\n"_s, u"*/*1-2"_s,
        u"/*/"_s, u"/*/1-2"_s, u"/*/--5"_s, u"/*/1__2"_s, u"/*/12'"_s, u"/*/1_"_s, u"/*/_1"_s, u"/*/1,2"_s,
        u"/*/1_2);DELETE FROM subj--"_s, u"/*/-"_s, u"#&#"_s, u"#&#QP"_s, u"#&#QP1;DROP"_s, u"#&#QPabc"_s, u"#&#XX12"_s,
        u"#&#qp12"_s, u"#&#YR99_1"_s, u"#&#YR1999"_s, u"#&#YR1999_1_2"_s, u"#&#AC_1"_s, u"#&#ACx_1"_s, u"#&#AC-3_1"_s, u"#&#AC29"_s,
        u"#&#IZ1_-2"_s, u"#&#Q"_s, u"#&#Q1x"_s, u"@&@"_s, u"@&@AF"_s, u"@&@AF-1"_s, u"@&@AF1.5"_s, u"@&@FS"_s, u"@&@FS_"_s,
        u"@&@FS1_2"_s, u"@&@FS1__2_"_s, u"@&@FS-1_"_s, u"@&@FC"_s, u"@&@FC1;"_s, u"@&@SQ1999_5_12"_s, u"@&@SQ1999_2"_s,
        u"@&@SQ99_2_1"_s, u"@&@SY99_1"_s, u"@&@SU"_s, u"@&@XX1"_s, u"@&@SUabc"_s, u"x*/*12"_s, u"Hello"_s,
    };
    for (const QString &text : refused)
        EXPECT_FALSE(Payload::parse(text).has_value()) << text.toStdString();
}


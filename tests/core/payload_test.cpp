// Drag-and-drop payloads: the texts of every kind, round trips and what is refused.
#include "selection/payload.h"

#include <gtest/gtest.h>
#include <limits>

#include <ostream>

#include "support/printing.h"

using namespace verna::selection;

namespace {

Payload parsed(const QString &text)
{
    const std::optional<Payload> p = Payload::parse(text);
    EXPECT_TRUE(p.has_value()) << text.toStdString();
    return p.value_or(Payload());
}

} // namespace

TEST(Payload, BuildersWriteTheExactTexts)
{
    EXPECT_EQ(Payload::singleEntity(1234), QStringLiteral("*/*1234"));
    EXPECT_EQ(Payload::singleEntity(-7), QStringLiteral("*/*-7"));
    EXPECT_EQ(Payload::entityList({12, -5, 40}), QStringLiteral("/*/12_-5_40"));
    EXPECT_EQ(Payload::treeNode(QStringLiteral("QP8812")), QStringLiteral("#&#QP8812"));
    EXPECT_EQ(Payload::treeNode(QStringLiteral("AC3029_3366")), QStringLiteral("#&#AC3029_3366"));
    EXPECT_EQ(Payload::analysisNode(QStringLiteral("SQ1999_2_1234")), QStringLiteral("@&@SQ1999_2_1234"));
    EXPECT_EQ(Payload::aggregate(2), QStringLiteral("@&@AF2"));
    EXPECT_EQ(Payload::indicatorsSeveral({4, 0, 3}), QStringLiteral("@&@FS0_3_4_"));
    EXPECT_EQ(Payload::indicatorOne(5), QStringLiteral("@&@FC5"));
}

TEST(Payload, NothingSelectedDragsNothing)
{
    EXPECT_EQ(Payload::entitySelection({}), QString());
    EXPECT_EQ(Payload::entitySelection({7}), QStringLiteral("*/*7"));
    EXPECT_EQ(Payload::entitySelection({7, -8}), QStringLiteral("/*/7_-8"));
    EXPECT_EQ(Payload::entityList({}), QString());
    EXPECT_EQ(Payload::indicatorSelection({0, 3, 4}, 3), QStringLiteral("@&@FS0_3_4_"));
    EXPECT_EQ(Payload::indicatorSelection({3}, 3), QStringLiteral("@&@FC3"));
    EXPECT_EQ(Payload::indicatorSelection({}, -1), QString());
    EXPECT_EQ(Payload::aggregate(-1), QString());
    EXPECT_EQ(Payload::indicatorsSeveral({}), QString());
    EXPECT_EQ(Payload::indicatorsSeveral({1, -2}), QString());
    EXPECT_EQ(Payload::treeNode(QString()), QString());
    EXPECT_EQ(Payload::treeNode(QStringLiteral("QP1;DROP")), QString());
    // The marker minus its last character, as a list with no selection once produced: ignored.
    EXPECT_FALSE(Payload::parse(QStringLiteral("/*")));
}

TEST(Payload, EveryKindSurvivesARoundTrip)
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
    EXPECT_EQ(parsed(QStringLiteral("/*/-12_7")).entityIds(), (QList<qint32>{-12, 7}));

    const Payload aggregate = parsed(Payload::aggregate(3));
    EXPECT_EQ(aggregate.kind(), Payload::Kind::Aggregate);
    EXPECT_EQ(aggregate.indices(), QList<int>{3});
    const Payload one = parsed(Payload::indicatorOne(0));
    EXPECT_EQ(one.kind(), Payload::Kind::IndicatorOne);
    EXPECT_EQ(one.indices(), QList<int>{0});
    const Payload several = parsed(Payload::indicatorsSeveral({0, 3, 4}));
    EXPECT_EQ(several.kind(), Payload::Kind::IndicatorsSeveral);
    EXPECT_EQ(several.indices(), (QList<int>{0, 3, 4}));
    EXPECT_TRUE(several.text().endsWith(QLatin1Char('_')));
    // Carried in the order given, as the receiver adds columns in that order.
    EXPECT_EQ(parsed(QStringLiteral("@&@FS3_0_")).indices(), (QList<int>{3, 0}));
}

TEST(Payload, NodeKeysAreReadByKind)
{
    struct Case {
        QString key;
        QString kind;
        qint32 id;
        int year;
        qint32 code;
    };
    const std::vector<Case> tree = {
        {QStringLiteral("SU-12"), QStringLiteral("SU"), -12, 0, 0},     {QStringLiteral("ob3366"), QStringLiteral("ob"), 3366, 0, 0},
        {QStringLiteral("pz5"), QStringLiteral("pz"), 5, 0, 0},         {QStringLiteral("CR7"), QStringLiteral("CR"), 7, 0, 0},
        {QStringLiteral("CV7"), QStringLiteral("CV"), 7, 0, 0},         {QStringLiteral("YR1999_7"), QStringLiteral("YR"), 7, 1999, 0},
        {QStringLiteral("YV2001_-7"), QStringLiteral("YV"), -7, 2001, 0}, {QStringLiteral("Q8812"), QStringLiteral("Q"), 8812, 0, 0},
        {QStringLiteral("Q-3"), QStringLiteral("Q"), -3, 0, 0},         {QStringLiteral("QP8812"), QStringLiteral("QP"), 8812, 0, 0},
        {QStringLiteral("NG-4"), QStringLiteral("NG"), -4, 0, 0},       {QStringLiteral("QF9"), QStringLiteral("QF"), 9, 0, 0},
        {QStringLiteral("IP77"), QStringLiteral("IP"), 77, 0, 0},       {QStringLiteral("IZ77"), QStringLiteral("IZ"), 77, 0, 0},
        {QStringLiteral("IZ-8_205"), QStringLiteral("IZ"), -8, 0, 205}, {QStringLiteral("AC3029_3366"), QStringLiteral("AC"), 3366, 0, 3029},
    };
    for (const Case &c : tree) {
        const Payload p = parsed(Payload::kTreeNode + c.key);
        EXPECT_EQ(p.kind(), Payload::Kind::TreeNode);
        EXPECT_EQ(p.node().kind, c.kind) << c.key.toStdString();
        EXPECT_EQ(p.node().id, c.id) << c.key.toStdString();
        EXPECT_EQ(p.node().year, c.year) << c.key.toStdString();
        EXPECT_EQ(p.node().code, c.code) << c.key.toStdString();
        EXPECT_EQ(p.text(), Payload::kTreeNode + c.key);
    }
    EXPECT_EQ(parsed(QStringLiteral("#&#AC3029_3366")).branchCode(), 3029);
    EXPECT_FALSE(parsed(QStringLiteral("#&#SU3366")).branchCode());

    const Payload quarter = parsed(QStringLiteral("@&@SQ1999_2_-1234"));
    EXPECT_EQ(quarter.kind(), Payload::Kind::AnalysisNode);
    EXPECT_EQ(quarter.node().kind, QStringLiteral("SQ"));
    EXPECT_EQ(quarter.node().year, 1999);
    EXPECT_EQ(quarter.node().quarter, 2);
    EXPECT_EQ(quarter.node().id, -1234);
    EXPECT_EQ(parsed(QStringLiteral("@&@SY1999_12")).node().year, 1999);
    EXPECT_EQ(parsed(QStringLiteral("@&@SU12")).node().id, 12);
}

TEST(Payload, HostileTextsAreNoPayload)
{
    const QStringList refused = {
        QString(), QStringLiteral("*/*"), QStringLiteral("*/*12'"), QStringLiteral("*/*1 OR 1=1"), QStringLiteral("*/*2147483648"),
        QStringLiteral("*/*+5"), QStringLiteral("*/* 5"), QStringLiteral("*/*5\n"), QStringLiteral("*/*1-2"),
        QStringLiteral("/*/"), QStringLiteral("/*/1-2"), QStringLiteral("/*/--5"), QStringLiteral("/*/1__2"),
        QStringLiteral("/*/12'"), QStringLiteral("/*/1_"), QStringLiteral("/*/_1"), QStringLiteral("/*/1,2"),
        QStringLiteral("/*/1_2);DELETE FROM subj--"), QStringLiteral("/*/-"),
        QStringLiteral("#&#"), QStringLiteral("#&#QP"), QStringLiteral("#&#QP1;DROP"), QStringLiteral("#&#QPabc"),
        QStringLiteral("#&#XX12"), QStringLiteral("#&#qp12"), QStringLiteral("#&#YR99_1"), QStringLiteral("#&#YR1999"),
        QStringLiteral("#&#YR1999_1_2"), QStringLiteral("#&#AC_1"), QStringLiteral("#&#ACx_1"), QStringLiteral("#&#AC-3_1"),
        QStringLiteral("#&#AC29"), QStringLiteral("#&#IZ1_-2"), QStringLiteral("#&#Q"), QStringLiteral("#&#Q1x"),
        QStringLiteral("@&@"), QStringLiteral("@&@AF"), QStringLiteral("@&@AF-1"), QStringLiteral("@&@AF1.5"),
        QStringLiteral("@&@FS"), QStringLiteral("@&@FS_"), QStringLiteral("@&@FS1_2"), QStringLiteral("@&@FS1__2_"),
        QStringLiteral("@&@FS-1_"), QStringLiteral("@&@FC"), QStringLiteral("@&@FC1;"), QStringLiteral("@&@SQ1999_5_12"),
        QStringLiteral("@&@SQ1999_2"), QStringLiteral("@&@SQ99_2_1"), QStringLiteral("@&@SY99_1"), QStringLiteral("@&@SU"),
        QStringLiteral("@&@XX1"), QStringLiteral("@&@SUabc"), QStringLiteral("x*/*12"), QStringLiteral("Hello"),
    };
    for (const QString &text : refused)
        EXPECT_FALSE(Payload::parse(text).has_value()) << text.toStdString();
}

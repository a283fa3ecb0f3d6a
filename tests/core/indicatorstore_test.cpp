// Indicators and indicator groups as the editors save them: one transaction per save, names
// compared as the server compares them, texts stored as typed.
#include "indicators/formulatext.h"
#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::indicators;
using namespace verna::test;
using namespace Qt::StringLiterals;

TEST(FormulaText, LongestNamesFirstDecimalsKeptAnythingElseRefused)
{
    const QList<ItemName> items{{u"Tržby"_s, 36}, {u"Tržby za zboží"_s, 37}, {u"Aktiva"_s, 92}};
    EXPECT_EQ(storedFormula(u"Tržby za zboží / Tržby"_s, items), u"[37]/[36]"_s);
    EXPECT_EQ(storedFormula(u"Aktiva / 2"_s, items), u"[92]/2"_s);
    EXPECT_EQ(storedFormula(u"0.5*Aktiva"_s, items), u"0.5*[92]"_s);
    for (const char *bad : {"Aktiva / dva", "0,5*Aktiva", ".5*Aktiva", "Aktiva.5", "5.*Aktiva", "[92]; DROP TABLE x", "Aktiva'"})
        EXPECT_EQ(storedFormula(QString::fromUtf8(bad), items), std::nullopt) << bad;
    EXPECT_EQ(displayFormula(u"[37]/[36]-0.5"_s, items), u"Tržby za zboží/Tržby-0.5"_s);
}

namespace {
class IndicatorStoreTest : public ReferenceTest
{
protected:
    QString count(const QString &sql) { return db().singleValue(sql); }
};
} // namespace

TEST_P(IndicatorStoreTest, SavesAreWholeNamesCompareAsTheServerDoesAndUnitsAndMembersGoWithThem)
{
    IndicatorStore store(db());
    const QString hostile = u"ROE 'vlastní' kapitál'); DROP TABLE func_for --"_s;
    const Result<Saved> made = store.create({u"  "_s + hostile + u" "_s, u"[36]/[41]"_s, hostile});
    ASSERT_TRUE(made.ok()) << made.error.toStdString();
    ASSERT_FALSE(made.value.nameTaken);
    EXPECT_LT(made.value.id, 0);
    const Result<IndicatorStore::Texts> loaded = store.load(made.value.id);
    EXPECT_EQ(loaded.value.name, hostile);
    EXPECT_EQ(loaded.value.description, hostile);

    // Case and surrounding blanks do not make a new name; the own name is no duplicate.
    EXPECT_TRUE(store.create({hostile.toUpper(), u"1"_s, {}}).value.nameTaken);
    EXPECT_FALSE(store.change(made.value.id, hostile, u"nový popis"_s, std::nullopt).value.nameTaken);
    EXPECT_EQ(store.load(made.value.id).value.description, u"nový popis"_s);
    // Renaming to another indicator's name changes nothing of the same save.
    const QString other = store.indicators().value.front().name;
    const Result<Saved> refused = store.change(made.value.id, other, u"jiný"_s, u"[37]"_s);
    EXPECT_TRUE(refused.value.nameTaken);
    EXPECT_EQ(store.load(made.value.id).value.description, u"nový popis"_s);
    EXPECT_EQ(store.load(made.value.id).value.formula, u"[36]/[41]"_s);

    EXPECT_FALSE(store.remove(17).ok);
    EXPECT_EQ(count(u"SELECT inac_ind FROM func_for WHERE func_for_id = 17"_s), u"1"_s);
    ASSERT_TRUE(store.remove(made.value.id).ok);
    EXPECT_FALSE(store.create({hostile, u"1"_s, {}}).value.nameTaken);

    // A unit and direction is saved with its indicator, follows a rename and goes with a deletion; a refused
    // save writes none of it.
    IndicatorStore units(db());
    EXPECT_EQ(units.unit(1).value, (IndicatorUnit{u"×"_s, Direction::TargetRange, 1.5, 2.5}));
    const IndicatorUnit days{u"dny"_s, Direction::LowerBetter, std::nullopt, std::nullopt};
    const Result<Saved> doba = units.create({u"Doba inkasa"_s, u"[133]/[37]*360"_s, {}}, days);
    ASSERT_TRUE(doba.ok()) << doba.error.toStdString();
    EXPECT_EQ(units.unit(doba.value.id).value, days);

    const IndicatorUnit range{u"%"_s, Direction::TargetRange, 10, 20.5};
    EXPECT_TRUE(units.change(doba.value.id, u"Doba obratu zásob"_s, std::nullopt, std::nullopt, range).value.nameTaken);
    EXPECT_EQ(units.unit(doba.value.id).value, days);
    ASSERT_TRUE(units.change(doba.value.id, u"Doba inkasa pohledávek"_s, std::nullopt, std::nullopt, range).ok());
    const Result<QHash<qint32, IndicatorUnit>> all = units.units();
    ASSERT_TRUE(all.ok()) << all.error.toStdString();
    EXPECT_EQ(all.value.value(doba.value.id), range);
    EXPECT_EQ(all.value.value(15).direction, Direction::LowerBetter);

    ASSERT_TRUE(units.remove(doba.value.id).ok);
    EXPECT_EQ(count(u"SELECT count(*) FROM func_unit WHERE func_for_id = %1"_s.arg(doba.value.id)), u"0"_s);
    EXPECT_EQ(units.unit(doba.value.id).value, IndicatorUnit{});

    // Groups keep their members once and their names compare as the server does.
    IndicatorGroups groups(db());
    const QList<Entry> indicators = IndicatorStore(db()).indicators().value;
    ASSERT_GE(indicators.size(), 3);
    const Result<Saved> group = groups.create(u"Moje 'ukazatele'"_s, u"popis"_s,
                                             {indicators[0].id, indicators[1].id, indicators[0].id});
    ASSERT_TRUE(group.ok()) << group.error.toStdString();
    EXPECT_EQ(groups.members(group.value.id).value.size(), 2);
    EXPECT_TRUE(groups.create(u"MOJE 'UKAZATELE'"_s, {}, {}).value.nameTaken);

    const Result<Saved> changed = groups.change(group.value.id, u"Moje 'ukazatele'"_s, std::nullopt,
                                                {indicators[1].id, indicators[2].id});
    EXPECT_FALSE(changed.value.nameTaken);
    EXPECT_EQ(groups.members(group.value.id).value.size(), 3);
    ASSERT_TRUE(groups.removeMember(group.value.id, indicators[2].id).ok);
    EXPECT_EQ(groups.members(group.value.id).value.size(), 2);

    ASSERT_TRUE(groups.remove(group.value.id).ok);
    for (const Entry &g : groups.groups().value)
        EXPECT_NE(g.id, group.value.id);
}

VERNA_ALL_BACKENDS(IndicatorStoreTest);

// Indicators and indicator groups as the editors save them: one transaction per save, names
// compared as the server compares them, texts stored as typed.
#include "indicators/formulatext.h"
#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::indicators;
using namespace verna::test;

TEST(FormulaText, LongestNamesFirstDecimalsKeptAnythingElseRefused)
{
    const QList<ItemName> items{{QStringLiteral("Tržby"), 36}, {QStringLiteral("Tržby za zboží"), 37}, {QStringLiteral("Aktiva"), 92}};
    EXPECT_EQ(storedFormula(QStringLiteral("Tržby za zboží / Tržby"), items), QStringLiteral("[37]/[36]"));
    EXPECT_EQ(storedFormula(QStringLiteral("Aktiva / 2"), items), QStringLiteral("[92]/2"));
    EXPECT_EQ(storedFormula(QStringLiteral("0.5*Aktiva"), items), QStringLiteral("0.5*[92]"));
    for (const char *bad : {"Aktiva / dva", "0,5*Aktiva", ".5*Aktiva", "Aktiva.5", "5.*Aktiva", "[92]; DROP TABLE x", "Aktiva'"})
        EXPECT_EQ(storedFormula(QString::fromUtf8(bad), items), std::nullopt) << bad;
    EXPECT_EQ(displayFormula(QStringLiteral("[37]/[36]-0.5"), items), QStringLiteral("Tržby za zboží/Tržby-0.5"));
}

namespace {
class IndicatorStoreTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }
    QString count(const QString &sql) { return db().singleValue(sql); }
};
} // namespace

TEST_P(IndicatorStoreTest, SavesAreWholeAndNamesCompareAsTheServerDoes)
{
    IndicatorStore store(db());
    const QString hostile = QStringLiteral("ROE 'vlastní' kapitál'); DROP TABLE func_for --");
    const Result<Saved> made = store.create({QStringLiteral("  ") + hostile + QStringLiteral(" "), QStringLiteral("[36]/[41]"), hostile});
    ASSERT_TRUE(made.ok()) << made.error.toStdString();
    ASSERT_FALSE(made.value.nameTaken);
    EXPECT_LT(made.value.id, 0);
    const Result<IndicatorStore::Texts> loaded = store.load(made.value.id);
    EXPECT_EQ(loaded.value.name, hostile);
    EXPECT_EQ(loaded.value.description, hostile);

    // Case and surrounding blanks do not make a new name; the own name is no duplicate.
    EXPECT_TRUE(store.create({hostile.toUpper(), QStringLiteral("1"), {}}).value.nameTaken);
    EXPECT_FALSE(store.change(made.value.id, hostile, QStringLiteral("nový popis"), std::nullopt).value.nameTaken);
    EXPECT_EQ(store.load(made.value.id).value.description, QStringLiteral("nový popis"));
    // Renaming to another indicator's name changes nothing of the same save.
    const QString other = store.indicators().value.front().name;
    const Result<Saved> refused = store.change(made.value.id, other, QStringLiteral("jiný"), QStringLiteral("[37]"));
    EXPECT_TRUE(refused.value.nameTaken);
    EXPECT_EQ(store.load(made.value.id).value.description, QStringLiteral("nový popis"));
    EXPECT_EQ(store.load(made.value.id).value.formula, QStringLiteral("[36]/[41]"));

    EXPECT_FALSE(store.remove(17).ok);
    EXPECT_EQ(count(QStringLiteral("SELECT inac_ind FROM func_for WHERE func_for_id = 17")), QStringLiteral("1"));
    ASSERT_TRUE(store.remove(made.value.id).ok);
    EXPECT_FALSE(store.create({hostile, QStringLiteral("1"), {}}).value.nameTaken);
}

TEST_P(IndicatorStoreTest, GroupsKeepMembersOnceAndRollBackWhole)
{
    IndicatorGroups groups(db());
    const QList<Entry> indicators = IndicatorStore(db()).indicators().value;
    ASSERT_GE(indicators.size(), 3);
    const Result<Saved> made = groups.create(QStringLiteral("Moje 'ukazatele'"), QStringLiteral("popis"),
                                             {indicators[0].id, indicators[1].id, indicators[0].id});
    ASSERT_TRUE(made.ok()) << made.error.toStdString();
    EXPECT_EQ(groups.members(made.value.id).value.size(), 2);
    EXPECT_TRUE(groups.create(QStringLiteral("MOJE 'UKAZATELE'"), {}, {}).value.nameTaken);

    const Result<Saved> changed = groups.change(made.value.id, QStringLiteral("Moje 'ukazatele'"), std::nullopt,
                                                {indicators[1].id, indicators[2].id});
    EXPECT_FALSE(changed.value.nameTaken);
    EXPECT_EQ(groups.members(made.value.id).value.size(), 3);
    ASSERT_TRUE(groups.removeMember(made.value.id, indicators[2].id).ok);
    EXPECT_EQ(groups.members(made.value.id).value.size(), 2);

    // The members table gone mid-save: the group with its name is not left behind.
    ASSERT_TRUE(db().execute(QStringLiteral("ALTER TABLE func_mem RENAME TO func_mem_x")).ok);
    EXPECT_FALSE(groups.create(QStringLiteral("Nedokončená"), {}, {indicators[0].id}).ok());
    ASSERT_TRUE(db().execute(QStringLiteral("ALTER TABLE func_mem_x RENAME TO func_mem")).ok);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM func_grp WHERE func_grp_name = 'Nedokončená'")), QStringLiteral("0"));
    EXPECT_FALSE(db().inTransaction());

    ASSERT_TRUE(groups.remove(made.value.id).ok);
    for (const Entry &g : groups.groups().value)
        EXPECT_NE(g.id, made.value.id);
}

VERNA_ALL_BACKENDS(IndicatorStoreTest);

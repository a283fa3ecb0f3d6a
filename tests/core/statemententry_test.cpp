#include "shell/referencedata.h"
#include "statements/statementstore.h"
#include "statements/sumrules.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::statements;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

Amount amount(const QString &typed)
{
    const Result<Amount> a = Amount::parse(typed);
    EXPECT_TRUE(a.ok()) << typed.toStdString() << ": " << a.error.toStdString();
    return a.value;
}

QHash<int, Amount> amounts(const QList<std::pair<int, QString>> &typed)
{
    QHash<int, Amount> out;
    for (const auto &[code, text] : typed)
        out.insert(code, amount(text));
    return out;
}

class StatementEntryTest : public ReferenceTest
{
protected:
    void prepare() override
    {
        m_store = std::make_unique<StatementStore>(db());
        Result<SumRules> rules = SumRules::load(db());
        ASSERT_TRUE(rules.ok()) << rules.error.toStdString();
        m_rules = rules.value;
        m_reference = m_store->findPair(shell::kReferenceEntity, shell::kReferenceYear, shell::kReferenceQuarter).value;
        ASSERT_NE(m_reference.ids.balance, 0);
    }

    QHash<int, Amount> stored(qint32 statementId)
    {
        QHash<int, Amount> out;
        const auto read = m_store->amounts(statementId);
        EXPECT_TRUE(read.ok()) << read.error.toStdString();
        for (auto it = read.value.cbegin(); it != read.value.cend(); ++it)
            out.insert(it.key(), amount(it.value()));
        return out;
    }

    // Every line of the form, amounts from the map (0 where none), in the form's order.
    StatementPair pair(int year, bool full, const QHash<int, Amount> &balance, const QHash<int, Amount> &income)
    {
        StatementPair p{shell::kReferenceEntity, year, 1, full, {}, {}};
        for (const auto &[type, source, target] : {std::tuple{27, &balance, &p.balance}, std::tuple{28, &income, &p.income}}) {
            for (const StatementLine &line : m_store->lines(type, full).value)
                target->append({line.code, source->value(line.code)});
        }
        return p;
    }

    QString activeStatements() { return db().singleValue(u"SELECT count(*) FROM finl_stmt WHERE inac_ind = 0"_s); }

    std::unique_ptr<StatementStore> m_store;
    SumRules m_rules;
    PeriodPair m_reference;
};

} // namespace

// Typed amounts are checked numbers; a sum rule's right side is line codes joined by + and -.
TEST(StatementEntryTexts, AmountsAreCheckedNumbersAndRuleSidesLineCodesJoinedByPlusAndMinus)
{
    const std::pair<QString, const char *> typed[] = {{u"1234,5"_s, "1234.5"}, {u" 1 234,50 "_s, "1234.5"}, {u"1\u00a0234"_s, "1234"},
                                                      {u"-5"_s, "-5"},          {u"\u2212 5,5"_s, "-5.5"},    {u",25"_s, "0.25"},
                                                      {u"-0,0"_s, "0"},         {u"12.0"_s, "12"},           {u"999999999999"_s, "999999999999"}};
    for (const auto &[text, number] : typed)
        EXPECT_EQ(amount(text).text(), QString::fromLatin1(number)) << text.toStdString();
    for (const QString &bad : {u""_s, u"-"_s, u"1e5"_s, u"12abc"_s, u"1,2,3"_s, u"1.234,5"_s, u"'; DROP TABLE x"_s, u"1.23456"_s,
                               u"1000000000000"_s, u"=1+2"_s})
        EXPECT_FALSE(Amount::parse(bad).ok()) << bad.toStdString();

    SumRule rule{28, 4, 36, u"Obchodní marže"_s, {}};
    ASSERT_TRUE(SumRules::parseTerms(u"31-32+33"_s, rule.terms));
    EXPECT_EQ(rule.text(), u"36 = 31 - 32 + 33"_s);
    EXPECT_FALSE(SumRules::parseTerms(u"31*32"_s, rule.terms) || SumRules::parseTerms(u"31+"_s, rule.terms));
}

TEST_P(StatementEntryTest, SumRulesNameWhatFailsPairsSaveAndReloadExactlyAndAChangeReplacesTheLoadedPair)
{
    QHash<int, Amount> checked = stored(m_reference.ids.balance);
    const QHash<int, Amount> checkedIncome = stored(m_reference.ids.income);
    EXPECT_TRUE(m_rules.check(27, 4, checked).isEmpty());
    EXPECT_TRUE(m_rules.check(28, 4, checkedIncome).isEmpty());

    checked.insert(96, *checked.value(96).plus(amount(u"10,5"_s)));
    const QList<RuleFailure> failures = m_rules.check(27, 4, checked);
    ASSERT_EQ(failures.size(), 1);
    const QString message = failures.front().message();
    EXPECT_TRUE(message.startsWith(u"Nesouhlasí součtová kontrola pro: "_s)) << message.toStdString();
    EXPECT_TRUE(message.contains(u"(95 = 96 + 97 + 98 + 99 + 100 + 101 + 102): levá strana "_s + checked.value(95).text()
                                 + u", pravá strana "_s + checked.value(95).plus(amount(u"10.5"_s))->text()))
        << message.toStdString();

    // Negative amounts are numbers, a missing line is 0, and decimals compare as numbers.
    QHash<int, Amount> abbreviated = amounts({{202, u"10"_s}, {203, u"-5"_s}, {36, u"15.0"_s}, {41, u"15"_s}, {59, u"15"_s},
                                              {83, u"15"_s}, {90, u"15,00"_s}, {91, u"15"_s}});
    EXPECT_TRUE(m_rules.check(28, 2, abbreviated).isEmpty());
    abbreviated.insert(36, amount(u"5"_s));
    const auto broken = m_rules.check(28, 2, abbreviated);
    ASSERT_EQ(broken.size(), 2);
    EXPECT_TRUE(broken.front().rule.left == 36 && broken.front().right.text() == u"15"_s);

    // Full: the reference amounts with decimals and negatives; abbreviated: a few lines.
    QHash<int, Amount> balance = stored(m_reference.ids.balance);
    QHash<int, Amount> income = stored(m_reference.ids.income);
    income.insert(31, amount(u"-1234,5"_s));
    income.insert(32, amount(u"0.0001"_s));
    for (const bool full : {true, false}) {
        const int year = full ? 2001 : 2002;
        const StatementPair typed = full ? pair(year, true, balance, income)
                                         : pair(year, false, amounts({{92, u"100"_s}, {93, u"-7,25"_s}}), amounts({{202, u"12"_s}}));
        const SavedPair saved = m_store->save(typed);
        ASSERT_TRUE(saved.ok()) << saved.reason().toStdString();
        EXPECT_LT(saved.ids.income, saved.ids.balance);
        const PeriodPair found = m_store->findPair(shell::kReferenceEntity, year, 1).value;
        EXPECT_EQ(std::tuple(found.ids.balance, found.ids.income, found.form), std::tuple(saved.ids.balance, saved.ids.income, full ? 4 : 2));
        for (const auto &[id, lines] : {std::pair{saved.ids.balance, &typed.balance}, std::pair{saved.ids.income, &typed.income}}) {
            const QHash<int, Amount> reread = stored(id);
            EXPECT_EQ(reread.size(), lines->size());
            for (const auto &[code, value] : *lines)
                EXPECT_EQ(reread.value(code).text(), value.text()) << "line " << code;
        }
    }
    const auto listed = m_store->list(shell::kReferenceEntity).value;
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed.at(1).text() + u'|' + listed.at(2).text(), u"2001/1 * plný|2002/1 * zkrácený"_s);

    // An occupied period is refused, also when only its income statement is left.
    const StatementPair again = pair(2002, false, {}, {});
    EXPECT_EQ(m_store->save(again).refusal, u"Výkaz již existuje! Nebude vytvořen nový."_s);
    const PeriodPair taken = m_store->findPair(shell::kReferenceEntity, 2002, 1).value;
    ASSERT_TRUE(db().execute(u"UPDATE finl_stmt SET inac_ind = 2 WHERE finl_stmt_id = "_s + QString::number(taken.ids.balance)).ok);
    EXPECT_FALSE(m_store->save(again).ok());
    EXPECT_FALSE(m_store->save(pair(1992, false, {}, {})).ok());
    StatementPair foreign = pair(2003, false, {}, {});
    foreign.income.append({31, amount(u"1"_s)}); // a full line in an abbreviated statement
    EXPECT_FALSE(m_store->save(foreign).ok());

    // Replacing the period (as the import asks) takes the place of whatever is there.
    const SavedPair replaced = m_store->save(again, SaveOptions{std::nullopt, true});
    ASSERT_TRUE(replaced.ok()) << replaced.reason().toStdString();
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM finl_item WHERE inac_ind = 0 AND finl_stmt_id = "_s + QString::number(taken.ids.income)),
              u"0"_s);

    // A change replaces the loaded pair; a delete takes both.
    const SavedPair first = m_store->save(pair(2006, false, amounts({{92, u"5"_s}}), amounts({{90, u"3"_s}})));
    ASSERT_TRUE(first.ok()) << first.reason().toStdString();
    const QString before = activeStatements();

    const SavedPair changed = m_store->save(pair(2006, false, amounts({{92, u"6"_s}}), {}), SaveOptions{first.ids, false});
    ASSERT_TRUE(changed.ok()) << changed.reason().toStdString();
    EXPECT_EQ(stored(changed.ids.balance).value(92).text(), u"6"_s);
    EXPECT_TRUE(stored(first.ids.balance).isEmpty());
    EXPECT_EQ(statementsWithoutTheirPack(db()), u"0"_s);
    // The replaced pair is gone: replacing it again is refused rather than writing a second pair.
    EXPECT_FALSE(m_store->save(pair(2004, false, {}, {}), SaveOptions{first.ids, false}).ok());

    ASSERT_TRUE(m_store->remove(changed.ids).ok);
    EXPECT_TRUE(m_store->findPair(shell::kReferenceEntity, 2006, 1).value.ids.isEmpty());
    EXPECT_TRUE(stored(changed.ids.income).isEmpty());
    EXPECT_EQ(activeStatements(), QString::number(before.toInt() - 2));
}

VERNA_ALL_BACKENDS(StatementEntryTest);

// The evaluator on a real database: values, edge cases, checks before SQL, round trips.
#include "db/transaction.h"
#include "evaluator_fixture_test.h"
#include "indicators/evaluationcache.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::indicators;
using namespace verna::test;
using namespace verna::test::evaluator;

namespace {

const QString kMarker = QStringLiteral("(nothing built)");

class EvaluatorTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        QString error;
        ASSERT_TRUE(insertFixture(db(), &error)) << error.toStdString();
    }

    QString formula(const QString &text, const FixturePeriod &p = kAbbreviated)
    {
        return Evaluator(db()).formulaValue(text, p.entity, p.year, p.quarter);
    }
    QString indicator(int id, const FixturePeriod &p = kAbbreviated)
    {
        return Evaluator(db()).indicatorValue(id, p.entity, p.year, p.quarter);
    }
    QString count(const QString &table) { return db().singleValue(QStringLiteral("SELECT count(*) FROM ") + table); }
};

} // namespace

TEST_P(EvaluatorTest, ArithmeticFollowsTheReferenceSemantics)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {QStringLiteral("[36]"), QStringLiteral("8750")},
        {QStringLiteral("[0036]"), QStringLiteral("8750")},
        {QStringLiteral("[36]/[41]*100"), QStringLiteral("2.56402742777")},
        {QStringLiteral("-[120]"), QStringLiteral("200600.25")},
        {QStringLiteral("[119]+[120]"), QStringLiteral("200620.25")},
        {QStringLiteral("[36]/1000"), QStringLiteral("8.75")},
        {QStringLiteral("[182]*100"), QStringLiteral("12345678912")},
        // integer constants truncate toward zero; amounts divide as decimals
        {QStringLiteral("1/3"), QStringLiteral("0")},
        {QStringLiteral("7/2"), QStringLiteral("3")},
        {QStringLiteral("0-7/2"), QStringLiteral("-3")},
        {QStringLiteral("(1/3)*[36]"), QStringLiteral("0")},
        {QStringLiteral("[37]/2"), QStringLiteral("1.5")},
        // ^ binds tighter than * and /, left-associative; a unary minus binds tighter still
        {QStringLiteral("2*3^2"), QStringLiteral("18")},
        {QStringLiteral("2^3^2"), QStringLiteral("64")},
        {QStringLiteral("-2^2"), QStringLiteral("4")},
        {QStringLiteral("2^-1"), QStringLiteral("0.5")},
        {QStringLiteral("[37]^2/[37]"), QStringLiteral("3")},
        {QStringLiteral("0^0"), QStringLiteral("1")},
        {QStringLiteral("+5"), QStringLiteral("5")},
        {QStringLiteral("(((1)))"), QStringLiteral("1")},
        // binary noise looks the same on every backend
        {QStringLiteral("[153]+[170]-[171]"), QStringLiteral("0.0000000000000000555111512313")},
        // 64-bit constants, and where they end
        {QStringLiteral("2147483647+1"), QStringLiteral("2147483648")},
        {QStringLiteral("9223372036854775807"), QStringLiteral("9223372036854775807")},
        {QStringLiteral("[37]*9223372036854775807"), QStringLiteral("27670116110564327424")},
        {QStringLiteral("9223372036854775807+1"), QString()},
        {QStringLiteral("3037000500*3037000500"), QString()},
        {QStringLiteral("(0-9223372036854775807-1)/(0-1)"), QString()},
        {QStringLiteral("99999999999999999999"), QString()},
        // no value: division by zero, missing item, overflow, power without a real value
        {QStringLiteral("[36]/0"), QString()},
        {QStringLiteral("1/0"), QString()},
        {QStringLiteral("[36]/[142]"), QString()},
        {QStringLiteral("[142]"), QStringLiteral("0")},
        {QStringLiteral("[999]"), QString()},
        {QStringLiteral("[36]+[999]"), QString()},
        {QStringLiteral("10^308*10"), QString()},
        {QStringLiteral("2^1023*2"), QString()},
        {QStringLiteral("2^-1075"), QString()},
        {QStringLiteral("0^(0-1)"), QString()},
        {QStringLiteral("[90]^[153]"), QString()},
        // the server refuses these texts
        {QStringLiteral("[36]2"), QString()},
        {QStringLiteral("[36]]"), QString()},
        {QStringLiteral("]"), QString()},
        {QStringLiteral("[3a6]"), QString()},
        {QString(), QString()},
        {QStringLiteral("1--2"), QString()},
        {QStringLiteral("2(3)"), QString()},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(formula(text), expected) << text.toStdString();
}

TEST_P(EvaluatorTest, ComputedItemsExpandOnlyForFullIncomeStatements)
{
    // Abbreviated: the stored lines 205 and 213; full: indicators 20 ([49]) and 28 ([87]).
    EXPECT_EQ(formula(QStringLiteral("[205]")), QStringLiteral("9561"));
    EXPECT_EQ(formula(QStringLiteral("[213]")), QStringLiteral("-1250"));
    EXPECT_EQ(formula(QStringLiteral("[205]"), kFull), QStringLiteral("2500.5"));
    EXPECT_EQ(formula(QStringLiteral("[213]"), kFull), QStringLiteral("-300"));
    EXPECT_EQ(formula(QStringLiteral("[205]/[36]"), kFull), QStringLiteral("0.8335"));
    EXPECT_EQ(indicator(107, kFull), QStringLiteral("2200.5"));
    EXPECT_EQ(indicator(107), QStringLiteral("8311"));
    // Computed from items the statement does not hold: no value.
    EXPECT_EQ(formula(QStringLiteral("[211]"), kFull), QString());

    QString text = QStringLiteral("[205]/[36]+[213]");
    Evaluator evaluator(db());
    EXPECT_EQ(evaluator.rozvinVypocitanePolozky(text), QStringLiteral(" ([49]) /[36]+ ([87]) "));
    EXPECT_EQ(text, QStringLiteral(" ([49]) /[36]+ ([87]) "));
}

TEST_P(EvaluatorTest, ExpansionIsOnePassInTableOrder)
{
    ASSERT_TRUE(db().execute(QStringLiteral("UPDATE func_for SET func_for_val = '[213]+1' WHERE func_for_id = 17\r"
                                            "UPDATE func_for SET func_for_val = '[202]' WHERE func_for_id = 28"))
                    .ok);
    Evaluator evaluator(db());
    // 202 brings in [213], whose pair comes later: replaced. 213 brings in [202]: not again.
    QString a = QStringLiteral("[202]");
    EXPECT_EQ(evaluator.rozvinVypocitanePolozky(a), QStringLiteral(" ( ([202]) +1) "));
    QString b = QStringLiteral("[213]");
    EXPECT_EQ(evaluator.rozvinVypocitanePolozky(b), QStringLiteral(" ([202]) "));
}

TEST_P(EvaluatorTest, StatementsAndIndicatorsAsStored)
{
    EXPECT_EQ(indicator(100), QStringLiteral("2.56402742777"));
    EXPECT_EQ(indicator(103), QStringLiteral("401220.5")); // hidden, still evaluated
    EXPECT_EQ(indicator(-3), QStringLiteral("0.495609289111"));
    EXPECT_EQ(indicator(108), QStringLiteral("809550")); // padding is no part of the formula
    EXPECT_EQ(indicator(102), QString());                // deleted
    EXPECT_EQ(indicator(9999), QString());               // missing
    EXPECT_EQ(indicator(105), QString());                // a syntax error
    EXPECT_EQ(indicator(106), QString());                // empty
    // No income statement: nothing to expand, the balance sheet still answers.
    EXPECT_EQ(formula(QStringLiteral("[119]/[92]"), kNoIncome), QStringLiteral("0.4"));
    // Two rows for one reference, or only a deleted statement: no value.
    EXPECT_EQ(formula(QStringLiteral("[92]"), kTwoSheets), QString());
    EXPECT_EQ(formula(QStringLiteral("[119]"), kTwoSheets), QStringLiteral("3"));
    EXPECT_EQ(formula(QStringLiteral("[92]"), kDeleted), QString());
    EXPECT_EQ(formula(QStringLiteral("[119]"), kDeleted), QStringLiteral("12"));
}

TEST_P(EvaluatorTest, VariantCallTakesNumbersAsIndicators)
{
    Evaluator evaluator(db());
    const auto value = [&](const QVariant &subject) {
        return evaluator.getHodnotaFunkce(subject, kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter);
    };
    EXPECT_EQ(value(QStringLiteral("100")), QStringLiteral("2.56402742777"));
    EXPECT_EQ(value(100), QStringLiteral("2.56402742777"));
    EXPECT_EQ(value(qint16(100)), QStringLiteral("2.56402742777"));
    EXPECT_EQ(value(QStringLiteral("-3")), QStringLiteral("0.495609289111"));
    EXPECT_EQ(value(QStringLiteral("+100")), QStringLiteral("2.56402742777"));
    EXPECT_EQ(value(QStringLiteral("1.5")), QString());
    EXPECT_EQ(value(QStringLiteral("99999999999")), QString());
    EXPECT_EQ(value(QStringLiteral("[36]")), QStringLiteral("8750"));
    // The typed entry point: "100" as a formula is the constant.
    EXPECT_EQ(evaluator.formulaValue(QStringLiteral("100"), kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter),
              QStringLiteral("100"));
}

TEST_P(EvaluatorTest, SharedSqlTextHoldsTheStatementBuilt)
{
    Evaluator evaluator(db());
    evaluator.formulaValue(QStringLiteral("[36]"), kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter);
    EXPECT_EQ(db().sharedSql(),
              Evaluator::translate(QStringLiteral("[36]"), kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter));
    EXPECT_FALSE(evaluator.lastBackendSql().isEmpty());
    // A stored formula that fails the check: the formula query was the last text built.
    evaluator.indicatorValue(104, kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter);
    EXPECT_EQ(db().sharedSql(), QStringLiteral("SELECT func_for_val FROM func_for WHERE inac_ind IN (0, 1) AND func_for_id = 104"));
    EXPECT_TRUE(evaluator.lastBackendSql().isEmpty());
}

TEST_P(EvaluatorTest, InjectedTextRunsNoSql)
{
    const QString funcFor = count(QStringLiteral("func_for"));
    const QString items = count(QStringLiteral("finl_item"));
    const std::vector<std::array<QString, 4>> inputs = {
        {QStringLiteral("1);DROP TABLE func_for--"), QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4")},
        {QStringLiteral("[36] OR 1=1"), QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4")},
        {QStringLiteral("[36]; DELETE FROM finl_item"), QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4")},
        {QStringLiteral("[36]"), QStringLiteral("12 OR 1=1"), QStringLiteral("1999"), QStringLiteral("4")},
        {QStringLiteral("[36]"), QStringLiteral("12); DELETE FROM finl_item --"), QStringLiteral("1999"), QStringLiteral("4")},
        {QStringLiteral("[36]"), QStringLiteral("2147483648"), QStringLiteral("1999"), QStringLiteral("4")},
        {QStringLiteral("[36]"), QStringLiteral("12"), QStringLiteral("99"), QStringLiteral("4")},
        {QStringLiteral("[36]"), QStringLiteral("12"), QStringLiteral("1999 OR 1=1"), QStringLiteral("4")},
        {QStringLiteral("[36]"), QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("5")},
        {QStringLiteral("[36]"), QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4--")},
        {QStringLiteral("[36]"), QString(), QString(), QString()},
    };
    for (const auto &[text, entity, year, quarter] : inputs) {
        const bool validPeriod = entity == QLatin1String("12") && year == QLatin1String("1999") && quarter == QLatin1String("4");
        db().setSharedSql(kMarker);
        Evaluator evaluator(db());
        const int calls = countCalls(db(), [&] {
            EXPECT_EQ(evaluator.formulaValue(text, entity, year, quarter), QString());
            EXPECT_EQ(evaluator.getHodnotaFunkce(text, entity, year, quarter), QString());
            if (!validPeriod) {
                EXPECT_EQ(evaluator.indicatorValue(100, entity, year, quarter), QString());
            }
        });
        EXPECT_EQ(calls, 0) << text.toStdString() << " / " << entity.toStdString() << " / " << year.toStdString() << " / "
                            << quarter.toStdString();
        EXPECT_EQ(db().sharedSql(), kMarker);
    }
    // A stored formula and an expansion formula are checked the same way.
    ASSERT_TRUE(db().execute(QStringLiteral("UPDATE func_for SET func_for_val = '1);DROP TABLE func_for--' WHERE func_for_id = 20")).ok);
    EXPECT_EQ(indicator(104), QString());
    EXPECT_EQ(formula(QStringLiteral("[205]"), kFull), QString());
    EXPECT_EQ(formula(QStringLiteral("[213]"), kFull), QStringLiteral("-300"));
    QString text = QStringLiteral("[205]");
    EXPECT_EQ(Evaluator(db()).rozvinVypocitanePolozky(text), QStringLiteral(" () "));
    EXPECT_EQ(count(QStringLiteral("func_for")), funcFor);
    EXPECT_EQ(count(QStringLiteral("finl_item")), items);
}

TEST_P(EvaluatorTest, RoundTripsStayWithinTheProtocol)
{
    Evaluator plain(db());
    // Form, formula, evaluation.
    EXPECT_EQ(countCalls(db(), [&] { plain.indicatorValue(100, kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter); }), 3);
    EXPECT_EQ(countCalls(db(), [&] { plain.formulaValue(QStringLiteral("[92]"), kNoIncome.entity, kNoIncome.year, kNoIncome.quarter); }), 2);
    // A full statement: one more per computed item the formula references.
    EXPECT_EQ(countCalls(db(), [&] { plain.indicatorValue(107, kFull.entity, kFull.year, kFull.quarter); }), 5);

    EvaluationCache cache;
    Evaluator cached(db(), &cache);
    QString first;
    EXPECT_EQ(countCalls(db(), [&] { first = cached.indicatorValue(107, kFull.entity, kFull.year, kFull.quarter); }), 5);
    QString second;
    EXPECT_EQ(countCalls(db(), [&] { second = cached.indicatorValue(107, kFull.entity, kFull.year, kFull.quarter); }), 1);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, QStringLiteral("2200.5"));
}

TEST_P(EvaluatorTest, CachedAndColumnPathsGiveTheCellTexts)
{
    const QStringList formulas = {
        QStringLiteral("[36]/[41]*100"), QStringLiteral("[205]+[213]"), QStringLiteral("[92]"),    QStringLiteral("[119]/[92]"),
        QStringLiteral("[31]+[202]"),    QStringLiteral("7/2"),         QStringLiteral("[36]2"),   QStringLiteral("[999]"),
        QStringLiteral("2^-1"),          QStringLiteral("3037000500*3037000500+[92]"),
    };
    QList<Period> periods;
    for (const FixturePeriod &p : fixturePeriods())
        periods << Period{p.entity, p.year, p.quarter};
    periods << Period{QStringLiteral("12"), QStringLiteral("0999"), QStringLiteral("4")}
            << Period{QStringLiteral("12 OR 1=1"), QStringLiteral("1999"), QStringLiteral("4")}
            << Period{QStringLiteral("-0"), QStringLiteral("1999"), QStringLiteral("4")} << periods.front();

    EvaluationCache cache;
    Evaluator cached(db(), &cache);
    Evaluator plain(db());
    for (const QString &f : formulas) {
        QStringList cells;
        for (const Period &p : periods)
            cells << plain.formulaValue(f, p.entityId, p.year, p.quarter);
        QStringList cachedCells;
        for (const Period &p : periods)
            cachedCells << cached.formulaValue(f, p.entityId, p.year, p.quarter);
        EXPECT_EQ(cachedCells, cells) << f.toStdString();
        EXPECT_EQ(plain.formulaColumn(f, periods), cells) << f.toStdString();
    }
    for (int id : {100, 101, 102, 104, 107, -3, 9999}) {
        QStringList cells;
        for (const Period &p : periods)
            cells << plain.indicatorValue(id, p.entityId, p.year, p.quarter);
        EXPECT_EQ(plain.indicatorColumn(id, periods), cells) << id;
        EXPECT_EQ(cached.indicatorColumn(id, periods), cells) << id;
    }
}

TEST_P(EvaluatorTest, ColumnsSpanManyStatementsAndStopEarly)
{
    QList<Period> periods;
    for (int i = 0; i < 1100; ++i) {
        const FixturePeriod &p = fixturePeriods().at(i % fixturePeriods().size());
        periods << Period{p.entity, p.year, p.quarter};
    }
    Evaluator evaluator(db());
    const QStringList column = evaluator.indicatorColumn(107, periods);
    ASSERT_EQ(column.size(), periods.size());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(column.at(i + 600), evaluator.indicatorValue(107, periods[i].entityId, periods[i].year, periods[i].quarter));

    int asked = 0;
    const QStringList partial = evaluator.indicatorColumn(107, periods, [&asked] { return ++asked == 1; });
    EXPECT_EQ(partial.size(), 500);
    EXPECT_EQ(partial, column.mid(0, 500));
}

TEST_P(EvaluatorTest, FailedEvaluationLeavesTheCallersTransactionUsable)
{
    db::Transaction tx(db());
    ASSERT_TRUE(tx.isActive());
    EXPECT_EQ(formula(QStringLiteral("9223372036854775807+1")), QString());
    EXPECT_EQ(formula(QStringLiteral("2^1023*2")), QString());
    EXPECT_EQ(Evaluator(db()).formulaColumn(QStringLiteral("[92]*3037000500*3037000500+9223372036854775807*2"),
                                            {Period{kAbbreviated.entity, kAbbreviated.year, kAbbreviated.quarter}}),
              QStringList{QString()});
    EXPECT_EQ(formula(QStringLiteral("[36]")), QStringLiteral("8750"));
    ASSERT_TRUE(db().execute(QStringLiteral("UPDATE finl_item SET amt_val = 1 WHERE item_type_cd = 36 AND subj_id = 12")).ok);
    EXPECT_TRUE(tx.commit());
    EXPECT_EQ(formula(QStringLiteral("[36]")), QStringLiteral("1"));
}

TEST_P(EvaluatorTest, DeepestFormulasEvaluateAlike)
{
    // The longest run of operators, and one more.
    QString sum = QStringLiteral("[37]");
    for (int i = 1; i < Formula::kMaxHeight; ++i)
        sum += QStringLiteral("+[37]");
    EXPECT_EQ(formula(sum), QString::number(3 * Formula::kMaxHeight));
    EXPECT_EQ(formula(sum + QStringLiteral("+[37]")), QString());
    // The deepest nesting, and one more.
    QString nested = QStringLiteral("[37]");
    int expected = 3;
    for (int i = 0; i < Formula::kMaxNesting; ++i) {
        nested = QStringLiteral("[37]-(") + nested + QLatin1Char(')');
        expected = 3 - expected;
    }
    EXPECT_EQ(formula(nested), QString::number(expected));
    EXPECT_EQ(formula(QStringLiteral("[37]-(") + nested + QLatin1Char(')')), QString());
    QString mixed = QStringLiteral("[37]");
    for (int i = 1; i < 150; ++i)
        mixed = QStringLiteral("(") + mixed + QStringLiteral(")^1*(1+0)");
    EXPECT_EQ(formula(mixed), QStringLiteral("3"));
}

VERNA_ALL_BACKENDS(EvaluatorTest);

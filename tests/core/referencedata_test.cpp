#include "db/clssql_finl.h"
#include "indicators/evaluator.h"
#include "shell/appstate.h"
#include "shell/referencedata.h"
#include "support/testdatabase.h"

#include <QHash>
#include <algorithm>
#include <QRegularExpression>
#include <QSet>

using namespace verna;
using namespace verna::shell;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class ReferenceDataTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    QSet<int> listCodes(int list)
    {
        QSet<int> codes;
        for (const QStringList &row : db().queryRows(u"SELECT val_agn FROM cd_val WHERE inac_ind = 0 AND tbl_cd = %1"_s.arg(list)).rows)
            codes << row.front().toInt();
        return codes;
    }

    // Amounts of the reference entity's statement of a type, by item code.
    QHash<int, qint64> amounts(int statementType)
    {
        QHash<int, qint64> out;
        const auto rows = db().queryRows(u"SELECT i.item_type_cd, i.amt_val FROM finl_item i, finl_stmt s "
                                          "WHERE s.finl_stmt_id = i.finl_stmt_id AND s.subj_id = 3366 AND s.year_dt = 1996 "
                                          "AND s.quarter_dt = 4 AND s.stmt_type_cd = %1"_s.arg(statementType));
        for (const QStringList &row : rows.rows)
            out[row[0].toInt()] = row[1].toLongLong();
        return out;
    }
};

// A sum of item codes joined by + and -, as the sum rules and the simple indicators write it.
qint64 sumOf(const QString &expression, const QHash<int, qint64> &amounts, bool *missing)
{
    static const QRegularExpression term(u"([+-]?)\\[?(\\d+)\\]?"_s);
    qint64 total = 0;
    auto it = term.globalMatch(expression);
    while (it.hasNext()) {
        const auto m = it.next();
        const int code = m.captured(2).toInt();
        if (!amounts.contains(code))
            *missing = true;
        total += (m.captured(1) == QLatin1String("-") ? -1 : 1) * amounts.value(code);
    }
    return total;
}

std::vector<int> codesIn(const QString &formula)
{
    std::vector<int> codes;
    static const QRegularExpression ref(u"\\[(\\d+)\\]"_s);
    auto it = ref.globalMatch(formula);
    while (it.hasNext())
        codes.push_back(it.next().captured(1).toInt());
    return codes;
}

} // namespace

TEST_P(ReferenceDataTest, EveryCodeARuleOrIndicatorUsesExistsInItsList)
{
    const QSet<int> balance = listCodes(29);
    const QSet<int> income = listCodes(30);
    for (int code : ItemCodes::abbreviatedBalanceSheet())
        EXPECT_TRUE(balance.contains(code)) << code;
    for (int code : ItemCodes::abbreviatedIncomeStatement())
        EXPECT_TRUE(income.contains(code)) << code;
    EXPECT_TRUE((balance & income).isEmpty());

    const auto rules = db().queryRows(u"SELECT ctrl_type_cd, l_side, r_side FROM ctrl WHERE inac_ind = 0"_s);
    ASSERT_GE(rules.rows.size(), 20);
    for (const QStringList &rule : rules.rows) {
        const QSet<int> &list = rule[0] == QLatin1String("27") ? balance : income;
        EXPECT_TRUE(list.contains(rule[1].toInt())) << rule.join(QLatin1Char(' ')).toStdString();
        for (const QString &code : rule[2].split(QRegularExpression(u"[+-]"_s), Qt::SkipEmptyParts))
            EXPECT_TRUE(list.contains(code.toInt())) << rule.join(QLatin1Char(' ')).toStdString();
    }
    const auto formulas = db().queryRows(u"SELECT func_for_id, func_for_val FROM func_for WHERE inac_ind IN (0, 1)"_s);
    ASSERT_GE(formulas.rows.size(), 12 + 15);
    static const QRegularExpression alphabet(u"^[0-9.\\[\\]+\\-*/^()]+$"_s);
    for (const QStringList &f : formulas.rows) {
        EXPECT_TRUE(alphabet.match(f[1]).hasMatch()) << f[1].toStdString();
        for (int code : codesIn(f[1]))
            EXPECT_TRUE(balance.contains(code) || income.contains(code) || code == indicators::Evaluator::kDaysElapsedItem)
                << f[0].toStdString() << ": " << code;
    }
    // Every indicator a group lists exists, and every list a branch list names has entries.
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM func_mem m WHERE NOT EXISTS "
                                "(SELECT 1 FROM func_for f WHERE f.func_for_id = m.func_mem_for AND f.inac_ind = 0)"_s),
              u"0"_s);
    EXPECT_GE(listCodes(217).size(), 60);
    EXPECT_TRUE(listCodes(1).contains(215));
}

TEST_P(ReferenceDataTest, EverySumRuleHoldsOnTheReferenceStatements)
{
    const QHash<int, qint64> balance = amounts(27);
    QHash<int, qint64> income = amounts(28);
    ASSERT_FALSE(balance.isEmpty());
    ASSERT_FALSE(income.isEmpty());
    // The abbreviated lines a full statement does not store come from indicators 17..28.
    QHash<int, qint64> abbreviatedIncome = income;
    for (int i = 0; i < ItemCodes::computedItems().size(); ++i) {
        const QString formula = db().singleValue(
            u"SELECT func_for_val FROM func_for WHERE func_for_id = %1"_s.arg(ItemCodes::computedItemFormulas().at(i)));
        bool missing = false;
        abbreviatedIncome[ItemCodes::computedItems().at(i)] = sumOf(formula, income, &missing);
        EXPECT_FALSE(missing) << formula.toStdString();
    }
    const auto rules = db().queryRows(u"SELECT ctrl_type_cd, fill_lvl_ind, l_side, r_side FROM ctrl WHERE inac_ind = 0"_s);
    for (const QStringList &rule : rules.rows) {
        const bool isBalance = rule[0] == QLatin1String("27");
        const QHash<int, qint64> &values = isBalance ? balance : (rule[1] == QLatin1String("4") ? income : abbreviatedIncome);
        bool missing = false;
        EXPECT_EQ(values.value(rule[2].toInt()), sumOf(rule[3], values, &missing)) << rule.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(missing) << rule.join(QLatin1Char(' ')).toStdString();
    }
}

TEST_P(ReferenceDataTest, ScoringModelsFollowTheirDefinitionsAndTurnoverIsYearlyInEveryQuarter)
{
    const QHash<int, qint64> balance = amounts(27);
    const QHash<int, qint64> income = amounts(28);
    const auto v = [&](int code) { return static_cast<double>(balance.contains(code) ? balance.value(code) : income.value(code)); };
    // The models by hand from the full lines: EBIT with the extraordinary result after tax (213 = [87]).
    const double ebit = v(59) + v(77) + v(87) + v(72);
    const double shortTerm = v(182) + v(192) - v(193);
    const double revenue = v(31) + v(37) + v(49) + v(56) + v(58) + v(71) + v(60) + v(62) + v(66) + v(68) + v(73) + v(75);
    const double in05 = 0.13 * v(92) / v(170) + 0.04 * std::clamp(ebit / v(72), -9.0, 9.0) + 3.97 * ebit / v(92)
        + 0.21 * revenue / v(92) + 0.09 * v(119) / shortTerm;
    const double zPrime = 0.717 * (v(119) - shortTerm) / v(92) + 0.847 * (v(166) + v(169)) / v(92) + 3.107 * ebit / v(92)
        + 0.42 * v(153) / v(170) + 0.998 * (v(31) + v(37)) / v(92);
    EXPECT_NEAR(in05, 1.13, 0.005);
    EXPECT_NEAR(zPrime, 2.21, 0.005);

    indicators::Evaluator evaluator(db());
    const indicators::Period q4{1996, 4, 3366};
    EXPECT_NEAR(evaluator.indicatorValue(37, q4).value.toDouble(), in05, 1e-9);
    EXPECT_NEAR(evaluator.indicatorValue(38, q4).value.toDouble(), zPrime, 1e-9);

    // The same business in the first quarter: the same balance sheet, a quarter of the year's flows.
    for (int type : {1, 2}) {
        db::clsSQL_finl finl;
        finl.setSubjid(3366);
        finl.setRok(1996);
        finl.setCtvrtleti(1);
        finl.setPlna(true);
        finl.setTyp_vykazu(type);
        ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_stmt()).ok);
        const QString statement = db().singleValue(finl.getSQL_finl_stmt_id());
        const QHash<int, qint64> &lines = type == 1 ? balance : income;
        for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
            const QString amount = QString::number(type == 1 ? it.value() : it.value() / 4.0, 'f', 2);
            ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_item(statement, QString::number(it.key()), amount)).ok);
        }
    }
    const indicators::Period q1{1996, 1, 3366};
    for (int indicator : {14, 15, 16, 29, 35, 36, 37, 38}) {
        const double inQ4 = evaluator.indicatorValue(indicator, q4).value.toDouble();
        EXPECT_NEAR(evaluator.indicatorValue(indicator, q1).value.toDouble(), inQ4, 1e-6 * std::max(1.0, std::abs(inQ4))) << indicator;
    }
    // A whole column computes the same, each quarter with its own days.
    const QStringList column = evaluator.indicatorColumn(15, {q1, q4}).value;
    ASSERT_EQ(column.size(), 2);
    EXPECT_EQ(column[0], evaluator.indicatorValue(15, q1).value);
    EXPECT_EQ(column[1], evaluator.indicatorValue(15, q4).value);
}

VERNA_ALL_BACKENDS(ReferenceDataTest);

#include "shell/appstate.h"
#include "shell/referencedata.h"
#include "support/testdatabase.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

using namespace verna;
using namespace verna::shell;
using namespace verna::test;

namespace {

class ReferenceDataTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    QSet<int> listCodes(int list)
    {
        QSet<int> codes;
        for (const QStringList &row : db().queryRows(QStringLiteral("SELECT val_agn FROM cd_val WHERE inac_ind = 0 AND tbl_cd = %1").arg(list)).rows)
            codes << row.front().toInt();
        return codes;
    }

    // Amounts of the reference entity's statement of a type, by item code.
    QHash<int, qint64> amounts(int statementType)
    {
        QHash<int, qint64> out;
        const auto rows = db().queryRows(QStringLiteral("SELECT i.item_type_cd, i.amt_val FROM finl_item i, finl_stmt s "
                                                        "WHERE s.finl_stmt_id = i.finl_stmt_id AND s.subj_id = 3366 AND s.year_dt = 1996 "
                                                        "AND s.quarter_dt = 4 AND s.stmt_type_cd = %1")
                                             .arg(statementType));
        for (const QStringList &row : rows.rows)
            out[row[0].toInt()] = row[1].toLongLong();
        return out;
    }
};

// A sum of item codes joined by + and -, as the sum rules and the simple indicators write it.
qint64 sumOf(const QString &expression, const QHash<int, qint64> &amounts, bool *missing)
{
    static const QRegularExpression term(QStringLiteral("([+-]?)\\[?(\\d+)\\]?"));
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
    static const QRegularExpression ref(QStringLiteral("\\[(\\d+)\\]"));
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

    const auto rules = db().queryRows(QStringLiteral("SELECT ctrl_type_cd, l_side, r_side FROM ctrl WHERE inac_ind = 0"));
    ASSERT_GE(rules.rows.size(), 20);
    for (const QStringList &rule : rules.rows) {
        const QSet<int> &list = rule[0] == QLatin1String("27") ? balance : income;
        EXPECT_TRUE(list.contains(rule[1].toInt())) << rule.join(QLatin1Char(' ')).toStdString();
        for (const QString &code : rule[2].split(QRegularExpression(QStringLiteral("[+-]")), Qt::SkipEmptyParts))
            EXPECT_TRUE(list.contains(code.toInt())) << rule.join(QLatin1Char(' ')).toStdString();
    }
    const auto formulas = db().queryRows(QStringLiteral("SELECT func_for_id, func_for_val FROM func_for WHERE inac_ind IN (0, 1)"));
    ASSERT_GE(formulas.rows.size(), 12 + 15);
    static const QRegularExpression alphabet(QStringLiteral("^[0-9\\[\\]+\\-*/^()]+$"));
    for (const QStringList &f : formulas.rows) {
        EXPECT_TRUE(alphabet.match(f[1]).hasMatch()) << f[1].toStdString();
        for (int code : codesIn(f[1]))
            EXPECT_TRUE(balance.contains(code) || income.contains(code)) << f[0].toStdString() << ": " << code;
    }
    // Every indicator a group lists exists, and every list a branch list names has entries.
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(*) FROM func_mem m WHERE NOT EXISTS "
                                              "(SELECT 1 FROM func_for f WHERE f.func_for_id = m.func_mem_for AND f.inac_ind = 0)")),
              QStringLiteral("0"));
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
            QStringLiteral("SELECT func_for_val FROM func_for WHERE func_for_id = %1").arg(ItemCodes::computedItemFormulas().at(i)));
        bool missing = false;
        abbreviatedIncome[ItemCodes::computedItems().at(i)] = sumOf(formula, income, &missing);
        EXPECT_FALSE(missing) << formula.toStdString();
    }
    const auto rules = db().queryRows(QStringLiteral("SELECT ctrl_type_cd, fill_lvl_ind, l_side, r_side FROM ctrl WHERE inac_ind = 0"));
    for (const QStringList &rule : rules.rows) {
        const bool isBalance = rule[0] == QLatin1String("27");
        const QHash<int, qint64> &values = isBalance ? balance : (rule[1] == QLatin1String("4") ? income : abbreviatedIncome);
        bool missing = false;
        EXPECT_EQ(values.value(rule[2].toInt()), sumOf(rule[3], values, &missing)) << rule.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(missing) << rule.join(QLatin1Char(' ')).toStdString();
    }
}

VERNA_ALL_BACKENDS(ReferenceDataTest);

#include "db/clssql_finl.h"
#include "db/schema.h"
#include "db/sqlquote.h"
#include "indicators/evaluator.h"
#include "indicators/indicatorstore.h"
#include "shell/appstate.h"
#include "shell/referencedata.h"
#include "support/testdatabase.h"

#include <QFile>
#include <QHash>
#include <cmath>
#include <algorithm>
#include <QRegularExpression>
#include <QSet>

using namespace verna;
using namespace verna::shell;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class ReferenceDataTest : public ReferenceTest
{
protected:
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

// A statement's lines and what the indicators share, worked out by hand: the textbook
// quantities on a full statement, their nearest equivalents on an abbreviated one.
struct Worked {
    QHash<int, double> lines;
    bool full = true;
    double year = 1; // 360 / days elapsed

    double v(int code) const { return lines.value(code); }
    double ebt() const { return full ? v(91) : v(59) + v(77) + v(213); }
    double interest() const { return full ? v(72) : v(210); }
    double ebit() const { return ebt() + interest(); }
    double sales() const { return full ? v(31) + v(38) : v(202) + v(37); }
    double revenues() const
    {
        return full ? v(31) + v(37) + v(49) + v(56) + v(60) + v(62) + v(66) + v(68) + v(71) + v(73) + v(84)
                    : v(202) + v(37) + v(205) + v(207) + v(209) + v(211);
    }
    double shortTerm() const { return v(182) + v(192) - v(193); }

    // Every shipped indicator, flows set against stocks made yearly.
    double indicator(int id) const
    {
        const double cover = interest() == 0 ? (ebit() > 0 ? 9 : ebit() < 0 ? -9 : 0) : std::clamp(ebit() / interest(), -9.0, 9.0);
        switch (id) {
        case 1: return v(119) / shortTerm();
        case 2: return (v(119) - v(120)) / shortTerm();
        case 3: return v(142) / shortTerm();
        case 4: return v(119) - shortTerm();
        case 5: return v(170) / v(92) * 100;
        case 6: return v(153) / v(92) * 100;
        case 7: return v(170) / v(153) * 100;
        case 8: return ebit() / interest();
        case 9: return v(153) / v(94) * 100;
        case 10: return ebit() * year / v(92) * 100;
        case 11: return v(90) * year / v(153) * 100;
        case 12: return v(90) / sales() * 100;
        case 13: return ebit() * year / (v(153) + v(171) + v(175) + v(193)) * 100;
        case 14: return sales() * year / v(92);
        case 15: return v(120) / (sales() * year) * 360;
        case 16: return v(133) / (sales() * year) * 360;
        case 29: return v(182) / (sales() * year) * 360;
        case 30: return v(36) / v(41) * 100;
        case 31: return v(41) / sales() * 100;
        case 32: return v(42) / v(41) * 100;
        case 33: return ebit() + v(48);
        case 34: return v(59) / sales() * 100;
        case 35: return sales() * year / v(120);
        case 36: return (v(170) - v(171) - v(142)) / ((v(90) + v(48)) * year);
        case 37:
            return 0.13 * v(92) / v(170) + 0.04 * cover + 3.97 * ebit() * year / v(92) + 0.21 * revenues() * year / v(92)
                + 0.09 * v(119) / shortTerm();
        case 38:
            return 0.717 * (v(119) - shortTerm()) / v(92) + 0.847 * (v(166) + v(169)) / v(92) + 3.107 * ebit() * year / v(92)
                + 0.42 * v(153) / v(170) + 0.998 * sales() * year / v(92);
        }
        return std::nan("");
    }
};

const QList<int> kShipped = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38};

} // namespace

TEST_P(ReferenceDataTest, CodesRulesIndicatorsAndTheirDocumentationHoldAndTheSecondSchemaIsUpgraded)
{
    const QSet<int> sheetCodes = listCodes(29);
    const QSet<int> incomeCodes = listCodes(30);
    for (int code : ItemCodes::abbreviatedBalanceSheet())
        EXPECT_TRUE(sheetCodes.contains(code)) << code;
    for (int code : ItemCodes::abbreviatedIncomeStatement())
        EXPECT_TRUE(incomeCodes.contains(code)) << code;
    EXPECT_TRUE((sheetCodes & incomeCodes).isEmpty());

    const auto ruleRows = db().queryRows(u"SELECT ctrl_type_cd, l_side, r_side FROM ctrl WHERE inac_ind = 0"_s);
    ASSERT_GE(ruleRows.rows.size(), 20);
    for (const QStringList &rule : ruleRows.rows) {
        const QSet<int> &list = rule[0] == QLatin1String("27") ? sheetCodes : incomeCodes;
        EXPECT_TRUE(list.contains(rule[1].toInt())) << rule.join(QLatin1Char(' ')).toStdString();
        for (const QString &code : rule[2].split(QRegularExpression(u"[+-]"_s), Qt::SkipEmptyParts))
            EXPECT_TRUE(list.contains(code.toInt())) << rule.join(QLatin1Char(' ')).toStdString();
    }
    const auto formulaRows = db().queryRows(u"SELECT func_for_id, func_for_val FROM func_for WHERE inac_ind IN (0, 1)"_s);
    ASSERT_GE(formulaRows.rows.size(), 12 + 15);
    static const QRegularExpression alphabet(u"^[0-9.\\[\\]+\\-*/^()]+$"_s);
    for (const QStringList &f : formulaRows.rows) {
        EXPECT_TRUE(alphabet.match(f[1]).hasMatch()) << f[1].toStdString();
        static const QRegularExpression reference(u"\\[(\\d+)\\]"_s);
        for (const QRegularExpressionMatch &m : reference.globalMatch(f[1])) {
            const int code = m.captured(1).toInt();
            EXPECT_TRUE(sheetCodes.contains(code) || incomeCodes.contains(code) || code == indicators::Evaluator::kDaysElapsedItem
                        || (code >= 220 && code <= 225))
                << f[0].toStdString() << ": " << code;
        }
    }
    // Every indicator a group lists exists, and every list a branch list names has entries.
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM func_mem m WHERE NOT EXISTS "
                                "(SELECT 1 FROM func_for f WHERE f.func_for_id = m.func_mem_for AND f.inac_ind = 0)"_s),
              u"0"_s);
    EXPECT_GE(listCodes(217).size(), 60);
    EXPECT_TRUE(listCodes(1).contains(215));

    // The list of shippedRows indicators in the documentation is the database's: ids, names,
    // formulaRows, units and directions, each indicator with its own section.
    QFile file(QStringLiteral(VERNA_DOCS_DIR "/ukazatele.md"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QHash<QString, QStringList> documented;
    static const QRegularExpression row(u"^\\| (\\d+) \\| ([^|]+) \\| `([^|`]+)` \\| ([^|]+) \\| ([^|]+) \\|$"_s, QRegularExpression::MultilineOption);
    for (auto it = row.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        documented.insert(m.captured(1), {m.captured(2), m.captured(3), m.captured(4), m.captured(5)});
    }
    indicators::IndicatorStore store(db());
    const Result<QHash<qint32, indicators::IndicatorUnit>> units = store.units();
    ASSERT_TRUE(units.ok()) << units.error.toStdString();
    const auto shippedRows = db().queryRows(u"SELECT func_for_id, func_for_name, func_for_val FROM func_for WHERE inac_ind = 0"_s);
    ASSERT_EQ(shippedRows.rows.size(), documented.size());
    for (const QStringList &f : shippedRows.rows) {
        const indicators::IndicatorUnit unit = units.value.value(f[0].toInt());
        EXPECT_EQ(documented.value(f[0]), (QStringList{f[1], f[2], unit.unit, unit.describe()})) << f[0].toStdString();
        EXPECT_TRUE(text.contains(u"\n### "_s + f[0] + u" "_s + f[1] + u"\n"_s)) << f[0].toStdString();
    }

    // Every sum rule holds on the reference statements.
    const QHash<int, qint64> sheetAmounts = amounts(27);
    QHash<int, qint64> incomeAmounts = amounts(28);
    ASSERT_FALSE(sheetAmounts.isEmpty());
    ASSERT_FALSE(incomeAmounts.isEmpty());
    // The abbreviated lines a full statement does not store come from indicators 17..28.
    QHash<int, qint64> abbreviatedIncome = incomeAmounts;
    for (int i = 0; i < ItemCodes::computedItems().size(); ++i) {
        const QString formula = db().singleValue(
            u"SELECT func_for_val FROM func_for WHERE func_for_id = %1"_s.arg(ItemCodes::computedItemFormulas().at(i)));
        bool missing = false;
        abbreviatedIncome[ItemCodes::computedItems().at(i)] = sumOf(formula, incomeAmounts, &missing);
        EXPECT_FALSE(missing) << formula.toStdString();
    }
    const auto rules = db().queryRows(u"SELECT ctrl_type_cd, fill_lvl_ind, l_side, r_side FROM ctrl WHERE inac_ind = 0"_s);
    for (const QStringList &rule : rules.rows) {
        const bool isBalance = rule[0] == QLatin1String("27");
        const QHash<int, qint64> &values = isBalance ? sheetAmounts : (rule[1] == QLatin1String("4") ? incomeAmounts : abbreviatedIncome);
        bool missing = false;
        EXPECT_EQ(values.value(rule[2].toInt()), sumOf(rule[3], values, &missing)) << rule.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(missing) << rule.join(QLatin1Char(' ')).toStdString();
    }

    // Every shipped indicator gives what its definition gives by hand: on the reference company's full year-end
    // statements, on the same business in a first quarter (flows a quarter of the year's), and on that quarter
    // entered as abbreviated statements.
    const QHash<int, qint64> balance = amounts(27);
    const QHash<int, qint64> income = amounts(28);
    Worked yearEnd;
    for (const QHash<int, qint64> *lines : {&balance, &income}) {
        for (auto it = lines->cbegin(); it != lines->cend(); ++it)
            yearEnd.lines.insert(it.key(), static_cast<double>(it.value()));
    }
    EXPECT_NEAR(yearEnd.indicator(37), 1.13, 0.005);
    EXPECT_NEAR(yearEnd.indicator(38), 2.20, 0.005);

    // The abbreviated quarter: its balance sheet lines, and a quarter of the income lines with
    // 202..213 from the full lines as indicators 17..28 compute them.
    Worked quarter{yearEnd.lines, true, 4};
    Worked abbreviated{{}, false, 4};
    for (int code : ItemCodes::abbreviatedBalanceSheet())
        abbreviated.lines.insert(code, yearEnd.v(code));
    for (int i = 0; i < ItemCodes::computedItems().size(); ++i) {
        const QString formula = db().singleValue(
            u"SELECT func_for_val FROM func_for WHERE func_for_id = %1"_s.arg(ItemCodes::computedItemFormulas().at(i)));
        bool missing = false;
        yearEnd.lines.insert(ItemCodes::computedItems().at(i), static_cast<double>(sumOf(formula, income, &missing)));
    }
    for (int code : ItemCodes::abbreviatedIncomeStatement())
        abbreviated.lines.insert(code, yearEnd.v(code) / 4);
    for (auto it = income.cbegin(); it != income.cend(); ++it)
        quarter.lines[it.key()] = static_cast<double>(it.value()) / 4;

    const auto enter = [&](int year, bool full, const QHash<int, double> &lines) {
        for (int type : {1, 2}) {
            db::clsSQL_finl finl;
            finl.setSubjid(3366);
            finl.setRok(static_cast<qint16>(year));
            finl.setCtvrtleti(1);
            finl.setPlna(full);
            finl.setTyp_vykazu(static_cast<qint16>(type));
            ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_stmt()).ok);
            const QString statement = db().singleValue(finl.getSQL_finl_stmt_id());
            const QSet<int> sheet = listCodes(29);
            for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
                if (sheet.contains(it.key()) == (type == 1)) {
                    const QString amount = QString::number(it.value(), 'f', 2);
                    ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_item(statement, QString::number(it.key()), amount)).ok);
                }
            }
        }
    };
    QHash<int, double> fullQuarter = quarter.lines;
    for (int code : ItemCodes::computedItems())
        fullQuarter.remove(code);
    enter(1996, true, fullQuarter);
    enter(1997, false, abbreviated.lines);

    indicators::Evaluator evaluator(db());
    const struct {
        indicators::Period period;
        const Worked &worked;
    } cases[] = {{{1996, 4, 3366}, yearEnd}, {{1996, 1, 3366}, quarter}, {{1997, 1, 3366}, abbreviated}};
    for (const auto &c : cases) {
        for (int id : kShipped) {
            const double expected = c.worked.indicator(id);
            EXPECT_NEAR(evaluator.indicatorValue(id, c.period).value.toDouble(), expected, 1e-9 * std::max(1.0, std::abs(expected)))
                << id << " " << c.period.toString().toStdString();
        }
    }
    // An even business reads the same in its first quarter as at the year's end: every ratio,
    // ROA among them; only EBITDA, an amount for the months so far, is a quarter of the year's.
    for (int id : kShipped) {
        const double inQ4 = evaluator.indicatorValue(id, cases[0].period).value.toDouble();
        const double inQ1 = evaluator.indicatorValue(id, cases[1].period).value.toDouble();
        EXPECT_NEAR(inQ1, id == 33 ? inQ4 / 4 : inQ4, 1e-9 * std::max(1.0, std::abs(inQ4))) << id;
    }
    // A whole column computes the same, each period with its own form and days.
    QList<indicators::Period> periods;
    for (const auto &c : cases)
        periods << c.period;
    const Result<QList<QStringList>> columns = evaluator.indicatorColumns(kShipped, periods);
    ASSERT_TRUE(columns.ok()) << columns.error.toStdString();
    for (int i = 0; i < kShipped.size(); ++i) {
        for (int p = 0; p < periods.size(); ++p)
            EXPECT_EQ(columns.value.at(i).at(p), evaluator.indicatorValue(kShipped.at(i), periods.at(p)).value) << kShipped.at(i);
    }

    // IN05 has a value whenever its lines are there: with no interest costs its interest cover is 9 at a profit,
    // -9 at a loss and 0 at an EBIT of nothing.
    const indicators::Period q4{1996, 4, 3366};
    for (const double ebit : {0.0, 250.0, -250.0}) {
        // Interest costs 0 and profit before tax set so that EBIT is as wanted.
        ASSERT_TRUE(db().execute(u"UPDATE finl_item SET amt_val = 0 WHERE item_type_cd = 72"_s).ok);
        ASSERT_TRUE(db().execute(u"UPDATE finl_item SET amt_val = %1 WHERE item_type_cd = 91"_s.arg(ebit)).ok);
        const QString in05 = evaluator.indicatorValue(37, q4).value;
        ASSERT_FALSE(in05.isEmpty()) << ebit;
        const QString withoutCover =
            evaluator.formulaValue(u"0.13*[92]/[170]+3.97*[220]*360/[219]/[92]+0.21*[223]*360/[219]/[92]+0.09*[119]/[224]"_s, q4).value;
        EXPECT_NEAR(in05.toDouble() - withoutCover.toDouble(), 0.04 * (ebit > 0 ? 9 : ebit < 0 ? -9 : 0), 1e-9) << ebit;
    }

    // A database of the second schema gets the shipped indicators' new formulas under their ids; each old
    // formula stays as a hidden indicator, and a formula the user changed is left alone.
    const DataTable before = readReferenceTable(u"func_for_v2"_s);
    const DataTable shipped = readReferenceTable(u"func_for"_s);
    ASSERT_GE(before.rows.size(), 10);
    const QString usersOwn = u"[90]/[92]*100"_s;
    // Back to what the second schema shipped, with one shipped formula edited by its user.
    QStringList downgrade = {u"DROP TABLE func_unit"_s, u"UPDATE schema_ver SET ver_nbr = 2"_s};
    for (int r = 0; r < before.rows.size(); ++r) {
        downgrade << u"UPDATE func_for SET func_for_val = %1, func_for_txt = %2 WHERE func_for_id = %3"_s.arg(
            db::quoted(before.value(r, u"func_for_val"_s)), db::quoted(before.value(r, u"func_for_txt"_s)), before.value(r, u"func_for_id"_s));
    }
    downgrade << u"UPDATE func_for SET func_for_val = '%1' WHERE func_for_id = 10"_s.arg(usersOwn);
    const bool server = db().backend() == db::Backend::PostgreSQL;
    if (server)
        downgrade << u"DROP INDEX ix_name_order"_s << u"DROP INDEX ix_name_start"_s;
    for (const QString &sql : downgrade)
        ASSERT_TRUE(db().executeNative(sql).ok) << sql.toStdString();
    const auto ids = [&](const QString &where) {
        QStringList out;
        for (const QStringList &row : db().queryRows(u"SELECT func_for_id FROM func_for WHERE "_s + where + u" ORDER BY 1"_s).rows)
            out << row.front();
        return out;
    };
    const QStringList shippedIds = ids(u"func_for_id < 100"_s);

    const Outcome upgraded = db::Schema::upgrade(db(), shell::upgradeReferenceData);
    ASSERT_TRUE(upgraded.ok) << upgraded.error.toStdString();
    EXPECT_EQ(db::Schema::version(db()).value, db::Schema::kVersion);
    if (server) {
        EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema() AND indexname IN ('ix_name_order', 'ix_name_start')"_s), u"2"_s);
    }
    const auto formula = [&](int id) { return db().singleValue(u"SELECT func_for_val FROM func_for WHERE func_for_id = %1"_s.arg(id)); };
    // The shipped ids are all there; the kept old formulas are the only new ones, all hidden.
    EXPECT_EQ(ids(u"func_for_id < 100"_s), shippedIds);
    EXPECT_EQ(ids(u"func_for_id > 100 AND inac_ind = 1"_s).size(), before.rows.size() - 1);
    for (int r = 0; r < shipped.rows.size(); ++r) {
        if (shipped.value(r, u"func_for_id"_s) == u"11"_s) {
            EXPECT_EQ(formula(11), shipped.value(r, u"func_for_val"_s));
        }
    }
    EXPECT_EQ(db().singleValue(u"SELECT func_for_name FROM func_for WHERE func_for_id = 111 AND inac_ind = 1"_s),
              u"Rentabilita vlastního kapitálu (ROE) – původní vzorec"_s);
    EXPECT_EQ(formula(111), u"[90]/[153]*100"_s);
    EXPECT_EQ(formula(10), usersOwn);
    EXPECT_EQ(formula(110), u""_s);
    EXPECT_EQ(indicators::IndicatorStore(db()).unit(111).value.unit, u"%"_s);
    // The old formula still explains an earlier result.
    EXPECT_FALSE(indicators::Evaluator(db()).indicatorValue(111, {1996, 4, 3366}).value.isEmpty());
}

VERNA_ALL_BACKENDS(ReferenceDataTest);

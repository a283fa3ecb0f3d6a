// The formula evaluator: its T-SQL texts and formula check, and its values on every backend.
#include "evaluator_test.h"

#include "db/sqlquote.h"
#include "db/statementpack.h"
#include "db/transaction.h"
#include "indicators/emptyvalue.h"
#include "indicators/evaluationcache.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "indicators/formulasql.h"
#include "support/testdatabase.h"

#include <QRegularExpression>
#include <array>
#include <functional>

using namespace verna;
using namespace verna::indicators;
using namespace verna::test;
using namespace verna::test::evaluator;

Outcome verna::test::evaluator::insertFixture(db::Database &db)
{
    QStringList batch;
    int row = 1;
    for (const Period &p : kPeriods)
        batch << QStringLiteral("INSERT INTO subj VALUES (%1, getdate(), 0, %2, 1, null, 0, null, 0, null)").arg(row++).arg(p.entity);
    // A statement (type 27 balance sheet, 28 income statement) with its items "code:amount".
    const auto statement = [&](int id, const Period &p, int type, int fill, const QString &items, int inac = 0) {
        batch << QStringLiteral("INSERT INTO finl_stmt VALUES (%1, getdate(), %2, %3, %4, %5, null, 0, null, 0, 0, null, "
                                "'uživatel', 1, %6, %7, %8)")
                     .arg(row++).arg(inac).arg(id).arg(p.entity).arg(type).arg(fill).arg(p.year).arg(p.quarter);
        for (const QString &item : items.split(' ', Qt::SkipEmptyParts))
            batch << QStringLiteral("INSERT INTO finl_item VALUES (%1, getdate(), 0, %2, %3, %4, %5)")
                         .arg(row++).arg(id).arg(p.entity).arg(item.section(':', 0, 0), item.section(':', 1));
    };
    QString sheet;
    QString income;
    for (const auto &[code, amount] : kAbbreviatedItems)
        (code < 92 || code >= 202 ? income : sheet) += QStringLiteral(" %1:%2").arg(code).arg(amount);
    statement(1, kAbbreviated, 27, 2, sheet);
    statement(2, kAbbreviated, 28, 2, income);
    statement(3, kFull, 27, 4, "92:5000 119:-1500.75");
    // 205 is stored although a full statement computes it: it must not be read.
    statement(4, kFull, 28, 4, "31:1000 32:400 36:3000 37:12 40:250 41:0 47:1 49:2500.5 52:-2 55:3 56:4 57:5 58:6 60:7 61:8 "
                               "71:9 72:0.25 87:-300 90:-77.7 205:77 38:20 91:50");
    statement(5, kNoIncome, 27, 2, "92:100 119:40");
    statement(6, kTwoSheets, 27, 2, "92:1");
    statement(7, kTwoSheets, 27, 2, "92:2 119:3");
    statement(8, kDeleted, 27, 2, "92:11", 2);
    statement(9, kDeleted, 27, 2, "119:12");
    statement(10, kTwoForms, 28, 4, "31:5");
    statement(11, kTwoForms, 28, 2, "202:6 36:7");

    // Indicators 17..28 compute items 202..213 as the reference data does; 102 is deleted, 103
    // hidden from lists but still evaluated.
    const std::tuple<int, int, QString> indicators[] = {
        {17, 1, "[31]"}, {18, 1, "[32]"}, {19, 1, "[40]"}, {20, 1, "[49]"}, {21, 1, "[52]"}, {22, 1, "[56]+[58]"},
        {23, 1, "[47]+[55]+[57]"}, {24, 1, "[71]"}, {25, 1, "[72]"}, {26, 1, "[60]+[62]+[66]+[68]+[73]+[75]"},
        {27, 1, "[61]+[67]+[69]+[70]+[74]+[76]"}, {28, 1, "[87]"}, {100, 0, "[36]/[41]*100"}, {101, 0, "[92]"}, {102, 2, "[92]"},
        {103, 1, "[119]"}, {104, 0, "[92]; DELETE FROM func_for"}, {105, 0, "[36]2"}, {106, 0, ""}, {107, 0, "[205]+[213]"},
        {108, 0, "  [92]  "}, {-3, 0, "[119]/[92]"},
    };
    for (const auto &[id, inac, formula] : indicators)
        batch << QStringLiteral("INSERT INTO func_for VALUES (%1, getdate(), %2, %3, 'ukazatel %2', %4, 'popis')")
                     .arg(row++).arg(id).arg(inac).arg(db::quoted(formula));
    return db.execute(batch.join(QLatin1Char('\r')));
}

namespace {

// The subquery the T-SQL text puts in place of "[code]", for entity 12 in 1999 Q4.
QString item(const QString &code)
{
    return QStringLiteral(" (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = 12 AND s.year_dt = 1999 "
                          "AND s.quarter_dt = 4 AND s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = %1")
        .arg(code);
}

QString tsql(const QString &formula)
{
    return Evaluator::translate(formula, kAbbreviated);
}

// Number of database calls made while running f (the idle hook fires after each one).
int countCalls(db::Database &db, const std::function<void()> &f)
{
    int calls = 0;
    db.setIdleHook([&calls] { ++calls; });
    f();
    db.setIdleHook({});
    return calls;
}

class EvaluatorTest : public BackendTest
{
protected:
    void prepare() override
    {
        const Outcome written = insertFixture(db());
        ASSERT_TRUE(written.ok) << written.error.toStdString();
    }

    // A value where no read may fail.
    static QString checked(const Result<QString> &r)
    {
        EXPECT_TRUE(r.ok()) << r.error.toStdString();
        return r.value;
    }
    QString formula(const QString &text, const Period &p = kAbbreviated) { return checked(Evaluator(db()).formulaValue(text, p)); }
    QString indicator(int id, const Period &p = kAbbreviated) { return checked(Evaluator(db()).indicatorValue(id, p)); }
    QString count(const QString &table) { return db().singleValue("SELECT count(*) FROM " + table); }
    void execute(const QString &sql) { ASSERT_TRUE(db().execute(sql).ok) << sql.toStdString(); }

    ToolRun eval(const QStringList &arguments) { return vernaDb(QStringList{"eval"} + arguments); }
};

const QStringList kCliPeriod = {"--entity", "12", "--year", "1999", "--quarter", "4"};

} // namespace

TEST(EvaluatorSql, TextsAreTheApplicationsOnlyCheckedFormulasPassAndEmittedStatementsCarryOnlyCheckedText)
{
    EXPECT_EQ(tsql("[36]/[41]*100").toStdString(),
              "SELECT ( (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = 12 AND s.year_dt = 1999 AND "
              "s.quarter_dt = 4 AND s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = 36) / (SELECT "
              "i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = 12 AND s.year_dt = 1999 AND s.quarter_dt = 4 AND "
              "s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = 41) *100 )");
    const std::pair<const char *, QString> cases[] = {
        // A lone reference ends with two blanks: ") " after it and the closing " )".
        {"[36]", "SELECT (" + item("36") + ")  )"},
        // Digits after "]" are a constant with no operator before it.
        {"[36]2", "SELECT (" + item("36") + ") 2 )"},
        // A second "]" repeats the last reference; a "]" before any "[" has an empty code.
        {"[36]]", "SELECT (" + item("36") + ") " + item("36") + ")  )"},
        {"]", "SELECT (" + item("") + ")  )"},
        // A non-digit inside brackets lands before the subquery; the reference reads item 36.
        {"[3a6]", "SELECT (a" + item("36") + ")  )"},
        {"", "SELECT ( )"},
        // An expanded computed item keeps the blanks it was spliced with.
        {" ([49]) /[36]", "SELECT ( (" + item("49") + ") ) /" + item("36") + ")  )"},
    };
    for (const auto &[formula, expected] : cases)
        EXPECT_EQ(tsql(formula), expected) << formula;
    EXPECT_EQ(Evaluator::translate("[92]", Period{2000, 1, -5}),
              "SELECT ( (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = -5 AND s.year_dt = 2000 AND "
              "s.quarter_dt = 1 AND s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = 92)  )");
    EXPECT_EQ(FormulaSql::formQuery(kAbbreviated), "SELECT fill_lvl_ind FROM finl_stmt WHERE subj_id = 12 AND inac_ind = 0 AND "
                                                   "year_dt = 1999 AND quarter_dt = 4 AND stmt_type_cd = 28");
    EXPECT_EQ(FormulaSql::formulaQuery("20"), "SELECT func_for_val FROM func_for WHERE inac_ind IN (0, 1) AND func_for_id = 20");

    // Only the formula alphabet within its bounds passes the check.
    using E = Formula::Error;
    const QString chain = "1" + QString("+1").repeated(Formula::kMaxHeight - 1);
    // Groups on the right and minus signs nest; a run of operators along the left is flat.
    const auto nested = [](const QString &before, int levels) {
        QString text = "[1]";
        for (int i = 0; i < levels; ++i)
            text = before + "(" + text + ")";
        return text;
    };
    const auto parens = [](int n) { return QString(n, '(') + "1" + QString(n, ')'); };
    const std::pair<QString, E> checks[] = {
        {"[36]/[41]*100", E::None}, {"-(+[0036])^2", E::None},  {"", E::Empty},           {"[3a6]", E::Character},
        {"[36] OR 1=1", E::Character}, {"1);DROP TABLE func_for--", E::Character},         {"[36]+'x'", E::Character},
        {"1.5 * [36] ", E::None},   {"1.", E::Character},       {".5", E::Character},     {"1.2.3", E::Character},
        {"0.1234567890123456", E::ConstantOverflow},    {"[36]]", E::Bracket},    {"]", E::Bracket},
        {"[]", E::Bracket},         {"[36", E::Bracket},        {"[3+6]", E::Bracket},    {"1--2", E::Comment},
        {"1+/**/2", E::Comment},    {"[36]2", E::Syntax},       {"2(3)", E::Syntax},      {"()", E::Syntax},
        {"1+", E::Syntax},          {"(1", E::Syntax},          {"1)", E::Syntax},        {"*2", E::Syntax},
        {"99999999999999999999", E::ConstantOverflow},
        {chain, E::None},           {"(" + chain + ")*[1]", E::TooDeep},
        // Parentheses that group nothing cost nothing, up to a point.
        {parens(Formula::kMaxHeight), E::None}, {parens(100000), E::TooDeep},
        {QString(100000, '-').replace("--", "-+") + "1", E::TooDeep},
        {nested("[1]-", Formula::kMaxNesting), E::None}, {nested("[1]-", Formula::kMaxNesting + 1), E::TooDeep},
        {nested("-", Formula::kMaxNesting + 1), E::TooDeep},
    };
    for (const auto &[text, error] : checks)
        EXPECT_EQ(Formula::parse(text).error(), error) << text.left(60).toStdString();
    EXPECT_EQ(Formula::parse(nested("[1]-", Formula::kMaxNesting)).nesting(), Formula::kMaxNesting);
    EXPECT_EQ(Formula::parse("([59]+[77]+[210])/([153]+[171]+[175]+[193])*100").nesting(), 2);
    // Blanks may stand between tokens, as expanding computed items puts them.
    EXPECT_TRUE(Formula::parseExpanded(" ([31]) + ([56]+[58]) ").isValid());
    EXPECT_FALSE(Formula::parseExpanded("1 2").isValid());
    EXPECT_FALSE(Formula::parseExpanded(" () ").isValid());
    EXPECT_EQ(Formula::parse("[36]+[041]*[36]").itemCodes(), (QStringList{"36", "41"}));

    // Emitted statements carry only checked text.
    const Formula f = Formula::parse("-[36]/(7-2)^[41]");
    ASSERT_TRUE(f.isValid());
    const Period p{1999, 4, -12};
    for (auto backend : {db::Backend::SQLite, db::Backend::PostgreSQL}) {
        const QString cell = FormulaSql::cellStatement(f, backend, p);
        QString sql = cell;
        // The only literals are runs of operators for verna_calc.
        static const QRegularExpression literal("'([^']*)'");
        for (auto it = literal.globalMatch(sql); it.hasNext();) {
            const QString ops = it.next().captured(1);
            EXPECT_FALSE(ops.isEmpty());
            for (QChar c : ops)
                EXPECT_TRUE(QStringLiteral("+-*/^").contains(c)) << sql.toStdString();
        }
        sql.remove(literal);
        EXPECT_FALSE(sql.contains("--") || sql.contains(';') || sql.contains('\'')) << sql.toStdString();
        EXPECT_EQ(sql.count('('), sql.count(')'));
        EXPECT_TRUE(cell.contains("s.subj_id = -12 AND s.year_dt = 1999 AND s.quarter_dt = 4"));
    }
}

TEST_P(EvaluatorTest, ArithmeticStoredIndicatorsAndColumnsFollowTheReferenceSemanticsAndFailuresLeaveTheTransaction)
{
    // No value is no error: each one is ok() with "".
    const std::pair<const char *, const char *> arithmetic[] = {
        {"[36]", "8750"}, {"[0036]", "8750"}, {"[36]/[41]*100", "2.56402742777"}, {"-[120]", "200600.25"},
        {"[119]+[120]", "200620.25"}, {"[36]/1000", "8.75"}, {"[182]*100", "12345678912"},
        // integer constants truncate toward zero; amounts divide as decimals
        {"1/3", "0"}, {"7/2", "3"}, {"0-7/2", "-3"}, {"(1/3)*[36]", "0"}, {"[37]/2", "1.5"},
        // ^ binds tighter than * and /, left-associative; a unary minus binds tighter still
        {"2*3^2", "18"}, {"2^3^2", "64"}, {"-2^2", "4"}, {"2^-1", "0.5"}, {"[37]^2/[37]", "3"}, {"0^0", "1"},
        {"+5", "5"}, {"(((1)))", "1"},
        // binary noise looks the same on every backend
        {"[153]+[170]-[171]", "0.0000000000000000555111512313"},
        // 64-bit constants, and where they end
        {"2147483647+1", "2147483648"}, {"9223372036854775807", "9223372036854775807"},
        {"[37]*9223372036854775807", "27670116110564327424"}, {"9223372036854775807+1", ""},
        {"3037000500*3037000500", ""}, {"(0-9223372036854775807-1)/(0-1)", ""}, {"99999999999999999999", ""},
        // division by zero, a missing item, an overflow, a power without a real value
        {"[36]/0", ""}, {"1/0", ""}, {"[36]/[142]", ""}, {"[142]", "0"}, {"[999]", ""}, {"[36]+[999]", ""},
        {"10^308*10", ""}, {"2^1023*2", ""}, {"2^-1075", ""}, {"0^(0-1)", ""}, {"[90]^[153]", ""},
        // texts the server refuses
        {"[36]2", ""}, {"[36]]", ""}, {"]", ""}, {"[3a6]", ""}, {"", ""}, {"1--2", ""}, {"2(3)", ""},
    };
    for (const auto &[text, expected] : arithmetic)
        EXPECT_EQ(formula(text), expected) << text;

    // indicator 0: the formula; else the stored indicator.
    const struct {
        int indicator;
        const char *formula;
        Period period;
        const char *expected;
    } cases[] = {
        {100, "", kAbbreviated, "2.56402742777"}, {103, "", kAbbreviated, "401220.5"}, // hidden, still evaluated
        {-3, "", kAbbreviated, "0.495609289111"}, {108, "", kAbbreviated, "809550"},    // padding is no part of it
        {102, "", kAbbreviated, ""},  {9999, "", kAbbreviated, ""},                     // deleted, missing
        {105, "", kAbbreviated, ""},  {106, "", kAbbreviated, ""},                      // a syntax error, empty
        // Abbreviated: the stored lines 205 and 213; full: indicators 20 ([49]) and 28 ([87]).
        {0, "[205]", kAbbreviated, "9561"}, {0, "[213]", kAbbreviated, "-1250"}, {107, "", kAbbreviated, "8311"},
        {0, "[205]", kFull, "2500.5"}, {0, "[213]", kFull, "-300"}, {0, "[205]/[36]", kFull, "0.8335"},
        {107, "", kFull, "2200.5"},
        {0, "[211]", kFull, ""}, // computed from items the statement does not hold
        // Derived lines by the form: EBIT is profit before tax + interest on a full statement, the
        // operating + financial + extraordinary result + interest on an abbreviated one.
        {0, "[220]", kFull, "50.25"}, {0, "[222]*360/[219]", kFull, "1020"}, {0, "[225]/[220]", kFull, "0.995024875622"},
        {0, "[220]", kAbbreviated, "1233295.39"}, {0, "[221]-[220]", kAbbreviated, "0.5"}, {0, "[222]", kAbbreviated, ""},
        // Leading zeros name the same lines.
        {0, "[0222]*360/[00219]", kFull, "1020"}, {0, "[0205]", kFull, "2500.5"},
        // No income statement: nothing to expand, the balance sheet still answers.
        {0, "[119]/[92]", kNoIncome, "0.4"},
        // Two rows for one reference, or only a deleted statement: no value.
        {0, "[92]", kTwoSheets, ""}, {0, "[119]", kTwoSheets, "3"}, {0, "[92]", kDeleted, ""}, {0, "[119]", kDeleted, "12"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.indicator ? indicator(c.indicator, c.period) : formula(c.formula, c.period), c.expected)
            << c.indicator << " " << c.formula << " " << c.period.toString().toStdString();
    }

    Evaluator evaluator(db());
    QString text = "[205]/[36]+[213]";
    EXPECT_EQ(evaluator.rozvinVypocitanePolozky(text), " ([49]) /[36]+ ([87]) ");
    EXPECT_EQ(text, " ([49]) /[36]+ ([87]) ");
    // One pass in table order: 202 brings in [213], whose pair comes later: replaced. 213 brings
    // in [202]: not again.
    execute("UPDATE func_for SET func_for_val = '[213]+1' WHERE func_for_id = 17\r"
            "UPDATE func_for SET func_for_val = '[202]' WHERE func_for_id = 28");
    QString a = "[202]";
    EXPECT_EQ(evaluator.rozvinVypocitanePolozky(a), " ( ([202]) +1) ");
    QString b = "[213]";
    EXPECT_EQ(evaluator.rozvinVypocitanePolozky(b), " ([202]) ");

    // Columns span many statements and stop early. Blocks are computed while the next is read:
    // a whole block of invalid periods between them keeps its place.
    QList<Period> periods;
    // More periods than one statement of either backend takes.
    for (int i = 0; i < 11000; ++i)
        periods << (i >= 5000 && i < 10000 ? Period{1999, 5, 12} : kPeriods.at(i % kPeriods.size()));
    Evaluator spanning(db());
    const QStringList column = spanning.indicatorColumn(107, periods).value;
    ASSERT_EQ(column.size(), periods.size());
    for (int i = 0; i < kPeriods.size(); ++i) {
        EXPECT_EQ(column.at(i + 600), checked(spanning.indicatorValue(107, kPeriods.at(i))));
        EXPECT_EQ(column.at(i + 10200), column.at(i + 600));
    }
    EXPECT_EQ(column.mid(5000, 5000), QStringList(5000));

    int asked = 0;
    const Result<QStringList> partial = spanning.indicatorColumn(107, periods, [&asked] { return ++asked == 1; });
    EXPECT_TRUE(partial.ok());
    EXPECT_FALSE(partial.value.isEmpty());
    EXPECT_LT(partial.value.size(), column.size());
    EXPECT_EQ(partial.value, column.mid(0, partial.value.size()));

    // A failed evaluation leaves the caller's transaction usable.
    db::Transaction tx(db());
    ASSERT_TRUE(tx.isActive());
    EXPECT_EQ(formula("9223372036854775807+1"), "");
    EXPECT_EQ(formula("2^1023*2"), "");
    const Result<QStringList> failed = Evaluator(db()).formulaColumn("[92]*3037000500*3037000500+9223372036854775807*2", {kAbbreviated});
    EXPECT_TRUE(failed.ok()) << failed.error.toStdString();
    EXPECT_EQ(failed.value, QStringList{""});
    EXPECT_EQ(formula("[36]"), "8750");
    execute("UPDATE finl_item SET amt_val = 1 WHERE item_type_cd = 36 AND subj_id = 12");
    EXPECT_TRUE(tx.commit());
    EXPECT_EQ(formula("[36]"), "1");
}

TEST_P(EvaluatorTest, VariantCallsRoundTripsDeepFormulasAndWhyNoValue)
{
    Evaluator evaluator(db());
    const auto value = [&](const QVariant &subject) { return evaluator.getHodnotaFunkce(subject, "12", "1999", "4"); };
    for (const QVariant &subject : {QVariant("100"), QVariant(100), QVariant(qint16(100)), QVariant("+100"), QVariant(100.0)})
        EXPECT_EQ(value(subject), "2.56402742777") << subject.toString().toStdString();
    EXPECT_EQ(value("-3"), "0.495609289111");
    EXPECT_EQ(value("1.5"), "");
    EXPECT_EQ(value(1.5), "");
    EXPECT_EQ(value("99999999999"), "");
    EXPECT_EQ(value("[36]"), "8750");
    // The typed entry point: "100" as a formula is the constant.
    EXPECT_EQ(checked(evaluator.formulaValue("100", kAbbreviated)), "100");

    // Round trips stay within the protocol and leave their SQL.
    Evaluator plain(db());
    ASSERT_TRUE(plain.formulaValue("[36]", kAbbreviated).ok());
    EXPECT_EQ(db().sharedSql(), Evaluator::translate("[36]", kAbbreviated));
    EXPECT_FALSE(plain.lastBackendSql().isEmpty());
    // A stored formula that fails the check: the formula query was the last text built.
    ASSERT_TRUE(plain.indicatorValue(104, kAbbreviated).ok());
    EXPECT_EQ(db().sharedSql(), "SELECT func_for_val FROM func_for WHERE inac_ind IN (0, 1) AND func_for_id = 104");
    EXPECT_TRUE(plain.lastBackendSql().isEmpty());

    // Form, formula, evaluation.
    EXPECT_EQ(countCalls(db(), [&] { EXPECT_TRUE(plain.indicatorValue(100, kAbbreviated).ok()); }), 3);
    EXPECT_EQ(countCalls(db(), [&] { EXPECT_TRUE(plain.formulaValue("[92]", kNoIncome).ok()); }), 2);
    // A full statement: one more per computed item the formula references.
    EXPECT_EQ(countCalls(db(), [&] { EXPECT_TRUE(plain.indicatorValue(107, kFull).ok()); }), 5);

    EvaluationCache cache;
    Evaluator cached(db(), &cache);
    QString first;
    EXPECT_EQ(countCalls(db(), [&] { first = checked(cached.indicatorValue(107, kFull)); }), 5);
    QString second;
    EXPECT_EQ(countCalls(db(), [&] { second = checked(cached.indicatorValue(107, kFull)); }), 1);
    EXPECT_EQ(first, "2200.5");
    EXPECT_EQ(second, first);

    // The deepest formulas evaluate alike.
    // The longest run of operators, and one more.
    const QString sum = "[37]" + QString("+[37]").repeated(Formula::kMaxHeight - 1);
    EXPECT_EQ(formula(sum), QString::number(3 * Formula::kMaxHeight));
    EXPECT_EQ(formula(sum + "+[37]"), "");
    // The deepest nesting, and one more.
    QString nested = "[37]";
    int expected = 3;
    for (int i = 0; i < Formula::kMaxNesting; ++i) {
        nested = "[37]-(" + nested + ")";
        expected = 3 - expected;
    }
    EXPECT_EQ(formula(nested), QString::number(expected));
    EXPECT_EQ(formula("[37]-(" + nested + ")"), "");
    QString mixed = "[37]";
    for (int i = 1; i < 150; ++i)
        mixed = "(" + mixed + ")^1*(1+0)";
    EXPECT_EQ(formula(mixed), "3");

    // Why there is no value names the reason.
    const struct {
        std::optional<int> indicator;
        const char *formula;
        Period period; // written as the texts typed
        const char *reason;
    } cases[] = {
        {{}, "[36]", kAbbreviated, ""},
        {{}, "[36]2", kAbbreviated, "Vzorec není syntakticky správný."},
        {{}, "[36]+'x'", kAbbreviated, "Vzorec obsahuje nepovolený znak (povoleny jsou odkazy [kód], čísla, + - * / ^ a závorky)."},
        {105, "", kAbbreviated, "Vzorec není syntakticky správný."},
        {9999, "", kAbbreviated, "Ukazatel 9999 neexistuje."},
        {{}, "[36]", Period{1999, 4, 77}, "Subjekt 77 neexistuje."},
        {{}, "[36]", Period{999, 4, 12}, "Rok \"999\" není čtyřmístný rok."},
        {{}, "[36]", Period{1999, 5, 12}, "Čtvrtletí \"5\" není 1 až 4."},
        {100, "", Period{2005, 4, 12}, "Subjekt 12 nemá za období 2005/4 žádný výkaz."},
        {{}, "[36]+[999]+[998]", kAbbreviated, "Ve výkazech období chybí položky: [999], [998]."},
        {{}, "[92]", kTwoSheets, "Položky jsou ve výkazech období vícekrát: [92]."},
        // A full statement: the formulas of the computed items are what misses items.
        {{}, "[211]", kFull, "Ve výkazech období chybí položky: [62], [66], [68], [73], [75]."},
        {{}, "[36]/[142]", kAbbreviated, "Dělení nulou."},
        {100, "", kFull, "Dělení nulou."},
        {{}, "10^308*10", kAbbreviated, "Přetečení: výsledek je mimo rozsah čísel."},
        {{}, "9223372036854775807+1", kAbbreviated, "Přetečení: výsledek je mimo rozsah čísel."},
        {{}, "2^-1075", kAbbreviated, "Podtečení: výsledek je blíže nule, než lze zobrazit."},
        {{}, "0^(0-1)", kAbbreviated, "Mocnina nemá reálnou hodnotu (nula na záporný exponent nebo záporné číslo na neceločíselný)."},
    };
    for (const auto &c : cases) {
        const Result<QString> why = whyNoValue(db(), c.indicator, c.formula, c.period.entityText(), c.period.yearText(),
                                               c.period.quarterText());
        EXPECT_TRUE(why.ok()) << why.error.toStdString();
        EXPECT_EQ(why.value, c.reason) << c.formula << " " << c.period.toString().toStdString();
    }
    EXPECT_EQ(whyNoValue(db(), {}, "[36]", "12 OR 1=1", "1999", "4").value, "Subjekt \"12 OR 1=1\" není celé číslo.");
}

TEST_P(EvaluatorTest, AFailedReadIsAnErrorInjectedTextRunsNoSqlAndTheCommandLinePrintsTheValueOrWhy)
{
    // A failed read is an error, not no value.
    for (const QString table : {"finl_item", "func_for"}) {
        execute("ALTER TABLE " + table + " RENAME TO gone");
        Evaluator evaluator(db());
        // func_for is read for an indicator and for the computed items of a full statement.
        const Result<QString> results[] = {evaluator.indicatorValue(100, kAbbreviated), evaluator.formulaValue("[205]", kFull)};
        for (const Result<QString> &r : results) {
            EXPECT_FALSE(r.ok()) << table.toStdString();
            EXPECT_TRUE(r.error.contains(table)) << r.error.toStdString();
        }
        for (const Result<QStringList> &r : {evaluator.indicatorColumn(100, kPeriods), evaluator.formulaColumn("[205]", kPeriods)}) {
            EXPECT_FALSE(r.ok()) << table.toStdString();
            EXPECT_TRUE(r.error.contains(table)) << r.error.toStdString();
        }
        EXPECT_EQ(evaluator.getHodnotaFunkce(100, "12", "1999", "4"), "");
        EXPECT_EQ(evaluator.formulaValue("[36]", kAbbreviated).ok(), table != "finl_item");
        execute("ALTER TABLE gone RENAME TO " + table);
        EXPECT_EQ(indicator(100), "2.56402742777");
    }

    // Injected text runs no SQL.
    const QString funcFor = count("func_for");
    const QString items = count("finl_item");
    const QString marker = "(nothing built)";
    const std::array<const char *, 4> inputs[] = {
        {"1);DROP TABLE func_for--", "12", "1999", "4"}, {"[36] OR 1=1", "12", "1999", "4"},
        {"[36]; DELETE FROM finl_item", "12", "1999", "4"}, {"[36]", "12 OR 1=1", "1999", "4"},
        {"[36]", "12); DELETE FROM finl_item --", "1999", "4"}, {"[36]", "2147483648", "1999", "4"},
        {"[36]", "12", "99", "4"}, {"[36]", "12", "0999", "4"}, {"[36]", "12", "1999 OR 1=1", "4"},
        {"[36]", "12", "1999", "5"}, {"[36]", "12", "1999", "4--"}, {"[36]", "", "", ""},
    };
    for (const auto &[text, entity, year, quarter] : inputs) {
        const std::optional<Period> period = Period::fromTexts(entity, year, quarter);
        EXPECT_EQ(period.has_value(), QString(text) != "[36]") << entity << "/" << year << "/" << quarter;
        db().setSharedSql(marker);
        Evaluator evaluator(db());
        const int calls = countCalls(db(), [&] {
            EXPECT_EQ(evaluator.getHodnotaFunkce(text, entity, year, quarter), "");
            if (period)
                EXPECT_EQ(checked(evaluator.formulaValue(text, *period)), "");
            else
                EXPECT_EQ(evaluator.getHodnotaFunkce(100, entity, year, quarter), "");
        });
        EXPECT_EQ(calls, 0) << text << " / " << entity << " / " << year << " / " << quarter;
        EXPECT_EQ(db().sharedSql(), marker);
    }
    // Typed periods out of range, and row keys, are checked the same way.
    for (const Period &p : {Period{999, 4, 12}, Period{1999, 0, 12}, Period{1999, 5, 12}, Period{10000, 4, 12}}) {
        Evaluator evaluator(db());
        EXPECT_EQ(countCalls(db(), [&] { EXPECT_EQ(checked(evaluator.indicatorValue(100, p)), ""); }), 0);
    }
    EXPECT_EQ(Period::parse("1999_4_12"), kAbbreviated);
    EXPECT_EQ(kFull.toString(), "1999_4_-5");
    for (const char *key : {"1999_4_12 OR 1=1", "1999_5_12", "999_4_12", "1999_4_", "1999-4-12"})
        EXPECT_FALSE(Period::parse(key).has_value()) << key;

    // A stored formula and an expansion formula are checked the same way.
    execute("UPDATE func_for SET func_for_val = '1);DROP TABLE func_for--' WHERE func_for_id = 20");
    EXPECT_EQ(indicator(104), "");
    EXPECT_EQ(formula("[205]", kFull), "");
    EXPECT_EQ(formula("[213]", kFull), "-300");
    QString text = "[205]";
    EXPECT_EQ(Evaluator(db()).rozvinVypocitanePolozky(text), " () ");
    EXPECT_EQ(count("func_for"), funcFor);
    EXPECT_EQ(count("finl_item"), items);

    // The command line prints the value or why there is none.
    const ToolRun value = eval(kCliPeriod + QStringList{"--indicator", "100"});
    EXPECT_EQ(value.exitCode, 0) << value.err.toStdString();
    EXPECT_EQ(value.out, "2.56402742777\n");
    EXPECT_EQ(value.err, "");

    const ToolRun sql = eval(kCliPeriod + QStringList{"--formula", "[36]", "--sql"});
    const QStringList lines = sql.out.split('\n');
    ASSERT_GE(lines.size(), 3) << sql.err.toStdString();
    EXPECT_EQ(lines[0], "8750");
    EXPECT_EQ(lines[1], "T-SQL: " + tsql("[36]"));
    EXPECT_TRUE(lines[2].startsWith("Provedeno: ") && lines[2].contains("i.item_type_cd = 36")) << lines[2].toStdString();

    // No value: an empty line, the reason on stderr, and nothing run for injected text.
    const std::pair<QStringList, const char *> empty[] = {
        {kCliPeriod + QStringList{"--formula", "[36]/0"}, "Žádná hodnota: Dělení nulou.\n"},
        {QStringList{"--entity", "12 OR 1=1", "--year", "1999", "--quarter", "4", "--indicator", "100"},
         "Žádná hodnota: Subjekt \"12 OR 1=1\" není celé číslo.\n"},
    };
    for (const auto &[arguments, reason] : empty) {
        const ToolRun r = eval(arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, "\n");
        EXPECT_TRUE(r.err.startsWith(reason)) << r.err.toStdString();
    }
    // A formula that cannot be read is a usage error that names what is wrong and runs nothing.
    for (const char *unreadable : {"1);DROP TABLE func_for--", "[36]/("}) {
        const ToolRun r = eval(kCliPeriod + QStringList{"--formula", unreadable});
        EXPECT_EQ(r.exitCode, 2) << unreadable;
        EXPECT_TRUE(r.err.startsWith("Vzorec nelze přečíst: Vzorec")) << r.err.toStdString();
    }
    EXPECT_EQ(count("func_for"), "22");

    // Usage errors exit with 2, a database that cannot be opened with 1.
    const QStringList f = {"--formula", "[36]"};
    for (const QStringList &usage : {f, kCliPeriod, kCliPeriod + f + QStringList{"--indicator", "100"},
                                     kCliPeriod + QStringList{"--indicator", "1OO"}, kCliPeriod + f + QStringList{"--verbose"},
                                     kCliPeriod + QStringList{"--formula"}})
        EXPECT_EQ(eval(usage).exitCode, 2) << usage.join(' ').toStdString();
    const ToolRun lost = runVernaDb(QStringList{"--db", "odbc:verna-no-such-source", "eval"} + kCliPeriod + f,
                                    testDatabase().childEnvironment());
    EXPECT_EQ(lost.exitCode, 1);
}

TEST_P(EvaluatorTest, PackedStatementsGiveTheirItemsValuesAndAnyWriteOfAnItemIsSeen)
{
    const bool sqlite = GetParam() == TestBackend::SQLite;
    // Amounts a pack keeps otherwise than whole numbers, and (SQLite) ones that are no number.
    execute("UPDATE finl_item SET amt_val = 1e300 WHERE item_type_cd = 37 AND subj_id = 12\r"
            "UPDATE finl_item SET amt_val = 9007199254740993 WHERE item_type_cd = 42 AND subj_id = 12\r"
            "UPDATE finl_item SET amt_val = -0.125 WHERE item_type_cd = 43 AND subj_id = 12\r"
            "UPDATE finl_item SET amt_val = NULL WHERE item_type_cd = 48 AND subj_id = 12");
    if (sqlite) {
        execute("UPDATE finl_item SET item_type_cd = 210.5 WHERE item_type_cd = 210 AND subj_id = 12\r"
                "UPDATE finl_item SET amt_val = '7 Kč' WHERE item_type_cd = 119 AND subj_id = 40");
    } else {
        // A statement whose every item lacks a code has nothing to pack.
        execute("UPDATE finl_item SET item_type_cd = NULL WHERE finl_stmt_id = (SELECT min(finl_stmt_id) FROM finl_stmt WHERE subj_id = 40)");
    }
    QStringList formulas;
    for (const auto &[code, amount] : kAbbreviatedItems)
        formulas << QStringLiteral("[%1]").arg(code);
    formulas << "[36]/[41]*100" << "[205]/[36]+[213]" << "[220]" << "[222]*360/[219]" << "[119]/[92]";
    const auto columns = [&] {
        QList<QStringList> out;
        for (const QString &f : formulas)
            out << Evaluator(db()).formulaColumn(f, kPeriods).value;
        return out;
    };
    EXPECT_EQ(count("finl_pack"), "0"); // the fixture's rows were written as plain SQL
    const QList<QStringList> fromItems = columns();
    ASSERT_TRUE(db::pack::missing(db()).ok);
    // Not those with a text amount or code, or with no code at all.
    EXPECT_EQ(count("finl_pack"), QString::number(db().singleValue("SELECT count(DISTINCT finl_stmt_id) FROM finl_item").toInt() - (sqlite ? 2 : 1)));
    EXPECT_EQ(columns(), fromItems);
    if (sqlite) {
        // A damaged pack is read from the items.
        execute("UPDATE finl_pack SET item_blob = x'01ff' WHERE finl_stmt_id IN (SELECT finl_stmt_id FROM finl_stmt WHERE subj_id = 12)");
        EXPECT_EQ(columns(), fromItems);
        ASSERT_TRUE(db::pack::missing(db()).ok);
        execute("DELETE FROM finl_pack WHERE item_blob = x'01ff'");
        ASSERT_TRUE(db::pack::missing(db()).ok);
    }

    // Whoever writes an item, its statement's pack goes with the old amounts.
    execute("UPDATE finl_item SET amt_val = 1 WHERE item_type_cd = 36 AND subj_id = 12\r"
            "DELETE FROM finl_item WHERE item_type_cd = 41 AND subj_id = 12\r"
            "INSERT INTO finl_item VALUES (900, getdate(), 0, (SELECT max(finl_stmt_id) FROM finl_stmt WHERE subj_id = 40), 40, 999, 5)\r"
            "UPDATE finl_item SET finl_stmt_id = (SELECT min(finl_stmt_id) FROM finl_stmt WHERE subj_id = 41) "
            "WHERE item_type_cd = 170 AND subj_id = 12");
    // A row another takes the place of by its row_id leaves its statement too (SQLite); a
    // server's move of the row is a delete and an insert.
    const QString row119 = db().singleValue("SELECT row_id FROM finl_item WHERE item_type_cd = 119 AND subj_id = 41");
    execute(sqlite ? "INSERT OR REPLACE INTO finl_item VALUES (" + row119 + ", getdate(), 0, (SELECT max(finl_stmt_id) FROM finl_stmt WHERE subj_id = 42), "
                     "42, 36, 4)"
                   : "DELETE FROM finl_item WHERE row_id = " + row119 + "\rINSERT INTO finl_item VALUES (" + row119
                     + ", getdate(), 0, (SELECT max(finl_stmt_id) FROM finl_stmt WHERE subj_id = 42), 42, 36, 4)");
    // A single value is read by a statement of its own: the columns are what reads packs.
    const auto cell = [&](const QString &f, const Period &p) { return Evaluator(db()).formulaColumn(f, {p}).value.value(0); };
    EXPECT_EQ(cell("[36]", kAbbreviated), "1");
    EXPECT_EQ(cell("[41]", kAbbreviated), "");
    EXPECT_EQ(cell("[170]", kAbbreviated), "");
    EXPECT_EQ(cell("[999]", kNoIncome), "5");
    EXPECT_EQ(cell("[170]", kTwoSheets), "0.2");
    EXPECT_EQ(cell("[119]", kTwoSheets), "");
    EXPECT_EQ(cell("[36]", kDeleted), "4");
    if (!sqlite) {
        // A server not upgraded yet has no packs: writers go on, amounts come from the items.
        execute("DROP TABLE finl_pack");
        EXPECT_TRUE(db::pack::statements(db(), -100000, 100000).ok);
        EXPECT_EQ(Evaluator(db()).formulaColumn("[36]", {kAbbreviated}).value.value(0), "1");
    }
}

VERNA_ALL_BACKENDS(EvaluatorTest);

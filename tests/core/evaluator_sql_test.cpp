// The SQL texts of formula evaluation and the formula check, without a database.
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "indicators/formulasql.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <ostream>

#include "support/printing.h"

using namespace verna;
using namespace verna::indicators;

namespace {

QString item(const QString &code, const QString &entity = QStringLiteral("12"))
{
    return QStringLiteral(" (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = %1 AND s.year_dt = 1999 "
                          "AND s.quarter_dt = 4 AND s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = %2")
        .arg(entity, code);
}

QString tsql(const QString &formula)
{
    return Evaluator::translate(formula, QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4"));
}

} // namespace

TEST(EvaluatorSql, WorkedExampleCharacterForCharacter)
{
    EXPECT_EQ(tsql(QStringLiteral("[36]/[41]*100")).toStdString(),
              "SELECT ( (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = 12 AND s.year_dt = 1999 AND "
              "s.quarter_dt = 4 AND s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = 36) / (SELECT "
              "i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = 12 AND s.year_dt = 1999 AND s.quarter_dt = 4 AND "
              "s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = 41) *100 )");
}

TEST(EvaluatorSql, EdgeCaseTextsFollowTheCharacterRules)
{
    // A lone reference ends with two blanks: ") " after it and the closing " )".
    EXPECT_EQ(tsql(QStringLiteral("[36]")), QStringLiteral("SELECT (") + item(QStringLiteral("36")) + QStringLiteral(")  )"));
    // Digits after "]" are a constant with no operator before it.
    EXPECT_EQ(tsql(QStringLiteral("[36]2")), QStringLiteral("SELECT (") + item(QStringLiteral("36")) + QStringLiteral(") 2 )"));
    // A second "]" repeats the last reference; a "]" before any "[" has an empty code.
    EXPECT_EQ(tsql(QStringLiteral("[36]]")),
              QStringLiteral("SELECT (") + item(QStringLiteral("36")) + QStringLiteral(") ") + item(QStringLiteral("36"))
                  + QStringLiteral(")  )"));
    EXPECT_EQ(tsql(QStringLiteral("]")), QStringLiteral("SELECT (") + item(QString()) + QStringLiteral(")  )"));
    // A non-digit inside brackets lands before the subquery; the reference reads item 36.
    EXPECT_EQ(tsql(QStringLiteral("[3a6]")), QStringLiteral("SELECT (a") + item(QStringLiteral("36")) + QStringLiteral(")  )"));
    EXPECT_EQ(tsql(QString()), QStringLiteral("SELECT ( )"));
    // An expanded computed item keeps the blanks it was spliced with.
    EXPECT_EQ(tsql(QStringLiteral(" ([49]) /[36]")), QStringLiteral("SELECT ( (") + item(QStringLiteral("49"))
                                                         + QStringLiteral(") ) /") + item(QStringLiteral("36"))
                                                         + QStringLiteral(")  )"));
    EXPECT_EQ(Evaluator::translate(QStringLiteral("[92]"), QStringLiteral("-5"), QStringLiteral("2000"), QStringLiteral("1")),
              QStringLiteral("SELECT ( (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = -5 AND s.year_dt = 2000 "
                             "AND s.quarter_dt = 1 AND s.inac_ind  = 0 AND s.finl_stmt_id = i.finl_stmt_id AND "
                             "i.item_type_cd = 92)  )"));
}

TEST(EvaluatorSql, FormAndFormulaQueries)
{
    EXPECT_EQ(FormulaSql::formQuery({QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4")}),
              QStringLiteral("SELECT fill_lvl_ind FROM finl_stmt WHERE subj_id = 12 AND inac_ind = 0 AND year_dt = 1999 AND "
                             "quarter_dt = 4 AND stmt_type_cd = 28"));
    EXPECT_EQ(FormulaSql::formulaQuery(QStringLiteral("20")),
              QStringLiteral("SELECT func_for_val FROM func_for WHERE inac_ind IN (0, 1) AND func_for_id = 20"));
}

TEST(EvaluatorSql, OnlyTheFormulaAlphabetPassesTheCheck)
{
    using E = Formula::Error;
    const std::vector<std::pair<QString, E>> cases = {
        {QStringLiteral("[36]/[41]*100"), E::None},
        {QStringLiteral("-(+[0036])^2"), E::None},
        {QString(), E::Empty},
        {QStringLiteral("[3a6]"), E::Character},
        {QStringLiteral("[36] OR 1=1"), E::Character},
        {QStringLiteral("1);DROP TABLE func_for--"), E::Character},
        {QStringLiteral("[36]+'x'"), E::Character},
        {QStringLiteral("1.5"), E::Character},
        {QStringLiteral("[36] "), E::Character},
        {QStringLiteral("[36]]"), E::Bracket},
        {QStringLiteral("]"), E::Bracket},
        {QStringLiteral("[]"), E::Bracket},
        {QStringLiteral("[36"), E::Bracket},
        {QStringLiteral("[3+6]"), E::Bracket},
        {QStringLiteral("1--2"), E::Comment},
        {QStringLiteral("1+/**/2"), E::Comment},
        {QStringLiteral("[36]2"), E::Syntax},
        {QStringLiteral("2(3)"), E::Syntax},
        {QStringLiteral("()"), E::Syntax},
        {QStringLiteral("1+"), E::Syntax},
        {QStringLiteral("(1"), E::Syntax},
        {QStringLiteral("1)"), E::Syntax},
        {QStringLiteral("*2"), E::Syntax},
        {QStringLiteral("99999999999999999999"), E::ConstantOverflow},
    };
    for (const auto &[text, error] : cases)
        EXPECT_EQ(Formula::parse(text).error(), error) << text.toStdString();
    // Blanks come only from expanding computed items.
    EXPECT_TRUE(Formula::parseExpanded(QStringLiteral(" ([31]) + ([56]+[58]) ")).isValid());
    EXPECT_FALSE(Formula::parseExpanded(QStringLiteral("1 2")).isValid());
    EXPECT_FALSE(Formula::parseExpanded(QStringLiteral(" () ")).isValid());
}

TEST(EvaluatorSql, ConstantsAloneAreIntegral)
{
    // Only constants: 64-bit integers; an item or a power makes the value a double.
    EXPECT_TRUE(Formula::parse(QStringLiteral("7/2+1")).isIntegral());
    EXPECT_TRUE(Formula::parse(QStringLiteral("-(7/2)")).isIntegral());
    EXPECT_FALSE(Formula::parse(QStringLiteral("7/2+[1]")).isIntegral());
    EXPECT_FALSE(Formula::parse(QStringLiteral("2^2")).isIntegral());
    EXPECT_EQ(Formula::parse(QStringLiteral("[36]+[041]*[36]")).itemCodes(), (QStringList{QStringLiteral("36"), QStringLiteral("41")}));
}

TEST(EvaluatorSql, NestingIsBounded)
{
    // A long run of operators along the left operands is flat; only its length is bounded.
    QString chain = QStringLiteral("1");
    for (int i = 1; i < Formula::kMaxHeight; ++i)
        chain += QStringLiteral("+1");
    EXPECT_TRUE(Formula::parse(chain).isValid());
    EXPECT_EQ(Formula::parse(QLatin1Char('(') + chain + QStringLiteral(")*[1]")).error(), Formula::Error::TooDeep);
    // Parentheses that group nothing cost nothing.
    QString deep = QString(Formula::kMaxHeight, QLatin1Char('(')) + QLatin1Char('1') + QString(Formula::kMaxHeight, QLatin1Char(')'));
    EXPECT_TRUE(Formula::parse(deep).isValid());
    deep = QString(100000, QLatin1Char('(')) + QLatin1Char('1') + QString(100000, QLatin1Char(')'));
    EXPECT_EQ(Formula::parse(deep).error(), Formula::Error::TooDeep);
    EXPECT_EQ(Formula::parse(QString(100000, QLatin1Char('-')).replace(QStringLiteral("--"), QStringLiteral("-+")) + QLatin1Char('1')).error(),
              Formula::Error::TooDeep);
    // Groups on the right and minus signs nest.
    const auto rightNested = [](int levels) {
        QString text = QStringLiteral("[1]");
        for (int i = 0; i < levels; ++i)
            text = QStringLiteral("[1]-(") + text + QLatin1Char(')');
        return text;
    };
    EXPECT_EQ(Formula::parse(rightNested(Formula::kMaxNesting)).nesting(), Formula::kMaxNesting);
    EXPECT_EQ(Formula::parse(rightNested(Formula::kMaxNesting + 1)).error(), Formula::Error::TooDeep);
    QString minus = QStringLiteral("[1]");
    for (int i = 0; i < Formula::kMaxNesting + 1; ++i)
        minus = QStringLiteral("-(") + minus + QLatin1Char(')');
    EXPECT_EQ(Formula::parse(minus).error(), Formula::Error::TooDeep);
    EXPECT_EQ(Formula::parse(QStringLiteral("([59]+[77]+[210])/([153]+[171]+[175]+[193])*100")).nesting(), 2);
}

TEST(EvaluatorSql, EmittedStatementsCarryOnlyCheckedText)
{
    const Formula f = Formula::parse(QStringLiteral("-[36]/(7-2)^[41]"));
    ASSERT_TRUE(f.isValid());
    const Period p{QStringLiteral("-12"), QStringLiteral("1999"), QStringLiteral("4")};
    for (auto backend : {db::Backend::SQLite, db::Backend::PostgreSQL}) {
        const QString cell = FormulaSql::cellStatement(f, backend, p);
        const QString column = FormulaSql::columnStatement(f, backend, {p, p});
        for (QString sql : {cell, column}) {
            // The only literals are runs of operators for verna_calc.
            static const QRegularExpression literal(QStringLiteral("'([^']*)'"));
            for (auto it = literal.globalMatch(sql); it.hasNext();) {
                const QString ops = it.next().captured(1);
                EXPECT_FALSE(ops.isEmpty());
                for (QChar c : ops)
                    EXPECT_TRUE(QStringLiteral("+-*/^").contains(c)) << sql.toStdString();
            }
            sql.remove(literal);
            EXPECT_FALSE(sql.contains(QLatin1String("--"))) << sql.toStdString();
            EXPECT_FALSE(sql.contains(QLatin1Char(';')));
            EXPECT_FALSE(sql.contains(QLatin1Char('\'')));
            EXPECT_EQ(sql.count(QLatin1Char('(')), sql.count(QLatin1Char(')')));
        }
        EXPECT_TRUE(cell.contains(QLatin1String("s.subj_id = -12 AND s.year_dt = 1999 AND s.quarter_dt = 4")));
        EXPECT_TRUE(column.contains(QLatin1String("(0, -12, 1999, 4), (1, -12, 1999, 4)")));
    }
}

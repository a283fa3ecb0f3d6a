// verna-db eval: the evaluator's value on the command line, the same on every backend.
#include "support/testdatabase.h"

using namespace verna::test;

namespace {

class EvaluatorCliTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    ToolRun eval(const QStringList &arguments)
    {
        return runVernaDb(QStringList{QStringLiteral("--db"), testDatabase().dbOption(), QStringLiteral("eval")} + arguments,
                          testDatabase().childEnvironment());
    }

    static QStringList period()
    {
        return {QStringLiteral("--entity"), QStringLiteral("3366"), QStringLiteral("--year"), QStringLiteral("1996"),
                QStringLiteral("--quarter"), QStringLiteral("4")};
    }
};

} // namespace

TEST_P(EvaluatorCliTest, PrintsTheValueOfTheReferenceCompany)
{
    // 8750 / 341260 * 100 from the reference statements, on every backend alike.
    const ToolRun r = eval(period() + QStringList{QStringLiteral("--formula"), QStringLiteral("[36]/[41]*100")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("2.56402742777\n"));
    EXPECT_EQ(eval(period() + QStringList{QStringLiteral("--indicator"), QStringLiteral("30")}).out, QStringLiteral("2.56402742777\n"));
    // 205 of a full statement comes from indicator 20 ([49]).
    const ToolRun full = eval(period() + QStringList{QStringLiteral("--formula"), QStringLiteral("[205]-[49]")});
    EXPECT_EQ(full.out, QStringLiteral("0\n"));
}

TEST_P(EvaluatorCliTest, ShowsTheStatementsWithSql)
{
    const ToolRun r = eval(period() + QStringList{QStringLiteral("--formula"), QStringLiteral("[36]"), QStringLiteral("--sql")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("8750"));
    EXPECT_EQ(lines[1], QStringLiteral("T-SQL: SELECT ( (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = 3366 AND "
                                       "s.year_dt = 1996 AND s.quarter_dt = 4 AND s.inac_ind  = 0 AND s.finl_stmt_id = "
                                       "i.finl_stmt_id AND i.item_type_cd = 36)  )"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Provedeno: "))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral("i.item_type_cd = 36")));
}

TEST_P(EvaluatorCliTest, EmptyLineForNoValueAndNothingRunForInjectedText)
{
    for (const QString &f : {QStringLiteral("[36]/0"), QStringLiteral("1);DROP TABLE func_for--"), QStringLiteral("[36]2")}) {
        const ToolRun r = eval(period() + QStringList{QStringLiteral("--formula"), f});
        EXPECT_EQ(r.exitCode, 0) << f.toStdString();
        EXPECT_EQ(r.out, QStringLiteral("\n")) << f.toStdString();
    }
    const ToolRun r = eval({QStringLiteral("--entity"), QStringLiteral("3366 OR 1=1"), QStringLiteral("--year"), QStringLiteral("1996"),
                           QStringLiteral("--quarter"), QStringLiteral("4"), QStringLiteral("--indicator"), QStringLiteral("30")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QStringLiteral("\n"));
    EXPECT_NE(db().singleValue(QStringLiteral("SELECT count(*) FROM func_for")), QStringLiteral("0"));
}

TEST_P(EvaluatorCliTest, UsageErrorsExitWithTwo)
{
    const QStringList f = {QStringLiteral("--formula"), QStringLiteral("[36]")};
    EXPECT_EQ(eval(f).exitCode, 2);
    EXPECT_EQ(eval(period()).exitCode, 2);
    EXPECT_EQ(eval(period() + f + QStringList{QStringLiteral("--indicator"), QStringLiteral("30")}).exitCode, 2);
    EXPECT_EQ(eval(period() + QStringList{QStringLiteral("--indicator"), QStringLiteral("3O")}).exitCode, 2);
    EXPECT_EQ(eval(period() + f + QStringList{QStringLiteral("--verbose")}).exitCode, 2);
    EXPECT_EQ(eval(period() + QStringList{QStringLiteral("--formula")}).exitCode, 2);
}

TEST_P(EvaluatorCliTest, DatabaseErrorsExitWithOne)
{
    const ToolRun r = runVernaDb(QStringList{QStringLiteral("--db"), QStringLiteral("odbc:verna-no-such-source"), QStringLiteral("eval")}
                                    + period() + QStringList{QStringLiteral("--indicator"), QStringLiteral("30")},
                                testDatabase().childEnvironment());
    EXPECT_EQ(r.exitCode, 1);
}

VERNA_ALL_BACKENDS(EvaluatorCliTest);

#include "db/tsqltranslator.h"

#include <gtest/gtest.h>

using namespace verna::db;
using namespace verna::db::tsql;

namespace {
const QString CR = QStringLiteral("\r");
}

TEST(BatchSplitting, SplitsAtCarriageReturnsOutsideQuotesAndComments)
{
    const QString note = QStringLiteral("INSERT INTO text VALUES(1,null,0,1,1,'první řádek\r\ndruhý ''citát''\r')");
    const QString batch = QStringLiteral("BEGIN TRAN") + CR + note + CR + QStringLiteral("-- it's a comment") + CR
        + QStringLiteral("UPDATE subj SET text_id = 1 /* don't\r split */ WHERE subj_id = 5") + CR + CR
        + QStringLiteral("COMMIT TRAN");
    const QStringList parts = splitBatch(batch);
    ASSERT_EQ(parts.size(), 5) << parts.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(parts[0], QStringLiteral("BEGIN TRAN"));
    EXPECT_EQ(parts[1], note);
    EXPECT_EQ(parts[2], QStringLiteral("-- it's a comment"));
    EXPECT_TRUE(parts[3].contains(QStringLiteral("/* don't\r split */")));
    EXPECT_EQ(parts[4], QStringLiteral("COMMIT TRAN"));
}

TEST(BatchSplitting, UnterminatedQuoteKeepsTheRestInOneStatement)
{
    const QStringList parts = splitBatch(QStringLiteral("SELECT 'a") + CR + QStringLiteral("b"));
    ASSERT_EQ(parts.size(), 1);
}

TEST(StatementKinds, RecognisesTransactionMarkersAndDialectTwoVariables)
{
    EXPECT_EQ(classify(QStringLiteral("BEGIN TRAN")), StatementKind::BeginTran);
    EXPECT_EQ(classify(QStringLiteral(" commit  tran ")), StatementKind::CommitTran);
    EXPECT_EQ(classify(QStringLiteral("DECLARE @row int")), StatementKind::Variable);
    EXPECT_EQ(classify(QStringLiteral("select @row = (min(row_id)-1) from text")), StatementKind::Variable);
    EXPECT_EQ(classify(QStringLiteral("SELECT 'BEGIN TRAN'")), StatementKind::Plain);
}

TEST(Translation, SqlServerGetsTheTextUnchanged)
{
    const QString sql = QStringLiteral("INSERT INTO ident VALUES ((SELECT (min(row_id)-1) FROM ident),getdate(),0)");
    const Translation t = translate(sql, Backend::SqlServer);
    EXPECT_EQ(t.sql, sql);
    EXPECT_EQ(t.keyTables, QStringList{QStringLiteral("ident")});
}

TEST(Translation, KeySubqueriesOfEveryQuotedShapeBecomeNegativeKeys)
{
    const QStringList shapes = {
        QStringLiteral("(SELECT (min(row_id)-1) FROM ident)"),
        QStringLiteral("(select (min(row_id)-1) from text)"),
        QStringLiteral("(SELECT min(row_id)-1 FROM func_for)"),
        QStringLiteral("(SELECT min(row_id) - 1 FROM func_mem)"),
        QStringLiteral("(SELECT (min(func_grp_id) - 1) FROM func_grp)"),
    };
    for (const QString &shape : shapes) {
        const Translation t = translate(QStringLiteral("INSERT INTO x VALUES (") + shape + QStringLiteral(",getdate())"), Backend::SQLite);
        EXPECT_TRUE(t.sql.contains(QStringLiteral("COALESCE(MIN(CASE WHEN"))) << t.sql.toStdString();
        EXPECT_TRUE(t.sql.contains(QStringLiteral("CURRENT_TIMESTAMP"))) << t.sql.toStdString();
        EXPECT_EQ(t.keyTables.size(), 1);
    }
}

TEST(Translation, QuotedTextIsNeverRewritten)
{
    const QString sql = QStringLiteral("INSERT INTO text VALUES(1,getdate(),0,1,1,'getdate() (SELECT (min(row_id)-1) FROM x) LIKE ''a''')");
    const Translation t = translate(sql, Backend::PostgreSQL);
    EXPECT_TRUE(t.sql.endsWith(QStringLiteral("'getdate() (SELECT (min(row_id)-1) FROM x) LIKE ''a''')"))) << t.sql.toStdString();
    EXPECT_TRUE(t.keyTables.isEmpty());
}

TEST(Translation, TrimOfNumbersCastsToTextOnPostgreSQL)
{
    const QString sql = QStringLiteral("SELECT RTRIM(LTRIM(value_txt)), RTRIM(LTRIM(val_agn)) FROM cd_val WHERE tbl_cd = 1");
    EXPECT_EQ(translate(sql, Backend::PostgreSQL).sql,
              QStringLiteral("SELECT RTRIM(LTRIM(CAST((value_txt) AS TEXT))), RTRIM(LTRIM(CAST((val_agn) AS TEXT))) FROM cd_val WHERE tbl_cd = 1"));
    EXPECT_EQ(translate(sql, Backend::SQLite).sql,
              QStringLiteral("SELECT RTRIM(LTRIM(value_txt)) COLLATE CZ_CI, RTRIM(LTRIM(val_agn)) COLLATE CZ_CI FROM cd_val WHERE tbl_cd = 1"));
}

TEST(Translation, LikePatternsTakeBracketEscapesAndKeepBackslashesLiteral)
{
    const QString sql = QStringLiteral("SELECT 1 FROM name n WHERE n.srch_name_txt LIKE '50[%][_]a\\b%'");
    EXPECT_EQ(translate(sql, Backend::SQLite).sql,
              QStringLiteral("SELECT 1 FROM name n WHERE n.srch_name_txt LIKE '50\\%\\_a\\\\b%' ESCAPE '\\'"));
    EXPECT_EQ(translate(sql, Backend::PostgreSQL).sql,
              QStringLiteral("SELECT 1 FROM name n WHERE n.srch_name_txt COLLATE \"default\" ILIKE '50\\%\\_a\\\\b%' ESCAPE '\\'"));
}

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

TEST(BatchSplitting, SemicolonsSplitTooAndAnUnterminatedQuoteKeepsTheRest)
{
    EXPECT_EQ(splitBatch(QStringLiteral("DELETE FROM a; COMMIT;DELETE FROM b;")),
              (QStringList{QStringLiteral("DELETE FROM a"), QStringLiteral("COMMIT"), QStringLiteral("DELETE FROM b")}));
    EXPECT_EQ(splitBatch(QStringLiteral("SELECT ';', [a;b], \"c;d\" /* ; */ -- ;")).size(), 1);
    EXPECT_EQ(splitBatch(QStringLiteral("SELECT 'a") + CR + QStringLiteral("b; c")).size(), 1);
}

// Transaction-control forms beyond those the batch test runs, read as the backend reads them.
TEST(StatementKinds, TransactionControlInEveryFormAndDialect)
{
    using K = StatementKind;
    const struct {
        const char *text;
        Backend backend;
        K kind;
    } cases[] = {
        {"begin  transaction", Backend::SQLite, K::BeginTran},
        {"BEGIN WORK", Backend::PostgreSQL, K::BeginTran},
        {"BEGIN IMMEDIATE TRANSACTION", Backend::SQLite, K::BeginTran},
        {"begin exclusive", Backend::SQLite, K::BeginTran},
        {"START TRANSACTION", Backend::PostgreSQL, K::BeginTran},
        {"/* done */ COMMIT WORK -- now", Backend::PostgreSQL, K::CommitTran},
        {"end Transaction", Backend::PostgreSQL, K::CommitTran},
        {"ROLLBACK TO SAVEPOINT s", Backend::PostgreSQL, K::TransactionControl},
        {"SAVE TRAN s", Backend::SqlServer, K::TransactionControl},
        {"BEGIN TRAN t1", Backend::SQLite, K::TransactionControl},
        {"COMMIT AND CHAIN", Backend::PostgreSQL, K::TransactionControl},
        {"PREPARE TRANSACTION 'x'", Backend::PostgreSQL, K::TransactionControl},
        {"DELETE FROM a COMMIT DELETE FROM b", Backend::SqlServer, K::TransactionControl},
        // What the T-SQL reading takes for a quote or comment, PostgreSQL runs as statements.
        {"SELECT E'\\''; COMMIT; DELETE FROM b; -- '", Backend::PostgreSQL, K::Several},
        {"SELECT $q$ ' $q$; COMMIT; SELECT ' '", Backend::PostgreSQL, K::Several},
        {"/* /* */ ' */; COMMIT; DELETE FROM b; -- '", Backend::PostgreSQL, K::Several},
        {"/* /* */ */ COMMIT", Backend::PostgreSQL, K::CommitTran},
        {"SELECT 'BEGIN TRAN; COMMIT'", Backend::PostgreSQL, K::Query},
        {"-- only a note", Backend::SQLite, K::Empty},
        {"WITH x AS (SELECT 1) SELECT * FROM x", Backend::SQLite, K::Query},
        {"WITH x AS (SELECT 1) DELETE FROM a", Backend::SQLite, K::Plain},
        {"SELECT * INTO b FROM a", Backend::PostgreSQL, K::Plain},
        {"DECLARE @row int", Backend::SQLite, K::Variable},
        {"select @row = (min(row_id)-1) from text", Backend::SQLite, K::Variable},
    };
    for (const auto &c : cases)
        EXPECT_EQ(classify(QString::fromUtf8(c.text), c.backend), c.kind) << c.text;
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

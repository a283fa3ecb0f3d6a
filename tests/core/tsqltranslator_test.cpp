#include "db/tsqltranslator.h"

#include <gtest/gtest.h>

using namespace verna::db;
using namespace verna::db::tsql;
using namespace Qt::StringLiterals;


TEST(BatchSplitting, SplitsOutsideQuotesAndCommentsAndReadsTransactionControlInEveryDialect)
{
    const QString note = u"INSERT INTO text VALUES(1,null,0,1,1,'první řádek\r\ndruhý ''citát''\r')"_s;
    const QString batch = u"BEGIN TRAN\r"_s + note
        + u"\r-- it's a comment\rUPDATE subj SET text_id = 1 /* don't\r split */ WHERE subj_id = 5\r\rCOMMIT TRAN"_s;
    const QStringList parts = splitBatch(batch);
    ASSERT_EQ(parts.size(), 5) << parts.join(u" | "_s).toStdString();
    EXPECT_EQ(parts[0], u"BEGIN TRAN"_s);
    EXPECT_EQ(parts[1], note);
    EXPECT_EQ(parts[2], u"-- it's a comment"_s);
    EXPECT_TRUE(parts[3].contains(u"/* don't\r split */"_s));
    EXPECT_EQ(parts[4], u"COMMIT TRAN"_s);
    // Semicolons split too; an unterminated quote keeps the rest.
    EXPECT_EQ(splitBatch(u"DELETE FROM a; COMMIT;DELETE FROM b;"_s), (QStringList{u"DELETE FROM a"_s, u"COMMIT"_s, u"DELETE FROM b"_s}));
    EXPECT_EQ(splitBatch(u"SELECT ';', [a;b], \"c;d\" /* ; */ -- ;"_s).size(), 1);
    EXPECT_EQ(splitBatch(u"SELECT 'a\rb; c"_s).size(), 1);

    // Transaction-control forms beyond those the batch test runs, read as the backend reads them.
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

TEST(Translation, SqlServerTextsStayOthersGetNegativeKeysNumbersTrimmedAsTextAndEscapedPatterns)
{
    const QString sql = u"INSERT INTO ident VALUES ((SELECT (min(row_id)-1) FROM ident),getdate(),0)"_s;
    const Translation t = translate(sql, Backend::SqlServer);
    EXPECT_EQ(t.sql, sql);
    EXPECT_EQ(t.keyTables, QStringList{u"ident"_s});
    // Key subqueries of every quoted shape become negative keys elsewhere.
    for (const QString &shape : {u"(SELECT (min(row_id)-1) FROM ident)"_s, u"(select (min(row_id)-1) from text)"_s,
                                 u"(SELECT min(row_id)-1 FROM func_for)"_s, u"(SELECT min(row_id) - 1 FROM func_mem)"_s,
                                 u"(SELECT (min(func_grp_id) - 1) FROM func_grp)"_s}) {
        const Translation t = translate(u"INSERT INTO x VALUES ("_s + shape + u",getdate())"_s, Backend::SQLite);
        EXPECT_TRUE(t.sql.contains(u"COALESCE(MIN("_s) && t.sql.contains(u" < 0)"_s)) << t.sql.toStdString();
        EXPECT_TRUE(t.sql.contains(u"CURRENT_TIMESTAMP"_s)) << t.sql.toStdString();
        EXPECT_EQ(t.keyTables.size(), 1);
    }
    // Quoted text is never rewritten.
    const QString quoted = u"INSERT INTO text VALUES(1,getdate(),0,1,1,'getdate() (SELECT (min(row_id)-1) FROM x) LIKE ''a''')"_s;
    EXPECT_TRUE(translate(quoted, Backend::PostgreSQL).sql.endsWith(u"'getdate() (SELECT (min(row_id)-1) FROM x) LIKE ''a''')"_s));
    EXPECT_TRUE(translate(quoted, Backend::PostgreSQL).keyTables.isEmpty());

    // A trim of numbers casts to text on PostgreSQL.
    const QString trim = u"SELECT RTRIM(LTRIM(value_txt)), RTRIM(LTRIM(val_agn)) FROM cd_val WHERE tbl_cd = 1"_s;
    EXPECT_EQ(translate(trim, Backend::PostgreSQL).sql,
              u"SELECT RTRIM(LTRIM(CAST((value_txt) AS TEXT))), RTRIM(LTRIM(CAST((val_agn) AS TEXT))) FROM cd_val WHERE tbl_cd = 1"_s);
    EXPECT_EQ(translate(trim, Backend::SQLite).sql,
              u"SELECT RTRIM(LTRIM(value_txt)) COLLATE CZ_CI, RTRIM(LTRIM(val_agn)) COLLATE CZ_CI FROM cd_val WHERE tbl_cd = 1"_s);
    // LIKE patterns take bracket escapes and keep backslashes literal.
    const QString like = u"SELECT 1 FROM name n WHERE n.srch_name_txt LIKE '50[%][_]a\\b%'"_s;
    EXPECT_EQ(translate(like, Backend::SQLite).sql, u"SELECT 1 FROM name n WHERE n.srch_name_txt LIKE '50\\%\\_a\\\\b%' ESCAPE '\\'"_s);
    EXPECT_EQ(translate(like, Backend::PostgreSQL).sql,
              u"SELECT 1 FROM name n WHERE n.srch_name_txt COLLATE \"default\" ILIKE '50\\%\\_a\\\\b%' ESCAPE '\\'"_s);
}


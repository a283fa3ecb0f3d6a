// The insert builders: their texts in both dialects, the setters' rules, and dialect 1 run on
// every backend with texts stored exactly as typed.
#include "db/clssql_actv.h"
#include "db/clssql_finl.h"
#include "db/clssql_func.h"
#include "db/clssql_subj.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::db;
using namespace verna::test;
using namespace Qt::StringLiterals;

// Dialect 1 runs on every backend below; dialect 2 is checked as text.
TEST(InsertBuilders, TextsOfDialectTwoNoneWithoutADialectAndSettersKeepTheirRules)
{
    clsSQL_subj subj;
    subj.setIco(u"12345678"_s);
    subj.setSubjid(-5);
    subj.setServer(2);
    EXPECT_EQ(subj.getSQL_insert_ident(215), "DECLARE @row int\rDECLARE @subjid int\rSELECT @row = (min(row_id)-1) FROM ident\r"
                                             "SELECT @subjid = (min(subj_id)-1) FROM ident\rINSERT INTO ident VALUES (@row,getdate(),0,"
                                             "@subjid,23,'12345678',null,0,null,0,215)");
    EXPECT_EQ(subj.getSQL_insert_name(u"O'Brien"_s),
              "DECLARE @row int\rSELECT @row = (min(row_id)-1) FROM name\rINSERT INTO name VALUES (@row,getdate(),0,-5,22,"
              "'O''Brien',null,0,null,0,'OBrien')");
    EXPECT_EQ(subj.getSQL_insert_subj(3), "DECLARE @row int\rSELECT @row = (min(row_id)-1) FROM subj\rINSERT INTO subj VALUES "
                                          "(@row,getdate(),0,-5,3,null,0,null,0,null)");
    EXPECT_EQ(subj.getSQL_insert_mem(7), "DECLARE @row int\rSELECT @row = (min(row_id)-1) FROM mem\rINSERT INTO mem VALUES (@row,getdate(),0,-5,7)");
    subj.setServer(3);
    EXPECT_EQ(subj.getSQL_insert_subj(3), "");

    clsSQL_actv actv;
    actv.setSubjid(-5);
    EXPECT_EQ(actv.getSQL_insert_actv(1501, 0), ""); // no dialect yet
    actv.setServer(2);
    EXPECT_EQ(actv.getSQL_insert_actv(1501, 2),
              "DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM actv\rINSERT INTO actv VALUES(@row,getdate(),0,-5,1501,2)");

    clsSQL_finl finl;
    finl.setSubjid(12);
    finl.setRok(2000);
    finl.setCtvrtleti(4);
    finl.setServer(2);
    finl.setPlna(true);
    finl.setTyp_vykazu(1);
    EXPECT_EQ(finl.getSQL_insert_finl_stmt(), "DECLARE @row int\rDECLARE @stmt_id int\rSELECT @row = (min(row_id) - 1) FROM finl_stmt\r"
                                              "SELECT @stmt_id = (min(finl_stmt_id)-1) FROM finl_stmt\rINSERT INTO finl_stmt VALUES(@row,"
                                              "getdate(),0,@stmt_id,12,27,null,0,null,0,0,null,'uživatel',1,4,2000,4)");
    EXPECT_EQ(finl.getSQL_insert_finl_item(u"@stmt_id"_s, u"92"_s, u"100"_s),
              "SELECT @row = (min(row_id) - 1) FROM finl_item\rINSERT INTO finl_item VALUES(@row,getdate(),0,@stmt_id,12,92,100)");

    clsSQL_func func;
    EXPECT_EQ(func.getSQL_insert_func_mem(-1), "");
    func.setServer(1);
    func.setSkupina(-2);
    // Names, formulas and descriptions are trimmed; group names are not.
    EXPECT_EQ(func.getSQL_insert_func_for(u" ROE "_s, u" [36]/[41] "_s, u" it's "_s),
              "INSERT INTO func_for VALUES((SELECT min(row_id)-1 FROM func_for),getdate(),(SELECT min(func_for_id)-1 FROM func_for),0,"
              "'ROE','[36]/[41]','it''s')");
    EXPECT_EQ(func.getSQL_insert_func_grp(u" G "_s, u"d"_s),
              "INSERT INTO func_grp VALUES ((SELECT min(row_id) - 1 FROM func_grp),getdate(),0,(SELECT min(func_grp_id) - 1 FROM "
              "func_grp),' G ','d')");
    func.setServer(2);
    EXPECT_EQ(func.getSQL_insert_func_for(u"A"_s, u"1"_s, u"B"_s),
              "DECLARE @row int\rDECLARE @func_for_id int\rSELECT @row = (min(row_id) - 1) FROM func_for\rSELECT @func_for_id = "
              "(min(func_for_id)-1) FROM func_for\rINSERT INTO func_for VALUES(@row,getdate(),@func_for_id,0,'A','1','B')");
    EXPECT_EQ(func.getSQL_insert_func_mem(-7),
              "DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM func_mem\rINSERT INTO func_mem VALUES (@row,getdate(),0,-2,-7)");
    EXPECT_EQ(func.getSQL_insert_func_grp(u"G"_s, u"d"_s),
              "DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM func_grp\rDECLARE @func_grp_id int\rSELECT @func_grp_id = "
              "(min(func_grp_id) - 1) FROM func_grp\rINSERT INTO func_grp VALUES (@row,getdate(),0,@func_grp_id,'G','d')");

    // Setters keep their rules and only numbers are spliced.
    clsSQL_finl fresh;
    // Codes are derived only by the setters: a new builder writes 0 for both.
    EXPECT_TRUE(fresh.getSQL_insert_finl_stmt().endsWith(",0,0,null,0,null,0,0,null,'uživatel',1,0,1990,1)"));
    for (const int quarter : {3, 5, 0})
        fresh.setCtvrtleti(static_cast<qint16>(quarter));
    EXPECT_EQ(fresh.ctvrtleti(), 3);
    for (const int type : {2, 3})
        fresh.setTyp_vykazu(static_cast<qint16>(type));
    EXPECT_EQ(fresh.typ_vykazu(), 2);
    EXPECT_TRUE(fresh.getSQL_finl_stmt_id().endsWith("stmt_type_cd = 28"));
    for (const auto &[stmt, item, amount] : {std::tuple{"1", "36", "1e5"}, {"1", "36", "1,5"}, {"1 OR 1=1", "36", "1"},
                                            {"1", "36); DROP TABLE x--", "1"}, {"1", "36", "--5"}, {"@row", "36", "1"}})
        EXPECT_EQ(fresh.getSQL_insert_finl_item(QString::fromUtf8(stmt), QString::fromUtf8(item), QString::fromUtf8(amount)), "") << stmt << item << amount;
    EXPECT_EQ(fresh.getSQL_amt_val(u"1;"_s, 36), "");
}

using InsertBuildersDbTest = BackendTest;

TEST_P(InsertBuildersDbTest, DialectOneRunsAndStoresTextsAsTyped)
{
    const QString hostile = u"O'Brien'); DROP TABLE name -- Žluťoučký"_s;
    clsSQL_subj subj;
    subj.setIco(u"1'2"_s);
    ASSERT_TRUE(db().execute(subj.getSQL_insert_ident(1112)).ok);
    const QString id = db().singleValue(u"SELECT subj_id FROM ident WHERE ident_txt = '1''2'"_s);
    EXPECT_EQ(id, u"-1"_s);
    subj.setSubjid(id.toInt());
    ASSERT_TRUE(db().execute(subj.getSQL_insert_name(hostile) + QLatin1Char('\r') + subj.getSQL_insert_subj(3)).ok);
    EXPECT_EQ(db().singleValue(u"SELECT name_txt FROM name WHERE subj_id = -1"_s), hostile);

    clsSQL_func func;
    func.setServer(1);
    ASSERT_TRUE(db().execute(func.getSQL_insert_func_for(hostile, u"[36]"_s, hostile)).ok);
    ASSERT_TRUE(db().execute(func.getSQL_insert_func_grp(hostile, hostile)).ok);
    func.setSkupina(-1);
    ASSERT_TRUE(db().execute(func.getSQL_insert_func_mem(-1)).ok);
    EXPECT_EQ(db().singleValue(u"SELECT func_for_txt FROM func_for WHERE func_for_id = -1"_s), hostile);
    EXPECT_EQ(db().singleValue(u"SELECT func_grp_name FROM func_grp WHERE func_grp_id = -1"_s), hostile);

    clsSQL_finl finl;
    finl.setSubjid(-1);
    finl.setRok(2001);
    finl.setCtvrtleti(2);
    finl.setPlna(true);
    finl.setTyp_vykazu(1);
    ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_stmt()).ok);
    const QString stmt = db().singleValue(finl.getSQL_finl_stmt_id());
    ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_item(stmt, u"92"_s, u"-1234.5"_s)).ok);
    EXPECT_EQ(db().singleValue(finl.getSQL_amt_val(stmt, 92)), u"-1234.5"_s);
    EXPECT_EQ(db().singleValue(finl.getSQL_fill_lvl_ind(stmt)), u"4"_s);
}

VERNA_ALL_BACKENDS(InsertBuildersDbTest);

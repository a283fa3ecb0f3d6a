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

TEST(InsertBuilders, TextsOfBothDialects)
{
    clsSQL_subj subj;
    subj.setIco(QStringLiteral("12345678"));
    subj.setSubjid(-5);
    EXPECT_EQ(subj.getSQL_insert_ident(1112),
              "INSERT INTO ident VALUES ((SELECT (min(row_id)-1) FROM ident),getdate(),0,(SELECT (min(subj_id)-1) FROM ident),"
              "23,'12345678' ,null,0,null,0,1112)");
    EXPECT_EQ(subj.getSQL_insert_name(QStringLiteral("  Alfa, a.s. ")),
              "INSERT INTO name VALUES ((SELECT (min(row_id)-1) FROM name),getdate(),0,-5,22,'Alfa, a.s.',null,0,null,0,'Alfaas')");
    EXPECT_EQ(subj.getSQL_insert_subj(12), "INSERT INTO subj VALUES ((SELECT (min(row_id)-1) FROM subj),getdate(),0,-5,12,null,0,null,0,null)");
    EXPECT_EQ(subj.getSQL_insert_mem(7), "INSERT INTO mem VALUES ((select (min(row_id)-1) from mem),getdate(),0,-5,7)");
    subj.setServer(2);
    EXPECT_EQ(subj.getSQL_insert_ident(215), "DECLARE @row int\rDECLARE @subjid int\rSELECT @row = (min(row_id)-1) FROM ident\r"
                                             "SELECT @subjid = (min(subj_id)-1) FROM ident\rINSERT INTO ident VALUES (@row,getdate(),0,"
                                             "@subjid,23,'12345678',null,0,null,0,215)");
    EXPECT_EQ(subj.getSQL_insert_name(QStringLiteral("O'Brien")),
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
    actv.setServer(1);
    EXPECT_EQ(actv.getSQL_insert_actv(1501, 0), "INSERT INTO actv VALUES ((SELECT (min(row_id)-1) FROM actv),getdate(),0,-5,1501,0)");
    actv.setServer(2);
    EXPECT_EQ(actv.getSQL_insert_actv(1501, 2),
              "DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM actv\rINSERT INTO actv VALUES(@row,getdate(),0,-5,1501,2)");

    clsSQL_finl finl;
    finl.setSubjid(12);
    finl.setTyp_vykazu(2);
    finl.setPlna(false);
    finl.setRok(2000);
    finl.setCtvrtleti(4);
    EXPECT_EQ(finl.getSQL_insert_finl_stmt(), "INSERT INTO finl_stmt VALUES((SELECT (min(row_id)-1) FROM finl_stmt),getdate(),0,"
                                              "(SELECT (min(finl_stmt_id)-1) FROM finl_stmt),12,28,null,0,null,0,0,null,'uživatel',1,2,2000,4)");
    EXPECT_EQ(finl.getSQL_insert_finl_item(QStringLiteral("-3"), QStringLiteral("36"), QStringLiteral("-12.5")),
              "INSERT INTO finl_item VALUES((SELECT (min(row_id)-1) FROM finl_item),getdate(),0,-3,12,36,-12.5)");
    EXPECT_EQ(finl.getSQL_finl_stmt_id(), "SELECT finl_stmt_id FROM finl_stmt WHERE subj_id = 12 AND inac_ind = 0 AND year_dt = 2000 "
                                          "AND quarter_dt = 4 AND stmt_type_cd = 28");
    EXPECT_EQ(finl.getSQL_fill_lvl_ind(QStringLiteral("-3")), "SELECT fill_lvl_ind FROM finl_stmt WHERE finl_stmt_id = -3 AND inac_ind = 0");
    EXPECT_EQ(finl.getSQL_amt_val(QStringLiteral("-3"), 36),
              "SELECT amt_val FROM finl_item WHERE finl_stmt_id = -3 AND inac_ind = 0 AND item_type_cd = 36");
    finl.setServer(2);
    finl.setPlna(true);
    finl.setTyp_vykazu(1);
    EXPECT_EQ(finl.getSQL_insert_finl_stmt(), "DECLARE @row int\rDECLARE @stmt_id int\rSELECT @row = (min(row_id) - 1) FROM finl_stmt\r"
                                              "SELECT @stmt_id = (min(finl_stmt_id)-1) FROM finl_stmt\rINSERT INTO finl_stmt VALUES(@row,"
                                              "getdate(),0,@stmt_id,12,27,null,0,null,0,0,null,'uživatel',1,4,2000,4)");
    EXPECT_EQ(finl.getSQL_insert_finl_item(QStringLiteral("@stmt_id"), QStringLiteral("92"), QStringLiteral("100")),
              "SELECT @row = (min(row_id) - 1) FROM finl_item\rINSERT INTO finl_item VALUES(@row,getdate(),0,@stmt_id,12,92,100)");

    clsSQL_func func;
    EXPECT_EQ(func.getSQL_insert_func_mem(-1), "");
    func.setServer(1);
    func.setSkupina(-2);
    EXPECT_EQ(func.getSQL_insert_func_for(QStringLiteral(" ROE "), QStringLiteral(" [36]/[41] "), QStringLiteral(" it's ")),
              "INSERT INTO func_for VALUES((SELECT min(row_id)-1 FROM func_for),getdate(),(SELECT min(func_for_id)-1 FROM func_for),0,"
              "'ROE','[36]/[41]','it''s')");
    EXPECT_EQ(func.getSQL_insert_func_mem(-7), "INSERT INTO func_mem VALUES ((SELECT min(row_id) - 1 FROM func_mem),getdate(),0,-2,-7)");
    EXPECT_EQ(func.getSQL_insert_func_grp(QStringLiteral(" G "), QStringLiteral("d")),
              "INSERT INTO func_grp VALUES ((SELECT min(row_id) - 1 FROM func_grp),getdate(),0,(SELECT min(func_grp_id) - 1 FROM "
              "func_grp),' G ','d')");
    func.setServer(2);
    EXPECT_EQ(func.getSQL_insert_func_for(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("B")),
              "DECLARE @row int\rDECLARE @func_for_id int\rSELECT @row = (min(row_id) - 1) FROM func_for\rSELECT @func_for_id = "
              "(min(func_for_id)-1) FROM func_for\rINSERT INTO func_for VALUES(@row,getdate(),@func_for_id,0,'A','1','B')");
    EXPECT_EQ(func.getSQL_insert_func_mem(-7),
              "DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM func_mem\rINSERT INTO func_mem VALUES (@row,getdate(),0,-2,-7)");
    EXPECT_EQ(func.getSQL_insert_func_grp(QStringLiteral("G"), QStringLiteral("d")),
              "DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM func_grp\rDECLARE @func_grp_id int\rSELECT @func_grp_id = "
              "(min(func_grp_id) - 1) FROM func_grp\rINSERT INTO func_grp VALUES (@row,getdate(),0,@func_grp_id,'G','d')");
}

TEST(InsertBuilders, SettersKeepTheirRulesAndOnlyNumbersAreSpliced)
{
    clsSQL_finl finl;
    // Codes are derived only by the setters: a new builder writes 0 for both.
    EXPECT_TRUE(finl.getSQL_insert_finl_stmt().endsWith(",0,0,null,0,null,0,0,null,'uživatel',1,0,1990,1)"));
    finl.setCtvrtleti(3);
    finl.setCtvrtleti(5);
    finl.setCtvrtleti(0);
    EXPECT_EQ(finl.ctvrtleti(), 3);
    finl.setTyp_vykazu(2);
    finl.setTyp_vykazu(3);
    EXPECT_EQ(finl.typ_vykazu(), 2);
    EXPECT_TRUE(finl.getSQL_finl_stmt_id().endsWith("stmt_type_cd = 28"));
    for (const auto &[stmt, item, amount] : {std::tuple{"1", "36", "1e5"}, {"1", "36", "1,5"}, {"1 OR 1=1", "36", "1"},
                                            {"1", "36); DROP TABLE x--", "1"}, {"1", "36", "--5"}, {"@row", "36", "1"}})
        EXPECT_EQ(finl.getSQL_insert_finl_item(QString::fromUtf8(stmt), QString::fromUtf8(item), QString::fromUtf8(amount)), "") << stmt << item << amount;
    EXPECT_EQ(finl.getSQL_amt_val(QStringLiteral("1;"), 36), "");
}

namespace {
class InsertBuildersDbTest : public BackendTest
{
};
} // namespace

TEST_P(InsertBuildersDbTest, DialectOneRunsAndStoresTextsAsTyped)
{
    const QString hostile = QStringLiteral("O'Brien'); DROP TABLE name -- Žluťoučký");
    clsSQL_subj subj;
    subj.setIco(QStringLiteral("1'2"));
    ASSERT_TRUE(db().execute(subj.getSQL_insert_ident(1112)).ok);
    const QString id = db().singleValue(QStringLiteral("SELECT subj_id FROM ident WHERE ident_txt = '1''2'"));
    EXPECT_EQ(id, QStringLiteral("-1"));
    subj.setSubjid(id.toInt());
    ASSERT_TRUE(db().execute(subj.getSQL_insert_name(hostile) + QLatin1Char('\r') + subj.getSQL_insert_subj(3)).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT name_txt FROM name WHERE subj_id = -1")), hostile);

    clsSQL_func func;
    func.setServer(1);
    ASSERT_TRUE(db().execute(func.getSQL_insert_func_for(hostile, QStringLiteral("[36]"), hostile)).ok);
    ASSERT_TRUE(db().execute(func.getSQL_insert_func_grp(hostile, hostile)).ok);
    func.setSkupina(-1);
    ASSERT_TRUE(db().execute(func.getSQL_insert_func_mem(-1)).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT func_for_txt FROM func_for WHERE func_for_id = -1")), hostile);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT func_grp_name FROM func_grp WHERE func_grp_id = -1")), hostile);

    clsSQL_finl finl;
    finl.setSubjid(-1);
    finl.setRok(2001);
    finl.setCtvrtleti(2);
    finl.setPlna(true);
    finl.setTyp_vykazu(1);
    ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_stmt()).ok);
    const QString stmt = db().singleValue(finl.getSQL_finl_stmt_id());
    ASSERT_TRUE(db().execute(finl.getSQL_insert_finl_item(stmt, QStringLiteral("92"), QStringLiteral("-1234.5"))).ok);
    EXPECT_EQ(db().singleValue(finl.getSQL_amt_val(stmt, 92)), QStringLiteral("-1234.5"));
    EXPECT_EQ(db().singleValue(finl.getSQL_fill_lvl_ind(stmt)), QStringLiteral("4"));
}

VERNA_ALL_BACKENDS(InsertBuildersDbTest);

#include "db/databasecheck.h"
#include "db/transaction.h"
#include "support/testdatabase.h"

#include <QSignalSpy>
#include <QSqlQuery>

using namespace verna;
using namespace verna::test;

namespace {

const QString CR = QStringLiteral("\r");

QString memInsert(int group, int member)
{
    return QStringLiteral("INSERT INTO mem VALUES ((select (min(row_id)-1) from mem),getdate(),0,%1,%2)").arg(group).arg(member);
}

class DatabaseTest : public BackendTest
{
protected:
    QString count(const QString &table) { return db().singleValue(QStringLiteral("SELECT count(*) FROM ") + table); }
};

} // namespace

TEST_P(DatabaseTest, FailingStatementRollsTheWholeBatchBack)
{
    const QString batch = QStringLiteral("BEGIN TRAN") + CR + memInsert(1, 2) + CR + memInsert(1, 3) + CR
        + QStringLiteral("INSERT INTO no_such_table VALUES (1)") + CR + QStringLiteral("COMMIT TRAN");
    EXPECT_FALSE(db().execute(batch).ok);
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("0"));
    // The connection is usable afterwards, and a good batch lands whole.
    EXPECT_TRUE(db().execute(QStringLiteral("BEGIN TRAN") + CR + memInsert(1, 2) + CR + memInsert(1, 3) + CR + QStringLiteral("COMMIT TRAN")).ok);
    EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("2"));
}

// A batch promises one transaction: whatever ends or splits it early is refused before anything
// runs, and the marks of the batch's own transaction are taken in every backend's words.
TEST_P(DatabaseTest, BatchesThatWouldEndTheirTransactionEarlyAreRefusedWhole)
{
    ASSERT_TRUE(db().execute(memInsert(1, 2) + CR + QStringLiteral("INSERT INTO name VALUES (1,getdate(),0,1,22,'a',null,0,null,0,'a')")).ok);
    const QStringList controls = {
        QStringLiteral("END"), QStringLiteral("END TRANSACTION"), QStringLiteral("COMMIT;"), QStringLiteral("COMMIT WORK"),
        QStringLiteral("/* x */ commit tran -- y"), QStringLiteral("ROLLBACK;"), QStringLiteral("ROLLBACK TRANSACTION"),
        QStringLiteral("SAVEPOINT s"), QStringLiteral("RELEASE s"), QStringLiteral("SAVE TRAN s"), QStringLiteral("ABORT"),
        QStringLiteral("BEGIN TRAN") + CR + QStringLiteral("COMMIT TRAN") + CR + QStringLiteral("BEGIN TRAN"),
        QStringLiteral("SELECT 1; COMMIT"), QStringLiteral("SELECT E'\\''; COMMIT; DELETE FROM name; -- '"),
        QStringLiteral("DECLARE @row int") + CR + QStringLiteral("SELECT @row = (min(row_id)-1) FROM mem"),
    };
    for (const QString &control : controls) {
        const Outcome run = db().execute(QStringLiteral("DELETE FROM mem") + CR + control + CR + QStringLiteral("DELETE FROM name") + CR
                                         + QStringLiteral("SELECT * FROM no_such_table"));
        EXPECT_FALSE(run.ok) << control.toStdString();
        EXPECT_FALSE(db().inTransaction());
        EXPECT_EQ(count(QStringLiteral("mem")) + count(QStringLiteral("name")), QStringLiteral("11")) << control.toStdString();
    }
    for (const auto &[begin, commit] : {std::pair{"BEGIN TRANSACTION", "COMMIT WORK;"}, std::pair{"begin", "end transaction"},
                                        std::pair{"START TRANSACTION", "COMMIT"}}) {
        ASSERT_TRUE(db().execute(QString::fromLatin1(begin) + CR + QStringLiteral("DELETE FROM mem") + CR + QString::fromLatin1(commit)).ok)
            << begin;
        EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("0"));
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    }
}

TEST_P(DatabaseTest, GuardRollsBackUnlessCommittedAndInnerFailureSpoilsTheOuter)
{
    {
        db::Transaction tx(db());
        ASSERT_TRUE(tx.isActive());
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    }
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("0"));
    {
        db::Transaction tx(db());
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
        EXPECT_FALSE(db().execute(QStringLiteral("UPDATE no_such_table SET x = 1")).ok);
        EXPECT_FALSE(tx.commit());
    }
    EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("0"));
    {
        db::Transaction tx(db());
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
        EXPECT_TRUE(tx.commit());
    }
    EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("1"));
}

TEST_P(DatabaseTest, ApplicationKeysAreNegativeFromMinusOne)
{
    ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT row_id FROM mem WHERE mem_id = 2")), QStringLiteral("-1"));
    ASSERT_TRUE(db().execute(memInsert(1, 3)).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT row_id FROM mem WHERE mem_id = 3")), QStringLiteral("-2"));

    // Delivered keys start at 1; the application's still go below zero.
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO func_grp VALUES (1,getdate(),0,1,'A','a')") + CR
                             + QStringLiteral("INSERT INTO func_grp VALUES (2,getdate(),0,2,'B','b')")).ok);
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO func_grp VALUES ((SELECT min(row_id) - 1 FROM func_grp),getdate(),0,"
                                            "(SELECT min(func_grp_id) - 1 FROM func_grp),'C','c')")).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT row_id FROM func_grp WHERE func_grp_name = 'C'")), QStringLiteral("-1"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT func_grp_id FROM func_grp WHERE func_grp_name = 'C'")), QStringLiteral("-1"));
}

TEST_P(DatabaseTest, TextComparesCaseInsensitivelyAndLikeTakesTypedMetacharactersLiterally)
{
    const QStringList names = {QStringLiteral("Čokoládovny Žďár"), QStringLiteral("Sleva 50% s.r.o."),
                               QStringLiteral("Sleva 500 s.r.o."), QStringLiteral("A_B"), QStringLiteral("AxB"),
                               QStringLiteral("O'Neill")};
    int id = 1;
    for (const QString &name : names) {
        QString escaped = name;
        escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
        ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO name VALUES ((SELECT (min(row_id)-1) FROM name),getdate(),0,%1,22,'%2',null,0,null,0,'%2')")
                                     .arg(id++)
                                     .arg(escaped))
                        .ok);
    }
    auto matches = [this](const QString &where) {
        return db().singleValue(QStringLiteral("SELECT count(*) FROM name WHERE ") + where);
    };
    EXPECT_EQ(matches(QStringLiteral("name_txt = 'čokoládovny žďár'")), QStringLiteral("1"));
    EXPECT_EQ(matches(QStringLiteral("name_txt = 'ČOKOLÁDOVNY ŽĎÁR'")), QStringLiteral("1"));
    EXPECT_EQ(matches(QStringLiteral("name_txt = 'cokoladovny zdar'")), QStringLiteral("0"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE 'čoko%'")), QStringLiteral("1"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE '%ŽĎÁR'")), QStringLiteral("1"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE 'sleva 50%'")), QStringLiteral("2"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE 'sleva 50[%]%'")), QStringLiteral("1"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE 'a_b'")), QStringLiteral("2"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE 'a[_]b'")), QStringLiteral("1"));
    EXPECT_EQ(matches(QStringLiteral("name_txt LIKE 'o''n%'")), QStringLiteral("1"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = 6")), QStringLiteral("O'Neill"));
}

TEST_P(DatabaseTest, TextSortsInCzechAlphabeticalOrder)
{
    const QStringList names = {QStringLiteral("chata"), QStringLiteral("Čaj"), QStringLiteral("hrad"), QStringLiteral("cukr"),
                               QStringLiteral("Dům"), QStringLiteral("Řeka"), QStringLiteral("rak"), QStringLiteral("Šíp"), QStringLiteral("sova")};
    int id = 1;
    for (const QString &name : names) {
        ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO name VALUES (%1,getdate(),0,%1,22,'%2',null,0,null,0,'%2')").arg(id++).arg(name)).ok);
    }
    QStringList sorted;
    for (const QStringList &row : db().queryRows(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name ORDER BY 1")).rows)
        sorted << row.front();
    EXPECT_EQ(sorted, (QStringList{QStringLiteral("cukr"), QStringLiteral("Čaj"), QStringLiteral("Dům"), QStringLiteral("hrad"),
                                   QStringLiteral("chata"), QStringLiteral("rak"), QStringLiteral("Řeka"), QStringLiteral("sova"),
                                   QStringLiteral("Šíp")}));
}

TEST_P(DatabaseTest, ValuesComeBackAsPlainText)
{
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT 45")), QStringLiteral("45"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(*) FROM mem")), QStringLiteral("0"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT subj_id FROM mem")), QString());
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT NULL")), QString());
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT nonsense FROM nowhere")), QString());
    EXPECT_TRUE(db().execute(QStringLiteral("SELECT nonsense FROM nowhere")).error.startsWith(QStringLiteral("Příkaz SQL selhal: ")));
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO finl_item VALUES (1,getdate(),0,1,1,36,500.00)") + CR
                             + QStringLiteral("INSERT INTO finl_item VALUES (2,getdate(),0,1,1,41,1000)") + CR
                             + QStringLiteral("INSERT INTO finl_item VALUES (3,getdate(),0,1,1,42,1234567890.12)") + CR
                             + QStringLiteral("INSERT INTO finl_item VALUES (4,getdate(),0,1,1,43,-0.5)"))
                    .ok);
    auto amount = [this](int item) {
        return db().singleValue(QStringLiteral("SELECT amt_val FROM finl_item WHERE item_type_cd = %1").arg(item));
    };
    EXPECT_EQ(amount(36), QStringLiteral("500"));
    EXPECT_EQ(amount(42), QStringLiteral("1234567890.12"));
    EXPECT_EQ(amount(43), QStringLiteral("-0.5"));
    // An amount divided by an amount is a decimal quotient, not integer division.
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT (SELECT amt_val FROM finl_item WHERE item_type_cd = 36) / "
                                              "(SELECT amt_val FROM finl_item WHERE item_type_cd = 41)")),
              QStringLiteral("0.5"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT RTRIM(LTRIM(item_type_cd)) FROM finl_item WHERE row_id = 1")), QStringLiteral("36"));
}

TEST_P(DatabaseTest, LostConnectionIsReportedOnce)
{
    if (GetParam() != TestBackend::PostgreSQL)
        GTEST_SKIP() << "an embedded file cannot lose its connection";
    QSignalSpy lost(&db(), &db::Database::connectionLost);
    const QString pid = db().singleValue(QStringLiteral("SELECT pg_backend_pid()"));
    ASSERT_FALSE(pid.isEmpty());
    db::Database other;
    ASSERT_TRUE(other.open(db::DatabaseLocation::odbc(db::kDefaultDsn)).ok);
    other.singleValue(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT 1")), QString());
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT 2")), QString());
    EXPECT_FALSE(db().execute(memInsert(1, 2)).ok);
    EXPECT_EQ(lost.count(), 1);
}

TEST_P(DatabaseTest, NativeReadInsideATransactionFailsAloneAndTheTransactionLivesOn)
{
    db::Transaction tx(db());
    ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    EXPECT_FALSE(db().queryNative(QStringLiteral("SELECT nonsense FROM nowhere")).ok());
    const auto rows = db().queryNative(QStringLiteral("SELECT mem_id FROM mem"));
    ASSERT_TRUE(rows.ok()) << rows.error.toStdString();
    EXPECT_EQ(rows.value.size(), 1);
    EXPECT_TRUE(tx.commit());
    EXPECT_EQ(count(QStringLiteral("mem")), QStringLiteral("1"));
}

VERNA_ALL_BACKENDS(DatabaseTest);

// Reports read beside a writer, and a file that cannot be written is still read.
TEST(SQLiteFile, QueriesTakeNoWriteLockAndReadOnlyFilesAreReadNotWritten)
{
    TestDatabase test(TestBackend::SQLite);
    ASSERT_TRUE(test.open() && test.createSchema()) << test.error().toStdString();
    ASSERT_TRUE(test.db().execute(memInsert(1, 2)).ok);
    const QString path = test.db().location().path;

    db::Database writer;
    ASSERT_TRUE(writer.open(db::DatabaseLocation::file(path)).ok);
    db::Transaction tx(writer);
    ASSERT_TRUE(writer.execute(memInsert(1, 3)).ok);
    QList<QStringList> rows;
    const Outcome read = test.db().execute(QStringLiteral("SELECT count(*) FROM mem") + CR + QStringLiteral("WITH m AS (SELECT * FROM mem) SELECT count(*) FROM m"),
                                           [&rows](const QStringList &row) { rows << row; });
    EXPECT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(rows, (QList<QStringList>{{QStringLiteral("1")}, {QStringLiteral("1")}}));
    tx.rollback();
    writer.close();
    test.db().close();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    db::DatabaseLocation location = db::DatabaseLocation::file(path);
    location.readOnly = true;
    db::Database reader;
    ASSERT_TRUE(reader.open(location).ok);
    EXPECT_TRUE(db::checkVernaDatabase(reader).ok);
    EXPECT_EQ(reader.singleValue(QStringLiteral("SELECT count(*) FROM mem")), QStringLiteral("1"));
    const Outcome write = reader.execute(memInsert(1, 4));
    EXPECT_FALSE(write.ok);
    EXPECT_TRUE(write.error.contains(QStringLiteral("jen pro čtení"))) << write.error.toStdString();
    reader.useWriteAheadLog();
    reader.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

#include "db/databasecheck.h"
#include "db/eventpause.h"
#include "db/odbclogin.h"
#include "db/preparedquery.h"
#include "db/schema.h"
#include "db/transaction.h"
#include "support/files.h"
#include "support/testdatabase.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>

#include <unistd.h>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

const QString CR = u"\r"_s;

QString memInsert(int group, int member)
{
    return u"INSERT INTO mem VALUES ((select (min(row_id)-1) from mem),getdate(),0,%1,%2)"_s.arg(group).arg(member);
}

class DatabaseTest : public BackendTest
{
protected:
    QString count(const QString &table) { return db().singleValue(u"SELECT count(*) FROM "_s + table); }

    // Names for the text tests, each under its own entity from 1.
    void addNames(const QStringList &names)
    {
        int id = 1;
        for (QString name : names) {
            name.replace(u'\'', u"''"_s);
            ASSERT_TRUE(db().execute(u"INSERT INTO name VALUES (%1,getdate(),0,%1,22,'%2',null,0,null,0,'%2')"_s.arg(id++).arg(name)).ok);
        }
    }
};

// Makes a file and its folder unwritable for this process, root included: the immutable
// attribute where the file system and the process's rights allow it, else (not root) the mode
// bits. Undone when it goes out of scope, so the temporary folder can be removed.
class WriteLock
{
public:
    WriteLock(const QString &file, const QString &folder)
        : m_paths{file, folder}
    {
        m_immutable = QProcess::execute(u"chattr"_s, {u"+i"_s, file, folder}) == 0;
        if (!m_immutable && geteuid() != 0) {
            QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
            m_modes = true;
        }
    }
    ~WriteLock()
    {
        if (m_immutable)
            QProcess::execute(u"chattr"_s, {u"-i"_s, m_paths[0], m_paths[1]});
        if (m_modes) {
            QFile::setPermissions(m_paths[1], QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QFile::setPermissions(m_paths[0], QFile::ReadOwner | QFile::WriteOwner);
        }
    }
    bool locked() const { return m_immutable || m_modes; }

private:
    QStringList m_paths;
    bool m_immutable = false;
    bool m_modes = false;
};

} // namespace

// A batch promises one transaction: whatever ends or splits it early is refused before anything
// runs, and the marks of the batch's own transaction are taken in every backend's words.
TEST_P(DatabaseTest, BatchesThatWouldEndTheirTransactionEarlyAreRefusedWhole)
{
    ASSERT_TRUE(db().execute(memInsert(1, 2) + CR + u"INSERT INTO name VALUES (1,getdate(),0,1,22,'a',null,0,null,0,'a')"_s).ok);
    const QStringList controls = {
        u"END"_s, u"END TRANSACTION"_s, u"COMMIT;"_s, u"COMMIT WORK"_s, u"/* x */ commit tran -- y"_s, u"ROLLBACK;"_s,
        u"ROLLBACK TRANSACTION"_s, u"SAVEPOINT s"_s, u"RELEASE s"_s, u"SAVE TRAN s"_s, u"ABORT"_s,
        u"BEGIN TRAN\rCOMMIT TRAN\rBEGIN TRAN"_s, u"SELECT 1; COMMIT"_s, u"SELECT E'\\''; COMMIT; DELETE FROM name; -- '"_s,
        u"DECLARE @row int\rSELECT @row = (min(row_id)-1) FROM mem"_s,
    };
    for (const QString &control : controls) {
        const Outcome run = db().execute(u"DELETE FROM mem\r"_s + control + u"\rDELETE FROM name\rSELECT * FROM no_such_table"_s);
        EXPECT_FALSE(run.ok) << control.toStdString();
        EXPECT_FALSE(db().inTransaction());
        EXPECT_EQ(count(u"mem"_s) + count(u"name"_s), u"11"_s) << control.toStdString();
    }
    // A comment left open would silently drop the condition behind it.
    for (const QString &open : {u"DELETE FROM mem /* WHERE subj_id = 5"_s, u"DELETE FROM mem /* a /* b */ WHERE subj_id = 5"_s}) {
        EXPECT_FALSE(db().execute(open).ok);
        EXPECT_EQ(count(u"mem"_s), u"1"_s) << open.toStdString();
    }
    for (const auto &[begin, commit] : {std::pair{"BEGIN TRANSACTION", "COMMIT WORK;"}, std::pair{"begin", "end transaction"},
                                        std::pair{"START TRANSACTION", "COMMIT"}}) {
        ASSERT_TRUE(db().execute(QString::fromLatin1(begin) + u"\rDELETE FROM mem\r"_s + QString::fromLatin1(commit)).ok) << begin;
        EXPECT_EQ(count(u"mem"_s), u"0"_s);
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    }
}

TEST_P(DatabaseTest, GuardsRollBackUnlessCommittedAndCallsFromAnEventPauseLeaveTheTransactionAlone)
{
    {
        db::Transaction tx(db());
        ASSERT_TRUE(tx.isActive());
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    }
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(count(u"mem"_s), u"0"_s);
    {
        db::Transaction tx(db());
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
        EXPECT_FALSE(db().execute(u"UPDATE no_such_table SET x = 1"_s).ok);
        EXPECT_FALSE(tx.commit());
    }
    EXPECT_EQ(count(u"mem"_s), u"0"_s);
    {
        db::Transaction tx(db());
        ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
        EXPECT_TRUE(tx.commit());
    }
    EXPECT_EQ(count(u"mem"_s), u"1"_s);

    // A native read that fails inside a transaction fails alone; the transaction lives on.
    db::Transaction tx(db());
    ASSERT_TRUE(db().execute(memInsert(1, 3)).ok);
    EXPECT_FALSE(db().queryNative(u"SELECT nonsense FROM nowhere"_s).ok());
    const auto rows = db().queryNative(u"SELECT mem_id FROM mem"_s);
    ASSERT_TRUE(rows.ok()) << rows.error.toStdString();
    EXPECT_EQ(rows.value.size(), 2);
    EXPECT_TRUE(tx.commit());
    EXPECT_EQ(count(u"mem"_s), u"2"_s);

    // Work that lets events through inside its transaction: what they start in the database (another window's
    // click) is refused before the driver, neither joins the transaction nor, failing, aborts it, while the
    // work's own calls go on and commit.
    db::Transaction work(db());
    ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    {
        const db::EventPause pause;
        const Outcome guest = db().execute(memInsert(1, 3));
        EXPECT_FALSE(guest.ok);
        EXPECT_EQ(guest.error, db::Database::kBusyText);
        EXPECT_FALSE(db().readValue(u"SELECT count(*) FROM mem"_s).ok());
        EXPECT_FALSE(db().queryNative(u"SELECT nonsense FROM nowhere"_s).ok());
        EXPECT_EQ(db::queryPrepared(db(), u"SELECT nonsense FROM nowhere"_s, {}, [](const db::PreparedRow &) {}).error, db::Database::kBusyText);
        EXPECT_FALSE(db::Transaction(db()).isActive());
        db().rollbackTransaction();
        EXPECT_TRUE(db().inTransaction());
    }
    ASSERT_TRUE(db().execute(memInsert(1, 4)).ok);
    EXPECT_TRUE(work.commit());
    EXPECT_EQ(count(u"mem"_s), u"4"_s); // two rows more than before
    // With no transaction open there is nothing to protect.
    const db::EventPause pause;
    EXPECT_TRUE(db().execute(memInsert(1, 5)).ok);
}

// Delivered keys start at 1; the application's go below zero from -1 all the same.
TEST_P(DatabaseTest, ApplicationKeysAreNegativeValuesComeBackAsPlainTextAndAnUnversionedSchemaIsUpgraded)
{
    ASSERT_TRUE(db().execute(u"INSERT INTO func_grp VALUES (1,getdate(),0,1,'A','a')\r"
                             "INSERT INTO func_grp VALUES (2,getdate(),0,2,'B','b')"_s).ok);
    ASSERT_TRUE(db().execute(u"INSERT INTO func_grp VALUES ((SELECT min(row_id) - 1 FROM func_grp),getdate(),0,"
                             "(SELECT min(func_grp_id) - 1 FROM func_grp),'C','c')"_s).ok);
    EXPECT_EQ(db().singleValue(u"SELECT row_id FROM func_grp WHERE func_grp_name = 'C'"_s), u"-1"_s);
    EXPECT_EQ(db().singleValue(u"SELECT func_grp_id FROM func_grp WHERE func_grp_name = 'C'"_s), u"-1"_s);

    // Values come back as plain text.
    EXPECT_EQ(db().singleValue(u"SELECT 45"_s), u"45"_s);
    EXPECT_EQ(db().singleValue(u"SELECT subj_id FROM mem"_s), QString());
    EXPECT_EQ(db().singleValue(u"SELECT NULL"_s), QString());
    EXPECT_EQ(db().singleValue(u"SELECT nonsense FROM nowhere"_s), QString());
    EXPECT_TRUE(db().execute(u"SELECT nonsense FROM nowhere"_s).error.startsWith(u"Příkaz SQL selhal: "_s));
    ASSERT_TRUE(db().execute(u"INSERT INTO finl_item VALUES (1,getdate(),0,1,1,36,500.00)\r"
                             "INSERT INTO finl_item VALUES (2,getdate(),0,1,1,41,1000)\r"
                             "INSERT INTO finl_item VALUES (3,getdate(),0,1,1,42,1234567890.12)\r"
                             "INSERT INTO finl_item VALUES (4,getdate(),0,1,1,43,-0.5)"_s).ok);
    const auto amount = [this](int item) { return db().singleValue(u"SELECT amt_val FROM finl_item WHERE item_type_cd = %1"_s.arg(item)); };
    EXPECT_EQ(amount(36), u"500"_s);
    EXPECT_EQ(amount(42), u"1234567890.12"_s);
    EXPECT_EQ(amount(43), u"-0.5"_s);
    // An amount divided by an amount is a decimal quotient, not integer division.
    EXPECT_EQ(db().singleValue(u"SELECT (SELECT amt_val FROM finl_item WHERE item_type_cd = 36) / "
                               "(SELECT amt_val FROM finl_item WHERE item_type_cd = 41)"_s), u"0.5"_s);
    EXPECT_EQ(db().singleValue(u"SELECT RTRIM(LTRIM(item_type_cd)) FROM finl_item WHERE row_id = 1"_s), u"36"_s);

    // A database made before versions were recorded is brought to this one with its rows.
    ASSERT_TRUE(db().execute(memInsert(1, 2)).ok);
    ASSERT_TRUE(db().executeNative(u"DROP TABLE schema_ver"_s).ok);
    EXPECT_EQ(db::Schema::version(db()).value, 1);
    ASSERT_TRUE(db::Schema::upgrade(db()).ok);
    EXPECT_EQ(db::Schema::version(db()).value, db::Schema::kVersion);
    EXPECT_EQ(count(u"mem"_s), u"1"_s);
}

TEST_P(DatabaseTest, TextComparesCaseInsensitivelyLikeTakesTypedMetacharactersLiterallyAndSortsInCzech)
{
    addNames({u"Čokoládovny Žďár"_s, u"Sleva 50% s.r.o."_s, u"Sleva 500 s.r.o."_s, u"A_B"_s, u"AxB"_s, u"O'Neill"_s});
    const std::pair<const char *, const char *> matches[] = {
        {"= 'čokoládovny žďár'", "1"}, {"= 'ČOKOLÁDOVNY ŽĎÁR'", "1"}, {"= 'cokoladovny zdar'", "0"}, {"LIKE 'čoko%'", "1"},
        {"LIKE '%ŽĎÁR'", "1"},         {"LIKE 'sleva 50%'", "2"},     {"LIKE 'sleva 50[%]%'", "1"},   {"LIKE 'a_b'", "2"},
        {"LIKE 'a[_]b'", "1"},         {"LIKE 'o''n%'", "1"}};
    for (const auto &[where, count] : matches)
        EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM name WHERE name_txt "_s + QString::fromUtf8(where)), QString::fromUtf8(count)) << where;
    EXPECT_EQ(db().singleValue(u"SELECT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = 6"_s), u"O'Neill"_s);

    ASSERT_TRUE(db().execute(u"DELETE FROM name"_s).ok);
    addNames({u"chata"_s, u"Čaj"_s, u"hrad"_s, u"cukr"_s, u"Dům"_s, u"Řeka"_s, u"rak"_s, u"Šíp"_s, u"sova"_s});
    QStringList sorted;
    for (const QStringList &row : db().queryRows(u"SELECT RTRIM(LTRIM(name_txt)) FROM name ORDER BY 1"_s).rows)
        sorted << row.front();
    EXPECT_EQ(sorted, (QStringList{u"cukr"_s, u"Čaj"_s, u"Dům"_s, u"hrad"_s, u"chata"_s, u"rak"_s, u"Řeka"_s, u"sova"_s, u"Šíp"_s}));
}

// A server that dropped the idle connection (as a restart does): a read opens it again and
// simply works, nothing told. A read inside a transaction and a write fail, told once and never
// run again on their own; the next write works.
TEST_P(DatabaseTest, ADroppedIdleConnectionIsReopenedForReadsButNeverForWrites)
{
    if (GetParam() != TestBackend::PostgreSQL)
        GTEST_SKIP() << "an embedded file cannot lose its connection";
    QSignalSpy lost(&db(), &db::Database::connectionLost);
    // A connection opened again finds the test's own schema as the first one did.
    const QByteArray options = qgetenv("PGOPTIONS");
    // A server whose default reads backslashes in quotes as escapes: the quoting must still hold.
    qputenv("PGOPTIONS", "-c standard_conforming_strings=off -c search_path=" + db().singleValue(u"SELECT current_schema()"_s).toUtf8());
    const auto restore = qScopeGuard([&] { options.isEmpty() ? void(qunsetenv("PGOPTIONS")) : void(qputenv("PGOPTIONS", options)); });
    db::Database other;
    ASSERT_TRUE(other.open(db::DatabaseLocation::odbc(db::kDefaultDsn)).ok);
    QString pid;
    const auto dropConnection = [&] {
        pid = db().singleValue(u"SELECT pg_backend_pid()"_s);
        ASSERT_FALSE(pid.isEmpty());
        // Waits until the server process has ended.
        ASSERT_TRUE(other.readValue(u"SELECT pg_terminate_backend(%1, 10000)"_s.arg(pid)).ok());
    };
    dropConnection();
    const Result<QString> read = db().readValue(u"SELECT 2"_s);
    EXPECT_TRUE(read.ok()) << read.error.toStdString();
    EXPECT_EQ(read.value, u"2"_s);
    EXPECT_NE(db().singleValue(u"SELECT pg_backend_pid()"_s), pid);
    EXPECT_EQ(lost.count(), 0);
    // The new connection is set up as the first was: no plan compiling for short reads.
    EXPECT_EQ(db().singleValue(u"SHOW jit"_s), u"off"_s);
    EXPECT_EQ(db().singleValue(u"SELECT 'C:\\data\\''' || 'x'"_s), u"C:\\data\\'x"_s);

    {
        db::Transaction tx(db());
        dropConnection();
        const Result<QString> inside = db().readValue(u"SELECT 3"_s);
        EXPECT_TRUE(db::isConnectionLoss(inside.error)) << inside.error.toStdString();
    }
    EXPECT_EQ(lost.count(), 1);

    dropConnection();
    const Outcome write = db().execute(memInsert(1, 2));
    EXPECT_TRUE(db::isConnectionLoss(write.error)) << write.error.toStdString();
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(lost.count(), 2);
    EXPECT_EQ(count(u"mem"_s), u"0"_s);
    const Outcome next = db().execute(memInsert(1, 2));
    EXPECT_TRUE(next.ok) << next.error.toStdString();
    EXPECT_EQ(count(u"mem"_s), u"1"_s);
}

VERNA_ALL_BACKENDS(DatabaseTest);

// Reports read beside a writer, and a file that cannot be written is still read.
TEST(SQLiteFile, QueriesTakeNoWriteLockReadOnlyFilesAreReadAndAFullDiskIsToldAsSuch)
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
    const Outcome read = test.db().execute(u"SELECT count(*) FROM mem\rWITH m AS (SELECT * FROM mem) SELECT count(*) FROM m"_s,
                                           [&rows](const QStringList &row) { rows << row; });
    EXPECT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(rows, (QList<QStringList>{{u"1"_s}, {u"1"_s}}));
    tx.rollback();
    writer.close();
    test.db().close();

    const QByteArray before = readFile(path);
    db::DatabaseLocation location = db::DatabaseLocation::file(path);
    location.readOnly = true;
    db::Database reader;
    ASSERT_TRUE(reader.open(location).ok);
    EXPECT_TRUE(db::checkVernaDatabase(reader).ok);
    EXPECT_EQ(reader.singleValue(u"SELECT count(*) FROM mem"_s), u"1"_s);
    const Outcome write = reader.execute(memInsert(1, 4));
    EXPECT_FALSE(write.ok);
    EXPECT_TRUE(write.error.contains(u"jen pro čtení"_s)) << write.error.toStdString();
    reader.useWriteAheadLog();
    reader.close();
    EXPECT_EQ(readFile(path), before);

    // A full disk is told as such; the write is undone and the file stays open for the next one.
    TestDatabase disk(TestBackend::SQLite);
    ASSERT_TRUE(disk.open() && disk.createSchema()) << disk.error().toStdString();
    db::Database &diskDb = disk.db();
    QSignalSpy lost(&diskDb, &db::Database::connectionLost);
    const auto pages = diskDb.queryNative(u"PRAGMA page_count"_s);
    ASSERT_TRUE(pages.ok() && !pages.value.isEmpty());
    // No page beyond those the file has: as a disk with no room left.
    ASSERT_TRUE(diskDb.queryNative(u"PRAGMA max_page_count = "_s + pages.value.front().front().toString()).ok());
    QString batch;
    for (int i = 1; i <= 2000; ++i)
        batch += memInsert(i, i) + CR;
    const Outcome full = diskDb.execute(batch);
    EXPECT_FALSE(full.ok);
    EXPECT_TRUE(full.error.contains(u"Na disku s databází došlo volné místo"_s)) << full.error.toStdString();
    EXPECT_FALSE(full.error.contains(u"přerušeno"_s)) << full.error.toStdString();
    EXPECT_EQ(lost.count(), 0);
    EXPECT_EQ(diskDb.singleValue(u"SELECT count(*) FROM mem"_s), u"0"_s);
    EXPECT_TRUE(diskDb.execute(memInsert(1, 2)).ok);
}

// A VERNA file in write-ahead-log mode whose folder nobody can write (read-only medium or
// share): SQLite cannot make the -shm index beside it, and the file is read all the same.
TEST(SQLiteFile, FileInAFolderNobodyCanWriteIsReadAndWritesAreRefused)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"jen-cteni"_s);
    const QString path = folder + u"/verna.sqlite"_s;
    {
        db::Database made;
        ASSERT_TRUE(made.open(db::DatabaseLocation::file(path)).ok);
        made.useWriteAheadLog();
        ASSERT_TRUE(db::Schema::create(made).ok);
        ASSERT_TRUE(made.execute(memInsert(1, 2)).ok);
    }
    ASSERT_FALSE(QFile::exists(path + u"-shm"_s));
    const WriteLock lock(path, folder);
    if (!lock.locked())
        GTEST_SKIP() << "this process can make no file unwritable for itself";

    db::Database reader;
    const Outcome opened = reader.open(db::DatabaseLocation::file(path));
    ASSERT_TRUE(opened.ok) << opened.error.toStdString();
    EXPECT_TRUE(reader.isReadOnly());
    const Outcome usable = db::checkVernaDatabase(reader);
    EXPECT_TRUE(usable.ok) << usable.error.toStdString();
    EXPECT_EQ(reader.singleValue(u"SELECT count(*) FROM mem"_s), u"1"_s);
    EXPECT_EQ(reader.execute(memInsert(1, 3)).error, u"Databáze je otevřena jen pro čtení; změny nelze uložit."_s);
    const ToolRun found = runVernaDb({u"--db"_s, path, u"find"_s, u"Doly"_s}, QProcessEnvironment::systemEnvironment().toStringList());
    EXPECT_EQ(found.exitCode, 0) << found.err.toStdString();
}

// The unencrypted-link warning is for remote servers only; a login failure is named by the
// driver's words, whatever server sent them.
TEST(ServerLogin, LoopbackFailureKindsAndTheNeedOfALoginAreReadFromPlainText)
{
    for (const char *host : {"", "localhost", "127.0.0.1", "127.1.2.3", "::1", "[::1]", "0:0:0:0:0:0:0:1", "/run/postgresql"})
        EXPECT_TRUE(db::isLoopbackHost(QString::fromUtf8(host))) << host;
    for (const char *host : {"db.firma.cz", "10.0.0.5", "128.0.0.1", "127.example.com", "::2", "::ffff:10.0.0.1"})
        EXPECT_FALSE(db::isLoopbackHost(QString::fromUtf8(host))) << host;
    EXPECT_TRUE(db::warnsUnencrypted(u"db.firma.cz"_s, false));
    EXPECT_FALSE(db::warnsUnencrypted(u"db.firma.cz"_s, true));
    EXPECT_FALSE(db::warnsUnencrypted(u"127.0.0.1"_s, false));

    const QString prefix = u"[unixODBC]connection to server at \"10.0.0.5\", port 5432 failed: "_s;
    EXPECT_EQ(db::classifyLoginFailure(prefix + u"FATAL:  password authentication failed for user \"x\""_s),
              db::LoginFailure::WrongLogin);
    EXPECT_EQ(db::classifyLoginFailure(prefix + u"fe_sendauth: no password supplied"_s), db::LoginFailure::WrongLogin);
    EXPECT_EQ(db::classifyLoginFailure(prefix + u"FATAL:  database \"nothere\" does not exist"_s),
              db::LoginFailure::DatabaseMissing);
    EXPECT_EQ(db::classifyLoginFailure(prefix + u"Connection refused\n\tIs the server running on that host?"_s),
              db::LoginFailure::ServerUnreachable);
    EXPECT_EQ(db::classifyLoginFailure(u"[unixODBC][Driver Manager]Data source name not found"_s), db::LoginFailure::Other);

    db::OdbcSourceEntry entry;
    entry.server = u"db.firma.cz"_s;
    entry.database = u"finance"_s;
    EXPECT_TRUE(db::loginNeed(entry, QString()).ask) << "no name";
    entry.user = u"jin:y"_s;
    EXPECT_TRUE(db::loginNeed(entry, QString()).ask);
    EXPECT_EQ(db::loginNeed(entry, QString()).user, u"jin:y"_s) << "the source's name is offered";
    entry.hasPassword = true;
    EXPECT_FALSE(db::loginNeed(entry, QString()).ask);
    entry.hasPassword = false;

    QTemporaryDir dir;
    const QString path = dir.filePath(u"pgpass"_s);
    const auto write = [&path](const QByteArray &text, QFile::Permissions permissions) {
        ASSERT_TRUE(writeFile(path, text) && QFile::setPermissions(path, permissions));
    };
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    write("# comment\ndb.firma.cz:5433:finance:jin\\:y:heslo\n*:*:jina:jin\\:y:heslo\n", owner);
    EXPECT_TRUE(db::loginNeed(entry, path).ask) << "another port, another database";
    write("db.firma.cz:*:finance:jin\\:y:heslo\n", owner | QFile::ReadGroup);
    EXPECT_TRUE(db::loginNeed(entry, path).ask) << "libpq ignores a file others can read";
    write("db.firma.cz:*:finance:jin\\:y:heslo\n", owner);
    EXPECT_FALSE(db::loginNeed(entry, path).ask);
}

// On the test server: "finance_login" keeps no login and asks, a wrong password is told as
// such and the right one connects; "finance_tls" is encrypted, "finance" is not.
TEST(ServerLogin, OwnLoginsAndEncryptionOnTheTestServer)
{
    if (!db::isOdbcDataSourceConfigured(u"finance_login"_s) || !db::isOdbcDataSourceConfigured(u"finance_tls"_s)) {
        if (qEnvironmentVariable("VERNA_TEST_POSTGRES") == QLatin1String("required"))
            FAIL() << "the test data sources \"finance_login\" and \"finance_tls\" are missing";
        GTEST_SKIP() << "no test data sources for logins";
    }
    EXPECT_TRUE(db::loginNeed(u"finance_login"_s).ask);
    EXPECT_FALSE(db::loginNeed(db::kDefaultDsn).ask);
    EXPECT_EQ(db::odbcSourceEntry(u"finance_tls"_s).sslMode, u"require"_s);

    db::Database server;
    db::DatabaseLocation login = db::DatabaseLocation::odbc(u"finance_login"_s);
    login.password = u"spatne"_s;
    const Outcome refused = server.open(login);
    ASSERT_FALSE(refused.ok);
    EXPECT_EQ(db::classifyLoginFailure(refused.error), db::LoginFailure::WrongLogin) << refused.error.toStdString();
    login.password = u"qxj"_s;
    ASSERT_TRUE(server.open(login).ok);
    EXPECT_FALSE(server.isEncrypted());

    const Outcome tls = server.open(db::withSourceLogin(db::DatabaseLocation::odbc(u"finance_tls"_s)));
    ASSERT_TRUE(tls.ok) << tls.error.toStdString();
    EXPECT_TRUE(server.isEncrypted());
    EXPECT_EQ(server.singleValue(u"SELECT current_user"_s), u"dba"_s);
    ASSERT_TRUE(server.open(db::withSourceLogin(db::DatabaseLocation::odbc(db::kDefaultDsn))).ok);
    EXPECT_FALSE(server.isEncrypted());
}

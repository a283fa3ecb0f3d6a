// verna-db run as a separate process: concurrent writers and the choice of database.
#include "support/testdatabase.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

using namespace verna;
using namespace verna::test;

namespace {

const QString kTool = QStringLiteral(VERNA_DB_TOOL);

QStringList withVariables(QStringList env, const QStringList &overrides)
{
    for (const QString &o : overrides) {
        const QString key = o.section(QLatin1Char('='), 0, 0) + QLatin1Char('=');
        env.erase(std::remove_if(env.begin(), env.end(), [&key](const QString &e) { return e.startsWith(key); }), env.end());
        env << o;
    }
    return env;
}

class ProcessTest : public BackendTest
{
};

} // namespace

TEST_P(ProcessTest, EightConcurrentWritersMakeNoDuplicateKeysAndLoseNoRows)
{
    constexpr int kWorkers = 8;
    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<QProcess>> workers;
        for (int w = 0; w < kWorkers; ++w) {
            auto p = std::make_unique<QProcess>();
            p->setEnvironment(testDatabase().childEnvironment());
            // Two keyed inserts per transaction widen the window between key and insert.
            p->start(kTool, {QStringLiteral("--db"), testDatabase().dbOption(), QStringLiteral("sql"),
                             QStringLiteral("INSERT INTO mem VALUES ((select (min(row_id)-1) from mem),getdate(),0,%1,%2)\r"
                                            "INSERT INTO mem VALUES ((select (min(row_id)-1) from mem),getdate(),0,%1,%3)")
                                 .arg(w)
                                 .arg(round * 2)
                                 .arg(round * 2 + 1)});
            workers.push_back(std::move(p));
        }
        for (auto &p : workers) {
            ASSERT_TRUE(p->waitForFinished(60000));
            EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        }
    }
    const int expected = kWorkers * kRounds * 2;
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(*) FROM mem")), QString::number(expected));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(DISTINCT row_id) FROM mem")), QString::number(expected));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(DISTINCT subj_id * 1000 + mem_id) FROM mem")), QString::number(expected));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT max(row_id) FROM mem")), QStringLiteral("-1"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT min(row_id) FROM mem")), QString::number(-expected));
}

TEST_P(ProcessTest, SqlCommandPrintsRowsAndReportsErrorsWithExitCodes)
{
    const QStringList env = testDatabase().childEnvironment();
    const QString dbOption = testDatabase().dbOption();
    ToolRun r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("sql"), QStringLiteral("SELECT count(*) FROM finl_stmt")}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("0\n"));
    // Every row is one line: tabs, line breaks and backslashes in values are escaped.
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("sql"), QStringLiteral("SELECT 'a\tb\r\nc\\d', NULL, 2")}, env);
    EXPECT_EQ(r.out, QStringLiteral("a\\tb\\r\\nc\\\\d\t\t2\n")) << r.err.toStdString();
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("sql"), QStringLiteral("SELECT * FROM no_such_table")}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Příkaz SQL selhal: "))) << r.err.toStdString();
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("sql")}, env);
    EXPECT_EQ(r.exitCode, 2);
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("frobnicate")}, env);
    EXPECT_EQ(r.exitCode, 2);
    r = runVernaDb({QStringLiteral("--help")}, env);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("analyze"))) << r.out.toStdString();
    // A mistyped file is reported, not created empty.
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("preklep.sqlite"));
    r = runVernaDb({QStringLiteral("--db"), missing, QStringLiteral("sql"), QStringLiteral("SELECT 1")}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(missing));
    // init refuses a database that already has the tables.
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("init")}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--force"))) << r.err.toStdString();
}

VERNA_ALL_BACKENDS(ProcessTest);

// Whatever the file holds, verna-db says in Czech that it is not a usable VERNA database,
// exits 1, and leaves the file as it was; init does not take over a foreign or damaged file.
TEST(NotAVernaDatabase, IsReportedAndLeftUntouched)
{
    QTemporaryDir dir;
    const QStringList env = QProcessEnvironment::systemEnvironment().toStringList();
    const QString good = dir.filePath(QStringLiteral("verna.sqlite"));
    ASSERT_EQ(runVernaDb({QStringLiteral("--db"), good, QStringLiteral("init")}, env).exitCode, 0);
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray verna = goodFile.readAll();
    goodFile.close();
    const int pageSize = (static_cast<uchar>(verna.at(16)) << 8) | static_cast<uchar>(verna.at(17));
    const int cdValPage = runVernaDb({QStringLiteral("--db"), good, QStringLiteral("sql"),
                                      QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'cd_val'")}, env).out.trimmed().toInt();
    ASSERT_GT(cdValPage, 1);

    QByteArray damaged = verna;
    damaged.replace((cdValPage - 1) * pageSize + 8, 200, QByteArray(200, '\x55'));
    QByteArray random(8192, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 7919 + 13) % 251);
    const struct {
        const char *name;
        QByteArray bytes;
        bool advisesInit;
        bool initRefused; // even with --force
    } files[] = {
        {"empty", QByteArray(), true, false},
        {"random", random, false, true},
        {"truncated", verna.left(verna.size() / 2), false, true},
        {"damaged", damaged, false, true},
        {"foreign", QByteArray(), false, true},
        {"renamed", QByteArray(), false, false},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        const QString path = dir.filePath(QString::fromLatin1(f.name) + QStringLiteral(".sqlite"));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QLatin1String(f.name) == QLatin1String("renamed") ? verna : f.bytes);
        out.close();
        if (QLatin1String(f.name) == QLatin1String("renamed") || QLatin1String(f.name) == QLatin1String("foreign")) {
            // Prepared through the library that verna-db uses, before its checks apply.
            db::Database prepare;
            ASSERT_TRUE(prepare.open(db::DatabaseLocation::file(path)).ok);
            ASSERT_TRUE(prepare.executeNative(QLatin1String(f.name) == QLatin1String("renamed") ? QStringLiteral("ALTER TABLE mem RENAME TO mem_old")
                                                                                           : QStringLiteral("CREATE TABLE t (x)")).ok);
        }
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const QByteArray before = out.readAll();
        out.close();
        const ToolRun r = runVernaDb({QStringLiteral("--db"), path, QStringLiteral("sql"), QStringLiteral("SELECT count(*) FROM cd_val")}, env);
        EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("VERNA")) || r.err.contains(QStringLiteral("poškozená"))) << r.err.toStdString();
        EXPECT_EQ(r.err.contains(QStringLiteral("init")), f.advisesInit) << r.err.toStdString();
        if (f.initRefused)
            EXPECT_EQ(runVernaDb({QStringLiteral("--db"), path, QStringLiteral("init"), QStringLiteral("--force")}, env).exitCode, 1);
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        EXPECT_TRUE(out.readAll() == before);
        out.close();
    }
}

TEST(DatabaseChoice, OptionDataSourceOrEmbeddedFile)
{
    EXPECT_FALSE(db::parseDatabaseOption(QString()).has_value());
    EXPECT_FALSE(db::parseDatabaseOption(QStringLiteral("odbc:")).has_value());
    EXPECT_EQ(db::parseDatabaseOption(QStringLiteral("odbc:finance"))->dsn, QStringLiteral("finance"));
    EXPECT_EQ(db::parseDatabaseOption(QStringLiteral("x.sqlite"))->kind, db::DatabaseLocation::Kind::File);

    QTemporaryDir home;
    const QStringList base = QProcessEnvironment::systemEnvironment().toStringList();
    const QString emptyOdbc = home.filePath(QStringLiteral("odbc-empty"));
    QDir().mkpath(emptyOdbc);

    // No data source configured: the embedded file is created in the user's data folder.
    const QStringList noDsn = withVariables(base, {QStringLiteral("ODBCSYSINI=") + emptyOdbc,
                                                   QStringLiteral("ODBCINI=") + emptyOdbc + QStringLiteral("/odbc.ini"),
                                                   QStringLiteral("HOME=") + home.path(),
                                                   QStringLiteral("XDG_DATA_HOME=") + home.filePath(QStringLiteral("data"))});
    ToolRun r = runVernaDb({QStringLiteral("sql"), QStringLiteral("SELECT count(*) FROM finl_stmt")}, noDsn);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QDirIterator files(home.filePath(QStringLiteral("data")), {QStringLiteral("*.sqlite")}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_TRUE(files.hasNext());

    // A configured but unreachable "finance" is reported, not silently replaced.
    const QString brokenOdbc = home.filePath(QStringLiteral("odbc-broken"));
    QDir().mkpath(brokenOdbc);
    QFile ini(brokenOdbc + QStringLiteral("/odbc.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[finance]\nDriver=NoSuchDriverAnywhere\nServername=127.0.0.1\nPort=1\n");
    ini.close();
    const QStringList broken = withVariables(noDsn, {QStringLiteral("ODBCSYSINI=") + brokenOdbc,
                                                     QStringLiteral("ODBCINI=") + brokenOdbc + QStringLiteral("/odbc.ini")});
    r = runVernaDb({QStringLiteral("sql"), QStringLiteral("SELECT 1")}, broken);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Není nastaveno ODBC"))) << r.err.toStdString();

    // Set up with a driver that runs, but no server answers: that is said, not "not set up".
    QDirIterator drivers(QStringLiteral("/usr/lib"), {QStringLiteral("psqlodbcw.so")}, QDir::Files, QDirIterator::Subdirectories);
    if (!drivers.hasNext())
        return;
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[finance]\nDriver=" + drivers.next().toUtf8() + "\nServername=127.0.0.1\nPort=1\nDatabase=finance\n");
    ini.close();
    r = runVernaDb({QStringLiteral("sql"), QStringLiteral("SELECT 1")}, broken);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Databázový server zdroje ODBC „finance“ není dostupný"))) << r.err.toStdString();
}

TEST(DatabaseChoice, ConfiguredFinanceIsTheDefault)
{
    if (!db::isOdbcDataSourceConfigured(db::kDefaultDsn)) {
        if (qEnvironmentVariable("VERNA_TEST_POSTGRES") == QLatin1String("required"))
            FAIL() << "the test data source \"finance\" is missing";
        GTEST_SKIP() << "no data source \"finance\"";
    }
    TestDatabase tables(TestBackend::PostgreSQL);
    ASSERT_TRUE(tables.open() && tables.createSchema()) << tables.error().toStdString();
    const ToolRun r = runVernaDb({QStringLiteral("sql"), QStringLiteral("SELECT version()")}, tables.childEnvironment());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("PostgreSQL"))) << r.out.toStdString();
}

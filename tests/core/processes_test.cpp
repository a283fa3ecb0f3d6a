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
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("sql"), QStringLiteral("SELECT * FROM no_such_table")}, env);
    EXPECT_EQ(r.exitCode, 1);
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("sql")}, env);
    EXPECT_EQ(r.exitCode, 2);
    r = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("frobnicate")}, env);
    EXPECT_EQ(r.exitCode, 2);
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
}

TEST(DatabaseChoice, ConfiguredFinanceIsTheDefault)
{
    if (!db::isOdbcDataSourceConfigured(db::kDefaultDsn)) {
        if (qEnvironmentVariable("VERNA_TEST_POSTGRES") == QLatin1String("required"))
            FAIL() << "the test data source \"finance\" is missing";
        GTEST_SKIP() << "no data source \"finance\"";
    }
    const ToolRun r = runVernaDb({QStringLiteral("sql"), QStringLiteral("SELECT version()")},
                                QProcessEnvironment::systemEnvironment().toStringList());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("PostgreSQL"))) << r.out.toStdString();
}

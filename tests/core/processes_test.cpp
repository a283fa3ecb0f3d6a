// verna-db run as a separate process: concurrent writers and the choice of database.
#include "support/files.h"
#include "support/testdatabase.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

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

using ProcessTest = BackendTest;

} // namespace

TEST_P(ProcessTest, SqlCommandPrintsRowsAndReportsErrorsWithExitCodes)
{
    ToolRun r = vernaDb({u"sql"_s, u"SELECT count(*) FROM finl_stmt"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"0\n"_s);
    // Every row is one line: tabs, line breaks and backslashes in values are escaped.
    r = vernaDb({u"sql"_s, u"SELECT 'a\tb\r\nc\\d', NULL, 2"_s});
    EXPECT_EQ(r.out, u"a\\tb\\r\\nc\\\\d\t\t2\n"_s) << r.err.toStdString();
    r = vernaDb({u"sql"_s, u"SELECT * FROM no_such_table"_s});
    EXPECT_TRUE(r.exitCode == 1 && r.err.startsWith(u"Příkaz SQL selhal: "_s)) << r.err.toStdString();
    EXPECT_EQ(vernaDb({u"sql"_s}).exitCode, 2);
    EXPECT_EQ(vernaDb({u"frobnicate"_s}).exitCode, 2);
    // Demo statements only where they could be kept: no year before 1993, no quarters in reverse.
    EXPECT_EQ(vernaDb({u"demo"_s, u"--entities"_s, u"1"_s, u"--years"_s, u"1990"_s}).exitCode, 2);
    EXPECT_EQ(vernaDb({u"demo"_s, u"--entities"_s, u"1"_s, u"--years"_s, u"2020"_s, u"--quarters"_s, u"3-2"_s}).exitCode, 2);
    // Rows that cannot be written (a full disk) are a failure, not a cut-off success.
    QProcess full;
    full.setEnvironment(testDatabase().childEnvironment());
    full.setStandardOutputFile(u"/dev/full"_s);
    full.start(kTool, {u"--db"_s, testDatabase().dbOption(), u"sql"_s, u"SELECT 1"_s});
    ASSERT_TRUE(full.waitForFinished(60000));
    EXPECT_EQ(full.exitCode(), 1) << full.readAllStandardError().toStdString();
    // The password's line on standard input is never read as the entity list, nor shown.
    r = vernaDb({u"--password-stdin"_s, u"analyze"_s, u"--entities"_s, u"-"_s, u"--periods"_s, u"1998/4"_s, u"--indicators"_s, u"1"_s},
                "tajne-heslo\n3366\n");
    EXPECT_TRUE(r.exitCode == 2 && !r.err.contains(u"tajne"_s)) << r.err.toStdString();
    r = runVernaDb({u"--help"_s}, testDatabase().childEnvironment());
    EXPECT_TRUE(r.exitCode == 0 && r.out.contains(u"analyze"_s)) << r.out.toStdString();
    // A mistyped file is reported, not created empty.
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"preklep.sqlite"_s);
    EXPECT_EQ(runVernaDb({u"--db"_s, missing, u"sql"_s, u"SELECT 1"_s}, testDatabase().childEnvironment()).exitCode, 1);
    EXPECT_FALSE(QFile::exists(missing));
    // init refuses a database that already has the tables.
    r = vernaDb({u"init"_s});
    EXPECT_TRUE(r.exitCode == 1 && r.err.contains(u"--force"_s)) << r.err.toStdString();
}

VERNA_ALL_BACKENDS(ProcessTest);

// Whatever the file holds, verna-db says in Czech that it is not a usable VERNA database,
// exits 1, and leaves the file as it was; init does not take over a foreign or damaged file.
TEST(NotAVernaDatabase, IsReportedAndLeftUntouchedAndAFailedInitLeavesNoFileItCreated)
{
    QTemporaryDir dir;
    const QStringList env = QProcessEnvironment::systemEnvironment().toStringList();
    const auto tool = [&env](const QString &path, const QStringList &args) { return runVernaDb(QStringList{u"--db"_s, path} + args, env); };
    const QString good = dir.filePath(u"verna.sqlite"_s);
    ASSERT_EQ(tool(good, {u"init"_s}).exitCode, 0);
    const QByteArray verna = readFile(good);
    const int pageSize = (static_cast<uchar>(verna.at(16)) << 8) | static_cast<uchar>(verna.at(17));
    const int cdValPage = tool(good, {u"sql"_s, u"SELECT rootpage FROM sqlite_master WHERE name = 'cd_val'"_s}).out.trimmed().toInt();
    ASSERT_GT(cdValPage, 1);

    QByteArray damaged = verna;
    damaged.replace((cdValPage - 1) * pageSize + 8, 200, QByteArray(200, '\x55'));
    QByteArray random(8192, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 7919 + 13) % 251);
    const struct {
        const char *name;
        QByteArray bytes;
        const char *prepare; // run through the library verna-db uses, before its checks apply
        bool advisesInit;
        bool initRefused; // even with --force
    } files[] = {
        {"empty", QByteArray(), nullptr, true, false},
        {"random", random, nullptr, false, true},
        {"truncated", verna.left(verna.size() / 2), nullptr, false, true},
        {"damaged", damaged, nullptr, false, true},
        {"foreign", QByteArray(), "CREATE TABLE t (x)", false, true},
        {"renamed", verna, "ALTER TABLE mem RENAME TO mem_old", false, false},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        const QString path = dir.filePath(QString::fromLatin1(f.name) + u".sqlite"_s);
        ASSERT_TRUE(writeFile(path, f.bytes));
        if (f.prepare) {
            db::Database prepare;
            ASSERT_TRUE(prepare.open(db::DatabaseLocation::file(path)).ok);
            ASSERT_TRUE(prepare.executeNative(QString::fromLatin1(f.prepare)).ok);
        }
        const QByteArray before = readFile(path);
        const ToolRun r = tool(path, {u"sql"_s, u"SELECT count(*) FROM cd_val"_s});
        EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(u"VERNA"_s) || r.err.contains(u"poškozená"_s)) << r.err.toStdString();
        EXPECT_EQ(r.err.contains(u"init"_s), f.advisesInit) << r.err.toStdString();
        if (f.initRefused) {
            EXPECT_EQ(tool(path, {u"init"_s, u"--force"_s}).exitCode, 1);
        }
        EXPECT_TRUE(readFile(path) == before);
    }
    // A device is named for what it is, never offered to init, and init does not write to it.
    for (const QStringList &args : {QStringList{u"find"_s, u"x"_s}, QStringList{u"init"_s}}) {
        const ToolRun r = tool(u"/dev/zero"_s, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(u"není obyčejný soubor"_s)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(u"init"_s)) << r.err.toStdString();
    }

    // init that fails part-way (here: files may not grow past 64 KiB, as on a full disk) removes the
    // file it created, with its -wal and -shm; a file that was there before it stays.
    QTemporaryDir folder;
    const auto init = [](const QString &path) {
        QProcess p;
        p.setChildProcessModifier([] {
            const rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the process
        });
        p.start(kTool, {u"--db"_s, path, u"init"_s});
        p.waitForFinished(60000);
        return std::pair{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
    };
    const auto [code, err] = init(folder.filePath(u"nova.sqlite"_s));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.startsWith(u"Databázi nelze založit: "_s)) << err.toStdString();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    const QString existing = folder.filePath(u"prazdna.sqlite"_s);
    ASSERT_TRUE(writeFile(existing, {}));
    EXPECT_EQ(init(existing).first, 1);
    EXPECT_TRUE(QFile::exists(existing));
}

TEST(DatabaseChoice, OptionDataSourceOrEmbeddedFile)
{
    EXPECT_FALSE(db::parseDatabaseOption(QString()).has_value());
    EXPECT_FALSE(db::parseDatabaseOption(u"odbc:"_s).has_value());
    EXPECT_EQ(db::parseDatabaseOption(u"odbc:finance"_s)->dsn, u"finance"_s);
    EXPECT_EQ(db::parseDatabaseOption(u"x.sqlite"_s)->kind, db::DatabaseLocation::Kind::File);

    QTemporaryDir home;
    const QStringList base = QProcessEnvironment::systemEnvironment().toStringList();
    const QString emptyOdbc = home.filePath(u"odbc-empty"_s);
    QDir().mkpath(emptyOdbc);

    // No data source configured: the embedded file is created in the user's data folder.
    const QStringList noDsn = withVariables(base, {u"ODBCSYSINI="_s + emptyOdbc, u"ODBCINI="_s + emptyOdbc + u"/odbc.ini"_s,
                                                   u"HOME="_s + home.path(), u"XDG_DATA_HOME="_s + home.filePath(u"data"_s)});
    // Demo data asked for on a first start is all there is; a server-only command creates nothing.
    EXPECT_EQ(runVernaDb({u"roles"_s}, noDsn).exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(home.filePath(u"data"_s)));
    ToolRun r = runVernaDb({u"demo"_s, u"--entities"_s, u"3"_s}, noDsn);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runVernaDb({u"sql"_s, u"SELECT count(DISTINCT subj_id) FROM finl_stmt"_s}, noDsn);
    EXPECT_EQ(r.out, u"4\n"_s) << r.err.toStdString(); // the reference data's sample company and the three
    QDirIterator files(home.filePath(u"data"_s), {u"*.sqlite"_s}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_TRUE(files.hasNext());

    // A configured but unreachable "finance" is reported, not silently replaced. (It carries a
    // login: one without would be asked for first.)
    const QString brokenOdbc = home.filePath(u"odbc-broken"_s);
    QDir().mkpath(brokenOdbc);
    const QString ini = brokenOdbc + u"/odbc.ini"_s;
    ASSERT_TRUE(writeFile(ini, "[finance]\nDriver=NoSuchDriverAnywhere\nServername=127.0.0.1\nPort=1\nUsername=dba\nPassword=qxj\n"));
    const QStringList broken = withVariables(noDsn, {u"ODBCSYSINI="_s + brokenOdbc, u"ODBCINI="_s + brokenOdbc + u"/odbc.ini"_s});
    r = runVernaDb({u"sql"_s, u"SELECT 1"_s}, broken);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Není nastaveno ODBC"_s)) << r.err.toStdString();

    // Set up with a driver that runs, but no server answers: that is said, not "not set up".
    QDirIterator drivers(u"/usr/lib"_s, {u"psqlodbcw.so"_s}, QDir::Files, QDirIterator::Subdirectories);
    if (!drivers.hasNext())
        return;
    ASSERT_TRUE(writeFile(ini, "[finance]\nDriver=" + drivers.next().toUtf8()
                                   + "\nServername=127.0.0.1\nPort=1\nDatabase=finance\nUsername=dba\nPassword=qxj\n"));
    r = runVernaDb({u"sql"_s, u"SELECT 1"_s}, broken);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Databázový server zdroje ODBC „finance“ není dostupný"_s)) << r.err.toStdString();
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
    const ToolRun r = runVernaDb({u"sql"_s, u"SELECT version()"_s}, tables.childEnvironment());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(u"PostgreSQL"_s)) << r.out.toStdString();
}

// Ctrl-C at the hidden password prompt ends the program with the terminal's echo back on.
TEST(PasswordPrompt, AnInterruptGivesTheTerminalItsEchoBack)
{
    QDirIterator drivers(u"/usr/lib"_s, {u"psqlodbcw.so"_s}, QDir::Files, QDirIterator::Subdirectories);
    if (!drivers.hasNext())
        GTEST_SKIP() << "no PostgreSQL ODBC driver";
    QTemporaryDir home;
    const QString ini = home.filePath(u"odbc.ini"_s);
    ASSERT_TRUE(writeFile(ini, "[bezhesla]\nDriver=" + drivers.next().toUtf8() + "\nServername=127.0.0.1\nPort=1\nDatabase=x\n"));
    std::vector<std::string> env;
    for (const QString &e : withVariables(QProcessEnvironment::systemEnvironment().toStringList(),
                                          {u"ODBCSYSINI="_s + home.path(), u"ODBCINI="_s + ini, u"HOME="_s + home.path()}))
        env.push_back(e.toStdString());
    std::vector<std::string> args = {kTool.toStdString(), "--db", "odbc:bezhesla", "--user", "jan", "sql", "SELECT 1"};
    std::vector<char *> argv, envp;
    for (std::string &a : args)
        argv.push_back(a.data());
    for (std::string &e : env)
        envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    QByteArray shown;
    pollfd waiting{terminal, POLLIN, 0};
    while (!shown.contains("Heslo") && poll(&waiting, 1, 20000) > 0) {
        char buffer[256];
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;
        shown.append(buffer, n);
    }
    termios during{};
    tcgetattr(terminal, &during);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    termios after{};
    tcgetattr(terminal, &after);
    close(terminal);
    ASSERT_TRUE(shown.contains("Heslo")) << shown.toStdString();
    EXPECT_FALSE(during.c_lflag & ECHO);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_TRUE(after.c_lflag & ECHO);
}

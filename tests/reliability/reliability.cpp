// Load and crash runs of several VERNA processes on one database, with a check of what they
// leave behind that prints its figures.
//   verna-reliability load  sqlite|postgresql [--seconds N] [--writers N] [--readers N]
//     (VERNA_RELIABILITY_SECONDS=60 in the environment overrides --seconds)
//   verna-reliability crash sqlite|postgresql [--rounds N]
//   verna-reliability server   (a private PostgreSQL cluster stopped and started under it)
// A writer logs every write the core acknowledged; the check finds each of them in the
// database. Exit 0 when nothing was lost, duplicated or failed; 77 when PostgreSQL is not set
// up and not required.
#include "serverfault.h"
#include "workload.h"

#include "db/database.h"
#include "shell/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstdio>

using namespace verna;
using namespace verna::reliability;

namespace {

constexpr int kSkipped = 77;

// A fresh database with reference data: a file in a temporary folder, or a private schema on
// the PostgreSQL server of the data source "finance".
struct Target {
    QTemporaryDir dir;
    QString dbOption;
    QString schema;
    db::Database db;
    QStringList environment = QProcessEnvironment::systemEnvironment().toStringList();

    QString create(bool postgres)
    {
        if (!postgres) {
            dbOption = dir.filePath(QStringLiteral("shared.sqlite"));
            if (const Outcome o = db.open(db::DatabaseLocation::file(dbOption)); !o)
                return o.error;
        } else {
            if (!db::isOdbcDataSourceConfigured(db::kDefaultDsn))
                return QStringLiteral("skip");
            dbOption = QStringLiteral("odbc:") + db::kDefaultDsn;
            if (const Outcome o = db.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !o)
                return o.error;
            schema = QStringLiteral("r_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
            QSqlQuery q(db.connection());
            if (!q.exec(QStringLiteral("CREATE SCHEMA %1").arg(schema)) || !q.exec(QStringLiteral("SET search_path TO %1").arg(schema)))
                return QStringLiteral("schema");
            environment << QStringLiteral("PGOPTIONS=-c search_path=") + schema;
        }
        if (const Outcome o = shell::initialiseDatabase(db, false); !o)
            return o.error;
        db.useWriteAheadLog();
        return {};
    }
    ~Target()
    {
        if (!schema.isEmpty() && db.isOpen())
            QSqlQuery(db.connection()).exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
    }
};

QProcess *spawn(const Target &target, const QString &program, const QStringList &arguments, QObject *parent)
{
    auto *p = new QProcess(parent);
    p->setEnvironment(target.environment);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start(program, arguments);
    return p;
}

QString self()
{
    return QCoreApplication::applicationFilePath();
}

int load(Target &target, int seconds, int writers, int readers)
{
    QObject owner;
    QList<QProcess *> children;
    QStringList logs;
    for (int i = 0; i < writers + readers; ++i) {
        const bool writer = i < writers;
        logs << target.dir.filePath(QStringLiteral("log-%1").arg(i));
        children << spawn(target, self(),
                          {writer ? QStringLiteral("writer") : QStringLiteral("reader"), target.dbOption, QString::number(seconds),
                           logs.last(), QString::number(i)},
                          &owner);
    }
    bool allExited = true;
    for (QProcess *p : children)
        allExited = p->waitForFinished((seconds + 120) * 1000) && p->exitStatus() == QProcess::NormalExit && allExited;
    std::printf("load on %s: %d writer and %d reader processes, %d s\n", backendName(target.db), writers, readers, seconds);
    Report report = check(target.db, logs);
    report.addWholeness(target.db);
    report.print();
    return allExited && report.clean() ? 0 : 1;
}

int crash(Target &target, int rounds)
{
    QObject owner;
    QStringList logs;
    int kills = 0;
    auto *random = QRandomGenerator::global();
    for (int round = 0; round < rounds; ++round) {
        // A long write (demo data in chunks) and a writer of the application's writes side by
        // side, each killed at a random moment.
        QList<QProcess *> victims;
        victims << spawn(target, QStringLiteral(VERNA_DB_TOOL),
                         {QStringLiteral("--db"), target.dbOption, QStringLiteral("demo"), QStringLiteral("--entities"),
                          QStringLiteral("600"), QStringLiteral("--seed"), QString::number(1000 + round), QStringLiteral("--years"),
                          QStringLiteral("1999")},
                         &owner);
        logs << target.dir.filePath(QStringLiteral("crash-%1").arg(round));
        victims << spawn(target, self(), {QStringLiteral("writer"), target.dbOption, QStringLiteral("30"), logs.last(), QString::number(round)},
                         &owner);
        for (QProcess *p : victims)
            p->waitForStarted();
        // The kill falls within the demo's later chunks: after its first commit, at a random moment.
        QProcess *demo = victims.front();
        demo->setReadChannel(QProcess::StandardError);
        QByteArray progress;
        while (!progress.contains("200 /") && demo->state() == QProcess::Running && demo->waitForReadyRead(60000))
            progress += demo->readAll();
        QThread::msleep(random->bounded(2000));
        for (QProcess *p : victims) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
                ++kills;
            }
            p->waitForFinished(10000);
        }
    }
    std::printf("crash on %s: %d rounds, %d processes killed with SIGKILL mid-write\n", backendName(target.db), rounds, kills);
    Report report = check(target.db, logs, /*killed=*/true);
    report.addWholeness(target.db);
    // The database takes a whole run after the kills.
    QProcess after;
    after.setEnvironment(target.environment);
    after.start(QStringLiteral(VERNA_DB_TOOL), {QStringLiteral("--db"), target.dbOption, QStringLiteral("demo"), QStringLiteral("--entities"),
                                                 QStringLiteral("20"), QStringLiteral("--seed"), QStringLiteral("99999")});
    const bool usable = after.waitForFinished(120000) && after.exitStatus() == QProcess::NormalExit && after.exitCode() == 0;
    report.line(QStringLiteral("a demo run after the kills completes"), usable ? 0 : 1);
    report.print();
    return report.clean() ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: verna-reliability load|crash sqlite|postgresql [--seconds N] [--writers N] [--readers N] [--rounds N]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 5 && (args[0] == QLatin1String("writer") || args[0] == QLatin1String("reader")))
        return args[0] == QLatin1String("writer") ? runWriter(args[1], args[2].toInt(), args[3], args[4].toInt())
                                                  : runReader(args[1], args[2].toInt(), args[3]);
    const bool required = qEnvironmentVariable("VERNA_TEST_POSTGRES") == QLatin1String("required");
    if (args.size() == 1 && args[0] == QLatin1String("server"))
        return reliability::serverFaults(required);
    if (args.size() < 2 || (args[1] != QLatin1String("sqlite") && args[1] != QLatin1String("postgresql")))
        return usage();
    int seconds = 20;
    int writers = 8, readers = 2, rounds = 6;
    for (int i = 2; i + 1 < args.size(); i += 2) {
        const int value = args[i + 1].toInt();
        if (args[i] == QLatin1String("--seconds"))
            seconds = value;
        else if (args[i] == QLatin1String("--writers"))
            writers = value;
        else if (args[i] == QLatin1String("--readers"))
            readers = value;
        else if (args[i] == QLatin1String("--rounds"))
            rounds = value;
        else
            return usage();
    }
    // The full run on demand, whatever the short one of ctest asks for.
    if (const int full = qEnvironmentVariableIntValue("VERNA_RELIABILITY_SECONDS"); full > 0)
        seconds = full;
    const bool postgres = args[1] == QLatin1String("postgresql");
    Target target;
    if (const QString error = target.create(postgres); !error.isEmpty()) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(error));
        return error == QLatin1String("skip") && !required ? kSkipped : 1;
    }
    if (args[0] == QLatin1String("load"))
        return load(target, seconds, writers, readers);
    if (args[0] == QLatin1String("crash"))
        return crash(target, rounds);
    return usage();
}

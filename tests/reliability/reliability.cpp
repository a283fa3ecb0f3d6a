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
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstdio>
#include <map>

using namespace verna;
using namespace verna::reliability;
using namespace Qt::StringLiterals;

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
            dbOption = dir.filePath(u"shared.sqlite"_s);
            if (const Outcome o = db.open(db::DatabaseLocation::file(dbOption)); !o)
                return o.error;
        } else {
            if (!db::isOdbcDataSourceConfigured(db::kDefaultDsn))
                return u"skip"_s;
            dbOption = u"odbc:"_s + db::kDefaultDsn;
            if (const Outcome o = db.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !o)
                return o.error;
            schema = u"r_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16);
            QSqlQuery q(db.connection());
            if (!q.exec(u"CREATE SCHEMA %1"_s.arg(schema)) || !q.exec(u"SET search_path TO %1"_s.arg(schema)))
                return u"schema"_s;
            environment << u"PGOPTIONS=-c search_path="_s + schema;
        }
        if (const Outcome o = shell::initialiseDatabase(db, false); !o)
            return o.error;
        db.useWriteAheadLog();
        return {};
    }
    ~Target()
    {
        if (!schema.isEmpty() && db.isOpen())
            QSqlQuery(db.connection()).exec(u"DROP SCHEMA %1 CASCADE"_s.arg(schema));
    }

    // This program as a "writer" or "reader" on the database, with its log; ended with the target.
    QProcess *worker(const QString &role, int seconds, const QString &log, int index)
    {
        return spawn(QCoreApplication::applicationFilePath(), {role, dbOption, QString::number(seconds), log, QString::number(index)});
    }
    // verna-db on the database with the blank-separated arguments.
    QProcess *tool(const QString &arguments)
    {
        return spawn(QStringLiteral(VERNA_DB_TOOL), QStringList{u"--db"_s, dbOption} + arguments.split(u' '));
    }
    QProcess *spawn(const QString &program, const QStringList &arguments)
    {
        auto *p = new QProcess(&children);
        p->setEnvironment(environment);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(program, arguments);
        return p;
    }
    QObject children; // last, so that the processes end before the database closes
};

int load(Target &target, int seconds, int writers, int readers)
{
    QList<QProcess *> children;
    QStringList logs;
    for (int i = 0; i < writers + readers; ++i) {
        logs << target.dir.filePath(u"log-%1"_s.arg(i));
        children << target.worker(i < writers ? u"writer"_s : u"reader"_s, seconds, logs.last(), i);
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

// The import killed in each round: the year 2005 statements of a hundred companies (several
// bulk chunks on every backend), written once by a demo and replaced by each import.
struct KilledImport {
    QString file;
    QString companies; // the condition selecting their statements
    qint64 wholeMs = 0; // how long one import takes when left alone

    QString prepare(Target &target)
    {
        QProcess *demo = target.tool(u"demo --entities 100 --seed 4242 --years 2005"_s);
        if (!demo->waitForFinished(120000) || demo->exitCode() != 0)
            return u"the demo of the import's companies failed"_s;
        const db::Rows rows = target.db.queryRows(
            u"SELECT i.ident_txt, s.year_dt, s.quarter_dt, s.stmt_type_cd, s.fill_lvl_ind, t.item_type_cd, CAST(t.amt_val AS INTEGER), s.subj_id "
            "FROM finl_stmt s JOIN ident i ON i.subj_id = s.subj_id JOIN finl_item t ON t.finl_stmt_id = s.finl_stmt_id "
            "WHERE s.year_dt = 2005 AND s.inac_ind = 0 AND t.inac_ind = 0 ORDER BY s.subj_id, s.quarter_dt, s.stmt_type_cd, t.row_id"_s);
        if (!rows.ok() || rows.rows.isEmpty())
            return u"the import's statements cannot be read: "_s + rows.error;
        QByteArray csv = "ico;rok;ctvrtleti;vykaz;rozsah;radek;castka\n";
        QStringList subjects;
        for (const QStringList &row : rows.rows) {
            csv += row.mid(0, 7).join(u';').toUtf8() + '\n';
            if (subjects.isEmpty() || subjects.last() != row[7])
                subjects << row[7];
        }
        companies = u"year_dt = 2005 AND subj_id IN (%1)"_s.arg(subjects.join(u','));
        file = target.dir.filePath(u"import.csv"_s);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(csv) != csv.size())
            return u"the import file cannot be written"_s;
        out.close();
        QElapsedTimer clock;
        clock.start();
        QProcess *whole = start(target);
        if (!whole->waitForFinished(120000) || whole->exitCode() != 0)
            return u"the import left alone failed"_s;
        wholeMs = clock.elapsed();
        return {};
    }
    // The active statements' ids, then their items and all statements, active or replaced.
    QStringList activeState(Target &target) const
    {
        const db::Rows ids = target.db.queryRows(u"SELECT finl_stmt_id FROM finl_stmt WHERE inac_ind = 0 AND %1 ORDER BY finl_stmt_id"_s.arg(companies));
        const db::Rows counts = target.db.queryRows(
            u"SELECT (SELECT COUNT(*) FROM finl_item WHERE inac_ind = 0 AND finl_stmt_id IN (SELECT finl_stmt_id FROM finl_stmt WHERE inac_ind = 0 AND %1)), "
            "COUNT(*) FROM finl_stmt WHERE %1"_s.arg(companies));
        QStringList state;
        for (const QStringList &row : ids.rows)
            state << row.value(0);
        state << (counts.ok() && !counts.rows.isEmpty() ? counts.rows[0].join(u' ') : counts.error);
        return state;
    }
    // A kill may come after the commit, while the process ends: then the import is there whole,
    // every active statement new, as many as before with as many items, the old ones replaced.
    static bool noneOrWhole(const QStringList &before, const QStringList &after)
    {
        if (after == before)
            return true;
        if (after.size() != before.size() || after.isEmpty())
            return false;
        for (qsizetype i = 0; i + 1 < after.size(); ++i) {
            if (before.contains(after[i]))
                return false;
        }
        const QStringList was = before.last().split(u' ');
        const QStringList is = after.last().split(u' ');
        return was.size() == 2 && is.size() == 2 && is[0] == was[0] && is[1].toLongLong() == was[1].toLongLong() + (after.size() - 1);
    }
    QProcess *start(Target &target) { return target.tool(u"import "_s + file + u" --replace"_s); }
    // The companies' statements and items, active or replaced: any row of a killed import shows.
    QString stored(Target &target) const
    {
        const db::Rows rows = target.db.queryRows(
            u"SELECT COUNT(*), SUM(inac_ind), MIN(finl_stmt_id), (SELECT COUNT(*) FROM finl_item WHERE finl_stmt_id IN (SELECT finl_stmt_id FROM "
            "finl_stmt WHERE %1)) FROM finl_stmt WHERE %1"_s.arg(companies));
        return rows.ok() && !rows.rows.isEmpty() ? rows.rows[0].join(u' ') : rows.error;
    }
};

int crash(Target &target, int rounds)
{
    QStringList logs;
    int kills = 0;
    auto *random = QRandomGenerator::global();
    KilledImport import;
    if (const QString failed = import.prepare(target); !failed.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failed));
        return 1;
    }
    int importsKilled = 0;
    qint64 importsLeftBehind = 0;
    for (int round = 0; round < rounds; ++round) {
        // An import killed at a random moment in the last quarter of the time it takes alone,
        // where it writes: nothing of it stays, whatever chunks it had written.
        const QString before = import.stored(target);
        const QStringList beforeState = import.activeState(target);
        QProcess *importing = import.start(target);
        importing->waitForStarted();
        if (!importing->waitForFinished(static_cast<int>(import.wholeMs * 3 / 4 + random->bounded(import.wholeMs / 4 + 1)))) {
            ::kill(static_cast<pid_t>(importing->processId()), SIGKILL);
            importing->waitForFinished(10000);
            ++importsKilled;
            ++kills;
            if (import.stored(target) != before && !KilledImport::noneOrWhole(beforeState, import.activeState(target)))
                ++importsLeftBehind;
        }
        // A long write (demo data in chunks) and a writer of the application's writes side by
        // side, each killed at a random moment.
        logs << target.dir.filePath(u"crash-%1"_s.arg(round));
        const QList<QProcess *> victims = {target.tool(u"demo --entities 600 --seed %1 --years 1999"_s.arg(1000 + round)),
                                           target.worker(u"writer"_s, 30, logs.last(), round)};
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
    report.line(u"imports killed mid-write that left rows behind"_s, importsLeftBehind,
                u"%1 of %2 imports killed (one takes %3 ms alone)"_s.arg(importsKilled).arg(rounds).arg(import.wholeMs));
    report.addWholeness(target.db);
    // The database takes a whole run after the kills.
    QProcess *after = target.tool(u"demo --entities 20 --seed 99999"_s);
    const bool usable = after->waitForFinished(120000) && after->exitStatus() == QProcess::NormalExit && after->exitCode() == 0;
    report.line(u"a demo run after the kills completes"_s, usable ? 0 : 1);
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
    if (args.size() == 5 && (args[0] == u"writer"_s || args[0] == u"reader"_s))
        return args[0] == u"writer"_s ? runWriter(args[1], args[2].toInt(), args[3], args[4].toInt()) : runReader(args[1], args[2].toInt(), args[3]);
    const bool required = qEnvironmentVariable("VERNA_TEST_POSTGRES") == u"required"_s;
    if (args.size() == 1 && args[0] == u"server"_s)
        return reliability::serverFaults(required);
    if (args.size() < 2 || (args[1] != u"sqlite"_s && args[1] != u"postgresql"_s))
        return usage();
    int seconds = 20, writers = 8, readers = 2, rounds = 6;
    const std::map<QString, int *> options = {
        {u"--seconds"_s, &seconds}, {u"--writers"_s, &writers}, {u"--readers"_s, &readers}, {u"--rounds"_s, &rounds}};
    for (int i = 2; i + 1 < args.size(); i += 2) {
        const auto option = options.find(args[i]);
        if (option == options.end())
            return usage();
        *option->second = args[i + 1].toInt();
    }
    // The full run on demand, whatever the short one of ctest asks for.
    if (const int full = qEnvironmentVariableIntValue("VERNA_RELIABILITY_SECONDS"); full > 0)
        seconds = full;
    Target target;
    if (const QString error = target.create(args[1] == u"postgresql"_s); !error.isEmpty()) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(error));
        return error == u"skip"_s && !required ? kSkipped : 1;
    }
    if (args[0] == u"load"_s)
        return load(target, seconds, writers, readers);
    if (args[0] == u"crash"_s)
        return crash(target, rounds);
    return usage();
}

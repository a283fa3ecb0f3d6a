#include "serverfault.h"

#include "analysis/analysisdata.h"
#include "db/database.h"
#include "entities/entitysearch.h"
#include "entities/notes.h"
#include "shell/startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace verna::reliability {

namespace {

constexpr qint32 kReference = 3366;

QString newest(const QString &pattern)
{
    QStringList found;
    for (const QString &dir : {QStringLiteral("/usr/lib/postgresql"), QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc"),
                               QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc"), QStringLiteral("/usr/lib/odbc")}) {
        QProcess ls;
        ls.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("ls %1/%2 2>/dev/null").arg(dir, pattern)});
        ls.waitForFinished();
        found += QString::fromLocal8Bit(ls.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    std::sort(found.begin(), found.end());
    return found.isEmpty() ? QString() : found.last();
}

int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

// A private cluster that can be stopped and started under the running application.
class Cluster
{
public:
    bool create(QString &error)
    {
        const QString initdb = newest(QStringLiteral("*/bin/initdb"));
        m_driver = newest(QStringLiteral("psqlodbcw.so"));
        if (initdb.isEmpty() || m_driver.isEmpty() || !m_dir.isValid()) {
            error = QStringLiteral("skip");
            return false;
        }
        m_bin = QFileInfo(initdb).absolutePath();
        // The server refuses to run as root: the cluster then belongs to the postgres account.
        if (::geteuid() == 0) {
            m_asOwner = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")};
            QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), m_dir.path()});
        }
        m_port = freePort();
        if (!run(initdb, {QStringLiteral("-D"), data(), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                          QStringLiteral("-U"), QStringLiteral("dba"), QStringLiteral("-A"), QStringLiteral("trust")})) {
            error = QStringLiteral("initdb failed");
            return false;
        }
        if (!start()) {
            error = QStringLiteral("the server did not start");
            return false;
        }
        return true;
    }
    ~Cluster()
    {
        if (m_port)
            run(m_bin + QStringLiteral("/pg_ctl"), {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")});
    }
    bool start()
    {
        return run(m_bin + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), data(), QStringLiteral("-l"), m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("-o"),
                    QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off").arg(m_port).arg(m_dir.path()), QStringLiteral("start")});
    }
    // Stops (SIGSTOP) or resumes (SIGCONT) the server and all its processes, as a stalled
    // network or an overloaded server looks to a client: the kernel still takes its packets.
    bool signalAll(int signal)
    {
        QFile pidFile(QDir(data()).filePath(QStringLiteral("postmaster.pid")));
        if (!pidFile.open(QIODevice::ReadOnly))
            return false;
        const QString postmaster = QString::fromLatin1(pidFile.readLine()).trimmed();
        QProcess children;
        children.start(QStringLiteral("pgrep"), {QStringLiteral("-P"), postmaster});
        children.waitForFinished();
        QStringList pids = QString::fromLatin1(children.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        pids.prepend(postmaster);
        bool ok = true;
        for (const QString &pid : pids)
            ok = ::kill(pid.trimmed().toInt(), signal) == 0 && ok;
        return ok;
    }
    bool stop() { return run(m_bin + QStringLiteral("/pg_ctl"), {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")}); }
    QString connection() const
    {
        return QStringLiteral("DRIVER=%1;SERVER=127.0.0.1;PORT=%2;DATABASE=postgres").arg(m_driver).arg(m_port);
    }

private:
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }
    bool run(const QString &program, const QStringList &arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QStringList command = m_asOwner;
        command << program << arguments;
        p.start(command.takeFirst(), command);
        const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            std::fprintf(stderr, "%s\n", p.readAll().constData());
        return ok;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_driver;
    QStringList m_asOwner;
    int m_port = 0;
};

} // namespace

int serverFaults(bool required)
{
    Cluster cluster;
    if (QString error; !cluster.create(error)) {
        std::fprintf(stderr, "no private PostgreSQL cluster: %s\n", qPrintable(error));
        return error == QLatin1String("skip") && !required ? 77 : 1;
    }
    db::Database db;
    if (const Outcome o = db.open(db::DatabaseLocation::odbc(cluster.connection())); !o) {
        std::fprintf(stderr, "cannot connect: %s\n", qPrintable(o.error));
        return 1;
    }
    if (const Outcome o = shell::initialiseDatabase(db, false); !o) {
        std::fprintf(stderr, "cannot initialise: %s\n", qPrintable(o.error));
        return 1;
    }
    int lost = 0;
    QObject::connect(&db, &db::Database::connectionLost, [&lost](const QString &) { ++lost; });
    analysis::AnalysisData data(db);
    entities::EntitySearch search(db);
    const auto years = data.yearsOf(kReference);
    int faults = 0;
    const auto expect = [&faults](bool ok, const char *what, const QString &detail = {}) {
        std::printf("  %-4s %s%s%s\n", ok ? "ok" : "FAIL", what, detail.isEmpty() ? "" : ": ", qPrintable(detail));
        faults += !ok;
    };
    std::printf("server faults: the PostgreSQL server stopped under a running connection, then started again\n");
    expect(years.ok() && !years.value.isEmpty(), "the reference entity's years are read");
    expect(cluster.stop(), "server stopped");
    const auto cut = data.yearsOf(kReference);
    expect(!cut.ok() && cut.error.startsWith(QStringLiteral("Spojení s databází bylo přerušeno")), "a read fails with a Czech message, no empty value", cut.error);
    const auto found = search.find(QStringLiteral("Strojírny"));
    expect(!found.ok() && found.error.startsWith(QStringLiteral("Spojení s databází bylo přerušeno")), "a search fails, no empty list", found.error);
    const Outcome note = entities::storeNote(db, QString::number(kReference), QStringLiteral("během výpadku"));
    expect(!note.ok && !db.inTransaction(), "a write fails and leaves no transaction open", note.error);
    expect(lost == 1, "the loss is announced once");

    expect(cluster.start(), "server started again");
    const auto again = data.yearsOf(kReference);
    expect(again.ok() && again.value == years.value, "the same read works again without a restart", again.error);
    const Outcome stored = entities::storeNote(db, QString::number(kReference), QStringLiteral("po výpadku"));
    expect(stored.ok && entities::loadNote(db, QString::number(kReference)).value == QStringLiteral("po výpadku"), "a write works again", stored.error);

    // A restart while the connection sits idle: a read opens it again and nothing is told.
    expect(cluster.stop() && cluster.start(), "server restarted while the connection was idle");
    const auto afterRestart = search.find(QStringLiteral("Strojírny"));
    expect(afterRestart.ok() && lost == 1, "the next search simply works, nothing announced", afterRestart.error);
    // A write is never run again on its own: it says it was not done, and the next one works.
    expect(cluster.stop() && cluster.start(), "server restarted again");
    const Outcome cutWrite = entities::storeNote(db, QString::number(kReference), QStringLiteral("po restartu"));
    expect(!cutWrite.ok && db::isConnectionLoss(cutWrite.error) && lost == 2, "the next write is reported once", cutWrite.error);
    expect(entities::loadNote(db, QString::number(kReference)).value == QStringLiteral("po výpadku"), "and was not run again");
    const Outcome nextWrite = entities::storeNote(db, QString::number(kReference), QStringLiteral("po restartu"));
    expect(nextWrite.ok && entities::loadNote(db, QString::number(kReference)).value == QStringLiteral("po restartu"), "the write after it works", nextWrite.error);
    std::printf("stalled server: its processes stopped (SIGSTOP) under the connection, then resumed\n");
    const int lostBefore = lost;
    using namespace std::chrono_literals;
    db.setResponseLimit(2s);
    QElapsedTimer clock;
    bool stopAsked = false;
    const auto stopAfter = [&stopAsked](std::chrono::milliseconds after) {
        return db::Database::WaitHook{[&stopAsked, after](std::chrono::milliseconds waited) { return !(stopAsked = stopAsked || waited >= after); }, {}};
    };
    // A slow statement on an answering server: Stop cancels it, the connection stays.
    db.setWaitHook(stopAfter(300ms));
    clock.start();
    const auto slow = db.readValue(QStringLiteral("SELECT pg_sleep(20)"));
    expect(!slow.ok() && slow.error.startsWith(QStringLiteral("Operace byla zastavena")) && clock.elapsed() < 1000,
           "Stop cancels a slow statement at once", slow.error + QStringLiteral(" (%1 ms)").arg(clock.elapsed()));
    db.setWaitHook({});
    const auto goesOn = data.yearsOf(kReference);
    expect(goesOn.ok() && lost == lostBefore, "the same connection goes on",
           goesOn.error + QStringLiteral(" (lost %1 → %2)").arg(lostBefore).arg(lost));

    const QString noted = entities::loadNote(db, QString::number(kReference)).value;
    const auto answered = search.find(QStringLiteral("Strojírny"));
    expect(cluster.signalAll(SIGSTOP), "server stopped with SIGSTOP");
    clock.restart();
    const auto stalled = search.find(QStringLiteral("Strojírny"));
    expect(!stalled.ok() && stalled.error.contains(QStringLiteral("Databázový server neodpovídá ani po 2 s")) && clock.elapsed() < 4500,
           "a search gets control back at the limit with one message", stalled.error + QStringLiteral(" (%1 ms)").arg(clock.elapsed()));
    clock.restart();
    const auto filled = data.rowPeriods({kReference}, 1990, 2030);
    expect(!filled.ok() && filled.error.contains(QStringLiteral("neodpovídá")) && clock.elapsed() < 4500,
           "a fill's read gets control back (a fresh connection within the limit)", filled.error + QStringLiteral(" (%1 ms)").arg(clock.elapsed()));
    stopAsked = false;
    db.setWaitHook(stopAfter(300ms));
    clock.restart();
    const Outcome stoppedSave = entities::storeNote(db, QString::number(kReference), QStringLiteral("zastaveno"));
    expect(!stoppedSave.ok && clock.elapsed() < 2000 && !db.inTransaction(), "Stop ends a save at once", stoppedSave.error + QStringLiteral(" (%1 ms)").arg(clock.elapsed()));
    db.setWaitHook({});
    expect(cluster.signalAll(SIGCONT), "server resumed");
    expect(entities::loadNote(db, QString::number(kReference)).value == noted, "the stopped save left nothing");
    const auto resumed = search.find(QStringLiteral("Strojírny"));
    expect(resumed.ok() && answered.ok() && resumed.value.size() == answered.value.size() && !answered.value.isEmpty(), "the search works again", resumed.error);

    // The server stops between the statements of a save: nothing of it stays.
    bool stalledMidway = false;
    db.setIdleHook([&] {
        if (db.inTransaction() && !stalledMidway)
            stalledMidway = cluster.signalAll(SIGSTOP);
    });
    clock.restart();
    const Outcome halfway = entities::storeNote(db, QString::number(kReference), QStringLiteral("napůl"));
    db.setIdleHook({});
    expect(stalledMidway && !halfway.ok && halfway.error.contains(QStringLiteral("neodpovídá")) && !db.inTransaction() && clock.elapsed() < 4500,
           "a save stalled midway ends at the limit", halfway.error);
    expect(cluster.signalAll(SIGCONT), "server resumed");
    const auto after = entities::loadNote(db, QString::number(kReference));
    expect(after.ok() && after.value == noted, "the stalled save left nothing half-written", after.error);
    expect(entities::storeNote(db, QString::number(kReference), QStringLiteral("znovu")).ok
               && entities::loadNote(db, QString::number(kReference)).value == QStringLiteral("znovu"),
           "the next save works");
    std::printf("%s\n", faults ? "FAULTS FOUND" : "no crash, no empty result taken for data, reconnected");
    return faults ? 1 : 0;
}

} // namespace verna::reliability

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
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace verna::reliability {

namespace {

using namespace Qt::StringLiterals;

constexpr qint32 kReference = 3366;

QString newest(const QString &pattern)
{
    QStringList found;
    for (const char *dir : {"/usr/lib/postgresql", "/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib/odbc"}) {
        QProcess ls;
        ls.start(u"sh"_s, {u"-c"_s, u"ls %1/%2 2>/dev/null"_s.arg(QLatin1String(dir), pattern)});
        ls.waitForFinished();
        found += QString::fromLocal8Bit(ls.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    std::sort(found.begin(), found.end());
    return found.value(found.size() - 1);
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
    // "" when it runs, else why not: "skip" when no server or driver is installed.
    QString create()
    {
        const QString initdb = newest(u"*/bin/initdb"_s);
        m_driver = newest(u"psqlodbcw.so"_s);
        if (initdb.isEmpty() || m_driver.isEmpty() || !m_dir.isValid())
            return u"skip"_s;
        m_bin = QFileInfo(initdb).absolutePath();
        // The server refuses to run as root: the cluster then belongs to the postgres account.
        if (::geteuid() == 0) {
            m_asOwner = {u"runuser"_s, u"-u"_s, u"postgres"_s, u"--"_s};
            QProcess::execute(u"chown"_s, {u"postgres"_s, m_dir.path()});
        }
        m_port = freePort();
        if (!run(initdb, {u"-D"_s, data(), u"-E"_s, u"UTF8"_s, u"--locale=C.UTF-8"_s, u"-U"_s, u"dba"_s, u"-A"_s, u"trust"_s}))
            return u"initdb failed"_s;
        return start() ? QString() : u"the server did not start"_s;
    }
    ~Cluster()
    {
        if (m_port)
            pgCtl({u"-m"_s, u"immediate"_s, u"stop"_s});
    }
    bool start()
    {
        return pgCtl({u"-l"_s, m_dir.filePath(u"server.log"_s), u"-w"_s, u"-o"_s,
                      u"-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off"_s.arg(m_port).arg(m_dir.path()), u"start"_s});
    }
    bool stop() { return pgCtl({u"-m"_s, u"fast"_s, u"-w"_s, u"stop"_s}); }
    // Stops (SIGSTOP) or resumes (SIGCONT) the server and all its processes, as a stalled
    // network or an overloaded server looks to a client: the kernel still takes its packets.
    bool signalAll(int signal)
    {
        QFile pidFile(QDir(data()).filePath(u"postmaster.pid"_s));
        if (!pidFile.open(QIODevice::ReadOnly))
            return false;
        const QString postmaster = QString::fromLatin1(pidFile.readLine()).trimmed();
        QProcess children;
        children.start(u"pgrep"_s, {u"-P"_s, postmaster});
        children.waitForFinished();
        bool ok = ::kill(postmaster.toInt(), signal) == 0;
        // A child listed while it was exiting may be reaped by the resumed postmaster before
        // its turn; one that is gone needs no signal.
        for (const QString &pid : QString::fromLatin1(children.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
            ok = (::kill(pid.trimmed().toInt(), signal) == 0 || errno == ESRCH) && ok;
        return ok;
    }
    QString connection() const { return u"DRIVER=%1;SERVER=127.0.0.1;PORT=%2;DATABASE=postgres"_s.arg(m_driver).arg(m_port); }

private:
    QString data() const { return m_dir.filePath(u"data"_s); }
    bool pgCtl(const QStringList &arguments) { return run(m_bin + u"/pg_ctl"_s, QStringList{u"-D"_s, data()} + arguments); }
    bool run(const QString &program, const QStringList &arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QStringList command = m_asOwner + QStringList{program} + arguments;
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
    if (const QString error = cluster.create(); !error.isEmpty()) {
        std::fprintf(stderr, "no private PostgreSQL cluster: %s\n", qPrintable(error));
        return error == u"skip"_s && !required ? 77 : 1;
    }
    db::Database db;
    Outcome opened = db.open(db::DatabaseLocation::odbc(cluster.connection()));
    if (opened)
        opened = shell::initialiseDatabase(db, false);
    if (!opened) {
        std::fprintf(stderr, "cannot connect and initialise: %s\n", qPrintable(opened.error));
        return 1;
    }
    int lost = 0;
    QObject::connect(&db, &db::Database::connectionLost, [&lost](const QString &) { ++lost; });
    analysis::AnalysisData data(db);
    entities::EntitySearch search(db);
    QElapsedTimer clock;
    int faults = 0;
    const auto expect = [&faults](bool ok, const char *what, const QString &detail = {}) {
        std::printf("  %-4s %s%s%s\n", ok ? "ok" : "FAIL", what, detail.isEmpty() ? "" : ": ", qPrintable(detail));
        faults += !ok;
    };
    const QString reference = QString::number(kReference);
    const auto store = [&](const QString &text) { return entities::storeNote(db, reference, text); };
    const auto noted = [&] { return entities::loadNote(db, reference).value; };
    const auto find = [&] { return search.find(u"Strojírny"_s); };
    const auto took = [&clock](const QString &error) { return error + u" (%1 ms)"_s.arg(clock.elapsed()); };
    const QString cutText = u"Spojení s databází bylo přerušeno"_s;

    std::printf("server faults: the PostgreSQL server stopped under a running connection, then started again\n");
    const auto years = data.yearsOf(kReference);
    expect(years.ok() && !years.value.isEmpty(), "the reference entity's years are read");
    expect(cluster.stop(), "server stopped");
    const auto cut = data.yearsOf(kReference);
    expect(!cut.ok() && cut.error.startsWith(cutText), "a read fails with a Czech message, no empty value", cut.error);
    const auto found = find();
    expect(!found.ok() && found.error.startsWith(cutText), "a search fails, no empty list", found.error);
    const Outcome note = store(u"během výpadku"_s);
    expect(!note.ok && !db.inTransaction(), "a write fails and leaves no transaction open", note.error);
    expect(lost == 1, "the loss is announced once");

    expect(cluster.start(), "server started again");
    const auto again = data.yearsOf(kReference);
    expect(again.ok() && again.value == years.value, "the same read works again without a restart", again.error);
    const Outcome stored = store(u"po výpadku"_s);
    expect(stored.ok && noted() == u"po výpadku"_s, "a write works again", stored.error);

    // A restart while the connection sits idle: a read opens it again and nothing is told.
    expect(cluster.stop() && cluster.start(), "server restarted while the connection was idle");
    const auto afterRestart = find();
    expect(afterRestart.ok() && lost == 1, "the next search simply works, nothing announced", afterRestart.error);
    // A write is never run again on its own: it says it was not done, and the next one works.
    expect(cluster.stop() && cluster.start(), "server restarted again");
    const Outcome cutWrite = store(u"po restartu"_s);
    expect(!cutWrite.ok && db::isConnectionLoss(cutWrite.error) && lost == 2, "the next write is reported once", cutWrite.error);
    expect(noted() == u"po výpadku"_s, "and was not run again");
    const Outcome nextWrite = store(u"po restartu"_s);
    expect(nextWrite.ok && noted() == u"po restartu"_s, "the write after it works", nextWrite.error);

    std::printf("stalled server: its processes stopped (SIGSTOP) under the connection, then resumed\n");
    const int lostBefore = lost;
    using namespace std::chrono_literals;
    db.setResponseLimit(2s);
    bool stopAsked = false;
    const auto stopAfter = [&stopAsked](std::chrono::milliseconds after) {
        return db::Database::WaitHook{[&stopAsked, after](std::chrono::milliseconds waited) { return !(stopAsked = stopAsked || waited >= after); }, {}};
    };
    // A slow statement on an answering server: Stop cancels it, the connection stays.
    db.setWaitHook(stopAfter(300ms));
    clock.start();
    const auto slow = db.readValue(u"SELECT pg_sleep(20)"_s);
    expect(!slow.ok() && slow.error.startsWith(u"Operace byla zastavena"_s) && clock.elapsed() < 1000, "Stop cancels a slow statement at once",
           took(slow.error));
    db.setWaitHook({});
    const auto goesOn = data.yearsOf(kReference);
    expect(goesOn.ok() && lost == lostBefore, "the same connection goes on", goesOn.error + u" (lost %1 → %2)"_s.arg(lostBefore).arg(lost));

    const QString before = noted();
    const auto answered = find();
    expect(cluster.signalAll(SIGSTOP), "server stopped with SIGSTOP");
    clock.restart();
    const auto stalled = find();
    expect(!stalled.ok() && stalled.error.contains(u"Databázový server neodpovídá ani po 2 s"_s) && clock.elapsed() < 4500,
           "a search gets control back at the limit with one message", took(stalled.error));
    clock.restart();
    const auto filled = data.rowPeriods({kReference}, 1990, 2030);
    expect(!filled.ok() && filled.error.contains(u"neodpovídá"_s) && clock.elapsed() < 4500,
           "a fill's read gets control back (a fresh connection within the limit)", took(filled.error));
    stopAsked = false;
    db.setWaitHook(stopAfter(300ms));
    clock.restart();
    const Outcome stoppedSave = store(u"zastaveno"_s);
    expect(!stoppedSave.ok && clock.elapsed() < 2000 && !db.inTransaction(), "Stop ends a save at once", took(stoppedSave.error));
    db.setWaitHook({});
    expect(cluster.signalAll(SIGCONT), "server resumed");
    expect(noted() == before, "the stopped save left nothing");
    const auto resumed = find();
    expect(resumed.ok() && answered.ok() && resumed.value.size() == answered.value.size() && !answered.value.isEmpty(), "the search works again",
           resumed.error);

    // The server stops between the statements of a save: nothing of it stays.
    bool stalledMidway = false;
    db.setIdleHook([&] {
        if (db.inTransaction() && !stalledMidway)
            stalledMidway = cluster.signalAll(SIGSTOP);
    });
    clock.restart();
    const Outcome halfway = store(u"napůl"_s);
    db.setIdleHook({});
    expect(stalledMidway && !halfway.ok && halfway.error.contains(u"neodpovídá"_s) && !db.inTransaction() && clock.elapsed() < 4500,
           "a save stalled midway ends at the limit", halfway.error);
    expect(cluster.signalAll(SIGCONT), "server resumed");
    const auto after = entities::loadNote(db, reference);
    expect(after.ok() && after.value == before, "the stalled save left nothing half-written", after.error);
    expect(store(u"znovu"_s).ok && noted() == u"znovu"_s, "the next save works");
    std::printf("%s\n", faults ? "FAULTS FOUND" : "no crash, no empty result taken for data, reconnected");
    return faults ? 1 : 0;
}

} // namespace verna::reliability

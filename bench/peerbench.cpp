// A company's peer figures: 12 indicators x the 4 quarters of 1998 against a division of
// 10,000 companies (the demo data with every main branch moved into one division), on the
// embedded database and over ODBC, beside the limit of the same peers' cells: the raw sqlite3
// pass (or the server's statement) plus a sort of each indicator's values per quarter. Then
// verna-db benchmark per cell at 10,000 and at 100,000 peers.
#include "benchmarks.h"

#include "analysis/analysisdata.h"
#include "analysis/evaluatorsource.h"
#include "analysis/peerbenchmark.h"
#include "db/database.h"
#include "db/databaselocation.h"
#include "db/sqlquote.h"
#include "shell/demodata.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <charconv>
#include <optional>

using namespace verna;

namespace {

constexpr int kYear = 1998;
const QString kPeerDatabase = QStringLiteral("verna_peers");

shell::DemoOptions peerDemo()
{
    shell::DemoOptions demo;
    demo.entities = 10000;
    demo.seed = 23;
    demo.firstYear = kYear;
    demo.lastYear = kYear;
    return demo;
}

// Every company's main branch into division 29, where the reference company is already.
bool intoOneDivision(db::Database &database, QTextStream &log)
{
    const Outcome moved = database.execute(QStringLiteral("UPDATE actv SET actv_cd = 3029 WHERE actv_nbr = 1 AND actv_cd <> 3029"));
    if (!moved)
        log << "main branches cannot be moved: " << moved.error << "\n";
    return moved.ok;
}

struct PeerRun {
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    qint64 peerCells = 0; // the peers' cells the figures were computed from
    QString error;
};

PeerRun bestPeerRun(db::Database &database, const QList<analysis::RowKey> &rows, bool byCpu)
{
    PeerRun best;
    for (int run = 0; run < 3; ++run) {
        analysis::EvaluatorSource source(database);
        analysis::PeerBenchmark benchmark(database, source);
        const Stopwatch timer;
        const auto computed = benchmark.compute(rows, kFillIndicators, {});
        PeerRun r{timer.wallNs(), timer.processCpuNs(), 0, computed.error};
        if (!r.error.isEmpty())
            return r;
        for (const analysis::PeerBenchmarkRow &row : computed.value)
            r.peerCells += static_cast<qint64>(row.peerCount) * kFillIndicators.size();
        if (run == 0 || (byCpu ? r.cpuNs < best.cpuNs : r.wallNs < best.wallNs))
            best = r;
    }
    return best;
}

// CPU time of sorting each indicator's values per quarter, as the figures need.
qint64 sortNs(const QList<QStringList> &texts, const QList<analysis::RowKey> &rows)
{
    const Stopwatch timer;
    for (const QStringList &column : texts) {
        std::vector<double> perQuarter[4];
        for (int r = 0; r < column.size(); ++r) {
            // The texts are plain decimals: read without the locale machinery of QString.
            char buffer[64];
            const QString &text = column.at(r);
            if (text.isEmpty() || text.size() >= qsizetype(sizeof buffer))
                continue;
            for (qsizetype i = 0; i < text.size(); ++i)
                buffer[i] = static_cast<char>(text.at(i).unicode());
            double v = 0;
            if (std::from_chars(buffer, buffer + text.size(), v).ec == std::errc())
                perQuarter[rows.at(r).quarter - 1].push_back(v);
        }
        for (auto &values : perQuarter)
            std::sort(values.begin(), values.end());
    }
    return timer.cpuNs();
}

// The subject: the first company with all four quarters; the peers' rows: every company's.
bool subjectAndPeers(db::Database &database, QList<analysis::RowKey> &subject, QList<analysis::RowKey> &peers, QTextStream &log)
{
    analysis::AnalysisData data(database);
    const QList<qint32> entities = fixtureEntities(database);
    const auto read = data.rowPeriods(entities, kYear, kYear);
    if (!read.ok()) {
        log << read.error << "\n";
        return false;
    }
    peers = read.value;
    subject.clear();
    for (const analysis::RowKey &row : peers) {
        if (!subject.isEmpty() && subject.front().entity != row.entity)
            subject.clear();
        subject << row;
        if (subject.size() == 4)
            return true;
    }
    return false;
}

QString ms(qint64 ns)
{
    return millis(ns / 1e6);
}

void benchPeersEmbedded(BenchContext &context, const QString &file, QList<analysis::RowKey> &subject, qint64 &peerCells)
{
    db::Database database;
    if (!openFixture(database, file, peerDemo(), context.log) || !intoOneDivision(database, context.log)) {
        context.table.check(QStringLiteral("peer fixture (SQLite)"), QStringLiteral("made"), QStringLiteral("failed"), false);
        return;
    }
    QList<analysis::RowKey> peers;
    if (!subjectAndPeers(database, subject, peers, context.log)) {
        context.table.check(QStringLiteral("peer fixture (SQLite)"), QStringLiteral("a company with 4 quarters"), QStringLiteral("none"), false);
        return;
    }
    const PeerRun run = bestPeerRun(database, subject, true);
    if (!run.error.isEmpty()) {
        context.table.check(QStringLiteral("peer figures (SQLite)"), QStringLiteral("no error"), run.error, false);
        return;
    }
    peerCells = run.peerCells;
    qint64 limit = -1;
    for (int pass = 0; pass < 3; ++pass) {
        const RawPass raw = rawSqlitePass(database, QFileInfo(file).absoluteFilePath(), peers, kFillIndicators);
        if (!raw.error.isEmpty()) {
            context.log << raw.error << "\n";
            break;
        }
        const qint64 total = raw.cpuNanoseconds + sortNs(raw.texts, peers);
        limit = limit < 0 ? total : std::min(limit, total);
    }
    const QString shape = QStringLiteral("%1 indicators x %2 quarters of one company against %3 companies of one division; %4 peers' cells")
                              .arg(kFillIndicators.size())
                              .arg(subject.size())
                              .arg(fixtureEntities(database).size())
                              .arg(run.peerCells);
    context.table.check(QStringLiteral("peer figures, embedded"), QStringLiteral("< 1 s"), ms(run.cpuNs), run.cpuNs < 1000000000,
                        shape + QStringLiteral("; CPU time; wall clock ") + ms(run.wallNs));
    context.table.info(QStringLiteral("peer figures limit, embedded"), limit < 0 ? QStringLiteral("failed") : ms(limit),
                       QStringLiteral("raw sqlite3 C-API pass over the peers' %1 rows plus a sort per indicator and quarter; figures / limit %2")
                           .arg(peers.size())
                           .arg(run.cpuNs / static_cast<double>(std::max<qint64>(1, limit)), 0, 'f', 2));
}

// The ODBC figure beside its limit: the server's statement over the peers' rows plus the sort.
void odbcPeerRows(BenchContext &context, db::Database &database, const QList<analysis::RowKey> &subject, const QList<analysis::RowKey> &peers,
                  const QString &name, const QString &limitName, const QString &note)
{
    const PeerRun run = bestPeerRun(database, subject, false);
    if (!run.error.isEmpty()) {
        context.table.check(name, QStringLiteral("no error"), run.error, false);
        return;
    }
    const ServerPass statement = postgresStatement(database, peers, kYear, kFillIndicators);
    const double limitMs = statement.milliseconds + sortNs(statement.texts, peers) / 1e6;
    context.table.check(name, QStringLiteral("< 2 s"), ms(run.wallNs), run.wallNs < 2000000000, note.arg(run.peerCells));
    context.table.info(limitName, statement.error.isEmpty() ? millis(limitMs) : statement.error,
                       QStringLiteral("the server's statement over the peers' %1 rows, restricted to their statements (EXPLAIN ANALYZE, best of "
                                      "three) plus the sort; figures / limit %2")
                           .arg(peers.size())
                           .arg(run.wallNs / 1e6 / std::max(1e-6, limitMs), 0, 'f', 2));
}

void benchPeersOdbc(BenchContext &context)
{
    const QString name = QStringLiteral("peer figures, ODBC");
    db::Database server;
    if (const Outcome opened = server.open(db::DatabaseLocation::odbc(db::kDefaultDsn)); !opened || server.backend() != db::Backend::PostgreSQL) {
        context.table.add(Figure::Status::Skipped, name, QStringLiteral("< 2 s"),
                          QStringLiteral("PostgreSQL not available (make bench runs it beside a private cluster): ") + opened.error);
        return;
    }
    // A database of its own beside "finance", dropped at the end (a copy left behind by a
    // broken run is dropped here first).
    const auto drop = [&] { return server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS ") + kPeerDatabase); };
    Outcome made = drop();
    if (made)
        made = server.executeNative(QStringLiteral("CREATE DATABASE ") + kPeerDatabase);
    if (!made) {
        context.table.check(name, QStringLiteral("no error"), made.error, false);
        return;
    }
    {
        db::Database database;
        context.log << "generating the PostgreSQL peer fixture ...\n";
        context.log.flush();
        QList<analysis::RowKey> subject, peers;
        if (!makeFixture(database, QStringLiteral("odbc:") + db::kDefaultDsn + QStringLiteral(";Database=") + kPeerDatabase, peerDemo(), context.log)
            || !intoOneDivision(database, context.log) || !database.executeNative(QStringLiteral("VACUUM ANALYZE")).ok
            || !subjectAndPeers(database, subject, peers, context.log)) {
            context.table.check(QStringLiteral("peer fixture (PostgreSQL)"), QStringLiteral("made"), QStringLiteral("failed"), false);
        } else {
            odbcPeerRows(context, database, subject, peers, name, QStringLiteral("peer figures limit, ODBC"),
                         QStringLiteral("wall clock; the same figures as embedded, %1 peers' cells"));
        }
    }
    if (const Outcome dropped = drop(); !dropped)
        context.log << "the peer database cannot be dropped: " << dropped.error << "\n";
}

// verna-db benchmark over its whole process: one company's quarter(s) against 10,000 peers, and
// against every company of the 100,000 of the scale fixture.
void benchPeersCommand(BenchContext &context, const QString &file, const QList<analysis::RowKey> &subject, qint64 peerCells)
{
    QStringList indicators;
    for (int id : kFillIndicators)
        indicators << QString::number(id);
    const QStringList common = {QStringLiteral("--indicators"), indicators.join(QLatin1Char(',')), QStringLiteral("--entities")};
    QString error;
    const qint64 small = cliCpuNs(context, QStringList{QStringLiteral("--db"), file, QStringLiteral("benchmark"), QStringLiteral("--years"), QString::number(kYear)}
                                               + common + QStringList{QString::number(subject.front().entity)},
                                  error);
    db::Database scale;
    const QString scaleFile = scaleFixtureFile(context);
    qint64 large = -1;
    qint64 largeCells = 0;
    if (small >= 0 && openFixture(scale, scaleFile, scaleDemo(), context.log)) {
        const QList<qint32> companies = fixtureEntities(scale);
        largeCells = scale.readValue(QStringLiteral("SELECT count(DISTINCT subj_id) FROM finl_stmt WHERE inac_ind = 0 AND year_dt = %1 AND quarter_dt = 4")
                                         .arg(kYear))
                         .value.toLongLong()
            * kFillIndicators.size();
        scale.close();
        large = cliCpuNs(context, QStringList{QStringLiteral("--db"), scaleFile, QStringLiteral("benchmark"), QStringLiteral("--periods"),
                                              QStringLiteral("%1/4").arg(kYear), QStringLiteral("--peers"), QStringLiteral("vse")}
                                      + common + QStringList{QString::number(companies.value(companies.size() / 2))},
                         error);
    }
    if (small < 0 || large < 0) {
        context.table.check(QStringLiteral("verna-db benchmark"), QStringLiteral("no error"), error.isEmpty() ? QStringLiteral("failed") : error, false);
        return;
    }
    const double perCellSmall = small / 1e3 / std::max<qint64>(1, peerCells);
    const double perCellLarge = large / 1e3 / std::max<qint64>(1, largeCells);
    context.table.info(QStringLiteral("verna-db benchmark per peer cell, %1 / 10000 peers").arg(largeCells / kFillIndicators.size()),
                       QString::number(perCellLarge / perCellSmall, 'f', 2),
                       QStringLiteral("%1 vs %2 us of CPU per peer cell (whole process); %3 s for %4 cells against all companies")
                           .arg(perCellLarge, 0, 'f', 2)
                           .arg(perCellSmall, 0, 'f', 2)
                           .arg(large / 1e9, 0, 'f', 1)
                           .arg(largeCells));
}

} // namespace

void benchPeers(BenchContext &context)
{
    const QString file = QFileInfo(context.fixtures + QStringLiteral("/peers-10000.sqlite")).absoluteFilePath();
    QList<analysis::RowKey> subject;
    qint64 peerCells = 0;
    benchPeersEmbedded(context, file, subject, peerCells);
    benchPeersOdbc(context);
    if (!subject.isEmpty())
        benchPeersCommand(context, file, subject, peerCells);
}

namespace {

// The division (OKEČ, two digits) whose companies with their main branch in it are nearest
// 50,000 from above, or the largest when none is that large; a company of it, and the count.
struct Division {
    int list = 0; // the code list (OKEČ or CZ-NACE)
    QString name;
    qint32 company = 0;
    qint64 companies = 0;
};

// The demo deck gives the national fixture divisions of 157,480, 15,748 and 7,874 companies,
// none near 50,000. The peer figures' connection reads a code list in which the branches of
// divisions 28, 50 and 60 are filed under division 01 (short texts "01.28", "01.50", "01.60"):
// division 01 then holds 7,874 + 3 x 15,748 = 55,118 companies, each with the statements the
// generator made for its own branch. Only a temporary copy of the code list on this connection
// changes, so the fixture's file and the server's copy stay as made and every run starts alike.
const QList<int> kMergedBranches = {3028, 3050, 3060};

Outcome mergeDivisions(db::Database &database)
{
    const bool sqlite = database.backend() == db::Backend::SQLite;
    QStringList merged;
    for (int code : kMergedBranches)
        merged << QString::number(code);
    // The copy shadows the table for this connection's unqualified names on both backends.
    for (const QString &sql : {sqlite ? QStringLiteral("CREATE TEMP TABLE cd_val AS SELECT * FROM main.cd_val")
                                      : QStringLiteral("CREATE TEMP TABLE cd_val AS SELECT * FROM cd_val"),
                               QStringLiteral("UPDATE cd_val SET short_txt = '01.' || RTRIM(LTRIM(short_txt)) WHERE tbl_cd = 217 AND val_agn IN (%1)")
                                   .arg(merged.join(QStringLiteral(", ")))}) {
        if (const Outcome done = database.executeNative(sql); !done)
            return done;
    }
    return Outcome::success();
}

void dropMergedDivisions(db::Database &database, QTextStream &log)
{
    const bool sqlite = database.backend() == db::Backend::SQLite;
    if (const Outcome dropped = database.executeNative(sqlite ? QStringLiteral("DROP TABLE temp.cd_val") : QStringLiteral("DROP TABLE pg_temp.cd_val"));
        !dropped)
        log << "the merged code list cannot be dropped: " << dropped.error << "\n";
}

std::optional<Division> divisionNear50000(db::Database &database, QTextStream &log)
{
    const db::Rows rows = database.queryRows(
        QStringLiteral("SELECT c.tbl_cd, substr(trim(c.short_txt), 1, 2), count(*), min(a.subj_id) FROM actv a, cd_val c, ident i "
                       "WHERE a.inac_ind = 0 AND a.actv_nbr = 1 AND c.inac_ind = 0 AND c.tbl_cd IN (217, 218) AND c.val_agn = a.actv_cd "
                       "AND length(trim(c.short_txt)) > 1 AND i.subj_id = a.subj_id AND i.inac_ind = 0 GROUP BY 1, 2"));
    if (!rows.ok()) {
        log << rows.error << "\n";
        return std::nullopt;
    }
    std::optional<Division> best;
    for (const QStringList &row : rows.rows) {
        const Division d{row.value(0).toInt(), row.value(1), row.value(3).toInt(), row.value(2).toLongLong()};
        const bool better = !best || (best->companies < 50000 ? d.companies > best->companies : d.companies >= 50000 && d.companies < best->companies);
        if (better)
            best = d;
    }
    return best;
}

} // namespace

void benchNationalPeers(BenchContext &context, db::Database &embedded, db::Database *server)
{
    const QString name = QStringLiteral("peer figures, division of 50000, embedded");
    if (const Outcome merged = mergeDivisions(embedded); !merged) {
        context.table.check(name, QStringLiteral("a division"), merged.error, false);
        return;
    }
    const auto unmerge = qScopeGuard([&] { dropMergedDivisions(embedded, context.log); });
    const std::optional<Division> division = divisionNear50000(embedded, context.log);
    if (!division) {
        context.table.check(name, QStringLiteral("a division"), QStringLiteral("none"), false);
        return;
    }
    const QList<analysis::RowKey> subject = {analysis::RowKey{kYear, 4, division->company}};
    const PeerRun run = bestPeerRun(embedded, subject, true);
    if (!run.error.isEmpty()) {
        context.table.check(name, QStringLiteral("no error"), run.error, false);
        return;
    }
    analysis::EvaluatorSource source(embedded);
    analysis::PeerBenchmark benchmark(embedded, source);
    const auto set = benchmark.peers(division->company, {});
    QList<analysis::RowKey> peers;
    for (qint32 entity : set.value.entities)
        peers << analysis::RowKey{kYear, 4, entity};
    const QString shape = QStringLiteral("12 indicators of one company-period (1998/4) against division %1 (the demo's divisions 01, 28, 50 and "
                                         "60 merged in the code list): %2 companies, %3 peers' cells")
                              .arg(division->name)
                              .arg(run.peerCells / kFillIndicators.size())
                              .arg(run.peerCells);
    context.table.check(name, QStringLiteral("< 1 s"), ms(run.cpuNs), run.cpuNs < 1000000000,
                        shape + QStringLiteral("; CPU time, the best of three; wall clock ") + ms(run.wallNs));
    // The plain program reads the same companies, by their main branches' codes as they are in
    // the merged code list; its own connection does not see that list.
    const db::Rows codes = embedded.queryRows(
        QStringLiteral("SELECT val_agn FROM cd_val WHERE inac_ind = 0 AND tbl_cd = %1 AND substr(trim(short_txt), 1, 2) = %2")
            .arg(division->list)
            .arg(db::quoted(division->name)));
    QStringList codeTexts;
    for (const QStringList &row : codes.rows)
        codeTexts << row.value(0);
    const QString members = QStringLiteral("SELECT a.subj_id FROM actv a, ident i WHERE a.inac_ind = 0 AND a.actv_nbr = 1 AND a.actv_cd IN (%1) "
                                           "AND i.subj_id = a.subj_id AND i.inac_ind = 0")
                                .arg(codeTexts.join(QStringLiteral(", ")));
    qint64 limit = -1;
    qint64 limitRead = -1;
    for (int pass = 0; pass < 2 && set.ok() && codes.ok() && !codeTexts.isEmpty(); ++pass) {
        const RawPass raw = rawSqlitePass(embedded, embedded.location().path, peers, kFillIndicators, members);
        if (!raw.error.isEmpty()) {
            context.log << raw.error << "\n";
            break;
        }
        const qint64 total = raw.cpuNanoseconds + sortNs(raw.texts, peers);
        if (limit < 0 || total < limit) {
            limit = total;
            limitRead = raw.readCpuNanoseconds;
        }
    }
    context.table.info(QStringLiteral("peer figures limit, division of 50000, embedded"), limit < 0 ? QStringLiteral("failed") : ms(limit),
                       QStringLiteral("raw sqlite3 C-API pass over the items of the peers' statements, %1 rows (the peer set read first, %2 of "
                                      "CPU until every amount is read), plus a sort per indicator; figures / limit %3")
                           .arg(peers.size())
                           .arg(ms(limitRead))
                           .arg(run.cpuNs / static_cast<double>(std::max<qint64>(1, limit)), 0, 'f', 2));
    if (!server)
        return;
    if (const Outcome merged = mergeDivisions(*server); !merged) {
        context.table.check(QStringLiteral("peer figures, division of 50000, ODBC"), QStringLiteral("a division"), merged.error, false);
        return;
    }
    const auto unmergeServer = qScopeGuard([&] { dropMergedDivisions(*server, context.log); });
    odbcPeerRows(context, *server, subject, peers, QStringLiteral("peer figures, division of 50000, ODBC"),
                 QStringLiteral("peer figures limit, division of 50000, ODBC"), QStringLiteral("wall clock; %1 peers' cells"));
}

// Benchmarks with repeatable fixtures from the demo generator, printed as one table: each
// figure, its target, what this run measured and the ratios measured side by side.
//   verna-bench [--markdown FILE] [--title TEXT] [--fixtures DIR] [--scale-entities N] [fill|postgres|scale|report|peers ...]
// The markdown file keeps one table per title (the command that printed it).
#include "benchmarks.h"

#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/analysismodel.h"
#include "analysis/evaluatorsource.h"
#include "analysis/twodecimals.h"
#include "db/database.h"
#include "db/schema.h"
#include "indicators/evaluator.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QCoreApplication>
#ifdef VERNA_BENCH_WINDOWS
#include <QApplication>
#endif
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <ctime>

using namespace verna;

namespace {

QString statusText(Figure::Status status)
{
    switch (status) {
    case Figure::Status::Pass: return QStringLiteral("pass");
    case Figure::Status::Fail: return QStringLiteral("FAIL");
    case Figure::Status::Pending: return QStringLiteral("pending");
    case Figure::Status::Skipped: return QStringLiteral("skipped");
    default: return QStringLiteral("-");
    }
}

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

} // namespace

void BenchTable::check(const QString &name, const QString &target, const QString &measured, bool pass, const QString &note)
{
    m_figures.append({name, target, measured, pass ? Figure::Status::Pass : Figure::Status::Fail, note});
}

void BenchTable::info(const QString &name, const QString &measured, const QString &note)
{
    m_figures.append({name, QString(), measured, Figure::Status::Info, note});
}

void BenchTable::add(Figure::Status status, const QString &name, const QString &target, const QString &note)
{
    m_figures.append({name, target, QString(), status, note});
}

bool BenchTable::failed() const
{
    return std::any_of(m_figures.begin(), m_figures.end(), [](const Figure &f) { return f.status == Figure::Status::Fail; });
}

void BenchTable::print(QTextStream &out) const
{
    qsizetype widths[3] = {6, 6, 8};
    for (const Figure &f : m_figures) {
        widths[0] = std::max(widths[0], f.name.size());
        widths[1] = std::max(widths[1], f.target.size());
        widths[2] = std::max(widths[2], f.measured.size());
    }
    const auto line = [&](const QString &a, const QString &b, const QString &c, const QString &d, const QString &e) {
        out << a.leftJustified(widths[0]) << "  " << b.leftJustified(widths[1]) << "  " << c.leftJustified(widths[2]) << "  "
            << d.leftJustified(7) << "  " << e << "\n";
    };
    line(QStringLiteral("figure"), QStringLiteral("target"), QStringLiteral("measured"), QStringLiteral("result"), QStringLiteral("note"));
    for (const Figure &f : m_figures)
        line(f.name, f.target, f.measured, statusText(f.status), f.note);
}

QString BenchTable::markdown(const QString &title, const QString &machine) const
{
    QString text = QStringLiteral("## %1\n\nThe last table `%1` printed, on %2.\n\n"
                                  "| figure | target | measured | result | note |\n|---|---|---|---|---|\n")
                       .arg(title, machine);
    for (const Figure &f : m_figures) {
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                    .arg(f.name, f.target, f.measured, statusText(f.status), QString(f.note).replace(QLatin1Char('|'), QLatin1Char('/')));
    }
    return text;
}

QString withSection(const QString &document, const QString &title, const QString &section)
{
    // Each command keeps its own table; the other command's table stays as it was.
    QStringList sections;
    const QString heading = QStringLiteral("## ");
    qsizetype at = document.indexOf(QStringLiteral("\n") + heading);
    while (at >= 0) {
        const qsizetype next = document.indexOf(QStringLiteral("\n") + heading, at + 1);
        const QString part = document.mid(at + 1, next < 0 ? -1 : next - at - 1).trimmed();
        if (!part.startsWith(heading + title + QLatin1Char('\n')))
            sections << part;
        at = next;
    }
    sections << section.trimmed();
    std::sort(sections.begin(), sections.end()); // "make bench" before "make bench-scale"
    return QStringLiteral("# Benchmark results\n\n") + sections.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

namespace {
qint64 now(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
}
} // namespace

Stopwatch::Stopwatch()
    : m_wall(now(CLOCK_MONOTONIC))
    , m_cpu(now(CLOCK_THREAD_CPUTIME_ID))
    , m_processCpu(now(CLOCK_PROCESS_CPUTIME_ID))
{
}

qint64 Stopwatch::wallNs() const
{
    return now(CLOCK_MONOTONIC) - m_wall;
}

qint64 Stopwatch::cpuNs() const
{
    return now(CLOCK_THREAD_CPUTIME_ID) - m_cpu;
}

qint64 Stopwatch::processCpuNs() const
{
    return now(CLOCK_PROCESS_CPUTIME_ID) - m_processCpu;
}

QString rate(double perSecond)
{
    return QString::number(qRound64(perSecond)) + QStringLiteral(" cells/s");
}

QString millis(double ms)
{
    return QString::number(ms, 'f', ms < 10 ? 2 : 0) + QStringLiteral(" ms");
}

bool makeFixture(db::Database &database, const QString &location, const shell::DemoOptions &demo, QTextStream &log)
{
    const db::DatabaseLocation where = location.startsWith(QLatin1String("odbc:")) ? db::DatabaseLocation::odbc(location.mid(5))
                                                                                  : db::DatabaseLocation::file(location);
    if (const Outcome opened = database.open(where); !opened) {
        log << "database cannot be opened: " << opened.error << "\n";
        return false;
    }
    Outcome made = shell::initialiseDatabase(database, false);
    if (made)
        made = shell::generateDemoData(database, demo);
    if (!made)
        log << made.error << "\n";
    return made.ok;
}

bool openFixture(db::Database &database, const QString &file, const shell::DemoOptions &demo, QTextStream &log)
{
    if (QFileInfo::exists(file)) {
        const Outcome opened = database.open(db::DatabaseLocation::file(file));
        if (!opened)
            log << "database cannot be opened: " << opened.error << "\n";
        // A fixture of an older schema is upgraded as a user's file is (its backup copy is not kept:
        // the fixture can be made again). One of a newer schema belongs to a newer build and is left
        // alone: a large one takes long to make again.
        const int version = opened ? db::Schema::version(database).value : 0;
        if (!opened || version == db::Schema::kVersion)
            return opened.ok;
        database.close();
        if (version > db::Schema::kVersion) {
            log << QFileInfo(file).fileName() << " is of a newer schema (" << version << "); remove it to have it made for this build\n";
            return false;
        }
        if (version > 0 && version < db::Schema::kVersion) {
            log << "upgrading " << QFileInfo(file).fileName() << " from schema " << version << " ...\n";
            log.flush();
            const Outcome upgraded = shell::openDatabase(database, db::DatabaseLocation::file(file));
            for (const QFileInfo &backup : QFileInfo(file).dir().entryInfoList({QFileInfo(file).completeBaseName() + QStringLiteral(".zaloha-v*")}))
                QFile::remove(backup.filePath());
            if (upgraded)
                return true;
            log << upgraded.error << "\n";
            database.close();
        }
        log << QFileInfo(file).fileName() << " is of another schema version\n";
        QFile::remove(file);
    }
    log << "generating " << QFileInfo(file).fileName() << " (" << demo.entities << " entities) ...\n";
    log.flush();
    const QString partial = file + QStringLiteral(".part");
    QFile::remove(partial);
    {
        db::Database building;
        if (!makeFixture(building, partial, demo, log))
            return false;
        building.close();
    }
    QFile::rename(partial, file);
    return openFixture(database, file, demo, log);
}

QList<qint32> fixtureEntities(db::Database &database, int limit)
{
    // Limited in the query: a million rows read only to be dropped would count in a child's peak memory.
    QList<qint32> ids;
    const QString sql = QStringLiteral("SELECT subj_id FROM ident WHERE form_type_cd <> 215 AND subj_id <> 3366 ORDER BY subj_id")
                        + (limit >= 0 ? QStringLiteral(" LIMIT %1").arg(limit) : QString());
    for (const QStringList &row : database.queryRows(sql).rows)
        ids << row.front().toInt();
    return ids;
}

FillResult fillAnalysis(db::Database &database, const QList<qint32> &entities, int firstYear, int lastYear, const QList<int> &indicators)
{
    FillResult result;
    analysis::AnalysisData data(database);
    analysis::AnalysisModel model;
    analysis::EvaluatorSource source(database);
    analysis::AnalysisEngine engine(model, data, source);
    QList<QPair<int, QString>> columns;
    for (int id : indicators)
        columns.append({id, QString::number(id)});
    const Stopwatch timer;
    if (const Result<int> added = engine.addYearsRows(entities, firstYear, lastYear); !added.ok()) {
        result.error = added.error;
        return result;
    }
    if (const Outcome filled = engine.addIndicators(columns); !filled) {
        result.error = filled.error;
        return result;
    }
    result.nanoseconds = timer.wallNs();
    result.cpuNanoseconds = timer.processCpuNs();
    result.rows = model.rowKeys();
    for (int c = 0; c < model.indicatorCount(); ++c)
        result.texts << model.columnCells(c);
    return result;
}

QList<QStringList> referenceTexts(db::Database &database, const QList<analysis::RowKey> &rows, const QList<int> &indicators)
{
    QList<QStringList> texts;
    indicators::Evaluator evaluator(database);
    for (int id : indicators) {
        QStringList column;
        column.reserve(rows.size());
        for (const analysis::RowKey &row : rows)
            column << analysis::formatValue(evaluator.indicatorValue(id, row).value, QLocale::c());
        texts << column;
    }
    return texts;
}

qint64 differingCells(const QList<QStringList> &a, const QList<QStringList> &b, const QList<analysis::RowKey> &rows, QTextStream &log)
{
    if (a.size() != b.size())
        return std::max<qint64>(1, rows.size());
    qint64 differing = 0;
    for (int c = 0; c < a.size(); ++c) {
        if (a.at(c).size() != b.at(c).size())
            return std::max<qint64>(1, rows.size());
        for (int r = 0; r < a.at(c).size(); ++r) {
            if (a.at(c).at(r) == b.at(c).at(r))
                continue;
            if (differing++ == 0)
                log << "  first difference: indicator column " << c << ", row " << rows.value(r).toString() << ": \"" << a.at(c).at(r)
                    << "\" vs \"" << b.at(c).at(r) << "\"\n";
        }
    }
    return differing;
}

qint64 processStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.size() > qsizetype(qstrlen(field)) && line.at(qstrlen(field)) == ':')
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

qint64 peakMemoryKb()
{
    return processStatusKb("VmHWM");
}

ChildResult runChild(const QString &program, const QStringList &arguments)
{
    ChildResult result;
    QProcess child;
    child.start(program, QStringList{QStringLiteral("--child")} + arguments);
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        result.error = QString::fromUtf8(child.readAllStandardError()).trimmed();
        if (result.error.isEmpty())
            result.error = QStringLiteral("the child process failed");
        return result;
    }
    const QStringList figures = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    result.nanoseconds = figures.value(0).toLongLong();
    result.wallNanoseconds = figures.value(1).toLongLong();
    result.cells = figures.value(2).toLongLong();
    result.peakKb = figures.value(3).toLongLong();
    return result;
}

// --child fill FILE YEAR ENTITIES: fills the analysis of the first ENTITIES companies and
// prints "cpu-ns wall-ns cells peak-kB".
int childMain(const QStringList &arguments)
{
    // --child table ...: the analysis table in the window's grid (nationaltable.cpp).
    int nationalTableChild(const QStringList &arguments);
    if (arguments.value(0) == QLatin1String("table"))
        return nationalTableChild(arguments);
    QTextStream err(stderr);
    if (arguments.value(0) != QLatin1String("fill") || arguments.size() != 4) {
        err << "usage: --child fill FILE YEAR ENTITIES\n";
        return 2;
    }
    db::Database database;
    if (const Outcome opened = database.open(db::DatabaseLocation::file(arguments.at(1))); !opened) {
        err << opened.error << "\n";
        return 1;
    }
    const int year = arguments.at(2).toInt();
    const QList<qint32> entities = fixtureEntities(database, arguments.at(3).toInt());
    // The fill as fillAnalysis does it, without copying the cells out as texts afterwards:
    // the peak is the table's, not that of a copy the window never makes.
    analysis::AnalysisData data(database);
    analysis::AnalysisModel model;
    analysis::EvaluatorSource source(database);
    analysis::AnalysisEngine engine(model, data, source);
    QList<QPair<int, QString>> columns;
    for (int id : kFillIndicators)
        columns.append({id, QString::number(id)});
    const Stopwatch timer;
    Outcome filled = engine.addYearsRows(entities, year, year).outcome();
    if (filled)
        filled = engine.addIndicators(columns);
    if (!filled) {
        err << filled.error << "\n";
        return 1;
    }
    QTextStream(stdout) << timer.processCpuNs() << " " << timer.wallNs() << " " << qint64(model.dataRowCount()) * model.indicatorCount() << " "
                        << peakMemoryKb() << "\n";
    return 0;
}

int main(int argc, char *argv[])
{
#ifdef VERNA_BENCH_WINDOWS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QStandardPaths::setTestModeEnabled(true);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--child"))
        return childMain(arguments.mid(1));
    QTextStream out(stdout);
    QString markdownFile;
    QString title = QStringLiteral("make bench");
    QString fixtures = QDir::current().absoluteFilePath(QStringLiteral("bench-fixtures"));
    QStringList names;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--markdown") && i + 1 < arguments.size())
            markdownFile = arguments.at(++i);
        else if (arguments.at(i) == QLatin1String("--title") && i + 1 < arguments.size())
            title = arguments.at(++i);
        else if (arguments.at(i) == QLatin1String("--scale-entities") && i + 1 < arguments.size())
            scaleEntities = std::max(1000, arguments.at(++i).toInt());
        else if (arguments.at(i) == QLatin1String("--fixtures") && i + 1 < arguments.size())
            fixtures = arguments.at(++i);
        else
            names << arguments.at(i);
    }
    // The national ones take an hour and tens of gigabytes the first time: only when named.
    const struct {
        const char *name;
        void (*run)(BenchContext &);
        bool everyday;
    } benchmarks[] = {{"fill", benchFill, true},       {"postgres", benchFillPostgres, true}, {"scale", benchScale, true},
                      {"report", benchReport, true},   {"peers", benchPeers, true},           {"bulk", benchBulk, true},
                      {"national", benchNational, false}, {"national-peers", benchNationalPeersOnly, false},
                      {"bulk-national", benchBulkNational, false}};
    for (const QString &name : names) {
        if (std::none_of(std::begin(benchmarks), std::end(benchmarks), [&](const auto &b) { return name == QLatin1String(b.name); })) {
            QTextStream(stderr) << "Neznámý benchmark: " << name << " (fill, postgres, scale, report, peers, bulk, national, national-peers, bulk-national)\n";
            return 2;
        }
    }
    QDir().mkpath(fixtures);
    BenchTable table;
    BenchContext context{table, out, fixtures, QCoreApplication::applicationFilePath(),
                         QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/cli/verna-db"))};
    for (const auto &b : benchmarks) {
        if ((names.isEmpty() && b.everyday) || names.contains(QLatin1String(b.name))) {
            out << "== " << b.name << "\n";
            out.flush();
            b.run(context);
        }
    }
    out << "\n";
    table.print(out);
    if (!markdownFile.isEmpty()) {
        const QString machine = QStringLiteral("%1 cores, %2, %3 (%4)")
                                    .arg(QThread::idealThreadCount())
                                    .arg(cpuModel(), QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")),
                                         QSysInfo::prettyProductName());
        QFile file(markdownFile);
        const QString before = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        file.close();
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(withSection(before, title, table.markdown(title, machine)).toUtf8());
    }
    return table.failed() ? 1 : 0;
}

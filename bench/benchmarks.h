#pragma once

#include "analysis/rowkey.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace verna::db {
class Database;
}
namespace verna::shell {
struct DemoOptions;
}

// Time of one measured piece: wall clock, and the CPU time of the measuring thread. On the
// embedded database the work is the thread's, so its CPU time is what the code costs even on
// a machine that other jobs share; over ODBC the server works elsewhere and only the wall
// clock counts. A fill also computes on a worker thread: processCpuNs() counts every thread.
struct Stopwatch {
    Stopwatch();
    qint64 wallNs() const;
    qint64 cpuNs() const;
    qint64 processCpuNs() const;

private:
    qint64 m_wall;
    qint64 m_cpu;
    qint64 m_processCpu;
};

// One line of the table: a figure, its target, what this run measured and whether it passes.
struct Figure {
    enum class Status { Pass, Fail, Info, Pending, Skipped };
    QString name;
    QString target;
    QString measured;
    Status status = Status::Info;
    QString note;
};

// Every figure of one run, printed as one table.
class BenchTable
{
public:
    void check(const QString &name, const QString &target, const QString &measured, bool pass, const QString &note = {});
    void info(const QString &name, const QString &measured, const QString &note = {});
    void add(Figure::Status status, const QString &name, const QString &target, const QString &note);
    void print(QTextStream &out) const;
    // The table under a heading of its title, with the machine it ran on.
    QString markdown(const QString &title, const QString &machine) const;
    bool failed() const;

private:
    QList<Figure> m_figures;
};

// The markdown document with the section of the title put in (or replaced), the others kept.
QString withSection(const QString &document, const QString &title, const QString &section);

struct BenchContext {
    BenchTable &table;
    QTextStream &log;
    QString fixtures; // folder that keeps the generated databases between runs
    QString program;  // this program, for the children that measure memory
    QString cli;      // verna-db
};

// The twelve indicators of the fill: ratios of both statements, some with computed items.
inline const QList<int> kFillIndicators = {1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 14, 30};

// Opens the fixture file, generating it (schema, reference and demo data) when it is missing;
// false with the reason logged when that fails.
bool openFixture(verna::db::Database &database, const QString &file, const verna::shell::DemoOptions &demo, QTextStream &log);
// A fresh database at the location (an SQLite file or an ODBC data source) with the demo data.
bool makeFixture(verna::db::Database &database, const QString &location, const verna::shell::DemoOptions &demo, QTextStream &log);

// Companies of the fixture in id order (no groups, not the reference entity), at most limit.
QList<qint32> fixtureEntities(verna::db::Database &database, int limit = -1);

// The analysis fill as the window and verna-db analyze do it: the entities' periods of the
// years as rows, then the indicators' columns. Cell texts in the table's form ("0.00").
struct FillResult {
    qint64 nanoseconds = 0; // wall
    qint64 cpuNanoseconds = 0;
    QList<verna::analysis::RowKey> rows;
    QList<QStringList> texts; // per indicator
    QString error;
    qint64 cells() const { return static_cast<qint64>(rows.size()) * (texts.isEmpty() ? 12 : texts.size()); }
};
FillResult fillAnalysis(verna::db::Database &database, const QList<qint32> &entities, int firstYear, int lastYear, const QList<int> &indicators);

// The reference per-cell path for the same cells, in the table's form.
QList<QStringList> referenceTexts(verna::db::Database &database, const QList<verna::analysis::RowKey> &rows, const QList<int> &indicators);
// How many cells differ (all of them compared); the first difference goes to the log.
qint64 differingCells(const QList<QStringList> &a, const QList<QStringList> &b, const QList<verna::analysis::RowKey> &rows, QTextStream &log);

// A plain pass over the SQLite file with the sqlite3 C API: the forms and referenced amounts
// of the rows' periods read once, every cell computed. Texts in the table's form.
struct RawPass {
    qint64 nanoseconds = 0; // wall
    qint64 cpuNanoseconds = 0;
    qint64 readCpuNanoseconds = 0; // of which reading the forms and amounts
    QList<QStringList> texts;
    QString error;
};
// With companies (a query of their ids) only their statements are read, not the whole years.
RawPass rawSqlitePass(verna::db::Database &database, const QString &file, const QList<verna::analysis::RowKey> &rows, const QList<int> &indicators,
                      const QString &companies = {});

// The same cells as one PostgreSQL statement over the rows' companies only; its time as the
// server reports it, waited for however long it takes.
struct ServerPass {
    double milliseconds = 0;
    QList<QStringList> texts;
    QString error;
};
ServerPass postgresStatement(verna::db::Database &database, const QList<verna::analysis::RowKey> &rows, int year, const QList<int> &indicators);

// A child process of this program for a figure that needs its own peak memory.
struct ChildResult {
    qint64 nanoseconds = 0; // CPU time of the fill
    qint64 wallNanoseconds = 0;
    qint64 cells = 0;
    qint64 peakKb = 0;
    QString error;
};
ChildResult runChild(const QString &program, const QStringList &arguments);
int childMain(const QStringList &arguments);
// A kB figure of this process from /proc/self/status ("VmRSS", "VmHWM"); 0 where it does not tell.
qint64 processStatusKb(const char *field);
qint64 peakMemoryKb();

QString rate(double perSecond);
QString millis(double ms);

void benchFill(BenchContext &context);
void benchFillPostgres(BenchContext &context);
void benchScale(BenchContext &context);
void benchReport(BenchContext &context);
// Searches, the selection tree and the starts, on the scale fixture.
void benchSearch(BenchContext &context, verna::db::Database &database, int entityCount);
void benchStart(BenchContext &context, const QString &file, int entityCount);
void benchSearchWindow(BenchContext &context, verna::db::Database &database, int entityCount);
// Companies of the scale fixture (100,000 unless asked otherwise while developing), how it is
// generated and where it is kept.
extern int scaleEntities;
verna::shell::DemoOptions scaleDemo();
QString scaleFixtureFile(const BenchContext &context);
// verna-db with the arguments, its output dropped: the CPU time of the whole process, or -1
// with the reason in error.
qint64 cliCpuNs(const BenchContext &context, const QStringList &arguments, QString &error);
// A company's peer figures against a division of 10,000 companies, embedded and over ODBC,
// beside the limit of the same cells; verna-db benchmark per cell at 10,000 and 100,000 peers.
void benchPeers(BenchContext &context);
// verna-db import of about 10,000 statement pairs and the demo generator of 1,000 companies,
// each against a plain sqlite3 C-API program storing the same rows.
void benchBulk(BenchContext &context);

// The national scale (make bench-scale), on the fixture of 1,000,000 companies with one
// year-end statement pair each, kept on SQLite and on a PostgreSQL copy between runs.
void benchNational(BenchContext &context);
// A company's peer figures against a division of about 50,000 companies of the national
// fixture: embedded, and over ODBC when the server copy is given.
void benchNationalPeers(BenchContext &context, verna::db::Database &embedded, verna::db::Database *server);
// The same figures alone, on the kept fixtures (read only; the server copy only when kept).
void benchNationalPeersOnly(BenchContext &context);
// The analysis table of the national fixture's companies x 12 indicators in the window:
// peak memory, scrolling and sorting a page, per-cell cost against a 1,000-row table.
void benchNationalTable(BenchContext &context, const QString &file);
// verna-db import of 100,000 statement pairs and the demo generator, on SQLite against the
// plain sqlite3 program and on PostgreSQL against psql's COPY of the same rows.
void benchBulkNational(BenchContext &context);

#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace verna::db {
class Database;
}

namespace verna::reliability {

// One process writing the application's writes (entities, groups, notes, indicators) in a
// loop for the given time; every acknowledged write is logged before the next one starts.
int runWriter(const QString &dbOption, int seconds, const QString &logPath, int index);
// One process running searches and analyses in a loop; every failed read is logged.
int runReader(const QString &dbOption, int seconds, const QString &logPath);

const char *backendName(db::Database &db);

// What the check found: each line a figure and the number of faults behind it.
class Report
{
public:
    void line(const QString &what, qint64 faults, const QString &figures = {});
    void print() const;
    bool clean() const;
    // Orphan rows, statements without items or of a wrong size, SQLite's integrity check.
    void addWholeness(db::Database &db);

private:
    struct Line {
        QString what;
        qint64 faults;
        QString figures;
    };
    std::vector<Line> m_lines;
};

// Reads the writers' and readers' logs and finds every acknowledged write in the database.
// killed: the writers were killed, so a write tried after the last acknowledged one may be there.
Report check(db::Database &db, const QStringList &logs, bool killed = false);

} // namespace verna::reliability

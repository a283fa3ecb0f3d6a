#pragma once

#include "db/outcome.h"
#include "statements/importreaders.h"

#include <QList>
#include <QString>
#include <functional>

namespace verna::db {
class Database;
}

namespace verna::statements {

// The two passes of an import over the file's statement pairs.
// Reading counts the file's rows (its total is not known: 0); checking and writing count pairs.
enum class ImportStep { Reading, Checking, Writing };

struct ImportOptions {
    // Keep the statements that pass when others are refused; by default a refusal imports nothing.
    bool partial = false;
    // Replace the active statements of a period the file also holds; by default it is refused.
    bool replace = false;
    // Create an entity for an unknown IČO, named by the name column; by default it is refused.
    bool createEntities = false;
    // Called after each pair with the pass, the pairs done in it and its whole (the file's pairs
    // when checking, the accepted ones when writing); a window repaints and takes Stop here.
    std::function<void(ImportStep step, int done, int total)> progress;
    // Asked between pairs and before the commit; true ends the import with nothing written.
    std::function<bool()> stopRequested;
};

// A statement (or a row) that was not imported, with the file line it starts on.
struct ImportRefusal {
    int line = 0;
    QString reason;
};

struct ImportSummary {
    int statements = 0; // statements the file holds
    int imported = 0;   // statements written
    int replaced = 0;   // of those, written over an occupied period
    int entitiesCreated = 0;
    int occupiedPeriods = 0; // pairs refused for want of replace
    int unknownEntities = 0; // pairs refused for want of creating their entity
    // The first kMaxListedRefusals refusals; a hostile file may hold millions, which are counted.
    static constexpr int kMaxListedRefusals = 1000;
    QList<ImportRefusal> refusals;
    int unlistedRefusals = 0;
    bool stopped = false;
    QString error; // the file could not be read or the database failed: nothing written

    bool complete() const { return error.isEmpty() && !stopped && refusals.isEmpty(); }
    // Czech lines for the user: the counts, then each refusal with its line.
    QStringList lines() const;
};

// Imports statement pairs from CSV or XLSX, in the long layout (a row per line and period) or
// the wide one (a row per line, a column per period), detected from the header. Every statement
// is checked by the sum rules of typed entry. The whole file is written in one transaction.
class StatementImport
{
public:
    explicit StatementImport(db::Database &db);

    ImportSummary importFile(const QString &path, const ImportOptions &options);
    ImportSummary importRows(const ImportRows &rows, const ImportOptions &options);

private:
    db::Database &m_db;
};

} // namespace verna::statements

#pragma once

#include "analysis/peerbenchmark.h"
#include "analysis/rowkey.h"
#include "analysis/tableexport.h"
#include "db/outcome.h"

#include <QString>

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::analysis {
class AnalysisModel;
}

namespace verna::report {

using verna::Outcome;
using verna::Result;

// The section check boxes of the Report tab.
struct SectionChoice {
    bool computation = true; // chkVypocet
    bool chart = true;       // chkGraf
    bool balance = true;     // chkRozvaha
    bool balanceFull = true; // chkRozvahaPlna
    bool income = true;      // chkVysledovka
    bool incomeFull = true;  // chkVysledovkaPlna
    bool roe = false;        // chkRozkladRoe: on request, as it reads a year further back
    bool peers = false;      // chkOdvetvi: on request, as it reads every peer's statements
};

// A built report: the sections, each between its markers, held so that check boxes and style
// changes re-assemble it without reading the database again.
struct ReportSections {
    // The table was too small (no indicator column or no data row): nothing else is built and
    // the assembled report is an empty page with a note.
    bool tooSmall = false;
    QString title;          // "Finanční report" or "Finanční report skupiny"
    bool singleRow = false; // the selection covers one row: entity and statement sections
    // The current row's income statement is not abbreviated: the "Plná" boxes are enabled and
    // the full statements were built.
    bool fullStatements = false;
    QString entity;
    QString computation;
    QString chart;
    QString balanceFull;
    QString balanceAbbreviated;
    QString incomeFull;
    QString incomeAbbreviated;
    QString roe; // the row's ROE decomposition against the same quarter a year before
    QString peers; // the row against its peers, when the builder was given a peer choice
};

// Builds the sections from the analysis table and its selection (model coordinates, as
// chartData takes them; a negative corner means the whole table). currentRow is the grid's
// current row (the selection's anchor), -1 for the top of the selection. classFolder is where
// the applet classes would be (codebase). Without an aggregate on the model, the arithmetic
// mean stands in (the model is not changed). Texts are escaped; a failed read is an error.
class ReportBuilder
{
public:
    ReportBuilder(db::Database &db, indicators::Evaluator &evaluator);
    Result<ReportSections> build(const analysis::AnalysisModel &model, const analysis::CellRange &selection, const QString &classFolder,
                                 int currentRow = -1);
    // For one row, builds the section of the row against these peers too; without a choice
    // no peer is read.
    void setPeerChoice(std::optional<analysis::PeerChoice> choice) { m_peers = choice; }

private:
    db::Database &m_db;
    indicators::Evaluator &m_evaluator;
    std::optional<analysis::PeerChoice> m_peers;
};

// The whole document: header (with a LINK to stylePath as a file URL when it is not ""),
// the entity section for one row, the chosen sections, the footer. Without a style, or for
// a too small table, a Czech note follows the title. Only the LINK line depends on the style.
QString assembleReport(const ReportSections &sections, const SectionChoice &choice, const QString &stylePath);

// The report as one file to keep or send: the style sheet's text in a STYLE element in place
// of the LINK and no applet codebase, so nothing in it points at this machine's files. An
// error when the style sheet cannot be read.
Result<QString> selfContainedReport(const QString &html, const QString &stylePath);

// The temporary files of a window in the CSS folder: "~" + caption + ".htm" and
// "~_" + caption + ".htm" (characters no file name may hold become "_").
QString reportFilePath(const QString &cssFolder, const QString &caption);
QString profileFilePath(const QString &cssFolder, const QString &caption);

// Where a window keeps those files: the CSS folder the user chose, when it can be written;
// else the system's temporary folder (the shipped styles' folder is read-only once installed
// and the source tree's in a build-tree run). Style and applet links are absolute file URLs,
// so they resolve from either.
QString temporaryFolder(const QString &cssFolder);

// The applet classes' folder: "class" beside the program.
QString defaultClassFolder();

// Writes a report as UTF-8 (with a byte-order mark, so a browser reads the Czech letters
// right) atomically: the old file stays whole when writing fails.
Outcome writeReportFile(const QString &path, const QString &html);

} // namespace verna::report

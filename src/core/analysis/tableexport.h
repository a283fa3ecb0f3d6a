#pragma once

#include "db/outcome.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace verna::analysis {

class AnalysisModel;

// A rectangle of the table in model coordinates (columns 0 and 1 are name and period).
struct CellRange {
    int top = 0;
    int left = 0;
    int bottom = -1;
    int right = -1;
};

// A table as a window shows it, ready to be written out: the one shape the analysis table
// and the statement table export through.
struct ExportTable {
    QString sheetName;
    QList<QStringList> header; // bold rows at the top, kept in view
    QList<QStringList> rows;
    QStringList footer;        // a summary line under the rows (its label bold); empty for none
    int fixedColumns = 0;      // text columns on the left, kept in view
    // Reads a cell right of the fixed columns as a number for XLSX; text stays text.
    std::function<std::optional<double>(const QString &)> number;
    const char *numberFormat = nullptr; // XLSX number format; nullptr for General
    QList<double> columnWidths;         // the first columns' widths, in characters
    double otherWidth = 16;

    // Cells read as the analysis shows them (two decimals in the locale), written as such.
    void takeTwoDecimalNumbers(const QLocale &locale);
};

// CSV (comma-separated, quoted where needed), header, rows and footer.
QString tableAsCsv(const ExportTable &table);
// CSV as a spreadsheet set to Czech opens it into columns: ";" between fields, numbers right
// of the fixed columns with a decimal comma, lines ending CR LF. The windows export this; the
// command line keeps the comma form above.
QString tableAsSpreadsheetCsv(const ExportTable &table);
// Tab-separated text of cells for spreadsheets to paste: one line per row.
QString cellsAsTsv(const QList<QStringList> &cells);
Outcome writeCsv(const ExportTable &table, const QString &path);
// The spreadsheet CSV in UTF-8 with a byte-order mark.
Outcome writeSpreadsheetCsv(const ExportTable &table, const QString &path);
// XLSX with numbers as numbers and the header rows and fixed columns frozen.
Outcome writeXlsx(const ExportTable &table, const QString &path);

// The analysis table with its header and, when one is current, the aggregate row.
ExportTable exportTable(const AnalysisModel &model);
QString tableAsCsv(const AnalysisModel &model);
QString rangeAsTsv(const AnalysisModel &model, const CellRange &range);
Outcome writeCsv(const AnalysisModel &model, const QString &path);
// Numbers with two decimals.
Outcome writeXlsx(const AnalysisModel &model, const QString &path);

} // namespace verna::analysis

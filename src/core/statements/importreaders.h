#pragma once

#include "db/outcome.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace verna::statements {

// One row of an import file: its cells and the line (CSV) or row (XLSX) number it starts on.
struct ImportRow {
    int line = 0;
    QStringList cells;
};

// The rows of an import file as text, the header first; blank rows are left out.
using ImportRows = QList<ImportRow>;

// Files and cells beyond these are refused rather than read. The byte cap holds for the file
// and for each member of an XLSX archive as it is unpacked; the cell cap is a spreadsheet's own.
constexpr qint64 kMaxImportBytes = 64 * 1024 * 1024;
// A CSV file read from disk is streamed, never held whole: its cap is that of the pairs an
// import takes (200,000 pairs of a full statement are some 700 MB of CSV).
constexpr qint64 kMaxStreamedCsvBytes = 1024 * 1024 * 1024;
constexpr int kMaxImportColumns = 256;
constexpr int kMaxImportCellChars = 32767;

// A cell of a row as the streaming reader hands it on: its column (from 0) and its text.
struct ImportCell {
    int column = 0;
    QString text;
};

// A row as the streaming reader hands it on: only the cells that hold text, in column order,
// so an empty cell costs nothing however far right the row reaches.
struct SparseRow {
    int line = 0;
    int width = 0; // the columns the row spans, empty ones included
    QList<ImportCell> cells;

    QString at(int column) const;
};

// Takes each row that holds something, the header first; a failure ends the reading with it.
using ImportRowSink = std::function<Outcome(const SparseRow &row)>;

// CSV in UTF-8 (with or without BOM) or, when it is not valid UTF-8, Windows-1250. The header
// line decides the separator: ";" when it holds one, else ",". Fields in double quotes may hold
// separators, line breaks and doubled quotes.
Result<ImportRows> readCsv(const QByteArray &bytes);

// The first sheet of an XLSX workbook; shared and inline strings, numbers as stored.
Result<ImportRows> readXlsx(const QByteArray &bytes);

// Reads a file by its content: a zip archive is XLSX, anything else CSV.
Result<ImportRows> readImportFile(const QString &path);

// The same, row by row: memory stays bounded by the row at hand, whatever the file claims. Both
// readers refuse a row that reaches past the header's columns (or, in CSV, falls short of them).
// Only a regular file is read; a device or a pipe is refused.
Outcome readImportFile(const QString &path, const ImportRowSink &sink);

} // namespace verna::statements

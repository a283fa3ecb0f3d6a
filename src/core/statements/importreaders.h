#pragma once

#include "db/outcome.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace verna::statements {

// One row of an import file: its cells and the line (CSV) or row (XLSX) number it starts on.
struct ImportRow {
    int line = 0;
    QStringList cells;
};

// The rows of an import file as text, the header first; blank rows are left out.
using ImportRows = QList<ImportRow>;

// Files and cells beyond these are refused rather than read.
constexpr qint64 kMaxImportBytes = 64 * 1024 * 1024;
constexpr int kMaxImportColumns = 256;

// CSV in UTF-8 (with or without BOM) or, when it is not valid UTF-8, Windows-1250. The header
// line decides the separator: ";" when it holds one, else ",". Fields in double quotes may hold
// separators, line breaks and doubled quotes.
Result<ImportRows> readCsv(const QByteArray &bytes);

// The first sheet of an XLSX workbook; shared and inline strings, numbers as stored.
Result<ImportRows> readXlsx(const QByteArray &bytes);

// Reads a file by its content: a zip archive is XLSX, anything else CSV.
Result<ImportRows> readImportFile(const QString &path);

} // namespace verna::statements

#include "analysis/tableexport.h"
#include "statements/importreaders.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/printing.h"

using namespace verna::analysis;
using namespace Qt::StringLiterals;

// A company named like a formula must reach a spreadsheet as text; numbers stay numbers.
TEST(TableExport, FormulaLikeCellsAreNeutralisedAndTheCsvReadsBackInTheCzechDialectAndThroughTheImport)
{
    ExportTable table;
    table.header << QStringList{u"=Název"_s, u"Období"_s};
    table.rows << QStringList{u"=HYPERLINK(\"http://x\",\"a\")"_s, u"-12.5"_s} << QStringList{u"+420 123"_s, u"-1 234,50"_s}
               << QStringList{u"@SUM(A1)"_s, u"-1+1"_s} << QStringList{u"\tx"_s, u"a=b"_s};
    EXPECT_EQ(tableAsCsv(table), u"'=Název,Období\n"
                                 "\"'=HYPERLINK(\"\"http://x\"\",\"\"a\"\")\",-12.5\n"
                                 "+420 123,\"-1 234,50\"\n"
                                 "'@SUM(A1),'-1+1\n"
                                 "'\tx,a=b\n"_s);
    EXPECT_EQ(cellsAsTsv({{u"-5"_s, u"=1+1"_s, u"\r=2"_s}}), u"-5\t'=1+1\t' =2\n"_s);

    // The windows' CSV: a spreadsheet set to Czech (Python's csv with ";" and a decimal comma stands in for one)
    // and the statement import read the same cells from it.
    ExportTable czech;
    czech.header << QStringList{QString(), u"Pekárna; \"Kolín\""_s} << QStringList{QString(), u"1996/4"_s};
    czech.rows << QStringList{u"Aktiva celkem"_s, u"-1234.5"_s} << QStringList{u"=SUM(A1)"_s, u"0.25"_s}
               << QStringList{u"Dva\nřádky"_s, u"1 000"_s};
    czech.fixedColumns = 1;
    czech.number = [](QString cell) -> std::optional<double> {
        bool ok = false;
        const double value = cell.remove(u' ').toDouble(&ok);
        return ok ? std::optional<double>(value) : std::nullopt;
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(u"tabulka.csv"_s);
    ASSERT_TRUE(writeSpreadsheetCsv(czech, path).ok);
    EXPECT_TRUE(verna::test::readFile(path).startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> expected = {{QString(), u"Pekárna; \"Kolín\""_s}, {QString(), u"1996/4"_s}, {u"Aktiva celkem"_s, u"-1234,5"_s},
                                         {u"'=SUM(A1)"_s, u"0,25"_s}, {u"Dva\nřádky"_s, u"1000"_s}};

    const auto imported = verna::statements::readImportFile(path);
    ASSERT_TRUE(imported.ok()) << imported.error.toStdString();
    QList<QStringList> cells;
    for (const auto &row : imported.value)
        cells << row.cells;
    EXPECT_EQ(cells, expected);

    QProcess python;
    python.start(u"python3"_s, {u"-c"_s, uR"(import csv, json, sys
with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:
    rows = list(csv.reader(f, delimiter=';'))
print(json.dumps({'rows': rows, 'sum': sum(float(r[1].replace(',', '.')) for r in rows[2:])}))
)"_s, path});
    ASSERT_TRUE(python.waitForFinished(30000)) << python.errorString().toStdString();
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonObject read = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    cells.clear();
    for (const QJsonValue &row : read.value(u"rows"_s).toArray())
        cells << row.toVariant().toStringList();
    EXPECT_EQ(cells, expected);
    EXPECT_DOUBLE_EQ(read.value(u"sum"_s).toDouble(), -1234.5 + 0.25 + 1000);
}


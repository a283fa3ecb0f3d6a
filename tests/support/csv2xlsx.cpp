// Writes an import CSV as the XLSX a spreadsheet would save: text columns as text, amounts as
// numbers. Makes docs/import-long.xlsx from docs/import-long.csv.
#include "analysis/tableexport.h"
#include "statements/importreaders.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

using namespace verna;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        err << "Použití: verna-csv2xlsx VSTUP.csv VÝSTUP.xlsx\n";
        return 2;
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        err << in.errorString() << "\n";
        return 1;
    }
    const Result<statements::ImportRows> rows = statements::readCsv(in.readAll());
    if (!rows.ok() || rows.value.isEmpty()) {
        err << rows.error << "\n";
        return 1;
    }
    analysis::ExportTable table;
    table.sheetName = QStringLiteral("Výkazy");
    table.header = {rows.value.front().cells};
    static const QRegularExpression amountColumn(QStringLiteral("^(castka|\\d{4}/[1-4])$"));
    table.fixedColumns = static_cast<int>(table.header.front().indexOf(amountColumn));
    for (qsizetype i = 1; i < rows.value.size(); ++i) {
        QStringList cells = rows.value.at(i).cells;
        for (qsizetype c = table.fixedColumns; c < cells.size(); ++c)
            cells[c].replace(QLatin1Char(','), QLatin1Char('.'));
        table.rows << cells;
    }
    table.number = [](const QString &text) -> std::optional<double> {
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok ? std::optional<double>(value) : std::nullopt;
    };
    const Outcome written = analysis::writeXlsx(table, args[2]);
    if (!written) {
        err << written.error << "\n";
        return 1;
    }
    return 0;
}

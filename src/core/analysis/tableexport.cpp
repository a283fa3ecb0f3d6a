#include "analysis/tableexport.h"

#include "analysis/analysismodel.h"
#include "db/openfiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <xlsxwriter.h>

namespace verna::analysis {

namespace {

// A cell a spreadsheet would run as a formula ("=", "+", "-", "@", or a tab or CR before one)
// gets an apostrophe in front, so it is shown as the text it is. Numbers stay numbers.
QString inert(const QString &text)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    if (text.isEmpty() || !starts.contains(text.front()))
        return text;
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9][0-9 \\x{00A0}\\x{202F}]*([.,][0-9]+)?$"));
    if (number.match(text).hasMatch())
        return text;
    return QLatin1Char('\'') + text;
}

QString csvField(QString text, QChar separator = QLatin1Char(','))
{
    text = inert(text);
    if (!text.contains(separator) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// A cell must not break the row or column structure of pasted text.
QString tsvField(QString text)
{
    text = inert(text);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QStringList dataRow(const AnalysisModel &model, int row)
{
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c)
        cells << model.data(model.index(row, c)).toString();
    return cells;
}

} // namespace

QString tableAsCsv(const ExportTable &table)
{
    QString out;
    auto line = [&out](const QStringList &cells) {
        QStringList fields;
        for (const QString &c : cells)
            fields << csvField(c);
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    for (const QStringList &row : table.header)
        line(row);
    for (const QStringList &row : table.rows)
        line(row);
    if (!table.footer.isEmpty())
        line(table.footer);
    return out;
}

QString tableAsSpreadsheetCsv(const ExportTable &table)
{
    QString out;
    const QChar separator = QLatin1Char(';');
    auto line = [&](const QStringList &cells, bool header) {
        QStringList fields;
        for (int c = 0; c < cells.size(); ++c) {
            QString text = cells.at(c);
            // A number is written as a Czech spreadsheet reads one: a decimal comma, no grouping.
            if (!header && c >= table.fixedColumns && table.number && table.number(text)) {
                text.remove(QRegularExpression(QStringLiteral("\\s")));
                text.replace(QLatin1Char('.'), QLatin1Char(','));
            }
            fields << csvField(text, separator);
        }
        out += fields.join(separator) + QStringLiteral("\r\n");
    };
    for (const QStringList &row : table.header)
        line(row, true);
    for (const QStringList &row : table.rows)
        line(row, false);
    if (!table.footer.isEmpty())
        line(table.footer, false);
    return out;
}

QString cellsAsTsv(const QList<QStringList> &cells)
{
    QString out;
    for (const QStringList &row : cells) {
        QStringList fields;
        for (const QString &c : row)
            fields << tsvField(c);
        out += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

Outcome writeCsv(const ExportTable &table, const QString &path)
{
    if (db::isOpenDatabaseFile(path)) // replacing it would destroy the data the process is using
        return Outcome::failure(db::openDatabaseFileRefusal(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::failure(QStringLiteral("Soubor nelze zapsat: ") + path);
    file.write(tableAsCsv(table).toUtf8());
    if (!file.commit())
        return Outcome::failure(QStringLiteral("Soubor nelze zapsat: ") + path);
    return Outcome::success();
}

Outcome writeSpreadsheetCsv(const ExportTable &table, const QString &path)
{
    if (db::isOpenDatabaseFile(path)) // replacing it would destroy the data the process is using
        return Outcome::failure(db::openDatabaseFileRefusal(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::failure(QStringLiteral("Soubor nelze zapsat: ") + path);
    // Without the byte-order mark a spreadsheet takes the file for the system's code page.
    file.write("\xEF\xBB\xBF");
    file.write(tableAsSpreadsheetCsv(table).toUtf8());
    if (!file.commit())
        return Outcome::failure(QStringLiteral("Soubor nelze zapsat: ") + path);
    return Outcome::success();
}

Outcome writeXlsx(const ExportTable &table, const QString &path)
{
    if (db::isOpenDatabaseFile(path)) // replacing it would destroy the data the process is using
        return Outcome::failure(db::openDatabaseFileRefusal(path));
    auto failed = [&path](const QString &detail) {
        return Outcome::failure(QStringLiteral("Soubor XLSX nelze zapsat: %1 (%2)").arg(path, detail));
    };
    // A sheet holds so many rows and columns; the library would drop the rest without a word.
    qsizetype widest = table.footer.size();
    for (const QList<QStringList> *part : {&table.header, &table.rows})
        for (const QStringList &cells : *part)
            widest = std::max(widest, cells.size());
    const qsizetype height = table.header.size() + table.rows.size() + (table.footer.isEmpty() ? 0 : 1);
    if (height > LXW_ROW_MAX || widest > LXW_COL_MAX)
        return Outcome::failure(QStringLiteral("Tabulka má %1 řádků a %2 sloupců; list XLSX jich pojme nejvýše %3 a %4. Uložte ji jako CSV.")
                                    .arg(height)
                                    .arg(widest)
                                    .arg(LXW_ROW_MAX)
                                    .arg(LXW_COL_MAX));
    // The library writes a file of our own first: it reports a path it cannot write in English
    // on stderr, so the target is written here, with a Czech message, and replaced whole.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return failed(scratch.errorString());
    const QString draft = scratch.filePath(QStringLiteral("tabulka.xlsx"));
    const QByteArray name = QFile::encodeName(draft);
    lxw_workbook *workbook = workbook_new(name.constData());
    if (!workbook)
        return failed(QStringLiteral("knihovnu XLSX nelze připravit"));
    // Sheet names are at most 31 characters.
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, table.sheetName.left(31).toUtf8().constData());
    lxw_format *bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format *number = nullptr;
    if (table.numberFormat) {
        number = workbook_add_format(workbook);
        format_set_num_format(number, table.numberFormat);
    }

    int row = 0;
    auto writeRow = [&](const QStringList &cells, bool header) {
        for (int c = 0; c < cells.size(); ++c) {
            const std::optional<double> value = c >= table.fixedColumns && !header && table.number ? table.number(cells.at(c)) : std::nullopt;
            if (value)
                worksheet_write_number(sheet, row, c, *value, number);
            else
                worksheet_write_string(sheet, row, c, cells.at(c).toUtf8().constData(), header || (c == 0 && &cells == &table.footer) ? bold : nullptr);
        }
        ++row;
    };
    for (const QStringList &cells : table.header)
        writeRow(cells, true);
    for (const QStringList &cells : table.rows)
        writeRow(cells, false);
    if (!table.footer.isEmpty())
        writeRow(table.footer, false);
    worksheet_freeze_panes(sheet, static_cast<lxw_row_t>(table.header.size()), static_cast<lxw_col_t>(table.fixedColumns));
    int columns = 0;
    for (const QStringList &cells : table.header)
        columns = std::max(columns, static_cast<int>(cells.size()));
    for (int c = 0; c < table.columnWidths.size(); ++c)
        worksheet_set_column(sheet, c, c, table.columnWidths.at(c), nullptr);
    if (columns > table.columnWidths.size())
        worksheet_set_column(sheet, static_cast<lxw_col_t>(table.columnWidths.size()), static_cast<lxw_col_t>(columns - 1), table.otherWidth, nullptr);
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR)
        return failed(QString::fromUtf8(lxw_strerror(error)));
    QFile written(draft);
    QSaveFile target(path);
    if (!written.open(QIODevice::ReadOnly))
        return failed(written.errorString());
    if (!target.open(QIODevice::WriteOnly))
        return failed(target.errorString());
    if (target.write(written.readAll()) < 0 || !target.commit())
        return failed(target.errorString());
    return Outcome::success();
}

void ExportTable::takeTwoDecimalNumbers(const QLocale &locale)
{
    number = [locale](const QString &cell) -> std::optional<double> {
        const std::optional<Cents> value = parseCell(cell, locale);
        return value ? std::optional<double>(static_cast<double>(*value) / 100.0) : std::nullopt;
    };
    numberFormat = "0.00";
}

ExportTable exportTable(const AnalysisModel &model)
{
    ExportTable table;
    table.sheetName = QStringLiteral("Analýza");
    QStringList header;
    for (int c = 0; c < model.columnCount(); ++c)
        header << model.headerData(c, Qt::Horizontal).toString();
    table.header << header;
    for (int r = 0; r < model.dataRowCount(); ++r)
        table.rows << dataRow(model, r);
    if (model.currentAggregate()) {
        table.footer = QStringList{aggregateNames().at(static_cast<int>(*model.currentAggregate())), QString()};
        table.footer += model.aggregateRow();
    }
    table.fixedColumns = AnalysisModel::kFixedColumns;
    table.takeTwoDecimalNumbers(model.locale());
    table.columnWidths = {36, 10};
    return table;
}

QString tableAsCsv(const AnalysisModel &model)
{
    return tableAsCsv(exportTable(model));
}

QString rangeAsTsv(const AnalysisModel &model, const CellRange &range)
{
    QList<QStringList> cells;
    const int bottom = std::min(range.bottom, model.dataRowCount() - 1);
    const int right = std::min(range.right, model.columnCount() - 1);
    for (int r = std::max(0, range.top); r <= bottom; ++r) {
        QStringList row;
        for (int c = std::max(0, range.left); c <= right; ++c)
            row << model.data(model.index(r, c)).toString();
        cells << row;
    }
    return cellsAsTsv(cells);
}

Outcome writeCsv(const AnalysisModel &model, const QString &path)
{
    return writeCsv(exportTable(model), path);
}

Outcome writeXlsx(const AnalysisModel &model, const QString &path)
{
    return writeXlsx(exportTable(model), path);
}

} // namespace verna::analysis

#include "analysis/tableexport.h"

#include "analysis/analysismodel.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <xlsxwriter.h>

namespace verna::analysis {

namespace {

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// A cell must not break the row or column structure of pasted text.
QString tsvField(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QStringList headerRow(const AnalysisModel &model)
{
    QStringList header;
    for (int c = 0; c < model.columnCount(); ++c)
        header << model.headerData(c, Qt::Horizontal).toString();
    return header;
}

QStringList dataRow(const AnalysisModel &model, int row)
{
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c)
        cells << model.data(model.index(row, c)).toString();
    return cells;
}

QStringList aggregateLine(const AnalysisModel &model)
{
    if (!model.currentAggregate())
        return {};
    QStringList cells{aggregateNames().at(static_cast<int>(*model.currentAggregate())), QString()};
    cells += model.aggregateRow();
    return cells;
}

} // namespace

QString tableAsCsv(const AnalysisModel &model)
{
    QString out;
    auto line = [&out](const QStringList &cells) {
        QStringList fields;
        for (const QString &c : cells)
            fields << csvField(c);
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    line(headerRow(model));
    for (int r = 0; r < model.dataRowCount(); ++r)
        line(dataRow(model, r));
    if (const QStringList aggregate = aggregateLine(model); !aggregate.isEmpty())
        line(aggregate);
    return out;
}

QString rangeAsTsv(const AnalysisModel &model, const CellRange &range)
{
    QString out;
    const int bottom = std::min(range.bottom, model.dataRowCount() - 1);
    const int right = std::min(range.right, model.columnCount() - 1);
    for (int r = std::max(0, range.top); r <= bottom; ++r) {
        QStringList cells;
        for (int c = std::max(0, range.left); c <= right; ++c)
            cells << tsvField(model.data(model.index(r, c)).toString());
        out += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

Outcome writeCsv(const AnalysisModel &model, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::failure(QStringLiteral("Soubor nelze zapsat: ") + path);
    file.write(tableAsCsv(model).toUtf8());
    if (!file.commit())
        return Outcome::failure(QStringLiteral("Soubor nelze zapsat: ") + path);
    return Outcome::success();
}

Outcome writeXlsx(const AnalysisModel &model, const QString &path)
{
    auto failed = [&path](const QString &detail) {
        return Outcome::failure(QStringLiteral("Soubor XLSX nelze zapsat: %1 (%2)").arg(path, detail));
    };
    // The library writes a file of our own first: it reports a path it cannot write in English
    // on stderr, so the target is written here, with a Czech message, and replaced whole.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return failed(scratch.errorString());
    const QString draft = scratch.filePath(QStringLiteral("analyza.xlsx"));
    const QByteArray name = QFile::encodeName(draft);
    lxw_workbook *workbook = workbook_new(name.constData());
    if (!workbook)
        return failed(QStringLiteral("knihovnu XLSX nelze připravit"));
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "Analýza");
    lxw_format *bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format *number = workbook_add_format(workbook);
    format_set_num_format(number, "0.00");

    auto writeRow = [&](int row, const QStringList &cells, bool header) {
        for (int c = 0; c < cells.size(); ++c) {
            const std::optional<Cents> value = c >= AnalysisModel::kFixedColumns && !header ? parseCell(cells.at(c), model.locale()) : std::nullopt;
            if (value)
                worksheet_write_number(sheet, row, c, static_cast<double>(*value) / 100.0, number);
            else
                worksheet_write_string(sheet, row, c, cells.at(c).toUtf8().constData(), header ? bold : nullptr);
        }
    };
    writeRow(0, headerRow(model), true);
    for (int r = 0; r < model.dataRowCount(); ++r)
        writeRow(r + 1, dataRow(model, r), false);
    if (const QStringList aggregate = aggregateLine(model); !aggregate.isEmpty()) {
        writeRow(model.dataRowCount() + 1, aggregate, false);
        worksheet_write_string(sheet, model.dataRowCount() + 1, 0, aggregate.front().toUtf8().constData(), bold);
    }
    worksheet_freeze_panes(sheet, 1, AnalysisModel::kFixedColumns);
    worksheet_set_column(sheet, 0, 0, 36, nullptr);
    worksheet_set_column(sheet, 1, 1, 10, nullptr);
    if (model.indicatorCount() > 0)
        worksheet_set_column(sheet, 2, static_cast<lxw_col_t>(1 + model.indicatorCount()), 16, nullptr);
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

} // namespace verna::analysis

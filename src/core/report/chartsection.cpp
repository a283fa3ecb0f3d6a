#include "report/chartsection.h"

#include "analysis/aggregates.h"
#include "analysis/analysismodel.h"
#include "report/html.h"
#include "report/svgchart.h"

#include <cmath>

namespace verna::report {

using analysis::AnalysisModel;

namespace {

std::optional<double> number(const QString &cell, const QLocale &locale)
{
    const auto cents = analysis::parseCell(cell, locale);
    return cents ? std::optional<double>(static_cast<double>(*cents) / 100.0) : std::nullopt;
}

QString rowLabel(const AnalysisModel &model, int row)
{
    return model.entityName(row) + QLatin1Char(' ') + model.rowKey(row).periodText();
}

// The applet's own parameters: commas would split its lists.
QString noCommas(QString text)
{
    return text.replace(QLatin1Char(','), QLatin1Char(' '));
}

QStringList columnApplet(const AnalysisModel &model, const ReportShape &shape, const QString &classUrl)
{
    QStringList out{QStringLiteral("<applet  code=javachart.applet.columnApp.class archive=\"bar.jar,base.jar\" codebase=\"") + classUrl
                        + QStringLiteral("\" width=600 height=320>"),
                    QStringLiteral("<param name=plotAreaColor value=\"white\">"),
                    QStringLiteral("<param name=yAxisGridColor value=\"black\">"),
                    QStringLiteral("<param name=legendOn value=\"true\">"),
                    QStringLiteral("<param name=legendHorizontal value=\"true\">"),
                    QStringLiteral("<param name=legendllX value=\"0.0\">"),
                    QStringLiteral("<param name=legendllY value=\"0.0\">")};
    SvgChartData chart;
    QStringList headers;
    for (int c = shape.left; c <= shape.right; ++c) {
        const QString header = model.indicatorName(c - AnalysisModel::kFixedColumns);
        headers << escaped(noCommas(header));
        chart.categories << header;
    }
    out << QStringLiteral("<PARAM NAME=xAxisLabels VALUE=\"") + headers.join(QLatin1Char(',')) + QStringLiteral("\">");
    for (int r = shape.top, k = 0; r <= shape.bottom; ++r, ++k) {
        QStringList values;
        QList<std::optional<double>> line;
        for (int c = shape.left; c <= shape.right; ++c) {
            const QString cell = model.cell(r, c - AnalysisModel::kFixedColumns);
            values << escaped(QString(cell).replace(QLatin1Char(','), QLatin1Char('.')));
            line << number(cell, model.locale());
        }
        out << QStringLiteral("<PARAM NAME=dataset%1name VALUE=\"").arg(k) + escaped(noCommas(model.entityName(r))) + QLatin1Char(' ')
                + model.rowKey(r).periodText() + QStringLiteral("\">")
            << QStringLiteral("<PARAM NAME=dataset%1yValues VALUE=\"").arg(k) + values.join(QLatin1Char(',')) + QStringLiteral("\">");
        chart.series << rowLabel(model, r);
        chart.values << line;
    }
    out << columnChartSvg(chart).chopped(kEol.size()).split(kEol);
    return out;
}

QStringList profileApplet(const AnalysisModel &model, const ReportShape &shape, const QString &classUrl)
{
    const int last = model.columnCount() - 1;
    QStringList out{QStringLiteral("<APPLET code = tqGrafFinAn.class codebase=\"") + classUrl + QStringLiteral("\"  Width = 600 height=400 >")};
    SvgChartData chart;
    for (int c = AnalysisModel::kFixedColumns; c <= last; ++c) {
        const QString header = model.indicatorName(c - AnalysisModel::kFixedColumns);
        out << QStringLiteral("<PARAM NAME=cell1%1 VALUE=\"").arg(c) + escaped(header) + QStringLiteral("\">");
        chart.categories << header;
    }
    out << QStringLiteral("<PARAM NAME=num_c VALUE=%1>").arg(last);
    const AggregateRow aggregate = reportAggregate(model);
    int k = 1;
    for (int r = shape.top; r <= shape.bottom; ++r) {
        ++k;
        out << QStringLiteral("<PARAM NAME=cell") + QString::number(k) + QStringLiteral("1 VALUE=\"") + escaped(rowLabel(model, r)) + QStringLiteral("\">");
        QList<std::optional<double>> line;
        for (int c = AnalysisModel::kFixedColumns; c <= last; ++c) {
            const int i = c - AnalysisModel::kFixedColumns;
            const int score = profileScore(number(model.cell(r, i), model.locale()).value_or(0),
                                           number(aggregate.cells.value(i), model.locale()).value_or(0));
            out << QStringLiteral("<PARAM NAME=cell%1%2 VALUE=%3>").arg(k).arg(c).arg(score);
            line << double(score);
        }
        chart.series << rowLabel(model, r);
        chart.values << line;
    }
    out << QStringLiteral("<PARAM NAME=num_r VALUE=%1>").arg(k);
    out << radarChartSvg(chart).chopped(kEol.size()).split(kEol);
    return out;
}

QStringList graphSection(const AnalysisModel &model, const ReportShape &shape, const QString &classFolder)
{
    QStringList out{QStringLiteral("<!-- GRAF_START -->"), QStringLiteral("<H2 CLASS=vykaz>Graf</H2>"), QStringLiteral("<P>")};
    const QString classUrl = fileUrl(classFolder);
    out << (shape.kind == ReportShape::WholeRows ? profileApplet(model, shape, classUrl) : columnApplet(model, shape, classUrl));
    out << QStringLiteral("</APPLET>") << QStringLiteral("</P>") << QStringLiteral("<!-- GRAF_END -->");
    return out;
}

} // namespace

ReportShape reportShape(const AnalysisModel &model, const analysis::CellRange &selection)
{
    const int rows = model.dataRowCount();
    const int first = AnalysisModel::kFixedColumns;
    const int last = model.columnCount() - 1;
    if (rows == 0 || last < first)
        return {};
    ReportShape s;
    s.top = std::min(selection.top, selection.bottom);
    s.bottom = std::min(std::max(selection.top, selection.bottom), rows - 1);
    s.left = std::min(selection.left, selection.right);
    s.right = std::min(std::max(selection.left, selection.right), last);
    if (s.top < 0 || s.left < 0 || s.top > s.bottom || s.left > s.right) {
        s.top = 0;
        s.bottom = rows - 1;
        s.left = first;
        s.right = last;
    }
    const bool wholeColumns = s.top == 0 && s.bottom == rows - 1;
    // Name and period are no values; a selection in them only stands for its rows.
    if (s.right < first)
        s.right = last;
    s.left = std::max(s.left, first);
    s.kind = wholeColumns ? ReportShape::WholeColumns : s.left == first && s.right == last ? ReportShape::WholeRows : ReportShape::Rectangle;
    return s;
}

QString chartSection(const AnalysisModel &model, const ReportShape &shape, const QString &classFolder)
{
    if (shape.isEmpty())
        return {};
    return lines(graphSection(model, shape, classFolder));
}

QString profilePage(const AnalysisModel &model, const analysis::CellRange &selection, const QString &classFolder)
{
    ReportShape shape = reportShape(model, selection);
    if (shape.isEmpty())
        return {};
    if (shape.kind != ReportShape::WholeRows) {
        shape = {ReportShape::WholeRows, 0, model.dataRowCount() - 1, AnalysisModel::kFixedColumns, model.columnCount() - 1};
    }
    return lines(QStringList{QStringLiteral("<HTML>"), QStringLiteral("<HEAD>"), QStringLiteral("<TITLE>Finanční report</TITLE>"),
                             QStringLiteral("</HEAD>"), QStringLiteral("<BODY>")}
                 + graphSection(model, shape, classFolder) + QStringList{QStringLiteral("</BODY>"), QStringLiteral("</HTML>")});
}

} // namespace verna::report

#include "report/peersection.h"

#include "analysis/peertable.h"
#include "report/html.h"

namespace verna::report {

namespace {

namespace peertable = analysis::peertable;

// One row per indicator: its name, the D1–D9 whisker, the Q1–Q3 box, the median and the
// company's value as a diamond, each on its own scale with D1 and D9 written under it.
QString boxesSvg(const analysis::PeerBenchmarkRow &row, const QStringList &names, const QLocale &locale)
{
    // The right margin holds half of a centred D9 label with a long number.
    constexpr int kName = 230, kPlot = 440, kRow = 46, kTop = 8, kPad = 10, kRightMargin = 60;
    const int width = kName + kPlot + kPad + kRightMargin;
    const int height = kTop + static_cast<int>(row.figures.size()) * kRow + kPad;
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"graf\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                                 "font-family=\"sans-serif\" font-size=\"12\" role=\"img\">")
                      .arg(width)
                      .arg(height);
    const auto x = [&](const peertable::Scale &s, double v) { return QString::number(kName + kPad + s.at(v) * kPlot, 'f', 1); };
    for (qsizetype i = 0; i < row.figures.size(); ++i) {
        const analysis::PeerFigures &f = row.figures.at(i);
        const int top = kTop + static_cast<int>(i) * kRow;
        const int mid = top + 14;
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text>").arg(kPad).arg(mid + 4).arg(escaped(names.value(i)));
        if (!f.hasFigures) {
            svg += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"#666\">%3</text>").arg(kName + kPad).arg(mid + 4).arg(escaped(f.reason));
            continue;
        }
        const std::optional<double> value = peertable::value(f, locale);
        const peertable::Scale s = peertable::scale(f, value);
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%3\" x2=\"%2\" y2=\"%3\" stroke=\"#555\"/>").arg(x(s, f.d1), x(s, f.d9)).arg(mid);
        for (double end : {f.d1, f.d9})
            svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#555\"/>").arg(x(s, end)).arg(mid - 6).arg(mid + 6);
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"18\" fill=\"#dde6f3\" stroke=\"#4a6a9a\"/>")
                   .arg(x(s, f.q1))
                   .arg(mid - 9)
                   .arg(QString::number(std::max(1.0, (s.at(f.q3) - s.at(f.q1)) * kPlot), 'f', 1));
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#1d3557\" stroke-width=\"2\"/>").arg(x(s, f.median)).arg(mid - 9).arg(mid + 9);
        for (const auto &[end, label] : {std::pair{f.d1, "D1 "}, std::pair{f.d9, "D9 "}}) {
            svg += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\" fill=\"#555\" text-anchor=\"middle\">%3</text>")
                       .arg(x(s, end))
                       .arg(mid + 22)
                       .arg(escaped(QLatin1String(label) + peertable::number(end, locale)));
        }
        if (value) {
            const double cx = kName + kPad + s.at(*value) * kPlot;
            svg += QStringLiteral("<path d=\"M %1 %2 L %3 %4 L %1 %5 L %6 %4 Z\" fill=\"#d62828\" stroke=\"#fff\"><title>%7</title></path>")
                       .arg(QString::number(cx, 'f', 1))
                       .arg(mid - 7)
                       .arg(QString::number(cx + 7, 'f', 1))
                       .arg(mid)
                       .arg(mid + 7)
                       .arg(QString::number(cx - 7, 'f', 1))
                       .arg(escaped(peertable::number(*value, locale)));
        }
    }
    return svg + QStringLiteral("</svg>");
}

} // namespace

QString peerSection(const analysis::PeerBenchmarkRow &row, const QStringList &names, const QHash<qint32, indicators::Direction> &directions,
                    const QLocale &locale)
{
    QStringList out{QStringLiteral("<!-- ODVETVI_START -->"),
                    QStringLiteral("<H2 CLASS=vykaz>Srovnání s odvětvím ") + escaped(row.row.periodText()) + QStringLiteral("</H2>"),
                    QStringLiteral("<P CLASS=poznamka>") + escaped(row.peerDescription) + QStringLiteral(", podniků: ")
                        + QString::number(row.peerCount) + QStringLiteral("</P>"),
                    QStringLiteral("<DIV CLASS=tabulka>"), QStringLiteral("<TABLE>"), QStringLiteral("<TR>")};
    for (const QString &heading : peertable::header())
        out << QStringLiteral("<TD CLASS=zahlavi>") + escaped(heading) + QStringLiteral("</TD>");
    out << QStringLiteral("</TR>");
    const QList<QStringList> table = peertable::rows(row, names, locale);
    for (qsizetype r = 0; r < table.size(); ++r) {
        const analysis::PeerFigures &f = row.figures.at(r);
        out << QStringLiteral("<TR>") << QStringLiteral("<TD CLASS=zahlavi>") + escaped(table.at(r).front()) + QStringLiteral("</TD>");
        for (qsizetype c = 1; c < table.at(r).size(); ++c) {
            QString cell = QStringLiteral("<TD CLASS=bunka ALIGN=right");
            if (c == peertable::kZoneColumn) {
                const QString colour = peertable::zoneColour(f.zone, directions.value(f.indicatorId, indicators::Direction::None));
                cell = QStringLiteral("<TD CLASS=bunka") + (colour.isEmpty() ? QString() : QStringLiteral(" STYLE=\"background:%1\"").arg(colour));
            }
            out << cell + QLatin1Char('>') + escaped(table.at(r).at(c)) + QStringLiteral("</TD>");
        }
        out << QStringLiteral("</TR>");
    }
    out << QStringLiteral("</TABLE>") << QStringLiteral("</DIV>") << boxesSvg(row, names, locale)
        << QStringLiteral("<P CLASS=poznamka>D1 a D9 jsou 1. a 9. decil, Q1 a Q3 kvartily hodnot srovnatelných podniků; "
                          "kosočtverec je hodnota podniku.</P>")
        << QStringLiteral("<!-- ODVETVI_END -->");
    return lines(out);
}

} // namespace verna::report

#include "report/roesection.h"

#include "report/html.h"

#include <QStringList>

namespace verna::report {

namespace {

// The pyramid as inline SVG: ROE on top, the five factors below, each box with both values and
// the contribution (the change for ROE).
QString pyramidSvg(const QList<QStringList> &table)
{
    constexpr int kBox = 150, kGap = 10, kLine = 16, kHeight = 4 * kLine + 12;
    const qsizetype factors = table.size() - 2;
    const int width = static_cast<int>(factors) * (kBox + kGap) + kGap;
    const int bottom = kGap + 2 * kHeight;
    const QStringList &header = table.front();
    const auto box = [&](int x, int y, const QStringList &row, bool roe) {
        const QStringList lines{row.value(0).section(QStringLiteral(" ("), 0, 0), header.value(1) + QStringLiteral(": ") + row.value(1),
                                header.value(2) + QStringLiteral(": ") + row.value(2),
                                (roe ? QStringLiteral("Změna: ") : QStringLiteral("Příspěvek: ")) + row.value(3) + QStringLiteral(" p. b.")};
        QString out = QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"6\" fill=\"%5\" stroke=\"#888\"/>")
                          .arg(x)
                          .arg(y)
                          .arg(kBox)
                          .arg(kHeight)
                          .arg(roe ? QStringLiteral("#eef") : QStringLiteral("#fff"));
        for (int i = 0; i < lines.size(); ++i) {
            out += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"12\" text-anchor=\"middle\"%3>%4</text>")
                       .arg(x + kBox / 2)
                       .arg(y + 6 + (i + 1) * kLine - 4)
                       .arg(i == 0 ? QStringLiteral(" font-weight=\"bold\"") : QString(), escaped(lines.at(i)));
        }
        return out;
    };
    const int topX = (width - kBox) / 2;
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"graf\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                                 "font-family=\"sans-serif\" role=\"img\">")
                      .arg(width)
                      .arg(bottom + kHeight + kGap);
    for (qsizetype i = 0; i < factors; ++i) {
        const int x = kGap + static_cast<int>(i) * (kBox + kGap);
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"#aaa\"/>")
                   .arg(topX + kBox / 2)
                   .arg(kGap + kHeight)
                   .arg(x + kBox / 2)
                   .arg(bottom);
        svg += box(x, bottom, table.at(i + 1), false);
    }
    svg += box(topX, kGap, table.last(), true);
    return svg + QStringLiteral("</svg>");
}

} // namespace

QString roeSection(const analysis::RoeDecomposition &d, const QLocale &locale)
{
    const QList<QStringList> table = d.table(locale);
    QStringList out{QStringLiteral("<!-- ROZKLAD_ROE_START -->"),
                    QStringLiteral("<H2 CLASS=vykaz>Rozklad ROE ") + escaped(d.a.periodText()) + QStringLiteral(" → ") + escaped(d.b.periodText())
                        + QStringLiteral("</H2>"),
                    pyramidSvg(table),
                    QStringLiteral("<DIV CLASS=tabulka>"), QStringLiteral("<TABLE>"), QStringLiteral("<TR>")};
    for (const QString &heading : table.front())
        out << QStringLiteral("<TD CLASS=zahlavi>") + escaped(heading) + QStringLiteral("</TD>");
    out << QStringLiteral("</TR>");
    for (qsizetype r = 1; r < table.size(); ++r) {
        out << QStringLiteral("<TR>") << QStringLiteral("<TD CLASS=zahlavi>") + escaped(table.at(r).front()) + QStringLiteral("</TD>");
        for (qsizetype c = 1; c < table.at(r).size(); ++c)
            out << QStringLiteral("<TD CLASS=bunka ALIGN=right>") + escaped(table.at(r).at(c)) + QStringLiteral("</TD>");
        out << QStringLiteral("</TR>");
    }
    out << QStringLiteral("</TABLE>") << QStringLiteral("</DIV>");
    const QString note = d.reason.isEmpty() ? QStringLiteral("Metoda rozkladu: ") + analysis::roeMethodName(d.method) : d.reason;
    out << QStringLiteral("<P CLASS=poznamka>") + escaped(note) + QStringLiteral("</P>") << QStringLiteral("<!-- ROZKLAD_ROE_END -->");
    return lines(out);
}

} // namespace verna::report

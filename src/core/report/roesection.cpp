#include "report/roesection.h"

#include "report/html.h"

#include <QStringList>

namespace verna::report {

QString roeSection(const analysis::RoeDecomposition &d, const QLocale &locale)
{
    const QList<QStringList> table = d.table(locale);
    QStringList out{QStringLiteral("<!-- ROZKLAD_ROE_START -->"),
                    QStringLiteral("<H2 CLASS=vykaz>Rozklad ROE ") + escaped(d.a.periodText()) + QStringLiteral(" → ") + escaped(d.b.periodText())
                        + QStringLiteral("</H2>"),
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

#include "indicators/derivedlines.h"

#include <QRegularExpression>

namespace verna::indicators {

const QList<DerivedLine> &DerivedLines::all()
{
    // Profit before tax is line **** on a full statement. Abbreviated statements stored before
    // that line was on the form lack it and the extraordinary lines, so there it is the
    // operating, financial and extraordinary result (the extraordinary one after its tax).
    static const QString ebtAbbreviated = QStringLiteral("[59]+[77]+[213]");
    static const QList<DerivedLine> lines = {
        {kEbit, QStringLiteral("EBIT – zisk před úroky a zdaněním"), QStringLiteral("[91]+[72]"), ebtAbbreviated + QStringLiteral("+[210]")},
        {kEbitda, QStringLiteral("EBITDA – zisk před úroky, zdaněním a odpisy"), QStringLiteral("[91]+[72]+[48]"),
         ebtAbbreviated + QStringLiteral("+[210]+[48]")},
        // Own products and services are not on an abbreviated statement: output (výkony) stands in.
        {kSales, QStringLiteral("Tržby za zboží, vlastní výrobky a služby"), QStringLiteral("[31]+[38]"), QStringLiteral("[202]+[37]")},
        {kRevenues, QStringLiteral("Výnosy celkem"), QStringLiteral("[31]+[37]+[49]+[56]+[60]+[62]+[66]+[68]+[71]+[73]+[84]"),
         QStringLiteral("[202]+[37]+[205]+[207]+[209]+[211]")},
        {kShortTermDebt, QStringLiteral("Krátkodobé cizí zdroje"), QStringLiteral("[182]+[192]-[193]"), QStringLiteral("[182]+[192]-[193]")},
        {kProfitBeforeTax, QStringLiteral("EBT – zisk před zdaněním"), QStringLiteral("[91]"), ebtAbbreviated},
    };
    return lines;
}

QString DerivedLines::expanded(const QString &formula, bool fullForm)
{
    // The expansions here and after compare references as text; the parser reads "[0220]" as
    // line 220, so they must too.
    QString text = formula;
    if (text.contains(QStringLiteral("[0"))) {
        static const QRegularExpression zeros(QStringLiteral("\\[0+(?=\\d)"));
        text.replace(zeros, QStringLiteral("["));
    }
    if (!text.contains(QStringLiteral("[22")))
        return text;
    for (const DerivedLine &line : all()) {
        const QString reference = QLatin1Char('[') + QString::number(line.code) + QLatin1Char(']');
        text.replace(reference, QStringLiteral(" (") + (fullForm ? line.full : line.abbreviated) + QStringLiteral(") "));
    }
    return text;
}

} // namespace verna::indicators

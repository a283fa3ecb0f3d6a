#include "analysis/peertable.h"

#include "analysis/analysismodel.h"
#include "analysis/twodecimals.h"

#include <algorithm>
#include <cmath>

namespace verna::analysis::peertable {

Columns columns(const AnalysisModel &model)
{
    Columns out;
    for (int c = 0; c < model.indicatorCount(); ++c) {
        if (model.isChangeColumn(c))
            continue;
        out.ids << model.indicatorId(c);
        out.names << model.indicatorName(c);
        out.columns << c;
    }
    return out;
}

const QStringList &header()
{
    static const QStringList h{QStringLiteral("Ukazatel"), QStringLiteral("Hodnota"), QStringLiteral("n"),      QStringLiteral("D1"),
                               QStringLiteral("Q1"),       QStringLiteral("Medián"),  QStringLiteral("Q3"),     QStringLiteral("D9"),
                               QStringLiteral("Percentil"), QStringLiteral("Pásmo")};
    return h;
}

QString number(double v, const QLocale &locale)
{
    const std::optional<Cents> cents = roundToCents(QString::number(v, 'f', 6));
    return cents ? formatCents(*cents, locale) : QString();
}

std::optional<double> value(const PeerFigures &figures, const QLocale &locale)
{
    const std::optional<Cents> cents = parseCell(figures.value, locale);
    return cents ? std::optional<double>(static_cast<double>(*cents) / 100.0) : std::nullopt;
}

QList<QStringList> rows(const PeerBenchmarkRow &row, const QStringList &names, const QLocale &locale)
{
    QList<QStringList> out;
    for (qsizetype i = 0; i < row.figures.size(); ++i) {
        const PeerFigures &f = row.figures.at(i);
        const std::optional<double> v = value(f, locale);
        QStringList cells{names.value(i), v ? number(*v, locale) : QString(), QString::number(f.n)};
        if (f.hasFigures) {
            for (double q : {f.d1, f.q1, f.median, f.q3, f.d9})
                cells << number(q, locale);
            cells << (f.rank ? QString::number(std::lround(*f.rank)) : QString()) << zoneText(f.zone);
        } else {
            for (int c = 0; c < 6; ++c)
                cells << QString();
            cells << f.reason;
        }
        out << cells;
    }
    return out;
}

ExportTable exportTable(const PeerBenchmarkRow &row, const QString &entityName, const QStringList &names, const QLocale &locale)
{
    ExportTable table;
    table.sheetName = QStringLiteral("Odvětví");
    table.header << QStringList{entityName + QStringLiteral(", ") + row.row.periodText() + QStringLiteral(": ") + row.peerDescription
                                + QStringLiteral(", podniků: ") + QString::number(row.peerCount)}
                 << header();
    table.rows = rows(row, names, locale);
    table.fixedColumns = 1;
    table.takeTwoDecimalNumbers(locale);
    table.columnWidths = {36};
    table.otherWidth = 11;
    return table;
}

QString zoneText(Zone zone)
{
    switch (zone) {
    case Zone::Below:
        return QStringLiteral("pod Q1");
    case Zone::Middle:
        return QStringLiteral("Q1–Q3");
    case Zone::Above:
        return QStringLiteral("nad Q3");
    case Zone::None:
        break;
    }
    return {};
}

QString zoneColour(Zone zone, indicators::Direction direction)
{
    if (zone == Zone::None)
        return {};
    switch (zoneMeaning(zone, direction)) {
    case ZoneMeaning::Good:
        return QStringLiteral("#cfeccf");
    case ZoneMeaning::Bad:
        return QStringLiteral("#f6d0cc");
    case ZoneMeaning::Neutral:
        break;
    }
    return QStringLiteral("#e4e4e4");
}

QString rankTip(const PeerFigures &f, const QString &peerDescription)
{
    if (!f.hasFigures)
        return f.reason;
    const QString among = QStringLiteral("pořadí mezi %1 podniky (%2)").arg(f.n).arg(peerDescription);
    if (!f.rank)
        return among + QStringLiteral(": bez hodnoty");
    return among + QStringLiteral(": %1. percentil, %2").arg(std::lround(*f.rank)).arg(zoneText(f.zone));
}

Scale scale(const PeerFigures &f, std::optional<double> v)
{
    double low = f.d1;
    double high = f.d9;
    if (v) {
        low = std::min(low, *v);
        high = std::max(high, *v);
    }
    const double span = high - low;
    // All peers alike: a range around the value keeps the box visible.
    const double margin = span > 0 ? span * 0.06 : std::max(1.0, std::abs(high) * 0.1);
    return {low - margin, high + margin};
}

} // namespace verna::analysis::peertable

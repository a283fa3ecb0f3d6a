#pragma once

#include "analysis/peerbenchmark.h"
#include "analysis/tableexport.h"

#include <QLocale>
#include <QStringList>
#include <optional>

namespace verna::analysis {

class AnalysisModel;

// The peer figures of one company-period as the window, its copy and export, and the report
// show them: one row per indicator under a header, numbers with two decimals in the locale.
namespace peertable {

// The indicator columns of the analysis table (change columns left out): their indicator
// ids, names and indices among the model's indicator columns.
struct Columns {
    QList<int> ids;
    QStringList names;
    QList<int> columns;
};
Columns columns(const AnalysisModel &model);

// "Ukazatel", "Hodnota", "n", "D1", "Q1", "Medián", "Q3", "D9", "Percentil", "Pásmo".
const QStringList &header();
constexpr int kZoneColumn = 9;

// names are the indicators' names in the order of row.figures.
QList<QStringList> rows(const PeerBenchmarkRow &row, const QStringList &names, const QLocale &locale);
// The table to copy and export, under a line with the company, period and peer set.
ExportTable exportTable(const PeerBenchmarkRow &row, const QString &entityName, const QStringList &names, const QLocale &locale);

// "pod Q1", "Q1–Q3", "nad Q3"; "" for none.
QString zoneText(Zone zone);
// The background of a zone for the indicator's direction as "#rrggbb": a soft green for a
// good place, a soft red for a bad one, grey for neutral; "" for no zone.
QString zoneColour(Zone zone, indicators::Direction direction);
// "pořadí mezi 34 podniky (oddíl 29 …): 72. percentil, Q1–Q3"; the reason without figures.
QString rankTip(const PeerFigures &figures, const QString &peerDescription);
// A figure with two decimals in the locale.
QString number(double value, const QLocale &locale);
// The company's value as a number; nullopt when it has none.
std::optional<double> value(const PeerFigures &figures, const QLocale &locale);

// The range a box of the chart spans: D1..D9 widened to the company's value, with a margin so
// the marks stay off the edges; never empty.
struct Scale {
    double low = 0;
    double high = 1;
    // 0..1 across the range.
    double at(double v) const { return (v - low) / (high - low); }
};
Scale scale(const PeerFigures &figures, std::optional<double> value);

} // namespace peertable

} // namespace verna::analysis

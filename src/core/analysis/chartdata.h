#pragma once

#include "analysis/tableexport.h"

#include <QList>
#include <QLocale>
#include <QStringList>
#include <optional>

namespace verna::analysis {

class AnalysisModel;

// What the chart shows: one series per label in `series`, one point per category, values
// as numbers (nullopt for a cell without a number). As built from the table, the series are
// table rows ("name period") and the categories indicator columns; rotated() swaps them.
struct ChartData {
    QStringList series;
    QStringList categories;
    QList<QList<std::optional<double>>> values; // values[series][category]
    QString seriesTitle;
    QString categoryTitle;
    // Whole table rows were charted: the profile chart ("Paprsky") makes sense for them.
    bool wholeRows = false;
    QLocale locale = QLocale::c();

    bool isEmpty() const { return series.isEmpty() || categories.isEmpty(); }
    std::optional<double> value(int s, int c) const { return values.at(s).at(c); }
    ChartData rotated() const;

    friend bool operator==(const ChartData &, const ChartData &) = default;
};

inline const QString kRowsAxisTitle = QStringLiteral("Subjekt a období");
inline const QString kIndicatorsAxisTitle = QStringLiteral("Ukazatel");

// The chart data of a selection of the table (model coordinates, either corner first):
// - every data row covered: those rows' values in the selected indicator columns;
// - else every indicator column covered: the selected rows whole, offering "Paprsky";
// - else the rectangle.
// Columns 0 and 1 (name, period) are no values: a selection that lies in them only takes
// its rows whole. No selection (a negative coordinate, as in the default range) or one
// outside the table charts the whole table. A table without an indicator column or without
// a data row gives empty data.
ChartData chartData(const AnalysisModel &model, const CellRange &selection = {});

} // namespace verna::analysis

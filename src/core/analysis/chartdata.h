#pragma once

#include "analysis/tableexport.h"

#include <QDate>
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
    // The charted table rows, name and period apart, in row order; they are the series
    // while rowsAreSeries holds, else the categories.
    QStringList rowNames;
    QStringList rowPeriods;
    bool rowsAreSeries = true;
    // Whole table rows were charted: the profile chart ("Paprsky") makes sense for them.
    bool wholeRows = false;
    // For whole rows: what each indicator is scored against in the profile chart (the
    // table's aggregate, else the arithmetic mean of its column) and that aggregate's name.
    QList<std::optional<double>> reference;
    QString referenceName;
    QLocale locale = QLocale::c();

    bool isEmpty() const { return series.isEmpty() || categories.isEmpty(); }
    std::optional<double> value(int s, int c) const { return values.at(s).at(c); }
    int rowCount() const { return int(rowNames.size()); }
    int indicatorCount() const { return int(rowsAreSeries ? categories.size() : series.size()); }
    // The value of a charted table row in its indicator-th charted column, however rotated.
    std::optional<double> rowValue(int row, int indicator) const
    {
        return rowsAreSeries ? value(row, indicator) : value(indicator, row);
    }
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

// Labels short enough for an axis or a legend: at most about maxChars characters, unique,
// and what every full label shares (said once, in the chart's title, not in each label).
struct ShortLabels {
    QStringList labels;
    QString shared;
};

// Names shortened where they are too long: the leading words they share with another name
// become initials ("Rentabilita vlastního kapitálu" beside "Rentabilita celkového kapitálu"
// gives "R. vlastního kapitálu"), a company's legal form goes, and what is still too long is
// cut at its end.
ShortLabels shortNames(const QStringList &names, int maxChars);
// Labels of table rows: one entity gives its periods (the entity is shared), one period
// gives the entities' short names (the period is shared), else short name and period.
ShortLabels shortRowLabels(const QStringList &names, const QStringList &periods, int maxChars);
ShortLabels shortSeriesLabels(const ChartData &data, int maxChars);
ShortLabels shortCategoryLabels(const ChartData &data, int maxChars);

// Which series belong on a second value axis because their values are of a much larger
// order than the others' (EBITDA in millions beside a ratio near 1). Empty when one axis
// serves them all, and when the series are table rows: each of them mixes the indicators.
QList<bool> secondAxisSeries(const ChartData &data);
// The same split of any values by their largest magnitudes: true for those of the larger
// order, empty when one scale serves them all.
QList<bool> largerOrder(const QList<double> &largest);

// The heading of a printed or saved chart: the analysis caption, the companies charted and
// the date.
QString chartTitle(const QString &caption, const ChartData &data, const QDate &date);

// The score of a value against the aggregate's value in per cent, limited to 0…200 and
// rounded to a whole number.
int profileScore(double value, double reference);

// The profile chart of whole rows: the report's score of each value against the reference,
// scores[row][indicator], nullopt where the row or the reference has no number.
QList<QList<std::optional<int>>> profileScores(const ChartData &data);

} // namespace verna::analysis

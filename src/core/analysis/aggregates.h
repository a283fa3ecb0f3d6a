#pragma once

#include "analysis/twodecimals.h"

#include <QStringList>
#include <vector>

namespace verna::analysis {

class AnalysisModel;

// The aggregate functions in the order the analysis window lists them; the index is the
// aggregate's code in drag payloads.
enum class Aggregate { Mean = 0, Sum = 1, Median = 2 };

QStringList aggregateNames(); // "Průměr aritmetický", "Suma", "Medián"
std::optional<Aggregate> aggregateFromIndex(int index);

// The aggregate of the numeric values only: an empty or non-numeric cell is neither 0 nor
// counted. nullopt when there is no number at all.
std::optional<Cents> aggregate(Aggregate kind, std::vector<Cents> values);

// The same over cell texts written in a locale.
std::optional<Cents> aggregateCells(Aggregate kind, const QStringList &cells, const QLocale &locale);

// The aggregate row the report and the profile compare with: the model's current aggregate,
// else the arithmetic mean; the name and one text per indicator column.
struct AggregateRow {
    QString name;
    QStringList cells;
};
AggregateRow reportAggregate(const AnalysisModel &model);

} // namespace verna::analysis

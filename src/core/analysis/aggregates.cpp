#include "analysis/aggregates.h"

#include "analysis/analysismodel.h"

#include <algorithm>
#include <numeric>

namespace verna::analysis {

QStringList aggregateNames()
{
    return {QStringLiteral("Průměr aritmetický"), QStringLiteral("Suma"), QStringLiteral("Medián")};
}

std::optional<Aggregate> aggregateFromIndex(int index)
{
    if (index < 0 || index > 2)
        return std::nullopt;
    return static_cast<Aggregate>(index);
}

std::optional<Cents> aggregate(Aggregate kind, std::vector<Cents> values)
{
    if (values.empty())
        return std::nullopt;
    const Cents total = std::accumulate(values.begin(), values.end(), Cents{0});
    switch (kind) {
    case Aggregate::Sum:
        return total;
    case Aggregate::Mean:
        return divideRounded(total, static_cast<qint64>(values.size()));
    case Aggregate::Median: {
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        if (n % 2 == 1)
            return values[n / 2];
        return divideRounded(values[n / 2 - 1] + values[n / 2], 2);
    }
    }
    return std::nullopt;
}

std::optional<Cents> aggregateCells(Aggregate kind, const QStringList &cells, const QLocale &locale)
{
    std::vector<Cents> values;
    values.reserve(cells.size());
    for (const QString &cell : cells) {
        if (const auto v = parseCell(cell, locale))
            values.push_back(*v);
    }
    return aggregate(kind, std::move(values));
}

AggregateRow reportAggregate(const AnalysisModel &model)
{
    const Aggregate kind = model.currentAggregate().value_or(Aggregate::Mean);
    AggregateRow row{aggregateNames().at(int(kind)), {}};
    for (int c = 0; c < model.indicatorCount(); ++c) {
        const auto value = aggregateCells(kind, model.columnCells(c), model.locale());
        row.cells << (value ? formatCents(*value, model.locale()) : QString());
    }
    return row;
}

} // namespace verna::analysis

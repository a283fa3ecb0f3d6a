#pragma once

#include "analysis/rowkey.h"
#include "db/outcome.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace verna::analysis {

// Where indicator values come from: the formula evaluator, cell by cell or a column at once.
class IndicatorSource
{
public:
    virtual ~IndicatorSource() = default;

    // The evaluator's value texts ("" when there is none) of one indicator for the rows, in
    // order. When shouldStop says so it returns early with the values computed so far. A
    // failed read is an error, never a column of empty values.
    virtual Result<QStringList> values(int indicatorId, const QList<RowKey> &rows, const std::function<bool()> &shouldStop) = 0;

    // Several indicators for the same rows, one list of texts per indicator; a source that can
    // share its reads between them does so.
    virtual Result<QList<QStringList>> columns(const QList<int> &indicatorIds, const QList<RowKey> &rows, const std::function<bool()> &shouldStop)
    {
        Result<QList<QStringList>> out;
        for (int id : indicatorIds) {
            const Result<QStringList> column = values(id, rows, shouldStop);
            if (!column.ok())
                return Result<QList<QStringList>>::failure(column.error);
            out.value << column.value;
        }
        return out;
    }
};

} // namespace verna::analysis

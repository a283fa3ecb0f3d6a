#pragma once

#include "analysis/analysisdata.h"
#include "analysis/analysismodel.h"
#include "analysis/indicatorsource.h"

#include <functional>

namespace verna::analysis {

// What the analysis window does to its table, without the window: adding periods of
// entities as rows, indicators as columns (computing their cells), aggregates. The
// window, the command line and the tests drive the same code.
class AnalysisEngine
{
public:
    AnalysisEngine(AnalysisModel &model, AnalysisData &data, IndicatorSource &source);

    // Asked between database calls; true ends the current operation early.
    void setStopCheck(std::function<bool()> shouldStop) { m_shouldStop = std::move(shouldStop); }

    // Rows: every period of an entity, the quarters of one year, one period, or one period
    // for each of several entities that has both statements for it. Duplicates are refused.
    // The value is the number of rows added. When a read fails the operation adds nothing:
    // the table keeps the rows and cells it had and the error says why.
    Result<int> addEntityRows(qint32 entity);
    Result<int> addYearRows(qint32 entity, int year);
    Result<int> addRow(const RowKey &key);
    // Every period of the years for each of many entities, read in a few queries.
    Result<int> addYearsRows(const QList<qint32> &entities, int firstYear, int lastYear);
    Result<int> addPeriodForEntities(int year, int quarter, const QList<qint32> &entities);

    // Appends an indicator column and computes its cells for every row; on a failed read the
    // column goes again.
    Outcome addIndicator(int indicatorId, const QString &name);
    // Several columns (id, name) at once: their cells computed together, all or none kept.
    Outcome addIndicators(const QList<QPair<int, QString>> &indicators);

    // Shows the year-on-year change of an indicator column (given by it or by its change
    // column) right after it, switches it between absolute and per cent, or hides it (None).
    // Year-before values come from the column fill, read together with the same blocks, also
    // for periods that are no rows of the table; on a failed read no change column is added.
    Outcome setYearChange(int column, YearChange kind);
    // The same for every indicator column at once, their year-before values read together.
    Outcome addYearChanges(YearChange kind);

    // Purges incomplete rows (unless busy elsewhere) and shows the aggregate.
    void applyAggregate(Aggregate aggregate, bool purge = true);
    // After rows or columns changed: the current aggregate, if any, is computed again. While
    // an operation is still filling the table no row is purged.
    void reapplyAggregate(bool purge = false);

private:
    bool stopped() const { return m_shouldStop && m_shouldStop(); }
    Result<int> addRows(const QList<RowKey> &keys, const QHash<qint32, QString> *names = nullptr);
    // The cells of consecutive value columns (of the ids) from firstColumn on for the rows from
    // firstRow on, computed a slice of rows at a time.
    Outcome fillValues(int firstColumn, const QList<int> &ids, int firstRow, const QList<RowKey> &rows);
    // Change columns after the value columns (in ascending order), all kept or none.
    Outcome insertYearChanges(const QList<int> &valueColumns, YearChange kind);
    // Computes, for the rows from firstRow on, the cells of the value columns and the
    // year-before values of the change columns in one column fill.
    Outcome fillColumns(int firstRow, const QList<RowKey> &rows, const QList<int> &valueColumns, const QList<int> &changeColumns);

    AnalysisModel &m_model;
    AnalysisData &m_data;
    IndicatorSource &m_source;
    std::function<bool()> m_shouldStop;
};

} // namespace verna::analysis

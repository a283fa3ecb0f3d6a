#pragma once

#include "db/outcome.h"
#include "indicators/period.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::indicators {

using verna::Result;
using verna::Outcome;

class EvaluationCache;
class Formula;

// Computes indicator values: the database evaluates each formula as one statement with a
// subquery per item reference. For one cell it reads the form of the period's income
// statement and, for an indicator, its formula; when the income statement is full, computed
// items 202..213 are expanded by the formulas of indicators 17..28. The derived lines
// 220..225 (EBIT, sales, ...; see DerivedLines) are written out by the form first.
//
// A value is text, "" when there is none: a missing item, no statement, a division by zero,
// an overflow, an invalid or unknown formula, an invalid entity, year or quarter. That is not
// an error: only a failed read (a lost connection, a missing table) is, and the typed calls
// return it as such. Input is checked before any SQL is built; no invalid text reaches the
// database. On SQLite and PostgreSQL numbers come back in the same plain form (12
// significant digits for non-integral values), so both backends give the same texts.
//
// Each SQL text built is left in the database's shared SQL text (the T-SQL text for the
// evaluation statement), as the windows expect.
class Evaluator
{
public:
    // With a cache, formulas, expansions and statement forms are read once for its lifetime.
    explicit Evaluator(db::Database &database, EvaluationCache *cache = nullptr);
    ~Evaluator();

    // The variant call: a subject that is numeric as a whole (an integer, or a text such as
    // "100" or "-5") is an indicator id, anything else a formula text. "" also on a failed read.
    QString getHodnotaFunkce(const QVariant &subject, const QString &entityId, const QString &year, const QString &quarter);

    // The value of a stored indicator, and of a formula as typed ("100" is the constant 100),
    // or the database's error.
    Result<QString> indicatorValue(int indicatorId, const Period &period);
    Result<QString> formulaValue(const QString &formula, const Period &period);

    // Replaces every computed-item reference "[202]".."[213]" by " (" + its indicator's formula
    // + ") ", in one pass in table order; the argument receives the result too. A stored
    // formula that is not a valid formula text is spliced as empty, which leaves no value.
    QString rozvinVypocitanePolozky(QString &formula);
    // The same expansion, or the database's reason when reading a computed item's formula fails.
    Result<QString> expandComputedItems(const QString &formula);

    // A whole column at once: the values for many periods, the same texts as cell by cell. Per
    // block of a few hundred periods one statement reads the referenced amounts and the
    // formulas are computed here with the backends' arithmetic (SQL Server still runs the
    // T-SQL text per cell). When shouldStop answers true between blocks it returns the values
    // computed so far (a prefix of the column).
    Result<QStringList> indicatorColumn(int indicatorId, const QList<Period> &periods, const std::function<bool()> &shouldStop = {});
    // Several indicators' columns over the same periods, their amounts read once per block.
    Result<QList<QStringList>> indicatorColumns(const QList<int> &indicatorIds, const QList<Period> &periods,
                                                const std::function<bool()> &shouldStop = {});
    Result<QStringList> formulaColumn(const QString &formula, const QList<Period> &periods, const std::function<bool()> &shouldStop = {});

    // The statement the backend ran for the last evaluation: the emitted SQL on SQLite and
    // PostgreSQL, the T-SQL text on SQL Server; "" when none was run.
    QString lastBackendSql() const { return m_lastBackendSql; }

    // The T-SQL evaluation statement of a formula for a period, exactly as SQL Server runs it.
    static QString translate(const QString &formula, const Period &period);

    // A line no statement stores: the days of the year up to the end of the period's quarter
    // (90 a quarter, the 360-day year of turnover ratios). Income statements are cumulative
    // within the year, so a flow times 360 / [219] is a yearly flow in every quarter.
    static constexpr int kDaysElapsedItem = 219;
    // The formula with "[219]" replaced by the period's days, on every form of statement.
    static QString withPeriodItems(const QString &formula, const Period &period);

private:
    using FormulaSource = std::function<Result<QString>()>;
    class ColumnRun;

    Result<QString> statementForm(const Period &period);
    Result<QString> indicatorFormula(int indicatorId);
    Result<QString> expanded(const QString &formula);
    std::shared_ptr<const Formula> parsed(const QString &text);
    Result<QString> evaluate(const QString &formula, const QString &form, const Period &period);
    Result<QString> evaluateText(const QString &text, const Period &period);
    Outcome failedStatement(const QString &error);
    Result<QList<QStringList>> columns(const QList<FormulaSource> &sources, const QList<Period> &periods, const std::function<bool()> &shouldStop,
                                       const QList<int> &indicatorIds = {});
    Outcome prefetchFormulas(const QList<int> &indicatorIds);
    Outcome prefetchForms(const QList<Period> &periods);

    db::Database &m_db;
    EvaluationCache *m_cache;
    QString m_lastBackendSql;
};

} // namespace verna::indicators

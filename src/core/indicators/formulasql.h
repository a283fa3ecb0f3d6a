#pragma once

#include "db/backend.h"
#include "indicators/formula.h"
#include "indicators/period.h"

#include <QList>
#include <QString>
#include <functional>

namespace verna::indicators {

// The SQL texts of formula evaluation. The T-SQL texts are the application's own (SQL Server
// runs them unchanged); SQLite and PostgreSQL get statements emitted from the parsed formula,
// so that both compute the same value (see Formula for the arithmetic).
class FormulaSql
{
public:
    // Form of the period's income statement (fill_lvl_ind of statement type 28).
    static QString formQuery(const Period &period);
    // The stored formula of an indicator, also of the hidden ones (inac_ind 1).
    static QString formulaQuery(const QString &indicatorId);
    // The same for several indicators at once: id and formula per row.
    static QString formulasQuery(const QList<int> &indicatorIds);

    // The evaluation statement in T-SQL: "SELECT (" + the formula with every "[code]" replaced
    // by a scalar subquery + " )", character by character, nothing checked.
    static QString translate(const QString &formula, const Period &period);

    // The statement that evaluates a valid formula for one period on SQLite or PostgreSQL.
    static QString cellStatement(const Formula &formula, db::Backend backend, const Period &period);

    // A valid formula as a PostgreSQL expression with the arithmetic of the statements above,
    // each item reference written by item(code) (a double precision value or NULL).
    static QString postgresExpression(const Formula &formula, const std::function<QString(const QString &code)> &item);
};

} // namespace verna::indicators

#pragma once

#include "analysis/rowkey.h"
#include "db/outcome.h"

#include <QString>

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::report {

using verna::Result;

// The statements of one entity and period as report sections (HTML, CR LF lines): a heading,
// one table row per statement line ("short text full text" and the amount as stored, an
// empty cell for a NULL) between ROZVAHA or VYSLEDOVKA markers. Texts are escaped. A failed
// read is an error, never a shorter table.
class StatementSections
{
public:
    StatementSections(db::Database &db, indicators::Evaluator &evaluator);

    // Full statements in code-list order; the abbreviated balance sheet is the stored lines
    // of its fixed list.
    Result<QString> fullBalanceSheet(const analysis::RowKey &key);
    Result<QString> abbreviatedBalanceSheet(const analysis::RowKey &key);
    Result<QString> fullIncomeStatement(const analysis::RowKey &key);
    // The stored abbreviated income statement, its lines in the order of the abbreviated list.
    Result<QString> abbreviatedIncomeStored(const analysis::RowKey &key);
    // Derived from a full statement: always the 23 lines of the abbreviated list, the lines
    // only the abbreviated form has computed by indicators 17–28.
    Result<QString> abbreviatedIncomeDerived(const analysis::RowKey &key);

    // The form indicator of the period's income statement ("2" abbreviated, "4" full, "" none).
    Result<QString> incomeStatementForm(const analysis::RowKey &key);

private:
    enum class Kind { FullBalance, AbbreviatedBalance, FullIncome, AbbreviatedIncome };
    Result<QString> stored(const analysis::RowKey &key, Kind kind);

    db::Database &m_db;
    indicators::Evaluator &m_evaluator;
};

} // namespace verna::report

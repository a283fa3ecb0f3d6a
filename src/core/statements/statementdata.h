#pragma once

#include "db/outcome.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::statements {

using verna::Result;
using verna::Outcome;

inline constexpr int kBalanceSheet = 27;
inline constexpr int kIncomeStatement = 28;

// How a statement is laid out as a column: the items it holds, or one of the fixed
// abbreviated lists (an income statement's computed rows read as stored or evaluated).
enum class Layout { Items, AbbreviatedBalance, AbbreviatedIncomeStored, AbbreviatedIncomeComputed };

// The layout a year drop gives a statement: abbreviated statements as stored, full ones
// in the abbreviated layout computed from them.
Layout yearLayout(int type, bool abbreviated);

// One statement as a column: its header, its rows in display order with their titles
// ("short_txt value_txt") and values. A value is plain decimal text, "" for none.
struct StatementColumn {
    qint32 statementId = 0;
    qint32 entity = 0;
    QString entityName;
    int year = 0;
    int quarter = 0;
    int type = 0;
    QList<int> codes;
    QHash<int, QString> titles;
    QHash<int, QString> values;
    QSet<int> computed; // rows whose value an indicator computed
    QString revenues;   // an income statement's total revenues, the base of its structure

    QString periodText() const { return QString::number(year) + QLatin1Char('/') + QString::number(quarter); }
};

struct StoredStatement {
    qint32 id = 0;
    bool abbreviated = false;
};

// The read queries behind the statement table and verna-db statement. Every id is a checked
// integer before it is spliced; a failed read is an error, a missing row no value.
class StatementData
{
public:
    StatementData(db::Database &db, indicators::Evaluator &evaluator);

    // Years with active statements of the type, ascending.
    Result<QList<int>> years(qint32 entity, int type);
    // Active statements of the type in a year, by quarter.
    Result<QList<StoredStatement>> statementsOfYear(qint32 entity, int year, int type);
    // The active statements of one period (balance sheets first).
    Result<QList<std::pair<int, StoredStatement>>> statementsOfPeriod(qint32 entity, int year, int quarter);
    // nullopt when no active statement has the id.
    Result<std::optional<StatementColumn>> column(qint32 statementId, Layout layout);

    // The columns a data-selection tree node dropped on the table gives (a statement view, the
    // statements of a year, of every year of an entity), each handed to add as soon as it is
    // read; kind, id and year are those of the node's checked key. Other kinds give none. When
    // shouldStop answers true the columns read so far stay added.
    Outcome dropColumns(const QString &kind, qint32 id, int year, const std::function<void(const StatementColumn &)> &add,
                        const std::function<bool()> &shouldStop = {});

private:
    Result<QHash<int, QString>> titles(const QList<int> &codes);
    Outcome yearColumns(qint32 entity, int year, int type, const std::function<void(const StatementColumn &)> &add,
                        const std::function<bool()> &shouldStop);

    db::Database &m_db;
    indicators::Evaluator &m_evaluator;
};

} // namespace verna::statements

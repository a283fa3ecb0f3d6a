#pragma once

#include "db/backend.h"
#include "db/outcome.h"

#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>

namespace verna::db {

class Database;

// One row of a prepared query, read in place while the query is on it.
class PreparedRow
{
public:
    virtual ~PreparedRow() = default;
    virtual qint64 integer(int column) const = 0;
    // A number, nullopt for NULL or a text that is no number. Exact decimals from a server come
    // as text and are read by strtod, which rounds them as the server's cast to double does.
    virtual std::optional<double> number(int column) const = 0;
    virtual QString text(int column) const = 0;
    // The bytes of a text that holds ASCII only (numbers, codes), without a QString.
    virtual QByteArray ascii(int column) const = 0;
    // A blob's bytes (empty for NULL), valid while the query stays on the row.
    virtual QByteArray blob(int column) const { return ascii(column); }
};

// How many ids one statement takes: SQLite and SQL Server bind each (a few hundred keep
// within their limits), PostgreSQL takes them as one array, so fewer round trips.
int idsPerStatement(Backend backend);

// "column IN (?, ?, ...)" for an INTEGER column, with the integers appended to binds; on
// PostgreSQL one array literal ("column = ANY ('{...}')"), as a statement with hundreds of parameters costs the ODBC driver
// more than the query costs the server.
QString inList(Backend backend, const QString &column, const QList<qint64> &values, QVariantList &binds);

// The same for a list whose rows are each looked up in an index and are wide (a statement's
// pack): PostgreSQL, seeing thousands of values, would scan the table in parallel workers and
// pass every wide row through them, at three times the cost of the lookups. Behind a subquery
// the array's size is not seen, and the lookups are planned.
QString inListLookedUp(Backend backend, const QString &column, const QList<qint64> &values, QVariantList &binds);

// One statement of the backend's own SQL with bound integers or texts (on PostgreSQL integers
// are written into the text, so it is one round trip), and on SQLite the rows straight from the connection's handle without a value per
// field (the analysis fill reads tens of thousands of amounts). A failed read is an error.
Outcome queryPrepared(Database &database, const QString &sql, const QVariantList &values, const std::function<void(const PreparedRow &row)> &rowSink);

} // namespace verna::db

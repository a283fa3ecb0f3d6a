#pragma once

#include "db/backend.h"
#include "db/outcome.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace verna::db {

class Database;

// The audit trail: who changed what and when, one row per change, written in the same
// transaction as the change itself. VERNA records its own writes; on PostgreSQL row triggers
// record writes made beside it with plain SQL (VERNA's write transactions mark themselves, so
// nothing is recorded twice).
namespace audit {

// The actions and kinds of objects, as the history shows them.
inline const QString kInsert = QStringLiteral("vložení");
inline const QString kChange = QStringLiteral("změna");
inline const QString kDelete = QStringLiteral("smazání");
inline const QString kImport = QStringLiteral("import");

inline const QString kEntity = QStringLiteral("subjekt");
inline const QString kEntityGroup = QStringLiteral("skupina subjektů");
inline const QString kNote = QStringLiteral("poznámka");
inline const QString kStatement = QStringLiteral("výkaz");
inline const QString kIndicator = QStringLiteral("ukazatel");
inline const QString kIndicatorGroup = QStringLiteral("skupina ukazatelů");
inline const QString kDemoData = QStringLiteral("ukázková data");

// The name of the table (kept apart from the tables other programs know).
inline const QString kTable = QStringLiteral("audit_log");

// One change as a writer describes it.
struct Change {
    Change(const QString &action, const QString &kind, qint32 id, std::optional<qint32> entity, const QString &label,
           std::optional<qint32> replaced = std::nullopt)
        : action(action), kind(kind), id(id), entity(entity), label(label), replaced(replaced)
    {
    }

    QString action;
    QString kind;
    qint32 id;                       // the object's id
    std::optional<qint32> entity;    // the entity (or group of entities) it concerns
    QString label;                   // a short readable name of the object
    std::optional<qint32> replaced;  // the earlier statement a statement replaced (kept inactive)
};

// One row of the history.
struct Entry {
    QString when;
    QString user;
    QString action;
    QString kind;
    qint32 id = 0;
    std::optional<qint32> entity;
    QString label;
    std::optional<qint32> replaced;
};

// Writes the changes inside the caller's transaction (one statement). While a Batch is open
// on the database they are collected instead and written by the batch, under its action.
Outcome record(Database &db, const QList<Change> &changes);

// Collects the changes of a long write (an import) and writes them at once before its commit,
// each under the batch's action.
class Batch
{
public:
    Batch(Database &db, const QString &action);
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    void add(const QList<Change> &changes);
    // Writes what was collected (in chunks); call inside the transaction, before its commit.
    Outcome flush();

private:
    Database &m_db;
    QString m_action;
    QList<Change> m_changes;
};

// The rows of one entity, or of everything since a day, newest first.
struct Filter {
    std::optional<qint32> entity;
    std::optional<QDate> since;
};
Result<QList<Entry>> history(Database &db, const Filter &filter);

// The table, its indexes and, on PostgreSQL, the triggers that record plain SQL writes and
// guard the rows.
QStringList schemaStatements(Backend backend);

// The grants on the audit table for VERNA's PostgreSQL roles (readers read, writers add
// rows, only the administrators may change or delete them).
QStringList grantStatements();

// The expression a PostgreSQL write transaction evaluates at its start to mark itself as
// VERNA's (a transaction-local setting): the triggers then leave the recording to the core.
QString writerMarkExpression();

// Inside a transaction: takes the mark away again, for SQL a user typed (verna-db sql), whose
// rows the PostgreSQL triggers then record as any other plain SQL. Elsewhere it does nothing.
Outcome leaveToTriggers(Database &db);

} // namespace audit

} // namespace verna::db

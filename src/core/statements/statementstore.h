#pragma once

#include "db/outcome.h"
#include "statements/amount.h"

#include <memory>

#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace verna::db {
class Database;
class RowWriter;
}

namespace verna::statements {

using verna::Outcome;
using verna::Result;

// A line of a statement form: its code and the texts of its code-list entry.
struct StatementLine {
    int code = 0;
    QString shortText;
    QString text;

    // " " + short text + " " + full text, as the entry lists show a line.
    QString title() const { return QLatin1Char(' ') + shortText + QLatin1Char(' ') + text; }
};

// The ids of a balance sheet and the income statement of the same period; 0 = none.
struct PairIds {
    qint32 balance = 0;
    qint32 income = 0;
    bool isEmpty() const { return balance == 0 && income == 0; }
};

// The active statements of one period of an entity.
struct PeriodPair {
    PairIds ids;
    int form = 0; // fill level of the balance sheet (of the income statement without one)
};

// One line of the entity's statement list: a balance sheet and its period.
struct ListedStatement {
    qint32 id = 0;
    int year = 0;
    int quarter = 0;
    bool full = false;

    // "1999/1 plný", "2024/3 * zkrácený" (the star marks statements entered here: negative ids)
    QString text() const;
};

// The entity a statement is entered for, as its label shows it.
struct StatementEntity {
    bool exists = false;
    bool group = false;
    QString ico;
    QString name;
    QString label() const { return ico + QLatin1Char(' ') + name; }
};

// A balance sheet and an income statement to be written together, lines in order.
struct StatementPair {
    qint32 entity = 0;
    int year = 0;
    int quarter = 0;
    bool full = false;
    QList<std::pair<int, Amount>> balance;
    QList<std::pair<int, Amount>> income;
};

// What a save may replace. By default an occupied period is refused.
struct SaveOptions {
    // The loaded pair being changed: deleted in the same transaction.
    std::optional<PairIds> replacing;
    // Any active statement of the period is deleted first.
    bool replacePeriod = false;
};

// The end of a save: the new ids, or a refusal (the input or the period, nothing written),
// or the database's reason for a failure (nothing written either).
struct SavedPair {
    PairIds ids;
    QString refusal;
    QString error;
    bool ok() const { return refusal.isEmpty() && error.isEmpty(); }
    QString reason() const { return refusal.isEmpty() ? error : refusal; }
};

// A year a statement may have: four digits, 1993 or later.
bool isStatementYear(const QString &text);

// Reads and writes the statements of the entry window and the import. Every write is one
// transaction: all of it is there after the commit, or none of it.
class StatementStore
{
public:
    explicit StatementStore(db::Database &db);

    // The lines of a form of a statement type (27/28): abbreviated in the fixed order of the
    // abbreviated lists, full in the code list's order.
    Result<QList<StatementLine>> lines(int type, bool full);

    Result<StatementEntity> entity(qint32 id);
    // The entity's active balance sheets by period.
    Result<QList<ListedStatement>> list(qint32 entity);
    Result<PeriodPair> findPair(qint32 entity, int year, int quarter);
    // Fill level of an active statement; 0 when there is none.
    Result<int> form(qint32 statementId);
    // Amounts of an active statement by line code, as plain decimal text.
    Result<QHash<int, QString>> amounts(qint32 statementId);

    // Writes both statements with all their lines (refusing unknown lines, a group, a bad
    // period, an occupied period) and, as asked, deletes what they replace, in one transaction.
    SavedPair save(const StatementPair &pair, const SaveOptions &options = {});

    // Marks both statements and their lines deleted, in one transaction.
    Outcome remove(const PairIds &ids);

private:
    QString inputRefusal(const StatementPair &pair);
    Outcome markDeleted(const QString &idList);

    db::Database &m_db;
    QHash<int, QList<StatementLine>> m_lines; // by type * 10 + fill level
};

// A stored statement of a period, as many pairs' periods are read at once.
struct PeriodStatement {
    qint32 id = 0;
    int type = 0; // 27 balance sheet, 28 income statement
    int inactive = 0; // 0 active, 1 kept inactive
};

// Key of an entity's period in the map below.
inline quint64 periodKey(qint32 entity, int year, int quarter)
{
    return (quint64(quint32(entity)) << 20) | (quint64(year) << 3) | quint64(quarter);
}

// The active and kept-inactive statements of the entities' periods, by periodKey: one query
// per few hundred entities instead of a few per pair.
Result<QHash<quint64, QList<PeriodStatement>>> periodStatements(db::Database &db, const QList<qint32> &entities);

// Writes many pairs inside the caller's transaction, as StatementStore::save writes each one:
// the same rows, keys, deletions and audit changes, and the same refusals (entity, occupied
// period). The keys and the periods are read once under the writers' lock, and the rows go
// through one prepared insert per table.
class PairWriter
{
public:
    explicit PairWriter(db::Database &db);
    ~PairWriter();

    // Locks the statement tables and reads the entities (existing ones), their periods and the
    // next keys. Call inside the transaction, before the first write.
    Outcome begin(const QList<qint32> &entities);
    // An entity created in this transaction after begin().
    void entityCreated(qint32 entity);
    // Writes the pair (the lines are those of its form, checked by the caller), after marking
    // deleted what it replaces when replacePeriod is set.
    SavedPair write(const StatementPair &pair, bool replacePeriod);
    // Writes what is held back (rows on a server, the deletions); call before the commit.
    Outcome finish();

private:
    db::Database &m_db;
    QHash<qint32, bool> m_entities; // id → may take statements (has a name, is no group)
    QHash<quint64, QList<PeriodStatement>> m_periods;
    qint32 m_nextStatementRow = 0;
    qint32 m_nextStatementId = 0;
    qint32 m_unpackedStatementId = 0; // the first written statement not packed yet
    qint32 m_nextItemRow = 0;
    QList<qint64> m_deleted;
    std::unique_ptr<db::RowWriter> m_statements;
    std::unique_ptr<db::RowWriter> m_items;
};

} // namespace verna::statements

#pragma once

#include "db/outcome.h"
#include "entities/searchsql.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::entities {

// One line of a list: the text it shows and the id or code it carries.
struct ListItem {
    QString text;
    qint32 id = 0;
};

// An entity found by verna-db find.
struct FoundEntity {
    qint32 id = 0;
    QString ico;
    QString name;
};

// How a listing ended: rows listed, whether Stop cut it short, and the database's
// reason when the query failed ("" otherwise).
struct Listing {
    int count = 0;
    bool stopped = false;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The searches of the entity search window, without the window: each runs its query, reads
// the rows one by one, hands every accepted row to the sink as a list line and asks the stop
// check after each row (the database lets the windows process events between rows).
class EntitySearch
{
public:
    using ItemSink = std::function<void(const ListItem &item, int count)>;
    using StopCheck = std::function<bool()>;

    explicit EntitySearch(db::Database &db);

    void setStopCheck(StopCheck check) { m_stop = std::move(check); }

    // The mode lists: legal forms, and the branch classification lists.
    Result<QList<ListItem>> legalForms();
    Result<QList<ListItem>> classificationLists();

    // "IČO name", marked "* " for an entity made in this application. SQL Server gets the
    // search window's own text; SQLite and PostgreSQL compare names without diacritics.
    Listing byName(const NameQuery &query, const ItemSink &sink);
    // "code name" of each branch; the line carries the branch code.
    Listing branches(const BranchQuery &query, const ItemSink &sink);
    // "name IČO" of each entity of the branch.
    Listing branchEntities(qint32 branch, bool mainOnly, const ItemSink &sink);
    // "name IČO" of each entity sharing a branch with the entity.
    Listing sameBranchEntities(qint32 entity, const ItemSink &sink);
    // Live entities whose IČO contains the text (digits only) or whose name contains it
    // anywhere, ordered by name; the ids that scripts hand on.
    Result<QList<FoundEntity>> find(const QString &text);
    // The live entity with the IČO (padded to eight digits), or nothing.
    Result<std::optional<qint32>> byIco(const QString &ico);

    // The entity's main branch, or nothing when it has none.
    Result<std::optional<qint32>> mainBranch(qint32 entity);

    // The query the last listing ran, as the database took it (for plans and benchmarks).
    const QString &lastSql() const { return m_lastSql; }
    // Whether it was read through a listing's cursor on a server, planned for its first rows.
    bool lastSqlThroughCursor() const { return m_lastCursor; }

    // A name-search line: the identifier and the name, with "* " in front for an entity this
    // application created (negative id) unless it is a group.
    static QString nameLine(const QString &ident, const QString &name, qint32 id);
    // Lines of groups begin with the identifier every group has.
    static bool isGroupLine(const QString &text);
    static inline const QString kGroupIdent = QStringLiteral("skupina_");
    static inline const QString kOwnMark = QStringLiteral("* ");

    // Whether a listed name starts with the letter the user typed (both trimmed, compared in
    // upper case, Czech letters included). Always true when nothing is typed.
    static bool sameFirstLetter(const QString &typed, const QString &listed);

    // The typed name the first-letter rule of a name search compares with, or "" when the
    // rule is off: an IČO is typed, no name is typed, or the name starts with "%".
    static QString firstLetterName(const NameQuery &query);

private:
    // A row of a name search as read: identifier, name and id.
    struct FoundRow {
        QString ident;
        QString name;
        qint32 id = 0;
        bool operator==(const FoundRow &) const = default;
    };
    using RowSink = std::function<void(const FoundRow &row, int count)>;

    Listing byNameFolded(const NameQuery &query, const ItemSink &sink);
    // The rows of a name search on SQLite or PostgreSQL in name order, each handed on as soon
    // as its place is sure.
    Listing foldedRows(const NameQuery &query, const RowSink &sink);
    // Reads a search's rows (identifier, name, id and, in key order, the order key), keeps those
    // whose name starts with the typed letter, and hands them on in name order.
    // cursor: on a server, through a listing's cursor (the first rows at once).
    Listing streamed(const QString &sql, const QString &typed, bool keyOrder, bool distinct, const RowSink &sink, bool cursor = true);
    // "name IČO" of the entities with a live branch row matching the condition on actv a, in
    // name order through the stored order keys.
    Listing entitiesInKeyOrder(const QString &branchRows, const ItemSink &sink);
    // Whether the SQLite file stores the folded names, their order keys and their trigrams (a file
    // of an older schema, read as it is, has not).
    bool hasSearchKeys();
    Result<QList<ListItem>> codeList(const QString &sql);
    // native: the text is PostgreSQL's own, not T-SQL.
    Listing list(const QString &sql, const std::function<std::optional<ListItem>(const QStringList &row)> &line,
                 const ItemSink &sink, bool native = false);

    db::Database &m_db;
    StopCheck m_stop;
    std::optional<bool> m_searchKeys; // asked once
    QString m_lastSql;
    bool m_lastCursor = false;
};

} // namespace verna::entities

#include "entities/entitysearch.h"

#include "base/textforms.h"
#include "db/database.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"
#include "db/tsqltranslator.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <map>
#include <vector>

namespace verna::entities {

namespace {

// A code-list line: its text and its code, or nothing when the code is not a whole number.
std::optional<ListItem> codeLine(const QStringList &row)
{
    const auto code = db::parseId(row.value(1));
    if (!code)
        return std::nullopt;
    return ListItem{row.value(0), *code};
}

// Name, identifier and id of an entity of a branch listing.
std::optional<ListItem> entityLine(const QStringList &row)
{
    const auto id = db::parseId(row.value(2));
    if (!id)
        return std::nullopt;
    return ListItem{row.value(0) + QLatin1Char(' ') + row.value(1), *id};
}

// Puts rows read in order-key order into name order as they come. Rows of one key differ only
// in accents and case: each run of equal keys is put in collation order and handed on when the
// next key comes. Names of other characters (keys starting "\x01") come first and are few; they
// are held and handed on among the others where the collation puts them. With distinct, a row
// repeating one of its run (same name, identifier and id) is left out.
template <typename Row>
class NameOrder
{
public:
    // hand: false when the listing is to end there.
    explicit NameOrder(std::function<bool(const Row &row)> hand, bool distinct = false)
        : m_hand(std::move(hand))
        , m_distinct(distinct)
    {
    }

    bool add(Row row, const QString &key)
    {
        if (key.startsWith(QLatin1Char('\x01'))) {
            if (m_distinct && std::any_of(m_odd.begin(), m_odd.end(), [&row](const auto &odd) { return odd.second == row; }))
                return true;
            m_odd.emplace_back(db::textSortKey(row.name), std::move(row));
            return true;
        }
        if (key != m_key) {
            if (!flush())
                return false;
            m_key = key;
        }
        if (m_distinct && std::any_of(m_run.begin(), m_run.end(), [&row](const Row &r) { return r == row; }))
            return true;
        m_run.push_back(std::move(row));
        return true;
    }

    void finish()
    {
        if (!flush())
            return;
        while (m_next < m_odd.size() && m_hand(m_odd.at(m_next++).second)) {
        }
    }

private:
    bool flush()
    {
        if (!m_oddSorted)
            std::stable_sort(m_odd.begin(), m_odd.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        m_oddSorted = true;
        if (m_run.size() > 1 || (m_next < m_odd.size() && !m_run.empty())) {
            std::vector<std::pair<QCollatorSortKey, Row>> keyed;
            keyed.reserve(m_run.size());
            for (Row &row : m_run)
                keyed.emplace_back(db::textSortKey(row.name), std::move(row));
            std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
            for (auto &[key, row] : keyed) {
                while (m_next < m_odd.size() && !(key < m_odd.at(m_next).first)) {
                    if (!m_hand(m_odd.at(m_next++).second))
                        return false;
                }
                if (!m_hand(row))
                    return false;
            }
        } else if (!m_run.empty() && !m_hand(m_run.front())) {
            return false;
        }
        m_run.clear();
        return true;
    }

    std::function<bool(const Row &row)> m_hand;
    bool m_distinct;
    QString m_key;
    std::vector<Row> m_run;
    std::vector<std::pair<QCollatorSortKey, Row>> m_odd;
    bool m_oddSorted = false;
    size_t m_next = 0;
};

// From so many rows on, a search's rows are read along the order keys and checked there (the
// first of them then come at once); fewer are found first and sorted by their keys.
constexpr int kManyRows = 20000;
constexpr int kManyFoundOnServer = 5000;

} // namespace

EntitySearch::EntitySearch(db::Database &db)
    : m_db(db)
{
}

Result<QList<ListItem>> EntitySearch::legalForms()
{
    return codeList(searchSql::legalForms());
}

Result<QList<ListItem>> EntitySearch::classificationLists()
{
    return codeList(searchSql::classificationLists());
}

Listing EntitySearch::byName(const NameQuery &query, const ItemSink &sink)
{
    if (m_db.backend() != db::Backend::SqlServer)
        return byNameFolded(query, sink);
    const QString typed = firstLetterName(query);
    return list(
        searchSql::byName(query),
        [&typed](const QStringList &row) -> std::optional<ListItem> {
            const auto id = db::parseId(row.value(2));
            if (!id || !sameFirstLetter(typed, row.value(1)))
                return std::nullopt;
            return ListItem{nameLine(row.value(0), row.value(1), *id), *id};
        },
        sink);
}

bool EntitySearch::hasSearchKeys()
{
    if (!m_searchKeys && m_db.backend() == db::Backend::SQLite) {
        const auto table = m_db.queryNative(QStringLiteral("SELECT 1 FROM pragma_table_info('name_srch') WHERE name = 'ord_txt'"));
        if (table.ok())
            m_searchKeys = !table.value.isEmpty();
    }
    return m_searchKeys.value_or(false);
}

Listing EntitySearch::byNameFolded(const NameQuery &query, const ItemSink &sink)
{
    return foldedRows(query, [&sink](const FoundRow &row, int count) {
        if (sink)
            sink(ListItem{nameLine(row.ident, row.name, row.id), row.id}, count);
    });
}

Listing EntitySearch::foldedRows(const NameQuery &query, const RowSink &sink)
{
    const db::Backend backend = m_db.backend();
    const bool keys = hasSearchKeys();
    bool many = false;
    const bool server = backend == db::Backend::PostgreSQL;
    // On a server counting the found names costs as much as sorting them: it stops sooner.
    const int enough = server ? kManyFoundOnServer : kManyRows;
    const QString hits = keys || server ? searchSql::trigramHits(query, enough, backend) : QString();
    if (!hits.isEmpty()) {
        const Result<QString> counted = m_db.readValue(hits);
        if (!counted.ok()) {
            Listing failed;
            failed.error = counted.error;
            return failed;
        }
        many = counted.value.toInt() >= enough;
    }
    // On a server a few names found anywhere are sorted at once; walking all names in order, as a
    // cursor's plan does for its first rows, would reach them later.
    return streamed(searchSql::byNameFolded(query, backend, keys, many), db::searchFold(firstLetterName(query)),
                    searchSql::inFoldOrder(query, backend, keys), false, sink, !server || hits.isEmpty() || many);
}

Listing EntitySearch::streamed(const QString &sql, const QString &typed, bool keyOrder, bool distinct, const RowSink &sink, bool cursor)
{
    Listing result;
    const auto stopNow = [&] {
        result.stopped = result.stopped || (m_stop && m_stop());
        return result.stopped;
    };
    // Each row handed on asks the stop check; so do rows held back, every so many.
    const auto hand = [&](const FoundRow &row) {
        ++result.count;
        if (sink)
            sink(row, result.count);
        return !stopNow();
    };
    NameOrder<FoundRow> order(hand, distinct);
    m_lastSql = sql;
    m_lastCursor = cursor && m_db.backend() == db::Backend::PostgreSQL;
    db::RecordSet rows = cursor ? m_db.openListing(sql) : m_db.openNativeRecordSet(sql);
    for (int unasked = 1; rows.next(); ++unasked) {
        const auto id = db::parseId(rows.text(2));
        QString name = rows.text(1);
        if (id && (typed.isEmpty() || sameFirstLetter(typed, db::searchFold(name)))) {
            FoundRow row{rows.text(0), std::move(name), *id};
            if (!(keyOrder ? order.add(std::move(row), rows.text(3)) : hand(row)))
                return result;
        }
        if (unasked % 256 == 0 && stopNow())
            return result;
    }
    result.error = rows.error();
    if (result.ok() && keyOrder)
        order.finish();
    return result;
}

Listing EntitySearch::branches(const BranchQuery &query, const ItemSink &sink)
{
    // A name beginning with "%" is a search anywhere in the name: no first letter to compare.
    QString typed = query.name.trimmed();
    if (typed.startsWith(QLatin1Char('%')))
        typed.clear();
    return list(
        searchSql::branches(query),
        [&typed](const QStringList &row) -> std::optional<ListItem> {
            const auto code = db::parseId(row.value(2));
            if (!code || !sameFirstLetter(typed, row.value(1)))
                return std::nullopt;
            return ListItem{row.value(0) + QLatin1Char(' ') + row.value(1), *code};
        },
        sink);
}

Listing EntitySearch::branchEntities(qint32 branch, bool mainOnly, const ItemSink &sink)
{
    if (hasSearchKeys()) {
        return entitiesInKeyOrder(QStringLiteral("a.actv_cd = %1%2").arg(branch).arg(mainOnly ? QStringLiteral(" AND a.actv_nbr = 1") : QString()),
                                  sink);
    }
    return list(searchSql::branchEntities(branch, mainOnly), entityLine, sink);
}

Listing EntitySearch::sameBranchEntities(qint32 entity, const ItemSink &sink)
{
    if (hasSearchKeys()) {
        // The entity's own branches count only while they are live.
        return entitiesInKeyOrder(
            QStringLiteral("a.actv_cd IN (SELECT actv_cd FROM actv WHERE subj_id = %1 AND inac_ind = 0)").arg(entity), sink);
    }
    if (m_db.backend() != db::Backend::PostgreSQL)
        return list(searchSql::sameBranchEntities(entity), entityLine, sink);
    // PostgreSQL plans a large branch apart from a small one only with its codes known.
    const db::Rows codes = m_db.queryRows(QStringLiteral("SELECT DISTINCT actv_cd FROM actv WHERE subj_id = %1 AND inac_ind = 0").arg(entity));
    Listing result;
    QList<qint32> branches;
    for (const QStringList &row : codes.rows) {
        if (const auto code = db::parseId(row.value(0)))
            branches << *code;
    }
    if (!codes.ok() || branches.isEmpty()) {
        result.error = codes.error;
        return result;
    }
    return list(searchSql::sameBranchEntitiesPostgres(branches), entityLine, sink, true);
}

Listing EntitySearch::entitiesInKeyOrder(const QString &branchRows, const ItemSink &sink)
{
    // A branch of many entities is read in name order, each name kept when it has a live row of the
    // branch: the first rows come at once. A few entities are found through the branch first and
    // put in order after.
    const Result<QString> counted = m_db.readValue(
        QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM actv a WHERE a.inac_ind = 0 AND %1 LIMIT %2)").arg(branchRows).arg(kManyRows));
    if (!counted.ok()) {
        Listing failed;
        failed.error = counted.error;
        return failed;
    }
    const QString columns = QStringLiteral("SELECT TRIM(i.ident_txt), TRIM(n.name_txt), n.subj_id, f.ord_txt FROM ");
    const QString live = QStringLiteral("f.row_id = n.row_id AND i.subj_id = n.subj_id AND n.inac_ind = 0 AND i.inac_ind = 0 ");
    const QString sql = counted.value.toInt() >= kManyRows
        ? columns + QStringLiteral("name_srch f INDEXED BY ix_name_srch_ord CROSS JOIN name n CROSS JOIN ident i WHERE ") + live
            + QStringLiteral("AND EXISTS (SELECT 1 FROM actv a WHERE a.subj_id = n.subj_id AND a.inac_ind = 0 AND %1) ORDER BY f.ord_txt").arg(branchRows)
        : columns + QStringLiteral("(SELECT DISTINCT subj_id FROM actv a WHERE a.inac_ind = 0 AND %1) a CROSS JOIN name n "
                                   "CROSS JOIN name_srch f CROSS JOIN ident i WHERE n.subj_id = a.subj_id AND ")
                  .arg(branchRows)
            + live + QStringLiteral("ORDER BY f.ord_txt");
    return streamed(sql, {}, true, true, [&sink](const FoundRow &row, int count) {
        if (sink)
            sink(ListItem{row.name + QLatin1Char(' ') + row.ident, row.id}, count);
    });
}

Result<QList<FoundEntity>> EntitySearch::find(const QString &text)
{
    using Out = Result<QList<FoundEntity>>;
    const QString typed = text.trimmed();
    QList<QStringList> rows;
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (digits.match(typed).hasMatch()) {
        const db::Rows byIco = m_db.queryRows(searchSql::byIcoPart(typed));
        if (!byIco.ok())
            return Out::failure(byIco.error);
        rows = byIco.rows;
    }
    const NameQuery query{typed, {}, {}, true};
    if (m_db.backend() == db::Backend::SqlServer) {
        const db::Rows byName = m_db.queryRows(searchSql::byName(NameQuery{QLatin1Char('%') + typed, {}, {}}));
        if (!byName.ok())
            return Out::failure(byName.error);
        rows += byName.rows;
    } else {
        const Listing byName = foldedRows(query, [&rows](const FoundRow &row, int) {
            rows << QStringList{row.ident, row.name, QString::number(row.id)};
        });
        if (!byName.ok())
            return Out::failure(byName.error);
    }
    Out out;
    QList<qint32> seen;
    for (const QStringList &row : rows) {
        const auto id = db::parseId(row.value(2));
        if (id && !seen.contains(*id)) {
            seen << *id;
            out.value << FoundEntity{*id, row.value(0), row.value(1)};
        }
    }
    return out;
}

Result<std::optional<qint32>> EntitySearch::byIco(const QString &ico)
{
    QString padded = ico.trimmed();
    const Result<QString> id = m_db.readValue(QStringLiteral("SELECT subj_id FROM ident WHERE ident_txt = ")
                                              + db::quoted(base::padIco(padded)) + QStringLiteral(" AND inac_ind = 0"));
    return {db::parseId(id.value), id.error};
}

Result<std::optional<qint32>> EntitySearch::mainBranch(qint32 entity)
{
    const Result<QString> branch = m_db.readValue(searchSql::mainBranch(entity));
    return {db::parseId(branch.value), branch.error};
}

QString EntitySearch::nameLine(const QString &ident, const QString &name, qint32 id)
{
    const QString line = ident + QLatin1Char(' ') + name;
    return id < 0 && !ident.startsWith(kGroupIdent) ? kOwnMark + line : line;
}

bool EntitySearch::isGroupLine(const QString &text)
{
    return text.startsWith(kGroupIdent);
}

bool EntitySearch::sameFirstLetter(const QString &typed, const QString &listed)
{
    const QString t = typed.trimmed();
    if (t.isEmpty())
        return true;
    return t.left(1).toUpper() == listed.trimmed().left(1).toUpper();
}

QString EntitySearch::firstLetterName(const NameQuery &query)
{
    const QString name = query.name.trimmed();
    if (!query.ico.trimmed().isEmpty() || name.startsWith(QLatin1Char('%')) || query.anywhere)
        return QString();
    return name;
}

Result<QList<ListItem>> EntitySearch::codeList(const QString &sql)
{
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return Result<QList<ListItem>>::failure(rows.error);
    Result<QList<ListItem>> items;
    for (const QStringList &row : rows.rows) {
        if (const std::optional<ListItem> item = codeLine(row))
            items.value << *item;
    }
    return items;
}

Listing EntitySearch::list(const QString &sql, const std::function<std::optional<ListItem>(const QStringList &row)> &line,
                           const ItemSink &sink, bool native)
{
    Listing result;
    // On a server the rows come as the window shows them, through a cursor.
    const bool server = m_db.backend() == db::Backend::PostgreSQL;
    m_lastSql = native ? sql : db::tsql::translate(sql, m_db.backend()).sql;
    m_lastCursor = server;
    db::RecordSet rs = server ? m_db.openListing(m_lastSql) : m_db.openRecordSet(sql);
    if (!rs.isValid()) {
        result.error = rs.error();
        return result;
    }
    while (rs.next()) {
        if (const std::optional<ListItem> item = line(rs.row())) {
            ++result.count;
            if (sink)
                sink(*item, result.count);
        }
        if (m_stop && m_stop()) {
            result.stopped = true;
            break;
        }
    }
    // A listing that broke off shows the rows read so far, never as the whole answer.
    result.error = rs.error();
    return result;
}

} // namespace verna::entities

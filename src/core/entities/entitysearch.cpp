#include "entities/entitysearch.h"

#include "base/textforms.h"
#include "db/database.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"

#include <QRegularExpression>

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
        const auto table = m_db.queryNative(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'name_srch'"));
        if (table.ok())
            m_searchKeys = !table.value.isEmpty();
    }
    return m_searchKeys.value_or(false);
}

Listing EntitySearch::byNameFolded(const NameQuery &query, const ItemSink &sink)
{
    Listing result;
    const auto rows = m_db.queryNative(searchSql::byNameFolded(query, m_db.backend(), hasSearchKeys()));
    if (!rows.ok()) {
        result.error = rows.error;
        return result;
    }
    const QString typed = db::searchFold(firstLetterName(query));
    for (const QVariantList &row : rows.value) {
        const auto id = db::parseId(row.value(2).toString());
        const QString name = row.value(1).toString();
        if (id && sameFirstLetter(typed, db::searchFold(name))) {
            ++result.count;
            if (sink)
                sink(ListItem{nameLine(row.value(0).toString(), name, *id), *id}, result.count);
        }
        if (m_stop && m_stop()) {
            result.stopped = true;
            break;
        }
    }
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
    return list(searchSql::branchEntities(branch, mainOnly), entityLine, sink);
}

Listing EntitySearch::sameBranchEntities(qint32 entity, const ItemSink &sink)
{
    return list(searchSql::sameBranchEntities(entity), entityLine, sink);
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
        const auto byName = m_db.queryNative(searchSql::byNameFolded(query, m_db.backend(), hasSearchKeys()));
        if (!byName.ok())
            return Out::failure(byName.error);
        for (const QVariantList &row : byName.value)
            rows << QStringList{row.value(0).toString(), row.value(1).toString(), row.value(2).toString()};
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
                           const ItemSink &sink)
{
    Listing result;
    db::RecordSet rs = m_db.openRecordSet(sql);
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

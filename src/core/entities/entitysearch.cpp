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

// The letters a name's place starts from, in the order of Czech: the collation tells other
// accents apart only after the whole name, "ch" follows "h" and "ł" its own "l". Each with the
// plain letter its folded key starts with.
struct LeadingLetter {
    char16_t letter;
    char16_t plain;
};
constexpr LeadingLetter kLeadingLetters[] = {
    {u'a', u'a'}, {u'b', u'b'}, {u'c', u'c'}, {u'č', u'c'}, {u'd', u'd'}, {u'e', u'e'}, {u'f', u'f'}, {u'g', u'g'},
    {u'h', u'h'}, {u'-', u'c'} /* ch */, {u'i', u'i'}, {u'j', u'j'}, {u'k', u'k'}, {u'l', u'l'}, {u'ł', u'l'}, {u'm', u'm'},
    {u'n', u'n'}, {u'o', u'o'}, {u'p', u'p'}, {u'q', u'q'}, {u'r', u'r'}, {u'ř', u'r'}, {u's', u's'}, {u'š', u's'},
    {u't', u't'}, {u'u', u'u'}, {u'v', u'v'}, {u'w', u'w'}, {u'x', u'x'}, {u'y', u'y'}, {u'z', u'z'}, {u'ž', u'z'}};
constexpr int kLetterCount = static_cast<int>(std::size(kLeadingLetters));
constexpr int kCh = 9;

int letterPlace(char16_t letter)
{
    for (int i = 0; i < kLetterCount; ++i) {
        if (kLeadingLetters[i].letter == letter)
            return i;
    }
    return -1;
}

// The place in kLeadingLetters of the letter a trimmed name starts with, or -1 when it starts
// otherwise (a digit, a sign, a letter of another alphabet).
int leadingLetter(const QString &name)
{
    if (name.isEmpty())
        return -1;
    // A letter written with a combining accent collates as the composed letter.
    const QString lead = name.size() > 1 && name.at(1).isMark() ? name.left(4).normalized(QString::NormalizationForm_C) : name.left(2);
    const QChar first = lead.at(0).toLower();
    if (first == QLatin1Char('c') && lead.size() > 1 && lead.at(1).toLower() == QLatin1Char('h'))
        return kCh;
    if (lead.size() > 1 && lead.at(1).isMark())
        return -1;
    if (const int own = letterPlace(first.unicode()); own >= 0)
        return own;
    const QChar base = db::searchFold(QString(first)).at(0);
    return base >= QLatin1Char('a') && base <= QLatin1Char('z') ? letterPlace(base.unicode()) : -1;
}

// The place of the plain letter the folded keys of names starting with the letter start with.
int plainLetterOf(int letter)
{
    return letterPlace(kLeadingLetters[letter].plain);
}

// Puts rows read in folded-key order into name order as they come. Folded keys keep the order of
// the first letters, so a row is handed on once the keys have passed beyond its first letter:
// no later row can sort before it then. Rows whose keys start beyond ASCII sort by rules of
// their own; they are read first (few) and handed on among the others where they belong.
// A name starting with a sign the search form drops ("(", "-", ...) has the key of its first
// letter and lists among the names of that letter.
template <typename Row>
class NameOrder
{
public:
    // hand: false when the listing is to end there.
    explicit NameOrder(std::function<bool(const Row &row)> hand)
        : m_hand(std::move(hand))
    {
    }

    void addEarly(Row row) { m_early.emplace_back(db::textSortKey(row.name), std::move(row)); }

    bool add(Row row)
    {
        sortEarly();
        const int letter = leadingLetter(row.name);
        if (letter >= 0 && !release(plainLetterOf(letter)))
            return false;
        QCollatorSortKey key = db::textSortKey(row.name);
        m_waiting.emplace(std::move(key), Waiting{letter, std::move(row)});
        return true;
    }

    void finish()
    {
        sortEarly();
        if (!release(kLetterCount))
            return;
        while (m_next < m_early.size() && m_hand(m_early.at(m_next++).second)) {
        }
    }

private:
    struct Waiting {
        int letter;
        Row row;
    };

    void sortEarly()
    {
        if (!m_earlySorted)
            std::stable_sort(m_early.begin(), m_early.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        m_earlySorted = true;
    }

    bool release(int below)
    {
        while (!m_waiting.empty() && m_waiting.begin()->second.letter < below) {
            auto node = m_waiting.extract(m_waiting.begin());
            while (m_next < m_early.size() && !(node.key() < m_early.at(m_next).first)) {
                if (!m_hand(m_early.at(m_next++).second))
                    return false;
            }
            if (!m_hand(node.mapped().row))
                return false;
        }
        return true;
    }

    std::function<bool(const Row &row)> m_hand;
    std::vector<std::pair<QCollatorSortKey, Row>> m_early;
    bool m_earlySorted = false;
    size_t m_next = 0;
    std::multimap<QCollatorSortKey, Waiting> m_waiting;
};

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
    return foldedRows(query, [&sink](const FoundRow &row, int count) {
        if (sink)
            sink(ListItem{nameLine(row.ident, row.name, row.id), row.id}, count);
    });
}

Listing EntitySearch::foldedRows(const NameQuery &query, const RowSink &sink)
{
    Listing result;
    const db::Backend backend = m_db.backend();
    const bool keys = hasSearchKeys();
    const QString typed = db::searchFold(firstLetterName(query));
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
    // Reads the rows as the database hands them; false when the listing ends here.
    const auto readRows = [&](const QString &sql, const std::function<bool(FoundRow &&row)> &take) {
        db::RecordSet rows = m_db.openListing(sql);
        for (int unasked = 1; rows.next(); ++unasked) {
            const auto id = db::parseId(rows.text(2));
            QString name = rows.text(1);
            if (id && (typed.isEmpty() || sameFirstLetter(typed, db::searchFold(name))) && !take(FoundRow{rows.text(0), std::move(name), *id}))
                return false;
            if (unasked % 256 == 0 && stopNow())
                return false;
        }
        result.error = rows.error();
        return result.ok();
    };
    if (!searchSql::inFoldOrder(query, backend, keys)) {
        readRows(searchSql::byNameFolded(query, backend, keys), hand);
        return result;
    }
    NameOrder<FoundRow> order(hand);
    if (readRows(searchSql::byNameFolded(query, backend, keys, FoldSpan::Beyond), [&order](FoundRow &&row) {
            order.addEarly(std::move(row));
            return true;
        })
        && readRows(searchSql::byNameFolded(query, backend, keys, FoldSpan::Ascii), [&order](FoundRow &&row) { return order.add(std::move(row)); }))
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
    return list(searchSql::branchEntities(branch, mainOnly), entityLine, sink);
}

Listing EntitySearch::sameBranchEntities(qint32 entity, const ItemSink &sink)
{
    if (m_db.backend() != db::Backend::PostgreSQL)
        return list(searchSql::sameBranchEntities(entity), entityLine, sink);
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
    db::RecordSet rs = server ? m_db.openListing(native ? sql : db::tsql::translate(sql, db::Backend::PostgreSQL).sql) : m_db.openRecordSet(sql);
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

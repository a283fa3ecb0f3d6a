#include "analysis/peerbenchmark.h"

#include "db/database.h"
#include "db/preparedquery.h"
#include "db/sqlquote.h"
#include "entities/groupmembers.h"

#include <QSet>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace verna::analysis {

namespace {

const QString kNoBranch = QStringLiteral("Subjekt nemá přiřazen obor činnosti.");
const QString kStopped = QStringLiteral("Výpočet byl přerušen.");

QString n(qint64 value)
{
    return QString::number(value);
}

// Live entities that are not groups of entities.
const QString kLiveCompanies = QStringLiteral("SELECT subj_id FROM ident WHERE inac_ind = 0 AND subj_id NOT IN "
                                              "(SELECT subj_id FROM ident WHERE form_type_cd = 215)");

// One line of a branch code list (OKEČ, CZ-NACE), in the list's own order.
struct Code {
    int list = 0;
    qint32 code = 0;
    QString shortText;
    QString text;
    bool isSection() const { return shortText.size() == 1 && shortText.front().isLetter(); }
};

// The branch code lists: a section (a letter) holds the codes after it up to the next section;
// a division is the codes whose short text starts with the same two digits.
Result<QList<Code>> readCodeLists(db::Database &db)
{
    const db::Rows rows = db.queryRows(QStringLiteral("SELECT tbl_cd, val_agn, RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)) FROM cd_val "
                                                      "WHERE inac_ind = 0 AND tbl_cd IN (217, 218) ORDER BY tbl_cd, seq_nbr, val_agn"));
    if (!rows.ok())
        return Result<QList<Code>>::failure(rows.error);
    Result<QList<Code>> out;
    for (const QStringList &row : rows.rows) {
        const auto list = db::parseId(row.value(0));
        const auto code = db::parseId(row.value(1));
        if (list && code)
            out.value << Code{*list, *code, row.value(2), row.value(3)};
    }
    return out;
}

// Which entities make a peer set: a query of their ids, and how the set reads.
struct Membership {
    QString sql; // "" when there are no peers (reason says why)
    QString description;
    QString reason;
};

QString codesList(const QList<qint32> &codes)
{
    QStringList texts;
    for (qint32 code : codes)
        texts << n(code);
    return texts.join(QStringLiteral(", "));
}

Membership branchMembership(const QList<Code> &lists, std::optional<qint32> branch, PeerChoice::Kind kind)
{
    if (!branch)
        return {{}, {}, kNoBranch};
    QList<qint32> codes{*branch};
    QString description = QStringLiteral("obor %1").arg(*branch);
    const auto found = std::find_if(lists.begin(), lists.end(), [&](const Code &c) { return c.code == *branch; });
    if (found != lists.end()) {
        const auto listBegin = std::find_if(lists.begin(), lists.end(), [&](const Code &c) { return c.list == found->list; });
        const auto listEnd = std::find_if(found, lists.end(), [&](const Code &c) { return c.list != found->list; });
        auto section = found;
        while (section != listBegin && !section->isSection())
            --section;
        if (kind == PeerChoice::Kind::Section && section->isSection()) {
            codes = {section->code};
            for (auto c = section + 1; c != listEnd && !c->isSection(); ++c)
                codes << c->code;
            description = QStringLiteral("sekce %1 %2").arg(section->shortText, section->text);
        } else if (!found->isSection()) {
            const QString division = found->shortText.left(2);
            codes.clear();
            description = QStringLiteral("oddíl %1 %2").arg(division, found->text);
            for (auto c = listBegin; c != listEnd; ++c) {
                if (c->isSection() || !c->shortText.startsWith(division))
                    continue;
                codes << c->code;
                if (c->shortText == division)
                    description = QStringLiteral("oddíl %1 %2").arg(division, c->text);
            }
        } else {
            description = QStringLiteral("sekce %1 %2").arg(found->shortText, found->text);
        }
    }
    return {QStringLiteral("SELECT a.subj_id FROM actv a, ident i WHERE a.inac_ind = 0 AND a.actv_nbr = 1 AND a.actv_cd IN (")
                + codesList(codes) + QStringLiteral(") AND i.subj_id = a.subj_id AND i.inac_ind = 0"),
            description,
            {}};
}

// Main branches of many entities at once.
Result<QHash<qint32, qint32>> mainBranches(db::Database &db, const QList<qint32> &entities)
{
    Result<QHash<qint32, qint32>> out;
    const int block = db::idsPerStatement(db.backend());
    for (int start = 0; start < entities.size(); start += block) {
        QVariantList binds;
        const QList<qint32> part = entities.mid(start, block);
        const QString list = db::inList(db.backend(), QStringLiteral("subj_id"), QList<qint64>(part.begin(), part.end()), binds);
        const Outcome read = db::queryPrepared(db, QStringLiteral("SELECT subj_id, actv_cd FROM actv WHERE inac_ind = 0 AND actv_nbr = 1 AND ") + list,
                                               binds, [&](const db::PreparedRow &row) {
                                                   const auto entity = static_cast<qint32>(row.integer(0));
                                                   // The lowest code when an entity has two main branches, as on every call.
                                                   const auto code = static_cast<qint32>(row.integer(1));
                                                   if (!out.value.contains(entity) || code < out.value.value(entity))
                                                       out.value.insert(entity, code);
                                               });
        if (!read)
            return Result<QHash<qint32, qint32>>::failure(read.error);
    }
    return out;
}

// The membership of each entity's peer set; the lists and names are read once.
class Memberships
{
public:
    Memberships(db::Database &db, const PeerChoice &choice)
        : m_db(db)
        , m_choice(choice)
    {
    }

    Outcome prepare(const QList<qint32> &entities)
    {
        switch (m_choice.kind) {
        case PeerChoice::Kind::Division:
        case PeerChoice::Kind::Section: {
            Result<QList<Code>> lists = readCodeLists(m_db);
            if (!lists.ok())
                return lists.outcome();
            m_lists = std::move(lists.value);
            Result<QHash<qint32, qint32>> branches = mainBranches(m_db, entities);
            if (!branches.ok())
                return branches.outcome();
            m_branches = std::move(branches.value);
            return Outcome::success();
        }
        case PeerChoice::Kind::Group: {
            const Result<bool> single = entities::isSingleEntity(m_db, n(m_choice.group));
            if (!single.ok())
                return single.outcome();
            if (single.value)
                return Outcome::failure(QStringLiteral("Subjekt %1 není skupina subjektů.").arg(m_choice.group));
            const Result<QString> name = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name WHERE inac_ind = 0 AND subj_id = ")
                                                        + n(m_choice.group));
            if (!name.ok())
                return name.outcome();
            m_shared = {QStringLiteral("SELECT m.mem_id FROM mem m, ident i WHERE m.inac_ind = 0 AND m.subj_id = ") + n(m_choice.group)
                            + QStringLiteral(" AND i.subj_id = m.mem_id AND i.inac_ind = 0"),
                        QStringLiteral("skupina %1").arg(name.value), {}};
            return Outcome::success();
        }
        case PeerChoice::Kind::All:
            m_shared = {kLiveCompanies, QStringLiteral("všechny podniky"), {}};
            return Outcome::success();
        }
        return Outcome::success();
    }

    Membership of(qint32 entity) const
    {
        if (m_choice.kind == PeerChoice::Kind::Group || m_choice.kind == PeerChoice::Kind::All)
            return m_shared;
        const auto branch = m_branches.constFind(entity);
        return branchMembership(m_lists, branch == m_branches.cend() ? std::nullopt : std::optional<qint32>(*branch), m_choice.kind);
    }

private:
    db::Database &m_db;
    PeerChoice m_choice;
    QList<Code> m_lists;
    QHash<qint32, qint32> m_branches;
    Membership m_shared;
};

Result<QSet<qint32>> readIds(db::Database &db, const QString &sql)
{
    Result<QSet<qint32>> out;
    const Outcome read = db::queryPrepared(db, sql, {}, [&](const db::PreparedRow &row) { out.value.insert(static_cast<qint32>(row.integer(0))); });
    if (!read)
        return Result<QSet<qint32>>::failure(read.error);
    return out;
}

// A value text of the evaluator: plain decimal in the C locale. Read without QString's locale
// machinery, which would cost more than the whole fill for a large peer set.
std::optional<double> number(const QString &text)
{
    char buffer[64];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof buffer))
        return std::nullopt;
    qsizetype length = 0;
    for (const QChar c : text) {
        if (c.unicode() > 127)
            return std::nullopt;
        buffer[length++] = static_cast<char>(c.unicode());
    }
    double value = 0;
    const auto [end, error] = std::from_chars(buffer, buffer + length, value);
    if (error != std::errc() || end != buffer + length || !std::isfinite(value))
        return std::nullopt;
    return value;
}

Zone zoneOf(double value, double q1, double q3)
{
    if (value < q1)
        return Zone::Below;
    return value > q3 ? Zone::Above : Zone::Middle;
}

} // namespace

PeerFigures figuresOf(int indicatorId, const QString &own, const QStringList &peerTexts)
{
    PeerFigures f;
    f.indicatorId = indicatorId;
    f.value = own;
    std::vector<double> values;
    values.reserve(peerTexts.size());
    for (const QString &text : peerTexts) {
        if (const auto v = number(text))
            values.push_back(*v);
    }
    f.n = static_cast<int>(values.size());
    if (f.n < peerstats::kMinimumPeers) {
        f.reason = QStringLiteral("málo srovnatelných podniků: %1").arg(f.n);
        return f;
    }
    std::sort(values.begin(), values.end());
    f.hasFigures = true;
    f.d1 = peerstats::quantile(values, 0.1);
    f.q1 = peerstats::quantile(values, 0.25);
    f.median = peerstats::quantile(values, 0.5);
    f.q3 = peerstats::quantile(values, 0.75);
    f.d9 = peerstats::quantile(values, 0.9);
    if (const auto v = number(own)) {
        f.rank = peerstats::percentileRank(values, *v);
        f.zone = zoneOf(*v, f.q1, f.q3);
    }
    return f;
}

std::optional<PeerChoice> PeerChoice::parse(const QString &text)
{
    if (text == QLatin1String("obor"))
        return PeerChoice{Kind::Division, 0};
    if (text == QLatin1String("sekce"))
        return PeerChoice{Kind::Section, 0};
    if (text == QLatin1String("vse"))
        return PeerChoice{Kind::All, 0};
    if (text.startsWith(QLatin1String("skupina:"))) {
        if (const auto id = db::parseId(text.mid(8)))
            return PeerChoice{Kind::Group, *id};
    }
    return std::nullopt;
}

QString PeerChoice::toString() const
{
    switch (kind) {
    case Kind::Division: return QStringLiteral("obor");
    case Kind::Section: return QStringLiteral("sekce");
    case Kind::Group: return QStringLiteral("skupina:%1").arg(group);
    case Kind::All: return QStringLiteral("vse");
    }
    return {};
}

namespace peerstats {

double quantile(const std::vector<double> &sorted, double p)
{
    const double h = static_cast<double>(sorted.size() - 1) * p;
    const auto low = static_cast<size_t>(std::floor(h));
    const auto high = static_cast<size_t>(std::ceil(h));
    const double first = sorted.at(low);
    return first + (sorted.at(high) - first) * (h - static_cast<double>(low));
}

double percentileRank(const std::vector<double> &sorted, double value)
{
    const auto below = std::lower_bound(sorted.begin(), sorted.end(), value);
    const auto above = std::upper_bound(below, sorted.end(), value);
    const double count = static_cast<double>(below - sorted.begin()) + static_cast<double>(above - below) / 2;
    return 100.0 * count / static_cast<double>(sorted.size());
}

} // namespace peerstats

ZoneMeaning zoneMeaning(Zone zone, indicators::Direction direction)
{
    if (zone != Zone::Below && zone != Zone::Above)
        return ZoneMeaning::Neutral;
    switch (direction) {
    case indicators::Direction::HigherBetter: return zone == Zone::Above ? ZoneMeaning::Good : ZoneMeaning::Bad;
    case indicators::Direction::LowerBetter: return zone == Zone::Below ? ZoneMeaning::Good : ZoneMeaning::Bad;
    default: return ZoneMeaning::Neutral;
    }
}

PeerBenchmark::PeerBenchmark(db::Database &db, IndicatorSource &source)
    : m_db(db)
    , m_source(source)
{
}

Result<PeerBenchmark::PeerSet> PeerBenchmark::peers(qint32 entity, const PeerChoice &choice)
{
    Memberships memberships(m_db, choice);
    if (const Outcome prepared = memberships.prepare({entity}); !prepared)
        return Result<PeerSet>::failure(prepared.error);
    const Membership membership = memberships.of(entity);
    Result<PeerSet> out;
    out.value.description = membership.description;
    out.value.reason = membership.reason;
    if (membership.sql.isEmpty())
        return out;
    Result<QSet<qint32>> ids = readIds(m_db, membership.sql);
    if (!ids.ok())
        return Result<PeerSet>::failure(ids.error);
    ids.value.insert(entity);
    out.value.entities = QList<qint32>(ids.value.begin(), ids.value.end());
    std::sort(out.value.entities.begin(), out.value.entities.end());
    return out;
}

Result<QList<PeerBenchmarkRow>> PeerBenchmark::compute(const QList<RowKey> &rows, const QList<int> &indicatorIds, const PeerChoice &choice)
{
    using Out = Result<QList<PeerBenchmarkRow>>;
    const auto stopped = [this] { return m_shouldStop && m_shouldStop(); };

    QList<qint32> entities;
    QSet<qint32> seen;
    for (const RowKey &row : rows) {
        if (!seen.contains(row.entity))
            entities << row.entity;
        seen.insert(row.entity);
    }
    Memberships memberships(m_db, choice);
    if (const Outcome prepared = memberships.prepare(entities); !prepared)
        return Out::failure(prepared.error);

    // Rows point at their peer set by its query; each distinct set is read once a year, together
    // with its members' statements (one pass over the members instead of two).
    QHash<qint32, Membership> membershipOf;
    for (qint32 entity : entities)
        membershipOf.insert(entity, memberships.of(entity));

    Out out;
    out.value.reserve(rows.size());
    for (const RowKey &row : rows) {
        const Membership &m = membershipOf[row.entity];
        out.value.append(PeerBenchmarkRow{row, m.description, 0, {}});
    }

    // One fill per year over the peers of all its rows that have a statement in their periods:
    // the evaluator reads a company's amounts a year at a time, so the year's quarters share it.
    std::map<int, QList<int>> rowsOfYear;
    for (int r = 0; r < rows.size(); ++r)
        rowsOfYear[rows.at(r).year] << r;
    for (const auto &[year, rowIndexes] : rowsOfYear) {
        if (stopped())
            return Out::failure(kStopped);
        QSet<int> quarters;
        QStringList sets;
        for (int r : rowIndexes) {
            quarters.insert(rows.at(r).quarter);
            const QString &sql = membershipOf[rows.at(r).entity].sql;
            if (!sql.isEmpty() && !sets.contains(sql))
                sets << sql;
        }
        QList<int> quarterList(quarters.begin(), quarters.end());
        std::sort(quarterList.begin(), quarterList.end());
        QStringList quarterTexts;
        for (int q : quarterList)
            quarterTexts << n(q);
        // Per peer set the periods of its members that have a statement.
        QHash<QString, QSet<RowKey>> withStatement;
        QSet<RowKey> fillSet;
        for (const QString &sql : std::as_const(sets)) {
            if (stopped())
                return Out::failure(kStopped);
            QSet<RowKey> &found = withStatement[sql];
            // SQLite would look a member's period up once per type; its few statements are
            // read from one place in the index and their types compared there instead.
            const QString periods = QStringLiteral("f.inac_ind = 0 AND %1 IN (27, 28) AND f.year_dt = ? AND f.quarter_dt IN (%2)")
                                        .arg(m_db.backend() == db::Backend::SQLite ? QStringLiteral("+f.stmt_type_cd") : QStringLiteral("f.stmt_type_cd"),
                                             quarterTexts.join(QStringLiteral(", ")));
            // PostgreSQL misjudges how many members a set holds and scans every statement of the
            // database for them; the members as one array are looked up in the index instead.
            const QString existing = m_db.backend() == db::Backend::PostgreSQL
                ? QStringLiteral("SELECT DISTINCT f.subj_id, f.quarter_dt FROM finl_stmt f WHERE f.subj_id = ANY (ARRAY(%1)) AND %2").arg(sql, periods)
                : QStringLiteral("SELECT DISTINCT f.subj_id, f.quarter_dt FROM finl_stmt f WHERE %1 AND f.subj_id IN (%2)").arg(periods, sql);
            const Outcome read = db::queryPrepared(
                m_db, existing,
                {year}, [&](const db::PreparedRow &row) {
                    found.insert(RowKey{year, static_cast<int>(row.integer(1)), static_cast<qint32>(row.integer(0))});
                });
            if (!read)
                return Out::failure(read.error);
            fillSet.unite(found);
        }
        for (int r : rowIndexes)
            fillSet.insert(rows.at(r));
        // In the order of companies, then quarters, as the evaluator reads them.
        QList<RowKey> keys(fillSet.begin(), fillSet.end());
        std::sort(keys.begin(), keys.end(), [](const RowKey &a, const RowKey &b) { return std::pair(a.entity, a.quarter) < std::pair(b.entity, b.quarter); });
        QHash<RowKey, int> position;
        QHash<int, QList<int>> keysOfQuarter;
        position.reserve(keys.size());
        for (int k = 0; k < keys.size(); ++k) {
            position.insert(keys.at(k), k);
            keysOfQuarter[keys.at(k).quarter] << k;
        }

        const Result<QList<QStringList>> columns = m_source.columns(indicatorIds, keys, m_shouldStop ? m_shouldStop : std::function<bool()>());
        if (!columns.ok())
            return Out::failure(columns.error);
        if (stopped())
            return Out::failure(kStopped);
        const bool complete = columns.value.size() == indicatorIds.size()
            && std::all_of(columns.value.begin(), columns.value.end(), [&](const QStringList &c) { return c.size() == keys.size(); });
        if (!complete)
            return Out::failure(kStopped);

        for (int r : rowIndexes) {
            PeerBenchmarkRow &result = out.value[r];
            const RowKey self = rows.at(r);
            const Membership &m = membershipOf[self.entity];
            QList<int> peerPositions;
            if (!m.sql.isEmpty()) {
                const QSet<RowKey> &peers = withStatement[m.sql];
                for (int k : keysOfQuarter.value(self.quarter)) {
                    const RowKey &key = keys.at(k);
                    if (key == self || peers.contains(key))
                        peerPositions << k;
                }
                result.peerCount = static_cast<int>(peerPositions.size());
            }
            for (int i = 0; i < indicatorIds.size(); ++i) {
                const QStringList &column = columns.value.at(i);
                const QString own = column.at(position.value(self));
                if (m.sql.isEmpty()) {
                    PeerFigures f;
                    f.indicatorId = indicatorIds.at(i);
                    f.value = own;
                    f.reason = m.reason;
                    result.figures << f;
                    continue;
                }
                QStringList peerTexts;
                peerTexts.reserve(peerPositions.size());
                for (int p : peerPositions)
                    peerTexts << column.at(p);
                result.figures << figuresOf(indicatorIds.at(i), own, peerTexts);
            }
        }
    }
    return out;
}

} // namespace verna::analysis

#include "statements/statementstore.h"

#include "base/itemcodes.h"
#include "db/audit.h"
#include "db/clssql_finl.h"
#include "db/database.h"
#include "db/preparedquery.h"
#include "db/rowwriter.h"
#include "db/sqlquote.h"
#include "db/statementpack.h"
#include "db/transaction.h"

#include <QSet>

namespace verna::statements {

namespace {

constexpr int kFirstYear = 1993;
const QString kExists = QStringLiteral("Výkaz již existuje! Nebude vytvořen nový.");
const QString kEnteredBy = QStringLiteral("uživatel");

QString n(qint64 value)
{
    return QString::number(value);
}

QString idList(const PairIds &ids)
{
    QStringList out;
    for (qint32 id : {ids.balance, ids.income}) {
        if (id != 0)
            out << n(id);
    }
    return out.join(QStringLiteral(", "));
}

// "rozvaha 2010/1": a statement as the audit trail names it (by its type code, 27 or 28).
QString statementLabel(int typeCode, int year, int quarter)
{
    return (typeCode == 27 ? QStringLiteral("rozvaha %1/%2") : QStringLiteral("výsledovka %1/%2")).arg(year).arg(quarter);
}

// The audit rows of a saved pair: a change where it replaced a statement of its type (by type
// code), else an insert.
QList<db::audit::Change> pairChanges(const StatementPair &pair, const PairIds &ids, const QHash<int, qint32> &replaced)
{
    QList<db::audit::Change> changes;
    for (const auto &[type, id] : {std::pair{27, ids.balance}, std::pair{28, ids.income}}) {
        const auto earlier = replaced.contains(type) ? std::optional<qint32>(replaced.value(type)) : std::nullopt;
        changes.append({earlier ? db::audit::kChange : db::audit::kInsert, db::audit::kStatement, id, pair.entity,
                        statementLabel(type, pair.year, pair.quarter), earlier});
    }
    return changes;
}

// Marks the statements (a list of ids) and their lines deleted.
Outcome markDeleted(db::Database &db, const QString &ids)
{
    for (const QString &table : {QStringLiteral("finl_item"), QStringLiteral("finl_stmt")}) {
        if (const Outcome o = db.execute(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET inac_ind = 2 WHERE finl_stmt_id IN (") + ids
                                         + QStringLiteral(") AND inac_ind IN(0,1)"));
            !o)
            return o;
    }
    return Outcome::success();
}

} // namespace

QString ListedStatement::text() const
{
    return n(year) + QLatin1Char('/') + n(quarter) + (id < 0 ? QStringLiteral(" * ") : QStringLiteral(" "))
        + (full ? QStringLiteral("plný") : QStringLiteral("zkrácený"));
}

bool isStatementYear(const QString &text)
{
    return db::isYear(text) && text.toInt() >= kFirstYear;
}

StatementStore::StatementStore(db::Database &db)
    : m_db(db)
{
}

Result<QList<StatementLine>> StatementStore::lines(int type, bool full)
{
    using Out = Result<QList<StatementLine>>;
    if (type != 27 && type != 28)
        return Out::failure(QStringLiteral("Neznámý typ výkazu."));
    const int key = type * 10 + (full ? 4 : 2);
    if (const auto cached = m_lines.constFind(key); cached != m_lines.cend())
        return {*cached, {}};
    const QString list = type == 27 ? QStringLiteral("29") : QStringLiteral("30");
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE inac_ind = 0 ")
                                         + QStringLiteral("AND tbl_cd = ") + list + QStringLiteral(" ORDER BY seq_nbr"));
    if (!rows.ok())
        return Out::failure(rows.error);
    Out out;
    QHash<int, StatementLine> byCode;
    for (const QStringList &row : rows.rows) {
        const auto code = db::parseId(row.value(2));
        if (!code)
            continue;
        const StatementLine line{*code, row.value(0), row.value(1)};
        byCode.insert(*code, line);
        // A full income statement does not store the lines its indicators compute.
        if (full && !(type == 28 && base::ItemCodes::computedItems().contains(*code)))
            out.value << line;
    }
    if (!full) {
        for (int code : type == 27 ? base::ItemCodes::abbreviatedBalanceSheet() : base::ItemCodes::abbreviatedIncomeStatement())
            out.value << byCode.value(code, StatementLine{code, {}, {}});
    }
    m_lines.insert(key, out.value);
    return out;
}

Result<StatementEntity> StatementStore::entity(qint32 id)
{
    const db::Rows rows = m_db.queryRows(
        QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)) FROM ident i, name n ")
        + QStringLiteral("WHERE i.inac_ind = 0 AND n.inac_ind = 0 AND i.subj_id = ") + n(id) + QStringLiteral(" ")
        + QStringLiteral("AND n.subj_id = i.subj_id"));
    if (!rows.ok())
        return Result<StatementEntity>::failure(rows.error);
    Result<StatementEntity> out;
    if (rows.rows.isEmpty())
        return out;
    out.value.exists = true;
    out.value.ico = rows.rows.front().value(0);
    out.value.name = rows.rows.front().value(1);
    out.value.group = out.value.ico.isEmpty() || out.value.ico == QLatin1String("skupina_");
    return out;
}

Result<QList<ListedStatement>> StatementStore::list(qint32 entity)
{
    using Out = Result<QList<ListedStatement>>;
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT DISTINCT year_dt, quarter_dt, fill_lvl_ind, finl_stmt_id FROM finl_stmt ")
                                         + QStringLiteral("WHERE subj_id = ") + n(entity)
                                         + QStringLiteral(" AND inac_ind = 0 AND stmt_type_cd = 27 ORDER BY year_dt, quarter_dt"));
    if (!rows.ok())
        return Out::failure(rows.error);
    Out out;
    for (const QStringList &row : rows.rows) {
        const auto id = db::parseId(row.value(3));
        if (id && db::isYear(row.value(0)) && db::isQuarter(row.value(1)))
            out.value << ListedStatement{*id, row.value(0).toInt(), row.value(1).toInt(), row.value(2) == QLatin1String("4")};
    }
    return out;
}

Result<PeriodPair> StatementStore::findPair(qint32 entity, int year, int quarter)
{
    using Out = Result<PeriodPair>;
    db::clsSQL_finl finl;
    finl.setSubjid(entity);
    finl.setRok(static_cast<qint16>(year));
    finl.setCtvrtleti(static_cast<qint16>(quarter));
    Out out;
    for (qint16 typ : {2, 1}) {
        finl.setTyp_vykazu(typ);
        const Result<QString> id = m_db.readValue(finl.getSQL_finl_stmt_id());
        if (!id.ok())
            return Out::failure(id.error);
        const auto parsed = db::parseId(id.value);
        if (!parsed)
            continue;
        (typ == 1 ? out.value.ids.balance : out.value.ids.income) = *parsed;
        const Result<int> level = form(*parsed);
        if (!level.ok())
            return Out::failure(level.error);
        out.value.form = level.value;
    }
    return out;
}

Result<int> StatementStore::form(qint32 statementId)
{
    db::clsSQL_finl finl;
    const Result<QString> level = m_db.readValue(finl.getSQL_fill_lvl_ind(n(statementId)));
    if (!level.ok())
        return Result<int>::failure(level.error);
    return {level.value.toInt(), {}};
}

Result<QHash<int, QString>> StatementStore::amounts(qint32 statementId)
{
    using Out = Result<QHash<int, QString>>;
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT item_type_cd, amt_val FROM finl_item WHERE finl_stmt_id = ") + n(statementId)
                                         + QStringLiteral(" AND inac_ind = 0 ORDER BY row_id DESC"));
    if (!rows.ok())
        return Out::failure(rows.error);
    Out out;
    for (const QStringList &row : rows.rows) {
        if (const auto code = db::parseId(row.value(0)))
            out.value.insert(*code, row.value(1));
    }
    return out;
}

QString StatementStore::inputRefusal(const StatementPair &pair)
{
    if (!isStatementYear(n(pair.year)))
        return QStringLiteral("Zadejte platný rok!");
    if (!db::isQuarter(n(pair.quarter)))
        return QStringLiteral("Zadejte čtvrtletí 1 až 4.");
    for (const auto &[type, given] : {std::pair{27, &pair.balance}, std::pair{28, &pair.income}}) {
        const Result<QList<StatementLine>> form = lines(type, pair.full);
        if (!form.ok())
            return form.error;
        QSet<int> allowed;
        for (const StatementLine &line : form.value)
            allowed.insert(line.code);
        QSet<int> seen;
        for (const auto &[code, amount] : *given) {
            if (!allowed.contains(code) || seen.contains(code))
                return QStringLiteral("Řádek %1 nepatří do %2 (%3 výkaz) nebo je uveden dvakrát.")
                    .arg(code)
                    .arg(type == 27 ? QStringLiteral("rozvahy") : QStringLiteral("výsledovky"),
                         pair.full ? QStringLiteral("plný") : QStringLiteral("zkrácený"));
            seen.insert(code);
        }
    }
    return QString();
}

Outcome StatementStore::markDeleted(const QString &ids)
{
    return statements::markDeleted(m_db, ids);
}

SavedPair StatementStore::save(const StatementPair &pair, const SaveOptions &options)
{
    SavedPair out;
    out.refusal = inputRefusal(pair);
    if (!out.refusal.isEmpty())
        return out;
    const auto refuse = [&out](const QString &why) {
        out.refusal = why;
        return out;
    };
    const auto fail = [&out](const QString &error) {
        out.error = error;
        return out;
    };
    const Result<StatementEntity> who = entity(pair.entity);
    if (!who.ok())
        return fail(who.error);
    if (!who.value.exists)
        return refuse(QStringLiteral("Subjekt %1 neexistuje.").arg(pair.entity));
    if (who.value.group)
        return refuse(QStringLiteral("Skupině subjektů nelze přiřadit výkaz."));

    db::Transaction tx(m_db);
    if (!tx.isActive())
        return fail(m_db.lastError());
    // The period check, the deletions and the inserts that make the new ids stand together.
    for (const QString &table : {QStringLiteral("finl_stmt"), QStringLiteral("finl_item")}) {
        if (const Outcome o = m_db.serialiseWriters(table); !o)
            return fail(o.error);
    }
    // The statements replaced, by type code (27 balance sheet, 28 income statement), for the audit trail.
    QHash<int, qint32> replaced;
    const QString period = QStringLiteral("subj_id = ") + n(pair.entity) + QStringLiteral(" AND year_dt = ") + n(pair.year)
        + QStringLiteral(" AND quarter_dt = ") + n(pair.quarter);
    if (options.replacing && !options.replacing->isEmpty()) {
        const QString ids = idList(*options.replacing);
        const Result<QString> live = m_db.readValue(QStringLiteral("SELECT count(*) FROM finl_stmt WHERE finl_stmt_id IN (") + ids
                                                    + QStringLiteral(") AND inac_ind = 0 AND subj_id = ") + n(pair.entity));
        if (!live.ok())
            return fail(live.error);
        if (live.value != n(ids.count(QLatin1Char(',')) + 1))
            return refuse(QStringLiteral("Načtený výkaz už v databázi není; načtěte jej znovu."));
        if (const Outcome o = markDeleted(ids); !o)
            return fail(o.error);
        for (const auto &[type, id] : {std::pair{27, options.replacing->balance}, std::pair{28, options.replacing->income}}) {
            if (id != 0)
                replaced.insert(type, id);
        }
    }
    if (options.replacePeriod) {
        const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT finl_stmt_id, stmt_type_cd FROM finl_stmt WHERE ") + period
                                             + QStringLiteral(" AND inac_ind IN(0,1)"));
        if (!rows.ok())
            return fail(rows.error);
        QStringList ids;
        for (const QStringList &row : rows.rows) {
            if (const auto id = db::parseId(row.value(0))) {
                ids << row.value(0);
                replaced.insert(row.value(1).toInt(), *id);
            }
        }
        if (!ids.isEmpty()) {
            if (const Outcome o = markDeleted(ids.join(QStringLiteral(", "))); !o)
                return fail(o.error);
        }
    }
    db::clsSQL_finl finl;
    finl.setSubjid(pair.entity);
    finl.setRok(static_cast<qint16>(pair.year));
    finl.setCtvrtleti(static_cast<qint16>(pair.quarter));
    finl.setPlna(pair.full);
    for (qint16 typ : {1, 2}) {
        finl.setTyp_vykazu(typ);
        const Result<QString> taken = m_db.readValue(finl.getSQL_finl_stmt_id());
        if (!taken.ok())
            return fail(taken.error);
        if (!taken.value.isEmpty())
            return refuse(kExists);
    }
    for (qint16 typ : {1, 2}) {
        finl.setTyp_vykazu(typ);
        if (const Outcome o = m_db.execute(finl.getSQL_insert_finl_stmt()); !o)
            return fail(o.error);
        // Writers of the table wait for this transaction, so the smallest id is the new one.
        const Result<QString> made = m_db.readValue(QStringLiteral("SELECT min(finl_stmt_id) FROM finl_stmt"));
        const auto id = db::parseId(made.value);
        if (!made.ok() || !id || *id >= 0)
            return fail(made.ok() ? QStringLiteral("Nový výkaz nelze přečíst zpět.") : made.error);
        QStringList batch;
        for (const auto &[code, amount] : typ == 1 ? pair.balance : pair.income) {
            const QString insert = finl.getSQL_insert_finl_item(n(*id), n(code), amount.text());
            if (insert.isEmpty())
                return fail(QStringLiteral("Řádek %1 nelze zapsat.").arg(code));
            batch << insert;
        }
        if (!batch.isEmpty()) {
            if (const Outcome o = m_db.execute(batch.join(QLatin1Char('\r'))); !o)
                return fail(o.error);
        }
        if (const Outcome o = db::pack::statements(m_db, *id, *id); !o)
            return fail(o.error);
        (typ == 1 ? out.ids.balance : out.ids.income) = *id;
    }
    if (const Outcome o = db::audit::record(m_db, pairChanges(pair, out.ids, replaced)); !o)
        return fail(o.error);
    if (!tx.commit())
        return fail(m_db.lastError());
    return out;
}

Outcome StatementStore::remove(const PairIds &ids)
{
    if (ids.isEmpty())
        return Outcome::success();
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(m_db.lastError());
    const db::Rows deleted = m_db.queryRows(QStringLiteral("SELECT finl_stmt_id, subj_id, stmt_type_cd, year_dt, quarter_dt FROM finl_stmt "
                                                           "WHERE inac_ind IN(0,1) AND finl_stmt_id IN (")
                                            + idList(ids) + QLatin1Char(')'));
    if (!deleted.ok())
        return Outcome::failure(deleted.error);
    if (const Outcome o = markDeleted(idList(ids)); !o)
        return o;
    QList<db::audit::Change> changes;
    for (const QStringList &row : deleted.rows) {
        changes.append({db::audit::kDelete, db::audit::kStatement, row.value(0).toInt(), row.value(1).toInt(),
                        statementLabel(row.value(2).toInt(), row.value(3).toInt(), row.value(4).toInt())});
    }
    if (const Outcome o = db::audit::record(m_db, changes); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

Result<QHash<quint64, QList<PeriodStatement>>> periodStatements(db::Database &db, const QList<qint32> &entities)
{
    using Out = Result<QHash<quint64, QList<PeriodStatement>>>;
    Out out;
    const int chunk = db::idsPerStatement(db.backend());
    for (qsizetype from = 0; from < entities.size(); from += chunk) {
        QVariantList binds;
        const QList<qint64> ids(entities.begin() + from, entities.begin() + std::min<qsizetype>(entities.size(), from + chunk));
        const QString sql = QStringLiteral("SELECT subj_id, year_dt, quarter_dt, finl_stmt_id, stmt_type_cd, inac_ind FROM finl_stmt WHERE inac_ind IN (0, 1) AND ")
            + db::inList(db.backend(), QStringLiteral("subj_id"), ids, binds);
        const Outcome read = db::queryPrepared(db, sql, binds, [&](const db::PreparedRow &row) {
            out.value[periodKey(static_cast<qint32>(row.integer(0)), static_cast<int>(row.integer(1)), static_cast<int>(row.integer(2)))].append(
                {static_cast<qint32>(row.integer(3)), static_cast<int>(row.integer(4)), static_cast<int>(row.integer(5))});
        });
        if (!read)
            return Out::failure(read.error);
    }
    return out;
}

PairWriter::PairWriter(db::Database &db)
    : m_db(db)
{
}

PairWriter::~PairWriter() = default;

Outcome PairWriter::begin(const QList<qint32> &entities)
{
    for (const QString &table : {QStringLiteral("finl_stmt"), QStringLiteral("finl_item")}) {
        if (const Outcome o = m_db.serialiseWriters(table); !o)
            return o;
    }
    // As save() finds an entity: an active identification and an active name.
    const int chunk = db::idsPerStatement(m_db.backend());
    for (qsizetype from = 0; from < entities.size(); from += chunk) {
        QVariantList binds;
        const QList<qint64> ids(entities.begin() + from, entities.begin() + std::min<qsizetype>(entities.size(), from + chunk));
        const QString sql = QStringLiteral("SELECT i.subj_id, i.ident_txt FROM ident i WHERE i.inac_ind = 0 AND EXISTS (SELECT 1 FROM name n "
                                           "WHERE n.inac_ind = 0 AND n.subj_id = i.subj_id) AND ")
            + db::inList(m_db.backend(), QStringLiteral("i.subj_id"), ids, binds);
        const Outcome read = db::queryPrepared(m_db, sql, binds, [&](const db::PreparedRow &row) {
            const QString ico = row.text(1).trimmed();
            m_entities.insert(static_cast<qint32>(row.integer(0)), !ico.isEmpty() && ico != QLatin1String("skupina_"));
        });
        if (!read)
            return read;
    }
    Result<QHash<quint64, QList<PeriodStatement>>> periods = periodStatements(m_db, entities);
    if (!periods.ok())
        return periods.outcome();
    m_periods = std::move(periods.value);
    // The keys save() takes one by one (the smallest negative one less one), read once: the
    // lock keeps other writers out until the commit.
    qint32 *const keys[] = {&m_nextStatementRow, &m_nextStatementId, &m_nextItemRow};
    const char *const queries[] = {"SELECT COALESCE(MIN(row_id), 0) - 1 FROM finl_stmt WHERE row_id < 0",
                                   "SELECT COALESCE(MIN(finl_stmt_id), 0) - 1 FROM finl_stmt WHERE finl_stmt_id < 0",
                                   "SELECT COALESCE(MIN(row_id), 0) - 1 FROM finl_item WHERE row_id < 0"};
    for (int k = 0; k < 3; ++k) {
        const Result<QString> key = m_db.readValue(QString::fromLatin1(queries[k]));
        const auto id = db::parseId(key.value);
        if (!key.ok() || !id)
            return Outcome::failure(key.ok() ? QStringLiteral("Nový výkaz nelze přečíst zpět.") : key.error);
        *keys[k] = *id;
    }
    m_unpackedStatementId = m_nextStatementId;
    m_statements = std::make_unique<db::RowWriter>(m_db, QStringLiteral("finl_stmt"), 17);
    m_items = std::make_unique<db::RowWriter>(m_db, QStringLiteral("finl_item"), 7);
    return Outcome::success();
}

void PairWriter::entityCreated(qint32 entity)
{
    m_entities.insert(entity, true);
}

SavedPair PairWriter::write(const StatementPair &pair, bool replacePeriod)
{
    SavedPair out;
    if (!isStatementYear(n(pair.year)) || pair.quarter < 1 || pair.quarter > 4) {
        out.refusal = isStatementYear(n(pair.year)) ? QStringLiteral("Zadejte čtvrtletí 1 až 4.") : QStringLiteral("Zadejte platný rok!");
        return out;
    }
    const auto entity = m_entities.constFind(pair.entity);
    if (entity == m_entities.cend()) {
        out.refusal = QStringLiteral("Subjekt %1 neexistuje.").arg(pair.entity);
        return out;
    }
    if (!*entity) {
        out.refusal = QStringLiteral("Skupině subjektů nelze přiřadit výkaz.");
        return out;
    }
    QList<PeriodStatement> &stored = m_periods[periodKey(pair.entity, pair.year, pair.quarter)];
    QHash<int, qint32> replaced;
    if (replacePeriod) {
        // The active statement of a type is the one replaced when a kept inactive one is there too.
        for (const PeriodStatement &s : stored) {
            m_deleted << s.id;
            if (s.inactive == 0 || !replaced.contains(s.type))
                replaced.insert(s.type, s.id);
        }
        stored.clear();
    }
    for (const PeriodStatement &s : stored) {
        if (s.inactive == 0 && (s.type == 27 || s.type == 28)) {
            out.refusal = kExists;
            return out;
        }
    }
    for (int type : {27, 28}) {
        const qint32 id = m_nextStatementId--;
        Outcome o = m_statements->integer(m_nextStatementRow--).now().integer(0).integer(id).integer(pair.entity).integer(type).null().integer(0)
                        .null().integer(0).integer(0).null().text(kEnteredBy).integer(1).integer(pair.full ? 4 : 2).integer(pair.year)
                        .integer(pair.quarter).endRow();
        for (const auto &[code, amount] : type == 27 ? pair.balance : pair.income) {
            if (!o)
                break;
            const QString text = amount.text();
            if (!db::RowWriter::isDecimal(text)) {
                out.error = QStringLiteral("Řádek %1 nelze zapsat.").arg(code);
                return out;
            }
            o = m_items->integer(m_nextItemRow--).now().integer(0).integer(id).integer(pair.entity).integer(code).decimal(text).endRow();
        }
        if (!o) {
            out.error = o.error;
            return out;
        }
        stored.append({id, type, 0});
        (type == 27 ? out.ids.balance : out.ids.income) = id;
    }
    if (const Outcome o = db::audit::record(m_db, pairChanges(pair, out.ids, replaced)); !o)
        out.error = o.error;
    return out;
}

Outcome PairWriter::finish()
{
    for (db::RowWriter *writer : {m_statements.get(), m_items.get()}) {
        if (!writer)
            continue;
        if (const Outcome o = writer->flush(); !o)
            return o;
    }
    // Ids run down from the first one.
    if (const Outcome o = db::pack::statements(m_db, m_nextStatementId + 1, m_unpackedStatementId); !o)
        return o;
    m_unpackedStatementId = m_nextStatementId;
    // The replaced statements: no new row has their ids, so marking them after the inserts
    // leaves the same rows as marking them first.
    constexpr qsizetype kIdsPerUpdate = 500;
    for (qsizetype from = 0; from < m_deleted.size(); from += kIdsPerUpdate) {
        QStringList ids;
        for (qsizetype i = from; i < std::min(m_deleted.size(), from + kIdsPerUpdate); ++i)
            ids << n(m_deleted.at(i));
        if (const Outcome o = markDeleted(m_db, ids.join(QStringLiteral(", "))); !o)
            return o;
    }
    m_deleted.clear();
    return Outcome::success();
}

} // namespace verna::statements

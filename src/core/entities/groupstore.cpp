#include "entities/groupstore.h"

#include "base/textforms.h"
#include "db/audit.h"
#include "db/clssql_subj.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"
#include "entities/notes.h"

#include <QSet>

namespace verna::entities {

namespace {

QString n(qint64 value)
{
    return QString::number(value);
}

} // namespace

GroupStore::GroupStore(db::Database &db, int dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

Result<bool> GroupStore::isGroup(qint32 id)
{
    const Result<QString> found = m_db.readValue(QStringLiteral("SELECT subj_id FROM ident WHERE form_type_cd = 215 AND inac_ind IN(0,1) AND subj_id = ")
                                                 + n(id));
    return {!found.value.isEmpty(), found.error};
}

Result<GroupDetails> GroupStore::load(qint32 group)
{
    using Out = Result<GroupDetails>;
    const QString id = n(group);
    const db::Rows members = m_db.queryRows(
        QStringLiteral("SELECT DISTINCT m.mem_id, m.inac_ind, RTRIM(LTRIM(n.name_txt)), RTRIM(LTRIM(i.ident_txt)) FROM mem m, ident i, name n ")
        + QStringLiteral("WHERE m.subj_id = ") + id
        + QStringLiteral(" AND m.inac_ind IN(0,1) AND n.inac_ind = 0 AND i.inac_ind = 0 AND n.inac_ind = 0 ")
        + QStringLiteral("AND n.subj_id = m.mem_id AND i.subj_id = m.mem_id"));
    if (!members.ok())
        return Out::failure(members.error);
    const Result<QString> name = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = ") + id
                                                + QStringLiteral(" AND inac_ind = 0"));
    if (!name.ok())
        return Out::failure(name.error);
    Out out;
    out.value.name = name.value;
    const Result<QString> note = entities::loadNote(m_db, id);
    if (!note.ok())
        return Out::failure(note.error);
    out.value.note = note.value;
    for (const QStringList &row : members.rows) {
        if (const auto member = db::parseId(row.value(0)))
            out.value.members << GroupMember{*member, row.value(3) + QLatin1Char(' ') + row.value(2), row.value(1) == QLatin1String("0")};
    }
    return out;
}

Result<std::optional<GroupMember>> GroupStore::candidate(qint32 id)
{
    using Out = Result<std::optional<GroupMember>>;
    const Result<bool> group = isGroup(id);
    if (!group.ok())
        return Out::failure(group.error);
    if (group.value)
        return {};
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)) FROM ident i, name n WHERE i.inac_ind = 0 ")
                                         + QStringLiteral("AND i.subj_id = ") + n(id)
                                         + QStringLiteral(" AND i.subj_id = n.subj_id AND n.inac_ind = 0"));
    if (!rows.ok())
        return Out::failure(rows.error);
    if (rows.rows.isEmpty())
        return {};
    return {GroupMember{id, rows.rows.front().value(0) + QLatin1Char(' ') + rows.rows.front().value(1), true}, {}};
}

Result<QString> GroupStore::nameTaken(const QString &name, qint32 except)
{
    // Groups are known by their identification (form 215), whichever type their entity row has.
    const QString trimmed = name.trimmed();
    const Result<QString> found = m_db.readValue(
        QStringLiteral("SELECT RTRIM(LTRIM(n.name_txt)) FROM name n, ident i WHERE i.inac_ind IN(0, 1) AND i.form_type_cd = 215 ")
        + QStringLiteral("AND n.subj_id = i.subj_id AND n.inac_ind = 0 AND RTRIM(LTRIM(n.name_txt)) = ") + db::quoted(trimmed)
        + QStringLiteral(" AND n.subj_id <> ") + n(except));
    if (!found.ok())
        return Result<QString>::failure(found.error);
    if (found.value.isEmpty())
        return {};
    return {QStringLiteral("Skupina ") + trimmed + QStringLiteral("\r\n") + QStringLiteral("již existuje. Zadejte jiný název."), {}};
}

Written GroupStore::create(const QString &name, const QString &note, const QList<qint32> &members)
{
    Written out;
    const auto fail = [&out](const QString &error) {
        out.error = error;
        return out;
    };
    if (name.trimmed().isEmpty()) {
        out.refusal = QStringLiteral("Zadejte název pro skupinu.");
        return out;
    }
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return fail(m_db.lastError());
    // The name check and the new id hold against other writers until the commit.
    if (const Outcome o = m_db.serialiseWriters(QStringLiteral("ident")); !o)
        return fail(o.error);
    const Result<QString> taken = nameTaken(name);
    if (!taken.ok())
        return fail(taken.error);
    if (!taken.value.isEmpty()) {
        out.refusal = taken.value;
        return out;
    }
    db::clsSQL_subj subj;
    subj.setServer(static_cast<qint16>(m_dialect));
    subj.setIco(kGroupIdent);
    if (const Outcome o = m_db.execute(subj.getSQL_insert_ident(kGroupForm)); !o)
        return fail(o.error);
    const Result<QString> made = m_db.readValue(QStringLiteral("SELECT min(subj_id) FROM ident"));
    const auto id = db::parseId(made.value);
    if (!made.ok() || !id)
        return fail(made.ok() ? QStringLiteral("Novou skupinu nelze přečíst zpět.") : made.error);
    subj.setSubjid(*id);
    if (const Outcome o = m_db.execute(subj.getSQL_insert_subj(kGroupType)); !o)
        return fail(o.error);
    if (const Outcome o = m_db.execute(subj.getSQL_insert_name(name)); !o)
        return fail(o.error);
    QSet<qint32> written;
    for (qint32 member : members) {
        if (written.contains(member))
            continue;
        written.insert(member);
        if (const Outcome o = m_db.execute(subj.getSQL_insert_mem(member)); !o)
            return fail(o.error);
    }
    if (!note.isEmpty()) {
        if (const Outcome o = entities::storeNote(m_db, n(*id), note, m_dialect); !o)
            return fail(o.error);
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kInsert, db::audit::kEntityGroup, *id, *id, name.trimmed()}}); !o)
        return fail(o.error);
    if (!tx.commit())
        return fail(m_db.lastError());
    out.id = *id;
    return out;
}

Result<int> GroupStore::addMembers(qint32 group, const QList<qint32> &members)
{
    using Out = Result<int>;
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Out::failure(m_db.lastError());
    if (const Outcome o = m_db.serialiseWriters(QStringLiteral("mem")); !o)
        return Out::failure(o.error);
    db::clsSQL_subj subj;
    subj.setServer(static_cast<qint16>(m_dialect));
    subj.setSubjid(group);
    int count = 0;
    QSet<qint32> seen;
    for (qint32 member : members) {
        if (seen.contains(member))
            continue;
        seen.insert(member);
        // A member the group has, switched on or off, is not written twice.
        const Result<QString> has = m_db.readValue(QStringLiteral("SELECT count(*) FROM mem WHERE subj_id = ") + n(group)
                                                   + QStringLiteral(" AND mem_id = ") + n(member)
                                                   + QStringLiteral(" AND inac_ind IN(0,1)"));
        if (!has.ok())
            return Out::failure(has.error);
        if (has.value != QLatin1String("0"))
            continue;
        if (const Outcome o = m_db.execute(subj.getSQL_insert_mem(member)); !o)
            return Out::failure(o.error);
        ++count;
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kChange, db::audit::kEntityGroup, group, group,
                                                    QStringLiteral("přidaní členové: %1").arg(count)}});
        !o)
        return Out::failure(o.error);
    if (!tx.commit())
        return Out::failure(m_db.lastError());
    return {count, {}};
}

Outcome GroupStore::removeMember(qint32 group, qint32 member)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(m_db.lastError());
    if (const Outcome o = m_db.execute(QStringLiteral("UPDATE mem SET inac_ind = 2 WHERE subj_id = ") + n(group) + QStringLiteral(" ")
                                       + QStringLiteral("AND mem_id = ") + n(member));
        !o)
        return o;
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kChange, db::audit::kEntityGroup, group, member,
                                                    QStringLiteral("odebrán ze skupiny %1").arg(group)}});
        !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

Written GroupStore::rename(qint32 group, const QString &name)
{
    Written out;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        out.refusal = QStringLiteral("Zadejte název pro skupinu.");
        return out;
    }
    db::Transaction tx(m_db);
    if (!tx.isActive()) {
        out.error = m_db.lastError();
        return out;
    }
    const Result<QString> taken = nameTaken(trimmed, group);
    if (!taken.ok() || !taken.value.isEmpty()) {
        out.error = taken.error;
        out.refusal = taken.value;
        return out;
    }
    // The search form follows the name, or the search would find the group by its old name only.
    const Outcome o = m_db.execute(QStringLiteral("UPDATE name SET name_txt = ") + db::quoted(trimmed) + QStringLiteral(", srch_name_txt = ")
                                   + db::quoted(base::searchForm(trimmed)) + QStringLiteral(" WHERE subj_id = ") + n(group)
                                   + QStringLiteral(" AND inac_ind = 0"));
    const Outcome recorded = o ? db::audit::record(m_db, {{db::audit::kChange, db::audit::kEntityGroup, group, group, trimmed}}) : o;
    if (!recorded || !tx.commit())
        out.error = recorded ? m_db.lastError() : recorded.error;
    out.id = group;
    return out;
}

Outcome GroupStore::storeNote(qint32 group, const QString &note)
{
    return entities::storeNote(m_db, n(group), note, m_dialect);
}

Outcome GroupStore::remove(qint32 group)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(m_db.lastError());
    const QString id = n(group);
    for (const QString &update : {QStringLiteral("UPDATE ident SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE name SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE subj SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE mem SET inac_ind = 2 WHERE subj_id = ")}) {
        if (const Outcome o = m_db.execute(update + id); !o)
            return o;
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kDelete, db::audit::kEntityGroup, group, group, {}}}); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

} // namespace verna::entities

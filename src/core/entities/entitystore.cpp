#include "entities/entitystore.h"

#include "base/textforms.h"
#include "db/clssql_actv.h"
#include "db/audit.h"
#include "db/clssql_subj.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"
#include "entities/notes.h"

namespace verna::entities {

namespace {

QString n(qint64 value)
{
    return QString::number(value);
}

Outcome begun(const db::Transaction &tx, db::Database &db)
{
    return tx.isActive() ? Outcome::success() : Outcome::failure(db.lastError());
}

} // namespace

EntityStore::EntityStore(db::Database &db, int dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

Result<QList<ListItem>> EntityStore::legalForms()
{
    return codeList(QStringLiteral("SELECT RTRIM(LTRIM(value_txt)), RTRIM(LTRIM(val_agn)) FROM cd_val WHERE tbl_cd = 1 AND inac_ind = 0"),
                    {215});
}

Result<QList<ListItem>> EntityStore::entityTypes()
{
    return codeList(QStringLiteral("SELECT RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE tbl_cd = 11 AND inac_ind = 0"));
}

Result<QList<ListItem>> EntityStore::branchCodes()
{
    const db::Rows rows = m_db.queryRows(QStringLiteral(
        "SELECT RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE tbl_cd = 217 AND inac_ind = 0 ORDER BY 1"));
    if (!rows.ok())
        return Result<QList<ListItem>>::failure(rows.error);
    Result<QList<ListItem>> out;
    for (const QStringList &row : rows.rows) {
        if (const auto code = db::parseId(row.value(2)))
            out.value << ListItem{row.value(0) + QLatin1Char(' ') + row.value(1), *code};
    }
    return out;
}

QString EntityStore::inputError(const NewEntity &entity)
{
    if (entity.ico.size() != 8)
        return QStringLiteral("Zadejte IČO.");
    if (!base::isValidIco(entity.ico))
        return QStringLiteral("IČO ") + entity.ico + QStringLiteral(" není platné: nesouhlasí kontrolní číslice.");
    if (entity.name.trimmed().isEmpty())
        return QStringLiteral("Zadejte název subjektu.");
    if (!entity.legalForm)
        return QStringLiteral("Zadejte právní formu subjektu.");
    if (!entity.entityType)
        return QStringLiteral("Zadejte typ subjektu.");
    return QString();
}

Written EntityStore::create(const NewEntity &entity)
{
    Written out;
    out.refusal = inputError(entity);
    if (!out.refusal.isEmpty())
        return out;
    const auto fail = [&out](const QString &error) {
        out.error = error;
        return out;
    };
    db::Transaction tx(m_db);
    if (const Outcome o = begun(tx, m_db); !o)
        return fail(o.error);
    // The IČO check and the insert that makes the id stand together against other writers.
    if (const Outcome o = m_db.serialiseWriters(QStringLiteral("ident")); !o)
        return fail(o.error);
    const QString byIco = QStringLiteral("SELECT subj_id FROM ident WHERE ident_txt = ") + db::quoted(entity.ico)
        + QStringLiteral(" AND inac_ind = 0");
    const Result<QString> holder = m_db.readValue(byIco);
    if (!holder.ok())
        return fail(holder.error);
    if (!holder.value.isEmpty()) {
        const auto holderId = db::parseId(holder.value);
        const Result<QString> name = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = ")
                                                    + n(holderId.value_or(0)) + QStringLiteral(" AND inac_ind = 0"));
        if (!name.ok())
            return fail(name.error);
        out.refusal = QStringLiteral("IČO ") + entity.ico + QStringLiteral(" má přiřazen subjekt ") + name.value;
        return out;
    }
    db::clsSQL_subj subj;
    subj.setIco(entity.ico);
    subj.setServer(static_cast<qint16>(m_dialect));
    if (const Outcome o = m_db.execute(subj.getSQL_insert_ident(*entity.legalForm)); !o)
        return fail(o.error);
    const Result<QString> made = m_db.readValue(byIco);
    const auto id = db::parseId(made.value);
    if (!made.ok() || !id)
        return fail(made.ok() ? QStringLiteral("Nový subjekt nelze přečíst zpět.") : made.error);
    subj.setSubjid(*id);
    if (const Outcome o = m_db.execute(subj.getSQL_insert_name(entity.name)); !o)
        return fail(o.error);
    if (const Outcome o = m_db.execute(subj.getSQL_insert_subj(*entity.entityType)); !o)
        return fail(o.error);
    if (!entity.note.isEmpty()) {
        if (const Outcome o = entities::storeNote(m_db, n(*id), entity.note, m_dialect); !o)
            return fail(o.error);
    }
    db::clsSQL_actv actv;
    actv.setServer(static_cast<qint16>(m_dialect));
    actv.setSubjid(*id);
    for (int i = 0; i < std::min<int>(entity.branches.size(), kBranchSlots); ++i) {
        const qint32 code = entity.branches.at(i);
        if (code == 0)
            continue;
        if (code < 0 || code > 32767)
            return fail(QStringLiteral("Neplatný kód oboru: ") + n(code));
        if (const Outcome o = m_db.execute(actv.getSQL_insert_actv(static_cast<qint16>(code), static_cast<qint16>(kMainBranch + i))); !o)
            return fail(o.error);
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kInsert, db::audit::kEntity, *id, *id, entity.name.trimmed()}}); !o)
        return fail(o.error);
    if (!tx.commit())
        return fail(m_db.lastError());
    out.id = *id;
    return out;
}

Result<EntityDetails> EntityStore::load(qint32 id)
{
    using Out = Result<EntityDetails>;
    Out out;
    const QString subj = n(id);
    const Result<QString> name = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = ") + subj
                                                + QStringLiteral(" AND inac_ind = 0"));
    const Result<QString> ico = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(ident_txt)) FROM ident WHERE subj_id = ") + subj
                                               + QStringLiteral(" AND inac_ind = 0"));
    const db::Rows branches = m_db.queryRows(
        QStringLiteral("SELECT RTRIM(LTRIM(c.short_txt)), RTRIM(LTRIM(c.value_txt)), c.val_agn FROM cd_val c, actv a ")
        + QStringLiteral("WHERE c.inac_ind = 0 AND c.tbl_cd = 217 AND a.inac_ind = 0 AND a.actv_cd = c.val_agn ")
        + QStringLiteral("AND a.subj_id = ") + subj + QStringLiteral(" GROUP BY c.short_txt, c.value_txt, c.val_agn"));
    const db::Rows groups = m_db.queryRows(
        QStringLiteral("SELECT RTRIM(LTRIM(n.name_txt)), n.subj_id, m.inac_ind FROM mem m, name n WHERE m.mem_id = ") + subj
        + QStringLiteral(" ") + QStringLiteral("AND n.inac_ind = 0 AND m.inac_ind IN(0,1) AND m.subj_id = n.subj_id"));
    for (const QString &error : {name.error, ico.error, branches.error, groups.error}) {
        if (!error.isEmpty())
            return Out::failure(error);
    }
    out.value.name = name.value;
    out.value.ico = ico.value;
    const Result<QString> note = entities::loadNote(m_db, subj);
    if (!note.ok())
        return Out::failure(note.error);
    out.value.note = note.value;
    for (const QStringList &row : branches.rows) {
        if (const auto code = db::parseId(row.value(2)))
            out.value.branches << ListItem{row.value(0) + QLatin1Char(' ') + row.value(1), *code};
    }
    for (const QStringList &row : groups.rows) {
        if (const auto group = db::parseId(row.value(1)))
            out.value.groups << Membership{*group, row.value(0), row.value(2) == QLatin1String("0")};
    }
    return out;
}

Outcome EntityStore::save(qint32 id, const std::optional<QString> &name, const std::optional<QString> &note)
{
    if (name && name->trimmed().isEmpty())
        return Outcome::failure(QStringLiteral("Zadejte název subjektu."));
    db::Transaction tx(m_db);
    if (const Outcome o = begun(tx, m_db); !o)
        return o;
    if (name) {
        if (const Outcome o = m_db.execute(QStringLiteral("UPDATE name SET inac_ind = 2 WHERE subj_id = ") + n(id)
                                           + QStringLiteral(" AND inac_ind = 0"));
            !o)
            return o;
        db::clsSQL_subj subj;
        subj.setServer(static_cast<qint16>(m_dialect));
        subj.setSubjid(id);
        if (const Outcome o = m_db.execute(subj.getSQL_insert_name(*name)); !o)
            return o;
    }
    if (note) {
        if (const Outcome o = entities::storeNote(m_db, n(id), *note, m_dialect); !o)
            return o;
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kChange, db::audit::kEntity, id, id, name ? name->trimmed() : QString()}}); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

Outcome EntityStore::setMembership(qint32 group, qint32 member, bool active)
{
    db::Transaction tx(m_db);
    if (const Outcome o = begun(tx, m_db); !o)
        return o;
    if (const Outcome o = m_db.execute((active ? QStringLiteral("UPDATE mem SET inac_ind = 0 ") : QStringLiteral("UPDATE mem SET inac_ind = 1 "))
                                       + QStringLiteral("WHERE subj_id = ") + n(group) + QStringLiteral(" ") + QStringLiteral("AND mem_id = ")
                                       + n(member) + QStringLiteral(" AND inac_ind IN(0,1)"));
        !o)
        return o;
    const QString label = (active ? QStringLiteral("členství ve skupině %1 zapnuto") : QStringLiteral("členství ve skupině %1 vypnuto")).arg(group);
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kChange, db::audit::kEntityGroup, group, member, label}}); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

Outcome EntityStore::remove(qint32 id)
{
    db::Transaction tx(m_db);
    if (const Outcome o = begun(tx, m_db); !o)
        return o;
    const QString subj = n(id);
    for (const QString &update : {QStringLiteral("UPDATE ident SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE name SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE subj SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE actv SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE finl_stmt SET inac_ind = 2 WHERE subj_id = "),
                                  QStringLiteral("UPDATE mem SET inac_ind = 2 WHERE mem_id = ")}) {
        if (const Outcome o = m_db.execute(update + subj + QStringLiteral(" AND inac_ind = 0")); !o)
            return o;
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kDelete, db::audit::kEntity, id, id, {}}}); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

Result<QList<ListItem>> EntityStore::codeList(const QString &sql, const QList<qint32> &skipped)
{
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return Result<QList<ListItem>>::failure(rows.error);
    Result<QList<ListItem>> out;
    for (const QStringList &row : rows.rows) {
        const auto code = db::parseId(row.value(1));
        if (code && !skipped.contains(*code))
            out.value << ListItem{row.value(0), *code};
    }
    return out;
}

} // namespace verna::entities

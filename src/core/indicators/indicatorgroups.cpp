#include "indicators/indicatorgroups.h"

#include "db/audit.h"
#include "db/clssql_func.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"

#include <QSet>

namespace verna::indicators {

namespace {
QString n(qint64 value)
{
    return QString::number(value);
}
} // namespace

IndicatorGroups::IndicatorGroups(db::Database &db, qint16 dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

Result<QList<Entry>> IndicatorGroups::groups()
{
    return db::readNamedIds(m_db, QStringLiteral("SELECT RTRIM(LTRIM(func_grp_name)), func_grp_id FROM func_grp WHERE inac_ind = 0 ORDER BY 1"));
}

Result<QList<Entry>> IndicatorGroups::members(qint32 group)
{
    return db::readNamedIds(m_db, QStringLiteral("SELECT RTRIM(LTRIM(f.func_for_name)), f.func_for_id FROM func_for f, func_mem m "
                                                 "WHERE f.inac_ind = 0 AND m.inac_ind = 0 AND m.func_mem_grp = ")
                                      + n(group) + QStringLiteral(" AND f.func_for_id = m.func_mem_for"));
}

Result<QString> IndicatorGroups::description(qint32 group)
{
    return m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(func_grp_text)) FROM func_grp WHERE func_grp_id =") + n(group));
}

Result<bool> IndicatorGroups::nameTaken(const QString &name, std::optional<qint32> except)
{
    QString sql = QStringLiteral("SELECT RTRIM(LTRIM(func_grp_name)) FROM func_grp WHERE inac_ind = 0 AND func_grp_name = ")
        + db::quoted(name.trimmed());
    if (except)
        sql += QStringLiteral(" AND func_grp_id <> ") + n(*except);
    const db::Rows rows = m_db.queryRows(sql);
    return {!rows.rows.isEmpty(), rows.error};
}

Outcome IndicatorGroups::addMembers(qint32 group, const QList<qint32> &members)
{
    if (members.isEmpty())
        return Outcome::success();
    // Members the group has already are not written twice.
    const Result<QList<Entry>> present = this->members(group);
    if (!present.ok())
        return present.outcome();
    QSet<qint32> have;
    for (const Entry &e : present.value)
        have.insert(e.id);
    db::clsSQL_func builder;
    builder.setServer(m_dialect);
    builder.setSkupina(group);
    for (qint32 indicator : members) {
        if (have.contains(indicator))
            continue;
        have.insert(indicator);
        if (const Outcome added = m_db.execute(builder.getSQL_insert_func_mem(indicator)); !added)
            return added;
    }
    return Outcome::success();
}

Result<Saved> IndicatorGroups::create(const QString &name, const QString &description, const QList<qint32> &members)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Result<Saved>::failure(m_db.lastError());
    if (const Outcome locked = m_db.serialiseWriters(QStringLiteral("func_grp")); !locked)
        return Result<Saved>::failure(locked.error);
    const Result<bool> taken = nameTaken(name, std::nullopt);
    if (!taken.ok())
        return Result<Saved>::failure(taken.error);
    if (taken.value)
        return {{0, true}, {}};
    db::clsSQL_func builder;
    builder.setServer(m_dialect);
    if (const Outcome inserted = m_db.execute(builder.getSQL_insert_func_grp(name.trimmed(), description)); !inserted)
        return Result<Saved>::failure(inserted.error);
    const Result<QString> id = m_db.readValue(QStringLiteral("SELECT min(func_grp_id) FROM func_grp"));
    if (!id.ok())
        return Result<Saved>::failure(id.error);
    const qint32 group = id.value.toInt();
    if (const Outcome added = addMembers(group, members); !added)
        return Result<Saved>::failure(added.error);
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kInsert, db::audit::kIndicatorGroup, group, {}, name.trimmed()}}); !o)
        return Result<Saved>::failure(o.error);
    if (!tx.commit())
        return Result<Saved>::failure(m_db.lastError());
    return {{group, false}, {}};
}

Result<Saved> IndicatorGroups::change(qint32 group, const std::optional<QString> &name, const std::optional<QString> &description,
                                      const QList<qint32> &added)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Result<Saved>::failure(m_db.lastError());
    if (const Outcome locked = m_db.serialiseWriters(QStringLiteral("func_grp")); !locked)
        return Result<Saved>::failure(locked.error);
    if (name) {
        const Result<bool> taken = nameTaken(*name, group);
        if (!taken.ok())
            return Result<Saved>::failure(taken.error);
        if (taken.value)
            return {{group, true}, {}};
        if (const Outcome done = m_db.execute(QStringLiteral("UPDATE func_grp SET func_grp_name = ") + db::quoted(name->trimmed())
                                              + QStringLiteral(" WHERE func_grp_id = ") + n(group));
            !done)
            return Result<Saved>::failure(done.error);
    }
    if (description) {
        if (const Outcome done = m_db.execute(QStringLiteral("UPDATE func_grp SET func_grp_text = ") + db::quoted(*description)
                                              + QStringLiteral(" WHERE func_grp_id = ") + n(group));
            !done)
            return Result<Saved>::failure(done.error);
    }
    if (const Outcome done = addMembers(group, added); !done)
        return Result<Saved>::failure(done.error);
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kChange, db::audit::kIndicatorGroup, group, {}, name ? name->trimmed() : QString()}});
        !o)
        return Result<Saved>::failure(o.error);
    if (!tx.commit())
        return Result<Saved>::failure(m_db.lastError());
    return {{group, false}, {}};
}

Outcome IndicatorGroups::removeMember(qint32 group, qint32 indicator)
{
    return writeRecorded(QStringLiteral("UPDATE func_mem SET inac_ind = 2 WHERE func_mem_grp = ") + n(group)
                             + QStringLiteral(" AND func_mem_for = ") + n(indicator),
                         {db::audit::kChange, db::audit::kIndicatorGroup, group, {}, QStringLiteral("odebrán ukazatel %1").arg(indicator)});
}

Outcome IndicatorGroups::remove(qint32 group)
{
    return writeRecorded(QStringLiteral("UPDATE func_grp SET inac_ind = 2 WHERE func_grp_id = ") + n(group),
                         {db::audit::kDelete, db::audit::kIndicatorGroup, group, {}, {}});
}

Outcome IndicatorGroups::writeRecorded(const QString &sql, const db::audit::Change &change)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(m_db.lastError());
    if (const Outcome done = m_db.execute(sql); !done)
        return done;
    if (const Outcome o = db::audit::record(m_db, {change}); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

} // namespace verna::indicators

#include "entities/groupmembers.h"

#include "db/database.h"
#include "db/sqlquote.h"

namespace verna::entities {

Result<bool> isSingleEntity(db::Database &db, const QString &entityId)
{
    if (!db::isId(entityId))
        return {false, {}};
    const db::Rows rows = db.queryRows(
        QStringLiteral("SELECT subj_id FROM ident WHERE form_type_cd = 215 AND inac_ind IN(0,1) AND subj_id = '") + entityId
        + QStringLiteral("'"));
    if (!rows.ok())
        return Result<bool>::failure(rows.error);
    return {rows.rows.isEmpty(), {}};
}

Result<QList<qint32>> groupMembers(db::Database &db, qint32 group)
{
    const db::Rows rows = db.queryRows(QStringLiteral("SELECT mem_id FROM mem WHERE subj_id = ") + QString::number(group)
                                       + QStringLiteral(" AND inac_ind = 0"));
    if (!rows.ok())
        return Result<QList<qint32>>::failure(rows.error);
    Result<QList<qint32>> members;
    for (const QStringList &row : rows.rows) {
        if (const auto id = db::parseId(row.value(0)))
            members.value << *id;
    }
    return members;
}

Result<QList<qint32>> entitiesToAdd(db::Database &db, qint32 entity, bool expandGroups)
{
    const Result<bool> single = expandGroups ? isSingleEntity(db, QString::number(entity)) : Result<bool>{true, {}};
    if (!single.ok())
        return Result<QList<qint32>>::failure(single.error);
    if (single.value)
        return {{entity}, {}};
    return groupMembers(db, entity);
}

} // namespace verna::entities

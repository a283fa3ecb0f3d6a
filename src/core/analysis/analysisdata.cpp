#include "analysis/analysisdata.h"

#include "db/database.h"
#include "db/preparedquery.h"
#include "db/sqlquote.h"
#include "entities/groupmembers.h"

#include <QSet>
#include <algorithm>

namespace verna::analysis {

namespace {
QString n(qint64 value)
{
    return QString::number(value);
}
} // namespace

AnalysisData::AnalysisData(db::Database &db)
    : m_db(db)
{
}

Result<QList<int>> AnalysisData::integers(const QString &sql)
{
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return Result<QList<int>>::failure(rows.error);
    Result<QList<int>> out;
    for (const QStringList &row : rows.rows) {
        if (const auto v = db::parseId(row.value(0)))
            out.value << *v;
    }
    return out;
}

Result<QList<NamedId>> AnalysisData::indicatorGroups()
{
    return db::readNamedIds(m_db, QStringLiteral("SELECT RTRIM(LTRIM(func_grp_name)), func_grp_id FROM func_grp WHERE inac_ind = 0"));
}

Result<QList<NamedId>> AnalysisData::entityGroups()
{
    return db::readNamedIds(m_db, QStringLiteral("SELECT RTRIM(LTRIM(n.name_txt)), i.subj_id FROM ident i, name n WHERE i.inac_ind = 0 "
                                                 "AND i.form_type_cd = 215 AND n.subj_id = i.subj_id AND n.inac_ind = 0 ORDER BY 1"));
}

Result<QList<NamedId>> AnalysisData::indicators(int groupId)
{
    return db::readNamedIds(m_db, groupId == 0
        ? QStringLiteral("SELECT RTRIM(LTRIM(func_for_name)), func_for_id FROM func_for WHERE inac_ind = 0 ORDER BY 1")
        : QStringLiteral("SELECT RTRIM(LTRIM(f.func_for_name)), f.func_for_id FROM func_for f, func_mem m "
                         "WHERE f.inac_ind = 0 AND m.inac_ind = 0 AND m.func_mem_grp = ")
            + n(groupId) + QStringLiteral(" AND f.func_for_id = m.func_mem_for ORDER BY 1"));
}

Result<QString> AnalysisData::indicatorDescription(int indicatorId)
{
    return m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(func_for_txt)) FROM func_for WHERE func_for_id = ") + n(indicatorId));
}

Result<std::optional<std::pair<QString, QString>>> AnalysisData::entityIdentity(qint32 entity)
{
    using Identity = Result<std::optional<std::pair<QString, QString>>>;
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)) FROM ident i, name n "
                                                        "WHERE i.inac_ind = 0 AND n.inac_ind = 0 AND i.subj_id = ")
                                         + n(entity) + QStringLiteral(" AND i.subj_id = n.subj_id"));
    if (!rows.ok())
        return Identity::failure(rows.error);
    Identity out;
    if (!rows.rows.isEmpty())
        out.value = std::make_pair(rows.rows.front().value(0), rows.rows.front().value(1));
    return out;
}

Result<QList<int>> AnalysisData::yearsOf(qint32 entity)
{
    return integers(QStringLiteral("SELECT DISTINCT year_dt FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd IN (27,28) AND subj_id = ")
                    + n(entity) + QStringLiteral(" ORDER BY year_dt"));
}

Result<QList<int>> AnalysisData::treeQuarters(qint32 entity, int year)
{
    // DISTINCT: a duplicate income statement must not give a quarter twice.
    return integers(QStringLiteral("SELECT DISTINCT quarter_dt FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ") + n(entity)
                    + QStringLiteral(" AND stmt_type_cd = 28 AND year_dt = ") + n(year) + QStringLiteral(" ORDER BY quarter_dt"));
}

Result<QList<int>> AnalysisData::rowQuarters(qint32 entity, int year)
{
    return integers(QStringLiteral("SELECT DISTINCT quarter_dt FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ") + n(entity)
                    + QStringLiteral(" AND stmt_type_cd IN(27,28) AND year_dt = ") + n(year) + QStringLiteral(" ORDER BY quarter_dt"));
}

Result<QList<qint32>> AnalysisData::groupMembers(qint32 group)
{
    return entities::groupMembers(m_db, group);
}

Result<int> AnalysisData::statementCount(qint32 entity, int year, int quarter)
{
    const Result<QString> count = m_db.readValue(QStringLiteral("SELECT count(*) FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ") + n(entity)
                                                 + QStringLiteral(" AND year_dt = ") + n(year) + QStringLiteral(" AND quarter_dt = ") + n(quarter));
    return {count.value.toInt(), count.error};
}

Result<QString> AnalysisData::rowEntityName(qint32 entity)
{
    return m_db.readValue(QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = ") + n(entity)
                          + QStringLiteral(" AND inac_ind = 0"));
}

namespace {
QList<qint64> ids(const QList<qint32> &entities)
{
    return QList<qint64>(entities.begin(), entities.end());
}
} // namespace

Result<QList<RowKey>> AnalysisData::rowPeriods(const QList<qint32> &entities, int firstYear, int lastYear)
{
    QHash<qint32, QList<RowKey>> byEntity;
    const int block = db::idsPerStatement(m_db.backend());
    for (int start = 0; start < entities.size(); start += block) {
        QVariantList values{firstYear, lastYear};
        const QString list = db::inList(m_db.backend(), QStringLiteral("subj_id"), ids(entities.mid(start, block)), values);
        const Outcome read = db::queryPrepared(m_db,
                                               QStringLiteral("SELECT DISTINCT subj_id, year_dt, quarter_dt FROM finl_stmt WHERE inac_ind = 0 "
                                                              "AND stmt_type_cd IN (27, 28) AND year_dt BETWEEN ? AND ? AND ")
                                                   + list,
                                               values, [&](const db::PreparedRow &row) {
                                                   const auto entity = static_cast<qint32>(row.integer(0));
                                                   byEntity[entity] << RowKey{static_cast<int>(row.integer(1)), static_cast<int>(row.integer(2)), entity};
                                               });
        if (!read)
            return Result<QList<RowKey>>::failure(read.error);
    }
    Result<QList<RowKey>> out;
    QSet<qint32> seen;
    for (qint32 entity : entities) {
        if (seen.contains(entity))
            continue;
        seen.insert(entity);
        QList<RowKey> keys = byEntity.value(entity);
        std::sort(keys.begin(), keys.end(), [](const RowKey &a, const RowKey &b) { return std::pair(a.year, a.quarter) < std::pair(b.year, b.quarter); });
        out.value << keys;
    }
    return out;
}

Result<QHash<qint32, QString>> AnalysisData::rowEntityNames(const QList<qint32> &entities)
{
    Result<QHash<qint32, QString>> out;
    const int block = db::idsPerStatement(m_db.backend());
    for (int start = 0; start < entities.size(); start += block) {
        QVariantList values;
        const QString list = db::inList(m_db.backend(), QStringLiteral("subj_id"), ids(entities.mid(start, block)), values);
        const Outcome read = db::queryPrepared(m_db, QStringLiteral("SELECT subj_id, RTRIM(LTRIM(name_txt)) FROM name WHERE inac_ind = 0 AND ") + list,
                                               values, [&](const db::PreparedRow &row) {
                                                   const auto entity = static_cast<qint32>(row.integer(0));
                                                   if (!out.value.contains(entity))
                                                       out.value.insert(entity, row.text(1));
                                               });
        if (!read)
            return Result<QHash<qint32, QString>>::failure(read.error);
    }
    return out;
}

} // namespace verna::analysis

#include "analysis/analysisdata.h"

#include "db/database.h"
#include "db/sqlquote.h"

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

QList<int> AnalysisData::integers(const QString &sql)
{
    QList<int> out;
    db::RecordSet rs = m_db.openRecordSet(sql);
    while (rs.next()) {
        if (const auto v = db::parseId(rs.text(0)))
            out << *v;
    }
    return out;
}

QList<NamedId> AnalysisData::indicatorGroups()
{
    QList<NamedId> out;
    db::RecordSet rs = m_db.openRecordSet(QStringLiteral("SELECT RTRIM(LTRIM(func_grp_name)), func_grp_id FROM func_grp WHERE inac_ind = 0"));
    while (rs.next()) {
        if (const auto id = db::parseId(rs.text(1)))
            out.append({rs.text(0), *id});
    }
    return out;
}

QList<NamedId> AnalysisData::indicators(int groupId)
{
    const QString sql = groupId == 0
        ? QStringLiteral("SELECT RTRIM(LTRIM(func_for_name)), func_for_id FROM func_for WHERE inac_ind = 0 ORDER BY 1")
        : QStringLiteral("SELECT RTRIM(LTRIM(f.func_for_name)), f.func_for_id FROM func_for f, func_mem m "
                         "WHERE f.inac_ind = 0 AND m.inac_ind = 0 AND m.func_mem_grp = ")
            + n(groupId) + QStringLiteral(" AND f.func_for_id = m.func_mem_for ORDER BY 1");
    QList<NamedId> out;
    db::RecordSet rs = m_db.openRecordSet(sql);
    while (rs.next()) {
        if (const auto id = db::parseId(rs.text(1)))
            out.append({rs.text(0), *id});
    }
    return out;
}

QString AnalysisData::indicatorDescription(int indicatorId)
{
    return m_db.singleValue(QStringLiteral("SELECT RTRIM(LTRIM(func_for_txt)) FROM func_for WHERE func_for_id = ") + n(indicatorId));
}

std::optional<std::pair<QString, QString>> AnalysisData::entityIdentity(qint32 entity)
{
    db::RecordSet rs = m_db.openRecordSet(QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)) FROM ident i, name n "
                                                         "WHERE i.inac_ind = 0 AND n.inac_ind = 0 AND i.subj_id = ")
                                          + n(entity) + QStringLiteral(" AND i.subj_id = n.subj_id"));
    if (!rs.next())
        return std::nullopt;
    return std::make_pair(rs.text(0), rs.text(1));
}

QList<int> AnalysisData::yearsOf(qint32 entity)
{
    return integers(QStringLiteral("SELECT DISTINCT year_dt FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd IN (27,28) AND subj_id = ")
                    + n(entity) + QStringLiteral(" ORDER BY year_dt"));
}

QList<int> AnalysisData::treeQuarters(qint32 entity, int year)
{
    // DISTINCT: a duplicate income statement must not give a quarter twice.
    return integers(QStringLiteral("SELECT DISTINCT quarter_dt FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ") + n(entity)
                    + QStringLiteral(" AND stmt_type_cd = 28 AND year_dt = ") + n(year) + QStringLiteral(" ORDER BY quarter_dt"));
}

QList<int> AnalysisData::rowQuarters(qint32 entity, int year)
{
    return integers(QStringLiteral("SELECT DISTINCT quarter_dt FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ") + n(entity)
                    + QStringLiteral(" AND stmt_type_cd IN(27,28) AND year_dt = ") + n(year) + QStringLiteral(" ORDER BY quarter_dt"));
}

QList<qint32> AnalysisData::groupMembers(qint32 group)
{
    return integers(QStringLiteral("SELECT mem_id FROM mem WHERE subj_id = ") + n(group) + QStringLiteral(" AND inac_ind = 0"));
}

int AnalysisData::statementCount(qint32 entity, int year, int quarter)
{
    return m_db
        .singleValue(QStringLiteral("SELECT count(*) FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ") + n(entity)
                     + QStringLiteral(" AND year_dt = ") + n(year) + QStringLiteral(" AND quarter_dt = ") + n(quarter))
        .toInt();
}

QString AnalysisData::rowEntityName(qint32 entity)
{
    return m_db.singleValue(QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(name_txt)) FROM name WHERE subj_id = ") + n(entity)
                            + QStringLiteral(" AND inac_ind = 0"));
}

} // namespace verna::analysis

#include "db/clssql_subj.h"

#include "base/textforms.h"
#include "db/sqlquote.h"

namespace verna::db {

namespace {
const QChar CR = QLatin1Char('\r');
QString n(qint64 value)
{
    return QString::number(value);
}
} // namespace

QString clsSQL_subj::getSQL_insert_ident(qint32 form_type_cd) const
{
    const QString ico = escapeApostrophes(m_ico);
    if (m_server == 1)
        return QStringLiteral("INSERT INTO ident VALUES (") + QStringLiteral("(SELECT (min(row_id)-1) FROM ident),")
            + QStringLiteral("getdate(),0,") + QStringLiteral("(SELECT (min(subj_id)-1) FROM ident),") + QStringLiteral("23,'") + ico
            + QStringLiteral("' ,null,0,null,0,") + n(form_type_cd) + QStringLiteral(")");
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("DECLARE @subjid int") + CR
            + QStringLiteral("SELECT @row = (min(row_id)-1) FROM ident") + CR + QStringLiteral("SELECT @subjid = (min(subj_id)-1) FROM ident")
            + CR + QStringLiteral("INSERT INTO ident VALUES (") + QStringLiteral("@row,") + QStringLiteral("getdate(),0,")
            + QStringLiteral("@subjid,") + QStringLiteral("23,'") + ico + QStringLiteral("',null,0,null,0,") + n(form_type_cd)
            + QStringLiteral(")");
    return QString();
}

QString clsSQL_subj::getSQL_insert_name(const QString &name) const
{
    const QString trimmed = name.trimmed();
    const QString values = QStringLiteral("getdate(),0,") + n(m_subjid) + QStringLiteral(",") + QStringLiteral("22,") + QStringLiteral("'")
        + escapeApostrophes(trimmed) + QStringLiteral("',") + QStringLiteral("null,0,null,0,") + QStringLiteral("'")
        + escapeApostrophes(base::searchForm(trimmed)) + QStringLiteral("')");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO name VALUES (") + QStringLiteral("(SELECT (min(row_id)-1) FROM name),") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("SELECT @row = (min(row_id)-1) FROM name") + CR
            + QStringLiteral("INSERT INTO name VALUES (") + QStringLiteral("@row,") + values;
    return QString();
}

QString clsSQL_subj::getSQL_insert_subj(qint32 subj_type_cd) const
{
    const QString values = QStringLiteral("getdate(),0,") + n(m_subjid) + QStringLiteral(",") + n(subj_type_cd)
        + QStringLiteral(",null,0,null,0,null)");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO subj VALUES (") + QStringLiteral("(SELECT (min(row_id)-1) FROM subj),") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("SELECT @row = (min(row_id)-1) FROM subj") + CR
            + QStringLiteral("INSERT INTO subj VALUES (") + QStringLiteral("@row,") + values;
    return QString();
}

QString clsSQL_subj::getSQL_insert_mem(qint32 mem_id) const
{
    const QString values = QStringLiteral("getdate(),0,") + n(m_subjid) + QStringLiteral(",") + n(mem_id) + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO mem VALUES (") + QStringLiteral("(select (min(row_id)-1) from mem),") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("SELECT @row = (min(row_id)-1) FROM mem") + CR
            + QStringLiteral("INSERT INTO mem VALUES (") + QStringLiteral("@row,") + values;
    return QString();
}

} // namespace verna::db

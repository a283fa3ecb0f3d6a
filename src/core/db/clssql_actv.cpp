#include "db/clssql_actv.h"

namespace verna::db {

QString clsSQL_actv::getSQL_insert_actv(qint16 actv_cd, qint16 actv_nbr) const
{
    const QString values = QString::number(m_subjid) + QStringLiteral(",") + QString::number(actv_cd) + QStringLiteral(",")
        + QString::number(actv_nbr) + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO actv VALUES (") + QStringLiteral("(SELECT (min(row_id)-1) FROM actv),")
            + QStringLiteral("getdate(),") + QStringLiteral("0,") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int\rSELECT @row = (min(row_id) - 1) FROM actv\r") + QStringLiteral("INSERT INTO actv VALUES(")
            + QStringLiteral("@row,") + QStringLiteral("getdate(),0,") + values;
    return QString();
}

} // namespace verna::db

#include "db/clssql_func.h"

#include "db/sqlquote.h"

namespace verna::db {

namespace {
const QChar CR = QLatin1Char('\r');
QString text(const QString &value)
{
    return QStringLiteral("'") + escapeApostrophes(value) + QStringLiteral("'");
}
} // namespace

QString clsSQL_func::getSQL_insert_func_for(const QString &name, const QString &formula, const QString &description) const
{
    const QString values = QStringLiteral("0,") + text(name.trimmed()) + QStringLiteral(",") + text(formula.trimmed()) + QStringLiteral(",")
        + text(description.trimmed()) + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO func_for VALUES(") + QStringLiteral("(SELECT min(row_id)-1 FROM func_for),")
            + QStringLiteral("getdate(),") + QStringLiteral("(SELECT min(func_for_id)-1 FROM func_for),") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("DECLARE @func_for_id int") + CR
            + QStringLiteral("SELECT @row = (min(row_id) - 1) FROM func_for") + CR
            + QStringLiteral("SELECT @func_for_id = (min(func_for_id)-1) FROM func_for") + CR + QStringLiteral("INSERT INTO func_for VALUES(")
            + QStringLiteral("@row,") + QStringLiteral("getdate(),") + QStringLiteral("@func_for_id,") + values;
    return QString();
}

QString clsSQL_func::getSQL_insert_func_mem(qint32 func_for_id) const
{
    const QString values = QStringLiteral("getdate(),") + QStringLiteral("0,") + QString::number(m_skupina) + QStringLiteral(",")
        + QString::number(func_for_id) + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO func_mem VALUES (") + QStringLiteral("(SELECT min(row_id) - 1 FROM func_mem),") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("SELECT @row = (min(row_id) - 1) FROM func_mem") + CR
            + QStringLiteral("INSERT INTO func_mem VALUES (") + QStringLiteral("@row,") + values;
    return QString();
}

QString clsSQL_func::getSQL_insert_func_grp(const QString &name, const QString &description) const
{
    const QString values = QStringLiteral("getdate(),") + QStringLiteral("0,");
    const QString texts = text(name) + QStringLiteral(",") + text(description) + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO func_grp VALUES (") + QStringLiteral("(SELECT min(row_id) - 1 FROM func_grp),") + values
            + QStringLiteral("(SELECT min(func_grp_id) - 1 FROM func_grp),") + texts;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("SELECT @row = (min(row_id) - 1) FROM func_grp") + CR
            + QStringLiteral("DECLARE @func_grp_id int") + CR + QStringLiteral("SELECT @func_grp_id = (min(func_grp_id) - 1) FROM func_grp")
            + CR + QStringLiteral("INSERT INTO func_grp VALUES (") + QStringLiteral("@row,") + values + QStringLiteral("@func_grp_id,") + texts;
    return QString();
}

} // namespace verna::db

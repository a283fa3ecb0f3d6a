#include "db/clssql_finl.h"

#include "db/sqlquote.h"

#include <QRegularExpression>

namespace verna::db {

namespace {
const QChar CR = QLatin1Char('\r');
QString n(qint64 value)
{
    return QString::number(value);
}

bool isAmount(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    return number.match(text).hasMatch();
}

bool isStatementId(const QString &text)
{
    return isId(text) || text == QLatin1String("@stmt_id");
}
} // namespace

void clsSQL_finl::setCtvrtleti(qint16 ctvrtleti)
{
    if (ctvrtleti >= 1 && ctvrtleti <= 4)
        m_ctvrtleti = ctvrtleti;
}

void clsSQL_finl::setPlna(bool plna)
{
    m_plna = plna;
    m_fillLevel = plna ? 4 : 2;
}

void clsSQL_finl::setTyp_vykazu(qint16 typ)
{
    if (typ != 1 && typ != 2)
        return;
    m_typ = typ;
    m_typeCode = typ == 1 ? 27 : 28;
}

QString clsSQL_finl::getSQL_insert_finl_stmt() const
{
    const QString values = n(m_subjid) + QStringLiteral(",") + n(m_typeCode) + QStringLiteral(",null,0,null,0,0,")
        + QStringLiteral("null,'uživatel',1,") + n(m_fillLevel) + QStringLiteral(",") + n(m_rok) + QStringLiteral(",") + n(m_ctvrtleti)
        + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO finl_stmt VALUES(") + QStringLiteral("(SELECT (min(row_id)-1) FROM finl_stmt),")
            + QStringLiteral("getdate(),0,") + QStringLiteral("(SELECT (min(finl_stmt_id)-1) FROM finl_stmt),") + values;
    if (m_server == 2)
        return QStringLiteral("DECLARE @row int") + CR + QStringLiteral("DECLARE @stmt_id int") + CR
            + QStringLiteral("SELECT @row = (min(row_id) - 1) FROM finl_stmt") + CR
            + QStringLiteral("SELECT @stmt_id = (min(finl_stmt_id)-1) FROM finl_stmt") + CR + QStringLiteral("INSERT INTO finl_stmt VALUES(")
            + QStringLiteral("@row,") + QStringLiteral("getdate(),0,") + QStringLiteral("@stmt_id,") + values;
    return QString();
}

QString clsSQL_finl::getSQL_insert_finl_item(const QString &stmt, const QString &item, const QString &amount) const
{
    if (!isStatementId(stmt) || !isId(item) || !isAmount(amount))
        return QString();
    const QString values = QStringLiteral("getdate(),0,") + stmt + QStringLiteral(",") + n(m_subjid) + QStringLiteral(",") + item
        + QStringLiteral(",") + amount + QStringLiteral(")");
    if (m_server == 1)
        return QStringLiteral("INSERT INTO finl_item VALUES(") + QStringLiteral("(SELECT (min(row_id)-1) FROM finl_item),") + values;
    if (m_server == 2)
        return QStringLiteral("SELECT @row = (min(row_id) - 1) FROM finl_item") + CR + QStringLiteral("INSERT INTO finl_item VALUES(")
            + QStringLiteral("@row,") + values;
    return QString();
}

QString clsSQL_finl::getSQL_finl_stmt_id() const
{
    return QStringLiteral("SELECT finl_stmt_id FROM finl_stmt WHERE subj_id = ") + n(m_subjid) + QStringLiteral(" AND inac_ind = 0 ")
        + QStringLiteral("AND year_dt = ") + n(m_rok) + QStringLiteral(" AND quarter_dt = ") + n(m_ctvrtleti)
        + QStringLiteral(" AND stmt_type_cd = ") + n(m_typeCode);
}

QString clsSQL_finl::getSQL_fill_lvl_ind(const QString &stmt) const
{
    if (!isId(stmt))
        return QString();
    return QStringLiteral("SELECT fill_lvl_ind FROM finl_stmt WHERE finl_stmt_id = ") + stmt + QStringLiteral(" AND inac_ind = 0");
}

QString clsSQL_finl::getSQL_amt_val(const QString &stmt, qint16 item) const
{
    if (!isId(stmt))
        return QString();
    return QStringLiteral("SELECT amt_val FROM finl_item WHERE finl_stmt_id = ") + stmt
        + QStringLiteral(" AND inac_ind = 0 AND item_type_cd = ") + n(item);
}

} // namespace verna::db

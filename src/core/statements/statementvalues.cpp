#include "statements/statementvalues.h"

#include "db/database.h"
#include "db/sqlquote.h"
#include "indicators/evaluator.h"
#include "indicators/period.h"

namespace verna::statements {

Result<QString> getHodnotaPolozky(db::Database &db, int itemCode, const QString &stmtId)
{
    if (!db::isId(stmtId))
        return {};
    const QString sql = QStringLiteral("SELECT amt_val FROM finl_item ") + QStringLiteral("WHERE inac_ind = 0 AND finl_stmt_id = ") + stmtId
        + QStringLiteral(" ") + QStringLiteral("AND item_type_cd = ") + QString::number(itemCode);
    db.setSharedSql(sql);
    return db.readValue(sql);
}

Result<QString> getHodnotaUkazatele(db::Database &db, indicators::Evaluator &evaluator, int formulaId, const QString &stmtId)
{
    if (!db::isId(stmtId))
        return {};
    const QString sql = QStringLiteral("SELECT subj_id, year_dt, quarter_dt FROM finl_stmt WHERE finl_stmt_id = ") + stmtId;
    db.setSharedSql(sql);
    const db::Rows rows = db.queryRows(sql);
    if (!rows.ok())
        return Result<QString>::failure(rows.error);
    if (rows.rows.isEmpty())
        return {};
    const QStringList &row = rows.rows.front();
    const auto period = indicators::Period::fromTexts(row.value(0), row.value(1), row.value(2));
    if (!period)
        return {};
    return evaluator.indicatorValue(formulaId, *period);
}

QString formatRadekPolozky(QString &name, const QString &value)
{
    name = name.left(40).leftJustified(40, QLatin1Char(' '));
    return name + value.rightJustified(15, QLatin1Char(' '));
}

} // namespace verna::statements

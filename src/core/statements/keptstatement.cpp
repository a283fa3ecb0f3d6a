#include "statements/keptstatement.h"

#include "db/database.h"

namespace verna::statements {

QString KeptStatement::title() const
{
    return (type == 27 ? QStringLiteral("Rozvaha %1/%2") : QStringLiteral("Výsledovka %1/%2")).arg(year).arg(quarter)
        + (active ? QString() : QStringLiteral(" (neplatná, nahrazená nebo smazaná)"));
}

Result<KeptStatement> readKeptStatement(db::Database &db, qint32 id)
{
    using Out = Result<KeptStatement>;
    const QString key = QString::number(id);
    const db::Rows head = db.queryRows(QStringLiteral("SELECT stmt_type_cd, fill_lvl_ind, year_dt, quarter_dt, subj_id, inac_ind "
                                                      "FROM finl_stmt WHERE finl_stmt_id = ")
                                       + key);
    if (!head.ok())
        return Out::failure(head.error);
    Out out;
    if (head.rows.isEmpty())
        return out;
    const QStringList &row = head.rows.front();
    KeptStatement &s = out.value;
    s.found = true;
    s.type = row.value(0).toInt();
    s.full = row.value(1).toInt() == 4;
    s.year = row.value(2).toInt();
    s.quarter = row.value(3).toInt();
    s.entity = row.value(4).toInt();
    s.active = row.value(5).toInt() != 2;
    const Result<QList<StatementLine>> lines = StatementStore(db).lines(s.type, s.full);
    if (!lines.ok())
        return Out::failure(lines.error);
    s.lines = lines.value;
    // The lines were made inactive with their statement: all of them belong to it.
    const db::Rows items = db.queryRows(QStringLiteral("SELECT item_type_cd, amt_val FROM finl_item WHERE finl_stmt_id = ") + key
                                        + QStringLiteral(" ORDER BY row_id DESC"));
    if (!items.ok())
        return Out::failure(items.error);
    for (const QStringList &item : items.rows)
        s.amounts.insert(item.value(0).toInt(), item.value(1));
    return out;
}

} // namespace verna::statements

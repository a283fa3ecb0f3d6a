#include "db/namedid.h"

#include "db/database.h"
#include "db/sqlquote.h"

namespace verna::db {

Result<QList<NamedId>> readNamedIds(Database &database, const QString &sql)
{
    const Rows rows = database.queryRows(sql);
    if (!rows.ok())
        return Result<QList<NamedId>>::failure(rows.error);
    Result<QList<NamedId>> out;
    out.value.reserve(rows.rows.size());
    for (const QStringList &row : rows.rows) {
        if (const auto id = parseId(row.value(1)))
            out.value.append({row.value(0), *id});
    }
    return out;
}

} // namespace verna::db

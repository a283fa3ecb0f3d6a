#include "shell/modhlavni.h"

#include "db/database.h"

namespace verna::shell::modHlavni {

QString singleValue(db::Database &db, const QString &sql)
{
    return db.singleValue(sql);
}

} // namespace verna::shell::modHlavni

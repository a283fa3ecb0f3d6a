#include "db/odbcsources.h"

#include <sql.h>
#include <sqlext.h>

namespace verna::db {

Result<QList<OdbcSource>> odbcDataSources()
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return Result<QList<OdbcSource>>::failure(QStringLiteral("Správce ovladačů ODBC nelze použít."));
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    QList<OdbcSource> sources;
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                        sizeof description, &descriptionLength))) {
        direction = SQL_FETCH_NEXT;
        sources.append({QString::fromUtf8(reinterpret_cast<const char *>(name), nameLength),
                        QString::fromUtf8(reinterpret_cast<const char *>(description), descriptionLength)});
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return {sources, {}};
}

} // namespace verna::db

#pragma once

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sql.h>

namespace verna::db {

// The ODBC connection handle under a QODBC connection, or null.
inline SQLHANDLE odbcHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || handle.metaType().sizeOf() != sizeof(SQLHANDLE))
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

} // namespace verna::db

#pragma once

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <thread>

namespace verna::db {

// The ODBC connection handle under a QODBC connection, or null.
inline SQLHANDLE odbcHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || handle.metaType().sizeOf() != sizeof(SQLHANDLE))
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

// The statement handle under a QODBC query (the one its last exec allocated), or null.
inline SQLHANDLE odbcStatementHandle(const QSqlQuery &query)
{
    const QVariant handle = query.result() ? query.result()->handle() : QVariant();
    if (!handle.isValid() || handle.metaType().sizeOf() != sizeof(SQLHANDLE))
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

// Asks the driver to cancel a statement running on another thread. The request itself waits on
// the server (a stopped one never answers it), so it goes on a thread of its own.
inline void cancelOdbcStatement(SQLHANDLE statement)
{
    if (statement)
        std::thread([statement] { SQLCancel(statement); }).detach();
}

} // namespace verna::db

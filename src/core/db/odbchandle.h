#pragma once

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <atomic>
#include <memory>
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
// the server (a stopped one never answers it), so it goes on a thread of its own, which keeps
// the statement alive until the request returns; the answer tells when it has.
inline std::shared_ptr<std::atomic_bool> cancelOdbcStatement(SQLHANDLE statement, std::shared_ptr<const void> keepAlive)
{
    auto done = std::make_shared<std::atomic_bool>(statement == nullptr);
    if (statement) {
        std::thread([statement, done, keepAlive = std::move(keepAlive)] {
            SQLCancel(statement);
            *done = true;
        }).detach();
    }
    return done;
}

} // namespace verna::db

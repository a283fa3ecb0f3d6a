#include "db/transaction.h"

#include "db/database.h"

namespace verna::db {

Transaction::Transaction(Database &db)
    : m_db(db)
    , m_active(db.beginTransaction())
{
}

Transaction::~Transaction()
{
    rollback();
}

bool Transaction::commit()
{
    if (!m_active)
        return false;
    m_active = false;
    return m_db.commitTransaction();
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    m_db.rollbackTransaction();
}

} // namespace verna::db

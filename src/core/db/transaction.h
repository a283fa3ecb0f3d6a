#pragma once

namespace verna::db {

class Database;

// Commits explicitly, rolls back when it goes out of scope uncommitted (a failed statement,
// an early return or an exception), so no write leaves a transaction open.
class Transaction
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool isActive() const { return m_active; }
    bool commit();
    void rollback();

private:
    Database &m_db;
    bool m_active = false;
};

} // namespace verna::db

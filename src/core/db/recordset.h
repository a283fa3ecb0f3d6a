#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace verna::db {

class Database;
struct ServerCursor;

// A forward-only result read by position, values as text (NULL is "", numbers in plain form).
// Usage: while (rs.next()) { rs.text(0); }
class RecordSet
{
public:
    RecordSet() = default;
    RecordSet(RecordSet &&) noexcept = default;
    RecordSet &operator=(RecordSet &&other) noexcept;
    // A listing read through a server-side cursor ends its transaction here when left early.
    ~RecordSet();

    bool isValid() const { return m_error.isEmpty() && m_active; }
    // Why the statement failed or the read broke off; "" while all is well. Ask it after the
    // loop: next() answers false both at the end of the data and on a failure.
    QString error() const { return m_error; }
    bool next();
    int columnCount() const { return static_cast<int>(m_numeric.size()); }
    QString text(int column) const;
    bool isNull(int column) const;
    QStringList row() const;

private:
    friend class Database;
    Database *m_db = nullptr;
    QSqlQuery m_query;
    std::vector<bool> m_numeric;
    QString m_error;
    bool m_active = false;
    // A listing's cursor (PostgreSQL): the batch in m_query is followed by more, and the rows
    // read of the batch tell whether it was the last.
    std::shared_ptr<ServerCursor> m_cursor;
    int m_batchRows = 0;
};

} // namespace verna::db

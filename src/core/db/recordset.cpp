#include "db/recordset.h"

#include "db/database.h"
#include "db/numbertext.h"

#include <QSqlError>

#include <utility>

namespace verna::db {

RecordSet &RecordSet::operator=(RecordSet &&other) noexcept
{
    if (this != &other) {
        if (m_cursor && m_db)
            m_db->endListing(m_cursor);
        m_db = std::exchange(other.m_db, nullptr);
        m_query = std::move(other.m_query);
        m_numeric = std::move(other.m_numeric);
        m_error = std::move(other.m_error);
        m_active = std::exchange(other.m_active, false);
        m_cursor = std::move(other.m_cursor);
        m_batchRows = other.m_batchRows;
    }
    return *this;
}

RecordSet::~RecordSet()
{
    if (m_cursor && m_db)
        m_db->endListing(m_cursor);
}

bool RecordSet::next()
{
    if (!isValid())
        return false;
    bool has = m_query.next();
    // The batch read to its end without a failure: the listing's next batch, if any.
    while (!has && m_cursor && m_db && !m_query.lastError().isValid() && m_db->nextBatch(*this))
        has = m_query.next();
    if (has)
        ++m_batchRows;
    if (!has) {
        // A read that breaks off is an error, not the end of the data.
        if (m_query.lastError().isValid()) {
            if (m_db) {
                m_db->noteError(m_query.lastError());
                m_error = m_db->lastError();
            } else {
                m_error = m_query.lastError().text();
            }
        }
        m_active = false;
        m_query.finish();
        if (m_cursor && m_db)
            m_db->endListing(std::exchange(m_cursor, nullptr));
    }
    if (m_db)
        m_db->idle();
    return has;
}

QString RecordSet::text(int column) const
{
    if (column < 0 || column >= columnCount())
        return QString();
    return valueText(m_query.value(column), m_numeric[column]);
}

bool RecordSet::isNull(int column) const
{
    return column < 0 || column >= columnCount() || m_query.isNull(column);
}

QStringList RecordSet::row() const
{
    QStringList out;
    for (int i = 0; i < columnCount(); ++i)
        out << text(i);
    return out;
}

} // namespace verna::db

#include "db/recordset.h"

#include "db/database.h"
#include "db/numbertext.h"

#include <QSqlError>

namespace verna::db {

bool RecordSet::next()
{
    if (!isValid())
        return false;
    const bool has = m_query.next();
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

#pragma once

#include <QString>

namespace verna::db {

// Insert texts for indicators, their group memberships and indicator groups. A new builder
// builds "" until its dialect is set. Texts are spliced with their apostrophes doubled.
class clsSQL_func
{
public:
    qint32 skupina() const { return m_skupina; }
    void setSkupina(qint32 skupina) { m_skupina = skupina; }
    qint16 server() const { return m_server; }
    void setServer(qint16 server) { m_server = server; }

    // Each argument trimmed.
    QString getSQL_insert_func_for(const QString &name, const QString &formula, const QString &description) const;
    // skupina is the group.
    QString getSQL_insert_func_mem(qint32 func_for_id) const;
    // Not trimmed.
    QString getSQL_insert_func_grp(const QString &name, const QString &description) const;

private:
    qint32 m_skupina = 0;
    qint16 m_server = 0;
};

} // namespace verna::db

#pragma once

#include <QString>

namespace verna::db {

// Insert text for a branch of an entity. A new builder builds "" until its dialect is set.
class clsSQL_actv
{
public:
    qint16 server() const { return m_server; }
    void setServer(qint16 server) { m_server = server; }
    qint32 subjid() const { return m_subjid; }
    void setSubjid(qint32 subjid) { m_subjid = subjid; }

    QString getSQL_insert_actv(qint16 actv_cd, qint16 actv_nbr) const;

private:
    qint16 m_server = 0;
    qint32 m_subjid = 0;
};

} // namespace verna::db

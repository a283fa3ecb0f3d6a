#pragma once

#include <QString>

namespace verna::db {

// Insert texts for an entity's records: identification, name, entity row and group
// membership. Dialect 1 computes new keys in sub-queries, dialect 2 declares them in a batch
// (statements separated by CR); any other dialect builds "". Texts are spliced with their
// apostrophes doubled, so what a user typed is stored as typed and never executed.
class clsSQL_subj
{
public:
    QString ico() const { return m_ico; }
    void setIco(const QString &ico) { m_ico = ico; }
    qint16 server() const { return m_server; }
    void setServer(qint16 server) { m_server = server; }
    qint32 subjid() const { return m_subjid; }
    void setSubjid(qint32 subjid) { m_subjid = subjid; }

    // Makes the new entity id; subjid is not used.
    QString getSQL_insert_ident(qint32 form_type_cd) const;
    // The name trimmed, with its search form.
    QString getSQL_insert_name(const QString &name) const;
    QString getSQL_insert_subj(qint32 subj_type_cd) const;
    // subjid is the group.
    QString getSQL_insert_mem(qint32 mem_id) const;

private:
    QString m_ico;
    qint16 m_server = 1;
    qint32 m_subjid = 0;
};

} // namespace verna::db

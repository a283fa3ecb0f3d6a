#pragma once

#include <QString>

namespace verna::db {

// Insert texts for a statement and its lines, and three lookups. The fill level and the
// statement type codes are derived only by setPlna and setTyp_vykazu: set every property
// before building.
class clsSQL_finl
{
public:
    qint16 server() const { return m_server; }
    void setServer(qint16 server) { m_server = server; }
    qint32 subjid() const { return m_subjid; }
    void setSubjid(qint32 subjid) { m_subjid = subjid; }
    qint16 rok() const { return m_rok; }
    void setRok(qint16 rok) { m_rok = rok; }
    qint16 ctvrtleti() const { return m_ctvrtleti; }
    // Only 1..4; anything else keeps the quarter.
    void setCtvrtleti(qint16 ctvrtleti);
    bool plna() const { return m_plna; }
    // Also the fill level: 4 full, 2 abbreviated.
    void setPlna(bool plna);
    qint16 typ_vykazu() const { return m_typ; }
    // 1 balance sheet (27), 2 income statement (28); anything else changes nothing.
    void setTyp_vykazu(qint16 typ);

    QString getSQL_insert_finl_stmt() const;
    // Statement id (a number, or "@stmt_id" in a dialect 2 batch), line code and amount; ""
    // unless each is a plain number, so nothing but numbers is ever spliced.
    QString getSQL_insert_finl_item(const QString &stmt, const QString &item, const QString &amount) const;
    QString getSQL_finl_stmt_id() const;
    QString getSQL_fill_lvl_ind(const QString &stmt) const;
    QString getSQL_amt_val(const QString &stmt, qint16 item) const;

private:
    qint16 m_server = 1;
    qint32 m_subjid = 0;
    qint16 m_rok = 1990;
    qint16 m_ctvrtleti = 1;
    bool m_plna = false;
    qint16 m_typ = 1;
    int m_fillLevel = 0;
    int m_typeCode = 0;
};

} // namespace verna::db

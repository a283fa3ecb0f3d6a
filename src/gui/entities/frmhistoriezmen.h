#pragma once

#include "db/audit.h"

#include <QDialog>
#include <optional>

class QPushButton;
class QTreeWidget;

namespace verna::db {
class Database;
}

namespace verna::entities {

// "Historie změn": the audit rows of one entity, newest first (when, who, what, action). A
// statement a change replaced, kept as an inactive row, opens read-only from here.
class frmHistorieZmen : public QDialog
{
    Q_OBJECT
public:
    frmHistorieZmen(db::Database &db, qint32 entity, const QString &name, QWidget *parent = nullptr);

    // Reads the rows; false after telling the user the read failed.
    bool Form_Load();
    // The statement of the current row: the one it replaced, else a statement it names.
    std::optional<qint32> statementOfRow() const;
    void cmdOtevritVykaz_Click();

private:
    db::Database &m_db;
    qint32 m_entity;
    QList<db::audit::Entry> m_rows;
    QTreeWidget *m_lstHistorie = nullptr;
    QPushButton *m_cmdOtevritVykaz = nullptr;
    QPushButton *m_cmdZavrit = nullptr;
};

} // namespace verna::entities

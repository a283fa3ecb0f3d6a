#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace verna::db {
class Database;
}

namespace verna::statements {

class StatementLinesView;

// A stored statement shown as it was, read-only: the one a change replaced (kept inactive),
// opened from the history of changes.
class frmVykazHistorie : public QDialog
{
    Q_OBJECT
public:
    // Shows the statement beside the parent; nullptr after telling the user why it cannot.
    static frmVykazHistorie *open(QWidget *parent, db::Database &db, qint32 statementId);

    StatementLinesView *lines() const { return m_lstVykaz; }

private:
    explicit frmVykazHistorie(QWidget *parent);

    QLabel *m_lblVykaz = nullptr;
    StatementLinesView *m_lstVykaz = nullptr;
    QPushButton *m_cmdZavrit = nullptr;
};

} // namespace verna::statements

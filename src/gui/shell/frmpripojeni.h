#pragma once

#include "db/databaselocation.h"
#include "db/outcome.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace verna::shell {

// "Připojit k databázi…": an SQLite file (an existing one, or a new one made with the
// reference data) or an ODBC data source from the machine's list, with a test of the
// connection. A data source's login is asked for by the login step (logInTo), not here. Hands the chosen place back; the caller switches to it.
class frmPripojeni : public QDialog
{
    Q_OBJECT
public:
    explicit frmPripojeni(QWidget *parent = nullptr);

    // Fills the controls from a place.
    void preset(const db::DatabaseLocation &location);
    // What the controls name, or nothing (and a message) when something is missing.
    std::optional<db::DatabaseLocation> location(bool tell = false);

    // Opens the place on a connection of its own, checks it can carry the windows, closes it.
    // The database this process has open is not opened a second time.
    static Outcome probe(const db::DatabaseLocation &location);
    // The one Czech sentence for a place that cannot be used; the driver's text goes under it.
    static QString failureText(const db::DatabaseLocation &location, const QString &error);

    static inline const QString kTitle = QStringLiteral("Připojit k databázi");

private:
    void chooseFile();
    void createFile();
    void testConnection();
    void accept() override;
    void updateEnabled();

    QRadioButton *m_optSoubor = nullptr;
    QRadioButton *m_optOdbc = nullptr;
    QLineEdit *m_txtSoubor = nullptr;
    QComboBox *m_cboZdroj = nullptr;
    QList<QWidget *> m_fileControls;
    QList<QWidget *> m_odbcControls;
};

} // namespace verna::shell

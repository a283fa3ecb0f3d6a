#pragma once

#include "db/outcome.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace verna::shell {

// "Přihlášení k databázi": a name and password for a data source that keeps no login of its
// own. OK hands them to the attempt; a failed one is told in the dialog (why, in Czech, and
// the driver's text under it), which stays open for another try. The password lives only in
// its control and the attempt.
class frmPrihlaseni : public QDialog
{
    Q_OBJECT
public:
    // Connects with the name and password; the driver's text on failure.
    using Attempt = std::function<Outcome(const QString &user, const QString &password)>;

    frmPrihlaseni(const QString &dsn, const QString &user, Attempt attempt, QWidget *parent = nullptr);

    QString user() const;

    static inline const QString kTitle = QStringLiteral("Přihlášení k databázi");

private:
    void accept() override;

    QString m_dsn;
    Attempt m_attempt;
    QLineEdit *m_txtUzivatel = nullptr;
    QLineEdit *m_txtHeslo = nullptr;
    QLabel *m_lblDuvod = nullptr;
    QPlainTextEdit *m_txtPodrobnosti = nullptr;
};

} // namespace verna::shell

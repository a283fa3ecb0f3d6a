#include "shell/frmprihlaseni.h"

#include "db/odbclogin.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace verna::shell {

frmPrihlaseni::frmPrihlaseni(const QString &dsn, const QString &user, Attempt attempt, QWidget *parent)
    : QDialog(parent)
    , m_dsn(dsn)
    , m_attempt(std::move(attempt))
{
    setObjectName(QStringLiteral("frmPrihlaseni"));
    setWindowTitle(kTitle);

    m_txtUzivatel = new QLineEdit(user, this);
    m_txtUzivatel->setObjectName(QStringLiteral("txtUzivatel"));
    m_txtHeslo = new QLineEdit(this);
    m_txtHeslo->setObjectName(QStringLiteral("txtHeslo"));
    m_txtHeslo->setEchoMode(QLineEdit::Password);
    m_lblDuvod = new QLabel(this);
    m_lblDuvod->setObjectName(QStringLiteral("lblDuvod"));
    m_lblDuvod->setWordWrap(true);
    m_lblDuvod->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    m_lblDuvod->hide();
    m_txtPodrobnosti = new QPlainTextEdit(this);
    m_txtPodrobnosti->setObjectName(QStringLiteral("txtPodrobnosti"));
    m_txtPodrobnosti->setReadOnly(true);
    m_txtPodrobnosti->setMaximumHeight(80);
    m_txtPodrobnosti->hide();

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&Přihlásit"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("cmdPrihlasit"));
    buttons->addButton(QStringLiteral("Storno"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cmdStorno"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Uživatel:"), m_txtUzivatel);
    form->addRow(QStringLiteral("&Heslo:"), m_txtHeslo);
    auto *intro = new QLabel(QStringLiteral("Zdroj dat ODBC „%1“ nemá uložené přihlášení. Zadejte své uživatelské "
                                            "jméno a heslo k databázovému serveru.")
                                 .arg(dsn),
                             this);
    intro->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_lblDuvod);
    layout->addWidget(m_txtPodrobnosti);
    layout->addWidget(new QLabel(QStringLiteral("Heslo se nikam neukládá."), this));
    layout->addWidget(buttons);
    resize(440, sizeHint().height());
    (user.isEmpty() ? m_txtUzivatel : m_txtHeslo)->setFocus();

    connect(buttons, &QDialogButtonBox::accepted, this, &frmPrihlaseni::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmPrihlaseni::reject);
}

QString frmPrihlaseni::user() const
{
    return m_txtUzivatel->text().trimmed();
}

void frmPrihlaseni::accept()
{
    if (user().isEmpty()) {
        m_lblDuvod->setText(QStringLiteral("Zadejte uživatelské jméno."));
        m_lblDuvod->show();
        m_txtPodrobnosti->hide();
        m_txtUzivatel->setFocus();
        return;
    }
    Outcome outcome;
    {
        // Connecting can wait for a server: the wait cursor says so.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        outcome = m_attempt(user(), m_txtHeslo->text());
        QApplication::restoreOverrideCursor();
    }
    if (outcome) {
        QDialog::accept();
        return;
    }
    const db::LoginFailure failure = db::classifyLoginFailure(outcome.error);
    m_lblDuvod->setText(db::loginFailureText(failure, m_dsn) + QStringLiteral(" Můžete to zkusit znovu."));
    m_lblDuvod->show();
    m_txtPodrobnosti->setPlainText(outcome.error);
    m_txtPodrobnosti->show();
    if (failure == db::LoginFailure::WrongLogin) {
        m_txtHeslo->clear();
        m_txtHeslo->setFocus();
    }
}

} // namespace verna::shell

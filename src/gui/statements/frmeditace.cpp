#include "statements/frmeditace.h"

#include "statements/amount.h"
#include "ui/messages.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace verna::statements {

frmEditace::frmEditace(const QString &lineText, const QString &startText, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEditace"));
    setWindowTitle(QStringLiteral("Hodnota v tisících Kč"));
    m_lblPolozka = new QLabel(lineText.trimmed(), this);
    m_lblPolozka->setObjectName(QStringLiteral("lblPolozka"));
    m_lblPolozka->setWordWrap(true);
    m_txtHodnota = new QLineEdit(startText, this);
    m_txtHodnota->setObjectName(QStringLiteral("txtHodnota"));
    m_txtHodnota->setCursorPosition(int(startText.size()));
    m_txtHodnota->deselect();
    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdStorno = new QPushButton(QStringLiteral("Storno"), this);
    m_cmdStorno->setObjectName(QStringLiteral("cmdStorno"));
    connect(m_cmdOK, &QPushButton::clicked, this, &frmEditace::cmdOK_Click);
    connect(m_cmdStorno, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdStorno);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblPolozka);
    layout->addWidget(m_txtHodnota);
    layout->addLayout(buttons);
    setMinimumWidth(360);
}

void frmEditace::cmdOK_Click()
{
    const QString typed = m_txtHodnota->text();
    if (typed.trimmed().isEmpty()) {
        m_amount = QStringLiteral("0");
        accept();
        return;
    }
    const Result<Amount> read = Amount::parse(typed);
    if (!read.ok()) {
        // A text that is no number is never taken for part of one.
        ui::exclamation(this, windowTitle(), read.error);
        m_txtHodnota->setFocus();
        m_txtHodnota->selectAll();
        return;
    }
    m_amount = read.value.text();
    accept();
}

std::optional<QString> frmEditace::edit(QWidget *parent, const QString &lineText, const QString &startText)
{
    frmEditace dialog(lineText, startText, parent ? parent->window() : nullptr);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
    return dialog.result() == QDialog::Accepted ? dialog.amount() : std::nullopt;
}

} // namespace verna::statements

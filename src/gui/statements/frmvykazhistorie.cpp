#include "statements/frmvykazhistorie.h"

#include "statements/keptstatement.h"
#include "statements/statementlinesview.h"
#include "ui/messages.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace verna::statements {

frmVykazHistorie::frmVykazHistorie(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmVykazHistorie"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_lblVykaz = new QLabel(this);
    m_lblVykaz->setObjectName(QStringLiteral("lblVykaz"));
    m_lstVykaz = new StatementLinesView(QStringLiteral("H"), this);
    m_lstVykaz->setObjectName(QStringLiteral("lstVykaz"));
    m_cmdZavrit = new QPushButton(QStringLiteral("Zavřít"), this);
    m_cmdZavrit->setObjectName(QStringLiteral("cmdZavrit"));
    connect(m_cmdZavrit, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdZavrit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblVykaz);
    layout->addWidget(m_lstVykaz);
    layout->addLayout(buttons);
    resize(560, 600);
}

frmVykazHistorie *frmVykazHistorie::open(QWidget *parent, db::Database &db, qint32 statementId)
{
    const QString title = QStringLiteral("Výkaz z historie změn");
    const Result<KeptStatement> read = readKeptStatement(db, statementId);
    if (!read.ok()) {
        ui::critical(parent, title, QStringLiteral("Výkaz nelze načíst, databáze ohlásila chybu."), read.error);
        return nullptr;
    }
    if (!read.value.found) {
        ui::exclamation(parent, title, QStringLiteral("Výkaz %1 v databázi není.").arg(statementId));
        return nullptr;
    }
    auto *window = new frmVykazHistorie(parent);
    window->setWindowTitle(read.value.title());
    window->m_lblVykaz->setText(read.value.title());
    window->m_lstVykaz->setLines(read.value.lines);
    window->m_lstVykaz->setAmounts(read.value.amounts);
    window->show();
    return window;
}

} // namespace verna::statements

#include "entities/frmhistoriezmen.h"

#include "statements/frmvykazhistorie.h"
#include "ui/busyguard.h"
#include "ui/messages.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

namespace verna::entities {

frmHistorieZmen::frmHistorieZmen(db::Database &db, qint32 entity, const QString &name, QWidget *parent)
    : QDialog(parent)
    , m_db(db)
    , m_entity(entity)
{
    setObjectName(QStringLiteral("frmHistorieZmen"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Historie změn ") + name);
    m_lstHistorie = new QTreeWidget(this);
    m_lstHistorie->setObjectName(QStringLiteral("lstHistorie"));
    m_lstHistorie->setHeaderLabels({QStringLiteral("Kdy"), QStringLiteral("Kdo"), QStringLiteral("Co"), QStringLiteral("Akce")});
    m_lstHistorie->setRootIsDecorated(false);
    m_lstHistorie->setUniformRowHeights(true);
    m_lstHistorie->setAllColumnsShowFocus(true);
    m_lstHistorie->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_lstHistorie->header()->setStretchLastSection(false);
    m_cmdOtevritVykaz = new QPushButton(QStringLiteral("Otevřít výkaz"), this);
    m_cmdOtevritVykaz->setObjectName(QStringLiteral("cmdOtevritVykaz"));
    m_cmdOtevritVykaz->setToolTip(QStringLiteral("Zobrazí výkaz, který změna nahradila, tak jak byl uložen"));
    m_cmdOtevritVykaz->setEnabled(false);
    m_cmdZavrit = new QPushButton(QStringLiteral("Zavřít"), this);
    m_cmdZavrit->setObjectName(QStringLiteral("cmdZavrit"));
    connect(m_cmdOtevritVykaz, &QPushButton::clicked, this, &frmHistorieZmen::cmdOtevritVykaz_Click);
    connect(m_cmdZavrit, &QPushButton::clicked, this, &QDialog::close);
    connect(m_lstHistorie, &QTreeWidget::currentItemChanged, this,
            [this] { m_cmdOtevritVykaz->setEnabled(statementOfRow().has_value()); });
    connect(m_lstHistorie, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (statementOfRow())
            cmdOtevritVykaz_Click();
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdOtevritVykaz);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdZavrit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lstHistorie);
    layout->addLayout(buttons);
    resize(720, 420);
}

bool frmHistorieZmen::Form_Load()
{
    const Result<QList<db::audit::Entry>> rows = db::audit::history(m_db, {m_entity, {}});
    if (!rows.ok()) {
        ui::critical(this, windowTitle(), QStringLiteral("Historii změn nelze načíst, databáze ohlásila chybu."), rows.error);
        return false;
    }
    m_rows = rows.value;
    m_lstHistorie->clear();
    for (const db::audit::Entry &e : m_rows) {
        QString what = e.kind + QStringLiteral(": ") + e.label;
        if (e.replaced)
            what += QStringLiteral(" (nahrazuje výkaz %1)").arg(*e.replaced);
        m_lstHistorie->addTopLevelItem(new QTreeWidgetItem({e.when, e.user, what, e.action}));
    }
    for (int column = 0; column < 4; ++column) {
        if (column != 2)
            m_lstHistorie->resizeColumnToContents(column);
    }
    if (m_lstHistorie->topLevelItemCount() > 0)
        m_lstHistorie->setCurrentItem(m_lstHistorie->topLevelItem(0));
    return true;
}

std::optional<qint32> frmHistorieZmen::statementOfRow() const
{
    const int row = m_lstHistorie->indexOfTopLevelItem(m_lstHistorie->currentItem());
    if (row < 0 || row >= m_rows.size())
        return std::nullopt;
    const db::audit::Entry &e = m_rows.at(row);
    if (e.replaced)
        return e.replaced;
    if (e.kind == db::audit::kStatement)
        return e.id;
    return std::nullopt;
}

void frmHistorieZmen::cmdOtevritVykaz_Click()
{
    const std::optional<qint32> statement = statementOfRow();
    if (!statement)
        return;
    // The kept statement becomes this window's child: it stays open until the read ends.
    const ui::BusyGuard busy(this);
    statements::frmVykazHistorie::open(this, m_db, *statement);
}

} // namespace verna::entities

#include "entities/frmeditacesubjektu.h"

#include "entities/frmhistoriezmen.h"
#include "shell/appstate.h"
#include "ui/messages.h"
#include "ui/rightsgate.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QBoxLayout>

namespace verna::entities {

frmEditaceSubjektu::frmEditaceSubjektu(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_db(state.database())
    , m_store(state.database())
    , m_id(state.entityToOpen())
{
    setObjectName(QStringLiteral("frmEditaceSubjektu"));
    setWindowTitle(QStringLiteral("Editace subjektu"));
    buildControls();
    // Commands beyond the user's rights stay off, their tooltips say why.
    ui::requireRight(m_cmdOK, state.rights(), db::Right::Entities);
    ui::requireRight(m_cmdOdstranit, state.rights(), db::Right::Entities);
    ui::requireRight(m_lstSkupiny, state.rights(), db::Right::Groups);
    Form_Load();
}

void frmEditaceSubjektu::buildControls()
{
    const auto named = [this](auto *widget, const QString &name) {
        widget->setObjectName(name);
        return widget;
    };
    m_txtNazev = named(new QLineEdit(this), QStringLiteral("txtNazev"));
    m_txtICO = named(new QLineEdit(this), QStringLiteral("txtICO"));
    m_txtICO->setReadOnly(true);
    m_txtPoznamka = named(new QPlainTextEdit(this), QStringLiteral("txtPoznamka"));
    m_txtPoznamka->setTabChangesFocus(true);
    m_lstOkec = named(new QListWidget(this), QStringLiteral("lstOkec"));
    m_lstSkupiny = named(new QListWidget(this), QStringLiteral("lstSkupiny"));
    connect(m_txtNazev, &QLineEdit::textEdited, this, [this] { m_nameChanged = true; });
    connect(m_txtPoznamka, &QPlainTextEdit::textChanged, this, [this] { m_noteChanged = !m_loading; });
    connect(m_lstSkupiny, &QListWidget::itemChanged, this, &frmEditaceSubjektu::lstSkupiny_ItemCheck);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Název:"), m_txtNazev);
    form->addRow(QStringLiteral("IČO:"), m_txtICO);
    form->addRow(QStringLiteral("Poznámka:"), m_txtPoznamka);
    form->addRow(QStringLiteral("Obory:"), m_lstOkec);
    form->addRow(QStringLiteral("Člen skupin:"), m_lstSkupiny);

    m_cmdOK = named(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"));
    m_cmdStorno = named(new QPushButton(QStringLiteral("Storno"), this), QStringLiteral("cmdStorno"));
    m_cmdOdstranit = named(new QPushButton(QStringLiteral("Odstranit"), this), QStringLiteral("cmdOdstranit"));
    connect(m_cmdOK, &QPushButton::clicked, this, &frmEditaceSubjektu::cmdOK_Click);
    connect(m_cmdStorno, &QPushButton::clicked, this, &frmEditaceSubjektu::cmdStorno_Click);
    connect(m_cmdOdstranit, &QPushButton::clicked, this, &frmEditaceSubjektu::cmdOdstranit_Click);
    m_cmdHistorie = named(new QPushButton(QStringLiteral("Historie změn"), this), QStringLiteral("cmdHistorie"));
    connect(m_cmdHistorie, &QPushButton::clicked, this, &frmEditaceSubjektu::cmdHistorie_Click);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdOdstranit);
    buttons->addWidget(m_cmdHistorie);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdStorno);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void frmEditaceSubjektu::Form_Load()
{
    const Result<EntityDetails> details = m_id ? m_store.load(*m_id) : Result<EntityDetails>{};
    if (!m_id || !details.ok() || details.value.ico.isEmpty()) {
        // Nothing to edit: no entity handed over, none live with the id, or the read failed.
        for (QWidget *w : {static_cast<QWidget *>(m_txtNazev), static_cast<QWidget *>(m_txtPoznamka),
                           static_cast<QWidget *>(m_lstSkupiny), static_cast<QWidget *>(m_cmdOdstranit),
                           static_cast<QWidget *>(m_cmdHistorie)})
            w->setEnabled(false);
        m_id.reset();
        if (!details.ok())
            ui::critical(this, windowTitle(), QStringLiteral("Subjekt nelze načíst, databáze ohlásila chybu."), details.error);
        return;
    }
    m_loading = true;
    m_txtNazev->setText(details.value.name);
    setWindowTitle(QStringLiteral("Editace ") + details.value.name);
    m_txtICO->setText(details.value.ico);
    m_txtPoznamka->setPlainText(details.value.note);
    for (const ListItem &branch : details.value.branches) {
        auto *item = new QListWidgetItem(branch.text, m_lstOkec);
        item->setData(Qt::UserRole, branch.id);
    }
    for (const Membership &group : details.value.groups) {
        auto *item = new QListWidgetItem(group.name, m_lstSkupiny);
        item->setData(Qt::UserRole, group.group);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(group.active ? Qt::Checked : Qt::Unchecked);
    }
    m_loading = false;
    m_nameChanged = m_noteChanged = false;
}

void frmEditaceSubjektu::lstSkupiny_ItemCheck(QListWidgetItem *item)
{
    if (m_loading || !m_id || !item)
        return;
    const bool active = item->checkState() == Qt::Checked;
    if (const Outcome o = m_store.setMembership(item->data(Qt::UserRole).toInt(), *m_id, active); !o) {
        ui::critical(this, windowTitle(), QStringLiteral("Členství ve skupině nelze změnit."), o.error);
        m_loading = true;
        item->setCheckState(active ? Qt::Unchecked : Qt::Checked);
        m_loading = false;
    }
}

void frmEditaceSubjektu::cmdOK_Click()
{
    if (!askToSave())
        return;
    // Answered here: the frame's close does not ask again.
    m_nameChanged = m_noteChanged = false;
    close();
}

bool frmEditaceSubjektu::askToSave()
{
    if (!m_id || (!m_nameChanged && !m_noteChanged))
        return true;
    const int answer = ui::choose(this, ui::MessageIcon::Question, windowTitle(), QStringLiteral("Chcete provedené změny uložit?"),
                                  {ui::kYes, ui::kNo, QStringLiteral("Storno")}, 2);
    // "Ne" drops nothing yet: a close of all windows that another window stops keeps this one
    // open with its changes, to be asked about again.
    if (answer == 1)
        return true;
    if (answer != 0)
        return false;
    if (m_nameChanged && m_txtNazev->text().trimmed().isEmpty()) {
        ui::exclamation(this, windowTitle(), QStringLiteral("Zadejte název subjektu."));
        m_txtNazev->setFocus();
        return false;
    }
    const Outcome saved = m_store.save(*m_id, m_nameChanged ? std::optional<QString>(m_txtNazev->text()) : std::nullopt,
                                       m_noteChanged ? std::optional<QString>(m_txtPoznamka->toPlainText()) : std::nullopt);
    if (!saved) {
        ui::critical(this, windowTitle(), QStringLiteral("Změnu nelze uložit, nic nebylo zapsáno."), saved.error);
        return false;
    }
    m_nameChanged = m_noteChanged = false;
    ui::information(this, windowTitle(), QStringLiteral("Změna byla uložena."));
    return true;
}

bool frmEditaceSubjektu::canClose()
{
    // Closed otherwise than by OK or Storno (its frame, the main window, another database):
    // changes are not dropped unasked.
    return askToSave();
}

void frmEditaceSubjektu::cmdHistorie_Click()
{
    if (!m_id)
        return;
    auto *history = new frmHistorieZmen(m_db, *m_id, m_txtNazev->text(), this);
    if (history->Form_Load())
        history->show();
    else
        history->deleteLater();
}

void frmEditaceSubjektu::cmdStorno_Click()
{
    m_nameChanged = m_noteChanged = false; // dropped on purpose
    close();
}

void frmEditaceSubjektu::cmdOdstranit_Click()
{
    if (!m_id
        || !ui::askYesNo(this, windowTitle(),
                         QStringLiteral("Opravdu chcete odstranit subjekt a ") + QStringLiteral("\r\n")
                             + QStringLiteral("všechny informace s ním spojené?")))
        return;
    if (const Outcome removed = m_store.remove(*m_id); !removed) {
        ui::critical(this, windowTitle(), QStringLiteral("Subjekt nelze odstranit, nic nebylo změněno."), removed.error);
        return;
    }
    ui::information(this, windowTitle(), QStringLiteral("Všechny informace o subjektu jsou odstraněny."));
    m_nameChanged = m_noteChanged = false; // nothing left to save them to
    close();
}

} // namespace verna::entities

#include "entities/frmulozitskupinu.h"

#include "entities/entitystore.h"
#include "selection/payload.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "ui/dragdrop.h"
#include "ui/dragsourcelist.h"
#include "ui/messages.h"
#include "ui/rightsgate.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace verna::entities {

namespace {

const QString kSaveTitle = QStringLiteral("Uložení skupiny");
const QString kErrorTitle = QStringLiteral("Chyba");
const QString kCancel = QStringLiteral("Storno");

qint32 itemId(const QListWidgetItem *item)
{
    return item->data(Qt::UserRole).toInt();
}

} // namespace

frmUlozitSkupinu::frmUlozitSkupinu(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(state.database())
    , m_group(state.takeGroupToEdit())
{
    setObjectName(QStringLiteral("frmUlozitSkupinu"));
    setWindowTitle(QStringLiteral("Uložit skupinu subjektů"));
    buildControls();
    // Commands beyond the user's rights stay off, their tooltips say why.
    ui::requireRight(m_cmdZmenitSk, m_state.rights(), db::Right::Groups);
    ui::requireRight(m_cmdOdebratSk, m_state.rights(), db::Right::Groups);
    ui::requireRight(m_cmdOdebrat, m_state.rights(), db::Right::Groups);
    ui::requireRight(m_cmdUlozit, m_state.rights(), db::Right::Groups);
    loadGroup();
}

void frmUlozitSkupinu::buildControls()
{
    const auto named = [](auto *widget, const QString &name) {
        widget->setObjectName(name);
        return widget;
    };
    const auto button = [this, &named](QWidget *parent, const QString &name, const QString &caption, void (frmUlozitSkupinu::*handler)()) {
        auto *b = named(new QPushButton(caption, parent), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    m_txtNazevSkupiny = named(new QLineEdit(this), QStringLiteral("txtNazevSkupiny"));
    m_txtPoznamka = named(new QPlainTextEdit(this), QStringLiteral("txtPoznamka"));
    m_txtPoznamka->setTabChangesFocus(true);
    connect(m_txtNazevSkupiny, &QLineEdit::textEdited, this, [this] { m_nameChanged = true; });
    connect(m_txtPoznamka, &QPlainTextEdit::textChanged, this, [this] { m_noteChanged = m_noteChanged || !m_loading; });

    auto *members = new ui::DragSourceList(this);
    members->setDragStarter([this] { lstSkupina_OLEStartDrag(); });
    m_lstSkupina = named(members, QStringLiteral("lstSkupina"));
    connect(m_lstSkupina, &QListWidget::itemChanged, this, &frmUlozitSkupinu::lstSkupina_ItemCheck);
    connect(m_lstSkupina, &QListWidget::itemSelectionChanged, this, &frmUlozitSkupinu::updateControls);
    ui::acceptTextDrops(m_lstSkupina, [this](const QString &text, const QPoint &) { lstSkupina_OLEDragDrop(text); });
    m_label2 = named(new QLabel(this), QStringLiteral("Label2"));
    m_label2->setBuddy(m_lstSkupina);

    m_fraSkupina = named(new QGroupBox(QStringLiteral("Skupina"), this), QStringLiteral("fraSkupina"));
    m_cmdVykazSkupiny = button(m_fraSkupina, QStringLiteral("cmdVykazSkupiny"), QStringLiteral("Zobrazit"), &frmUlozitSkupinu::cmdVykazSkupiny_Click);
    m_cmdZmenitSk = button(m_fraSkupina, QStringLiteral("cmdZmenitSk"), QStringLiteral("Změnit"), &frmUlozitSkupinu::cmdZmenitSk_Click);
    m_cmdOdebratSk = button(m_fraSkupina, QStringLiteral("cmdOdebratSk"), QStringLiteral("Smazat"), &frmUlozitSkupinu::cmdOdebratSk_Click);
    auto *groupButtons = new QVBoxLayout(m_fraSkupina);
    for (QPushButton *b : {m_cmdVykazSkupiny, m_cmdZmenitSk, m_cmdOdebratSk})
        groupButtons->addWidget(b);

    m_fraSubjekt = named(new QGroupBox(QStringLiteral("Subjekt"), this), QStringLiteral("fraSubjekt"));
    m_cmdVykazSubjektu = button(m_fraSubjekt, QStringLiteral("cmdVykazSubjektu"), QStringLiteral("Zobrazit"), &frmUlozitSkupinu::cmdVykazSubjektu_Click);
    m_cmdOdebrat = button(m_fraSubjekt, QStringLiteral("cmdOdebrat"), QStringLiteral("Odebrat"), &frmUlozitSkupinu::cmdOdebrat_Click);
    m_cmdUlozit = button(m_fraSubjekt, QStringLiteral("cmdUlozit"), QStringLiteral("Přidat"), &frmUlozitSkupinu::cmdUlozit_Click);
    auto *memberButtons = new QVBoxLayout(m_fraSubjekt);
    for (QPushButton *b : {m_cmdVykazSubjektu, m_cmdOdebrat, m_cmdUlozit})
        memberButtons->addWidget(b);
    m_cmdStorno = button(this, QStringLiteral("cmdStorno"), kCancel, &frmUlozitSkupinu::cmdStorno_Click);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Název skupiny:"), m_txtNazevSkupiny);
    form->addRow(QStringLiteral("Poznámka ke skupině:"), m_txtPoznamka);
    auto *side = new QVBoxLayout;
    side->addWidget(m_fraSkupina);
    side->addWidget(m_fraSubjekt);
    side->addStretch(1);
    side->addWidget(m_cmdStorno);
    auto *list = new QVBoxLayout;
    list->addWidget(m_label2);
    list->addWidget(m_lstSkupina, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(list, 1);
    columns->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(columns, 1);
}

void frmUlozitSkupinu::loadGroup()
{
    m_loading = true;
    m_lstSkupina->clear();
    if (m_group) {
        const Result<bool> isGroup = m_store.isGroup(*m_group);
        const Result<GroupDetails> details = isGroup.value ? m_store.load(*m_group) : Result<GroupDetails>{};
        if (!isGroup.ok() || !details.ok()) {
            showFailure(QStringLiteral("Skupinu nelze načíst, databáze ohlásila chybu."), isGroup.ok() ? details.error : isGroup.error);
            m_group.reset();
        } else if (!isGroup.value) {
            m_group.reset(); // not a group: the window makes a new one
        } else {
            setWindowTitle(QStringLiteral("Editace skupiny subjektů"));
            for (const GroupMember &member : details.value.members)
                addItem(member);
            m_txtNazevSkupiny->setText(details.value.name);
            m_txtPoznamka->setPlainText(details.value.note);
        }
    }
    m_cmdZmenitSk->setText(m_group ? QStringLiteral("Změnit") : QStringLiteral("Vytvořit"));
    m_loading = false;
    m_nameChanged = m_noteChanged = false;
    updateControls();
}

QListWidgetItem *frmUlozitSkupinu::addItem(const GroupMember &member)
{
    auto *item = new QListWidgetItem(member.text, m_lstSkupina);
    item->setData(Qt::UserRole, member.id);
    // A tick is written at once: without the right it is shown but cannot be changed.
    const bool writable = m_state.rights().canWriteGroups();
    item->setFlags(writable ? item->flags() | Qt::ItemIsUserCheckable : item->flags() & ~Qt::ItemIsUserCheckable);
    item->setCheckState(member.active ? Qt::Checked : Qt::Unchecked);
    return item;
}

QListWidgetItem *frmUlozitSkupinu::itemOf(qint32 id) const
{
    for (int i = 0; i < m_lstSkupina->count(); ++i) {
        if (itemId(m_lstSkupina->item(i)) == id)
            return m_lstSkupina->item(i);
    }
    return nullptr;
}

QListWidgetItem *frmUlozitSkupinu::selectedMember() const
{
    const QList<QListWidgetItem *> selected = m_lstSkupina->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

void frmUlozitSkupinu::updateControls()
{
    m_label2->setText(QStringLiteral("Seznam členů skupiny (") + QString::number(m_lstSkupina->count()) + QStringLiteral("):"));
    const shell::frmHlavni *main = shell::frmHlavni::of(this);
    const bool canShow = main && main->registry().has(shell::WindowKind::DataSelection);
    const bool member = selectedMember() != nullptr;
    m_cmdVykazSkupiny->setEnabled(m_group && canShow);
    m_cmdOdebratSk->setEnabled(m_group.has_value());
    m_cmdVykazSubjektu->setEnabled(member && canShow);
    m_cmdOdebrat->setEnabled(member);
    m_cmdUlozit->setEnabled(m_group && !m_pending.isEmpty());
}

void frmUlozitSkupinu::lstSkupina_OLEDragDrop(const QString &text)
{
    const std::optional<selection::Payload> payload = selection::Payload::parse(text);
    if (!payload || (payload->kind() != selection::Payload::Kind::SingleEntity && payload->kind() != selection::Payload::Kind::EntityList))
        return;
    for (qint32 id : payload->entityIds())
        addMember(id);
    updateControls();
}

void frmUlozitSkupinu::addMember(qint32 id)
{
    if (itemOf(id))
        return;
    const Result<std::optional<GroupMember>> member = m_store.candidate(id);
    if (!member.ok()) {
        showFailure(QStringLiteral("Subjekt nelze přidat, databáze ohlásila chybu."), member.error);
        return;
    }
    // Groups do not nest; an id without a live entity is nobody.
    if (!member.value)
        return;
    m_loading = true;
    addItem(*member.value);
    m_loading = false;
    if (m_group && !m_pending.contains(id))
        m_pending << id;
}

void frmUlozitSkupinu::lstSkupina_OLEStartDrag()
{
    if (const QListWidgetItem *item = selectedMember())
        ui::startTextDrag(m_lstSkupina, selection::Payload::singleEntity(itemId(item)));
}

void frmUlozitSkupinu::lstSkupina_ItemCheck(QListWidgetItem *item)
{
    // Only written memberships are switched; a pending one is written as it stands.
    if (m_loading || !m_group || !item || m_pending.contains(itemId(item)))
        return;
    const bool active = item->checkState() == Qt::Checked;
    if (const Outcome o = EntityStore(m_state.database()).setMembership(*m_group, itemId(item), active); !o) {
        showFailure(QStringLiteral("Členství ve skupině nelze změnit."), o.error);
        m_loading = true;
        item->setCheckState(active ? Qt::Unchecked : Qt::Checked);
        m_loading = false;
    }
}

bool frmUlozitSkupinu::writePending()
{
    const Result<int> added = m_store.addMembers(*m_group, m_pending);
    if (!added.ok()) {
        showFailure(QStringLiteral("Členy nelze přidat, nic nebylo zapsáno."), added.error);
        return false;
    }
    ui::information(this, kSaveTitle, QStringLiteral("Přidáno ") + QString::number(added.value) + QStringLiteral(" položek."));
    m_pending.clear();
    updateControls();
    return true;
}

void frmUlozitSkupinu::cmdUlozit_Click()
{
    if (m_group && !m_pending.isEmpty())
        writePending();
}

void frmUlozitSkupinu::cmdOdebrat_Click()
{
    QListWidgetItem *item = selectedMember();
    if (!item)
        return;
    const qint32 id = itemId(item);
    const bool written = m_group && !m_pending.contains(id);
    if (m_group && !ui::askYesNo(this, QStringLiteral("Odstranění subjektu"), QStringLiteral("Chcete odstranit subjekt ze skupiny subjektů?")))
        return;
    m_pending.removeAll(id);
    if (written) {
        if (const Outcome o = m_store.removeMember(*m_group, id); !o) {
            showFailure(QStringLiteral("Subjekt nelze odebrat ze skupiny."), o.error);
            return;
        }
        // Only the member goes: a name or note typed meanwhile stays to be saved.
    }
    delete item;
    updateControls();
}

void frmUlozitSkupinu::cmdZmenitSk_Click()
{
    if (m_group)
        changeGroup();
    else
        createGroup();
}

void frmUlozitSkupinu::createGroup()
{
    QList<qint32> members;
    for (int i = 0; i < m_lstSkupina->count(); ++i)
        members << itemId(m_lstSkupina->item(i));
    const QString name = m_txtNazevSkupiny->text().trimmed();
    const Written written = m_store.create(name, m_txtPoznamka->toPlainText(), members);
    if (!written.refusal.isEmpty()) {
        if (name.isEmpty())
            ui::critical(this, kErrorTitle, written.refusal);
        else
            ui::information(this, kErrorTitle, written.refusal);
        m_txtNazevSkupiny->setFocus();
        return;
    }
    if (!written.error.isEmpty()) {
        showFailure(QStringLiteral("Skupinu nelze vytvořit, nic nebylo zapsáno."), written.error);
        return;
    }
    ui::information(this, kSaveTitle, QStringLiteral("Skupina ") + name + QStringLiteral(" byla uložena."));
    m_group = written.id;
    loadGroup();
}

void frmUlozitSkupinu::changeGroup()
{
    if (m_noteChanged) {
        if (const Outcome o = m_store.storeNote(*m_group, m_txtPoznamka->toPlainText()); !o) {
            showFailure(QStringLiteral("Poznámku nelze uložit."), o.error);
            return;
        }
        m_noteChanged = false;
        ui::information(this, windowTitle(), QStringLiteral("Poznámka změněna."));
    }
    if (!m_nameChanged)
        return;
    const QString name = m_txtNazevSkupiny->text().trimmed();
    if (!ui::askYesNo(this, windowTitle(), QStringLiteral("Chcete změnit název skupiny na ") + name + QStringLiteral("?")))
        return;
    const Written renamed = m_store.rename(*m_group, name);
    if (!renamed.refusal.isEmpty()) {
        ui::information(this, kErrorTitle, renamed.refusal);
        m_txtNazevSkupiny->setFocus();
        return;
    }
    if (!renamed.error.isEmpty()) {
        showFailure(QStringLiteral("Název nelze změnit."), renamed.error);
        return;
    }
    m_nameChanged = false;
    ui::information(this, windowTitle(), QStringLiteral("Název změněn."));
}

void frmUlozitSkupinu::cmdOdebratSk_Click()
{
    if (!m_group
        || !ui::askYesNo(this, windowTitle(),
                         QStringLiteral("Opravdu chcete skupinu ") + m_txtNazevSkupiny->text().trimmed() + QStringLiteral(" smazat?")))
        return;
    if (const Outcome o = m_store.remove(*m_group); !o) {
        showFailure(QStringLiteral("Skupinu nelze smazat, nic nebylo změněno."), o.error);
        return;
    }
    ui::information(this, windowTitle(), QStringLiteral("Skupinu se smazána."));
    m_pending.clear();
    close();
}

void frmUlozitSkupinu::cmdVykazSkupiny_Click()
{
    if (shell::frmHlavni *main = shell::frmHlavni::of(this); main && m_group)
        main->openDataSelection(*m_group);
}

void frmUlozitSkupinu::cmdVykazSubjektu_Click()
{
    const QListWidgetItem *item = selectedMember();
    if (shell::frmHlavni *main = shell::frmHlavni::of(this); main && item)
        main->openDataSelection(itemId(item));
}

bool frmUlozitSkupinu::canClose()
{
    if (!m_group || m_pending.isEmpty())
        return true;
    const int answer = ui::choose(this, ui::MessageIcon::Question, kSaveTitle,
                                  QStringLiteral("Do skupiny subjektů jste přidali ") + QString::number(m_pending.size())
                                      + QStringLiteral(" položek.") + QStringLiteral("\r\n") + QStringLiteral("Chcete změny uložit?"),
                                  {ui::kYes, ui::kNo, kCancel}, 2);
    if (answer == 0)
        return writePending();
    return answer == 1;
}

void frmUlozitSkupinu::cmdStorno_Click()
{
    if (canClose()) {
        m_pending.clear(); // answered: the frame does not ask again
        close();
    }
}

void frmUlozitSkupinu::showFailure(const QString &text, const QString &reason)
{
    ui::critical(this, windowTitle(), text, reason);
}

} // namespace verna::entities

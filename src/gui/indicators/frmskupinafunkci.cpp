#include "indicators/frmskupinafunkci.h"

#include "indicators/editorcontrols.h"
#include "shell/appstate.h"
#include "ui/messages.h"
#include "ui/rightsgate.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace verna::indicators {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

qint32 itemId(const QListWidgetItem *item)
{
    return item->data(Qt::UserRole).toInt();
}

bool holds(const QListWidget *list, qint32 id)
{
    for (int i = 0; i < list->count(); ++i) {
        if (itemId(list->item(i)) == id)
            return true;
    }
    return false;
}

void addEntry(QListWidget *list, const Entry &entry)
{
    auto *item = new QListWidgetItem(entry.name, list);
    item->setData(Qt::UserRole, entry.id);
}

QString nameTakenText(const QString &name)
{
    return QStringLiteral("Skupina ") + name + QStringLiteral(" již existuje.") + kCrLf + QStringLiteral("Zadejte jiný název.");
}

} // namespace

frmSkupinaFunkci::frmSkupinaFunkci(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_groups(state.database())
    , m_store(state.database())
    , m_controls(new EditorControls(this))
{
    setObjectName(QStringLiteral("frmSkupinaFunkci"));
    setWindowTitle(QStringLiteral("Skupina ukazatelů"));
    buildControls();
    // Commands beyond the user's rights stay off, their tooltips say why.
    ui::requireRight(m_cmdPridat, m_state.rights(), db::Right::Indicators);
    ui::requireRight(m_cmdOdstranit, m_state.rights(), db::Right::Indicators);
    ui::requireRight(m_cmdVytvorit, m_state.rights(), db::Right::Indicators);
    ui::requireRight(m_cmdOK, m_state.rights(), db::Right::Indicators);
    ui::requireRight(m_cmdOdstranitSkupinu, m_state.rights(), db::Right::Indicators);
    resize(560, 400);
    load();
}

frmSkupinaFunkci::~frmSkupinaFunkci() = default;

void frmSkupinaFunkci::buildControls()
{
    m_cboFceSkupina = m_controls->nameBox(QStringLiteral("cboFceSkupina"), [this](int index) { cboFceSkupina_Click(index); });
    m_txtPopis = m_controls->descriptionBox();

    const auto list = [this](const QString &name) {
        auto *l = new QListWidget(this);
        l->setObjectName(name);
        return l;
    };
    m_lstVse = list(QStringLiteral("lstVse"));
    m_lstVybrane = list(QStringLiteral("lstVybrane"));
    m_lstPridane = list(QStringLiteral("lstPridane"));
    m_lstPridane->setMaximumHeight(60);
    connect(m_lstVse, &QListWidget::itemDoubleClicked, this, &frmSkupinaFunkci::cmdPridat_Click);

    const auto button = [this](const QString &name, const QString &caption, void (frmSkupinaFunkci::*handler)()) {
        return m_controls->button(name, caption, [this, handler] { (this->*handler)(); });
    };
    m_cmdPridat = button(QStringLiteral("cmdPridat"), QStringLiteral(">>"), &frmSkupinaFunkci::cmdPridat_Click);
    m_cmdOdstranit = button(QStringLiteral("cmdOdstranit"), QStringLiteral("Odstranit"), &frmSkupinaFunkci::cmdOdstranit_Click);
    m_cmdNova = button(QStringLiteral("cmdNova"), QStringLiteral("Nová"), &frmSkupinaFunkci::cmdNova_Click);
    m_cmdVytvorit = button(QStringLiteral("cmdVytvorit"), QStringLiteral("Vytvořit"), &frmSkupinaFunkci::cmdVytvorit_Click);
    m_cmdOK = button(QStringLiteral("cmdOK"), QStringLiteral("Změnit"), &frmSkupinaFunkci::cmdOK_Click);
    m_cmdOdstranitSkupinu = button(QStringLiteral("cmdOdstranitSkupinu"), QStringLiteral("Odstranit skupinu"),
                                   &frmSkupinaFunkci::cmdOdstranitSkupinu_Click);
    m_cmdStorno = button(QStringLiteral("cmdStorno"), QStringLiteral("Storno"), &frmSkupinaFunkci::cmdStorno_Click);

    const auto label = [this](const QString &caption, QWidget *buddy) { return m_controls->label(caption, buddy); };
    auto *top = new QGridLayout;
    top->addWidget(label(QStringLiteral("Skupina"), m_cboFceSkupina), 0, 0);
    top->addWidget(m_cboFceSkupina, 0, 1);
    top->addWidget(label(QStringLiteral("Popis"), m_txtPopis), 1, 0, Qt::AlignTop);
    top->addWidget(m_txtPopis, 1, 1);
    top->setColumnStretch(1, 1);

    auto *middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(m_cmdPridat);
    middle->addWidget(m_cmdOdstranit);
    middle->addStretch(1);
    auto *lists = new QGridLayout;
    lists->addWidget(label(QStringLiteral("Všechny ukazetele"), m_lstVse), 0, 0);
    lists->addWidget(label(QStringLiteral("Ukazatele ve skupině"), m_lstVybrane), 0, 2);
    lists->addWidget(m_lstVse, 1, 0, 2, 1);
    lists->addLayout(middle, 1, 1, 2, 1);
    lists->addWidget(m_lstVybrane, 1, 2);
    lists->addWidget(m_lstPridane, 2, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdNova);
    buttons->addWidget(m_cmdVytvorit);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdOdstranitSkupinu);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdStorno);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
}

void frmSkupinaFunkci::fillList(QListWidget *list, const QList<Entry> &entries)
{
    list->clear();
    for (const Entry &entry : entries)
        addEntry(list, entry);
}

void frmSkupinaFunkci::load()
{
    const std::optional<qint32> wanted = m_state.takeSelectionAfterReload();
    const Result<QList<Entry>> groups = m_groups.groups();
    const Result<QList<Entry>> indicators = groups.ok() ? m_store.indicators() : Result<QList<Entry>>{};
    if (!groups.ok() || !indicators.ok()) {
        m_controls->showFailure(QStringLiteral("Skupiny ukazatelů nelze načíst."), groups.ok() ? indicators.error : groups.error);
        return;
    }
    int index = 0;
    m_controls->setQuietly([&] {
        m_cboFceSkupina->clear();
        // "Vše" carries no id: what it means is told by the mode.
        m_cboFceSkupina->addItem(QStringLiteral("Vše"));
        for (const Entry &group : groups.value) {
            if (wanted && group.id == *wanted)
                index = m_cboFceSkupina->count();
            m_cboFceSkupina->addItem(group.name, group.id);
        }
    });
    fillList(m_lstVse, indicators.value);
    m_lstPridane->clear();
    cboFceSkupina_Click(index);
}

void frmSkupinaFunkci::cboFceSkupina_Click(int index)
{
    if (index < 0 || index >= m_cboFceSkupina->count())
        index = 0;
    const bool all = index == 0;
    const qint32 group = all ? 0 : m_cboFceSkupina->itemData(index).toInt();
    const Result<QList<Entry>> members = all ? m_store.indicators() : m_groups.members(group);
    const Result<QString> description = all ? Result<QString>{} : m_groups.description(group);
    if (!members.ok() || !description.ok()) {
        m_controls->showFailure(QStringLiteral("Skupinu ukazatelů nelze načíst."), members.ok() ? description.error : members.error);
        return;
    }
    m_mode = all ? Mode::All : Mode::Group;
    m_group = group;
    m_groupName = m_cboFceSkupina->itemText(index);
    m_controls->setQuietly([&] {
        m_cboFceSkupina->setCurrentIndex(index);
        m_cboFceSkupina->setEditText(m_groupName);
        m_txtPopis->setPlainText(description.value);
    });
    m_controls->nameChanged = m_controls->descriptionChanged = false;
    m_lstPridane->clear();
    fillList(m_lstVybrane, members.value);
    m_cmdOK->setEnabled(!all);
    m_cmdOdstranitSkupinu->setEnabled(!all);
}

void frmSkupinaFunkci::cmdNova_Click()
{
    m_mode = Mode::NewGroup;
    m_group = 0;
    m_groupName.clear();
    m_cmdOK->setEnabled(false);
    m_cmdOdstranitSkupinu->setEnabled(false);
    m_controls->setQuietly([this] {
        m_cboFceSkupina->setCurrentIndex(-1);
        m_cboFceSkupina->clearEditText();
        m_txtPopis->clear();
    });
    m_controls->nameChanged = m_controls->descriptionChanged = false;
    m_cboFceSkupina->setFocus();
    m_lstVybrane->clear();
    m_lstPridane->clear();
}

void frmSkupinaFunkci::cmdPridat_Click()
{
    const QListWidgetItem *selected = m_lstVse->currentItem();
    if (!selected || holds(m_lstVybrane, itemId(selected)))
        return;
    addEntry(m_lstVybrane, {selected->text(), itemId(selected)});
    addEntry(m_lstPridane, {selected->text(), itemId(selected)});
}

QList<Entry> frmSkupinaFunkci::pending() const
{
    QList<Entry> out;
    for (int i = 0; i < m_lstPridane->count(); ++i)
        out.append({m_lstPridane->item(i)->text(), itemId(m_lstPridane->item(i))});
    return out;
}

void frmSkupinaFunkci::cmdOdstranit_Click()
{
    const QListWidgetItem *selected = m_lstVybrane->currentItem();
    if (!selected)
        return;
    if (!ui::askYesNo(this, windowTitle(), QStringLiteral("Chcete vybraný ukazatel odstranit?")))
        return;
    const qint32 id = itemId(selected);
    const auto dropFrom = [id](QListWidget *list) {
        for (int i = list->count() - 1; i >= 0; --i) {
            if (itemId(list->item(i)) == id)
                delete list->takeItem(i);
        }
    };
    switch (m_mode) {
    case Mode::NewGroup:
        dropFrom(m_lstVybrane);
        return;
    case Mode::Group: {
        const bool wasPending = holds(m_lstPridane, id);
        dropFrom(m_lstPridane);
        dropFrom(m_lstVybrane);
        // A pending addition was never stored: nothing to write.
        if (wasPending)
            return;
        if (const Outcome removed = m_groups.removeMember(m_group, id); !removed) {
            m_controls->showFailure(QStringLiteral("Ukazatel nelze ze skupiny odstranit."), removed.error);
            cboFceSkupina_Click(m_cboFceSkupina->currentIndex());
        }
        // Removed: the lists already show it; the typed name, description and pending
        // additions stay to be saved.
        return;
    }
    case Mode::All:
        // Deletes the indicator itself; the store refuses the ones full statements need.
        if (const Outcome removed = m_store.remove(id); !removed) {
            m_controls->showFailure(QStringLiteral("Ukazatel nelze odstranit."), removed.error);
            return;
        }
        if (const Result<QList<Entry>> indicators = m_store.indicators(); indicators.ok())
            fillList(m_lstVse, indicators.value);
        cboFceSkupina_Click(0);
        return;
    }
}

void frmSkupinaFunkci::cmdOK_Click()
{
    if (m_mode != Mode::Group)
        return;
    const QString typed = m_cboFceSkupina->currentText().trimmed();
    std::optional<QString> name;
    if (m_controls->nameChanged && typed != m_groupName) {
        if (typed.isEmpty()) {
            ui::exclamation(this, windowTitle(), QStringLiteral("Zadejte jméno skupiny."));
            return;
        }
        const Result<bool> taken = m_groups.nameTaken(typed, m_group);
        if (!taken.ok()) {
            m_controls->showFailure(QStringLiteral("Skupinu ukazatelů nelze změnit."), taken.error);
            return;
        }
        if (taken.value)
            ui::exclamation(this, windowTitle(), nameTakenText(typed));
        else if (ui::askYesNo(this, windowTitle(), QStringLiteral("Chcete změnit název skupiny ukazatelů?")))
            name = typed;
    }
    std::optional<QString> description;
    if (m_controls->descriptionChanged && ui::askYesNo(this, windowTitle(), QStringLiteral("Chcete změnit popis skupiny ukazatelů?")))
        description = m_txtPopis->toPlainText();
    const QString groupName = name.value_or(m_groupName);
    QList<qint32> added;
    const int count = m_lstPridane->count();
    if (count > 0
        && ui::askYesNo(this, windowTitle(),
                        QStringLiteral("Chcete přidat ") + QString::number(count) + QStringLiteral(" ukazatelů") + kCrLf
                            + QStringLiteral("do skupiny ") + groupName + QStringLiteral("?"))) {
        for (const Entry &entry : pending())
            added << entry.id;
    }

    const Result<Saved> saved = m_groups.change(m_group, name, description, added);
    if (!saved.ok()) {
        m_controls->showFailure(QStringLiteral("Skupinu ukazatelů nelze změnit, nic nebylo uloženo."), saved.error);
        return;
    }
    if (saved.value.nameTaken) {
        ui::exclamation(this, windowTitle(), nameTakenText(typed));
        return;
    }
    if (name)
        ui::information(this, windowTitle(), QStringLiteral("Název skupiny byl změněn."));
    if (description)
        ui::information(this, windowTitle(), QStringLiteral("Popis skupiny byl změněn."));
    if (!added.isEmpty())
        ui::information(this, windowTitle(),
                        QStringLiteral("Přidáno ") + QString::number(added.size()) + QStringLiteral(" ukazatelů.") + kCrLf
                            + QStringLiteral("do skupiny ") + groupName + QStringLiteral("."));
    m_state.setSelectionAfterReload(m_group);
    load();
}

void frmSkupinaFunkci::cmdVytvorit_Click()
{
    const QString name = m_cboFceSkupina->currentText().trimmed();
    if (name.isEmpty()) {
        ui::exclamation(this, windowTitle(), QStringLiteral("Zadejte jméno skupiny."));
        return;
    }
    QList<qint32> members;
    for (int i = 0; i < m_lstVybrane->count(); ++i)
        members << itemId(m_lstVybrane->item(i));
    const Result<Saved> saved = m_groups.create(name, m_txtPopis->toPlainText(), members);
    if (!saved.ok()) {
        m_controls->showFailure(QStringLiteral("Skupinu ukazatelů nelze vytvořit, nic nebylo uloženo."), saved.error);
        return;
    }
    if (saved.value.nameTaken) {
        ui::exclamation(this, windowTitle(), nameTakenText(name));
        return;
    }
    m_lstPridane->clear();
    ui::information(this, windowTitle(), QStringLiteral("Skupina ") + name + QStringLiteral(" byla vytvořena."));
    m_state.setSelectionAfterReload(saved.value.id);
    load();
}

void frmSkupinaFunkci::cmdOdstranitSkupinu_Click()
{
    if (m_mode != Mode::Group)
        return;
    if (!ui::askYesNo(this, windowTitle(), QStringLiteral("Chcete odstranit skupinu ukazatelů ") + m_groupName + QStringLiteral("?")))
        return;
    if (const Outcome removed = m_groups.remove(m_group); !removed) {
        m_controls->showFailure(QStringLiteral("Skupinu ukazatelů nelze odstranit."), removed.error);
        return;
    }
    m_state.setSelectionAfterReload(std::nullopt);
    load();
    ui::information(this, windowTitle(), QStringLiteral("Skupina ukazatelů byla odstraněna"));
}

void frmSkupinaFunkci::cmdStorno_Click()
{
    m_controls->closeWindow();
}

} // namespace verna::indicators

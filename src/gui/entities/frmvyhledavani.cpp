#include "entities/frmvyhledavani.h"

#include "entities/foundlist.h"
#include "selection/payload.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "shell/windowregistry.h"
#include "ui/dragdrop.h"
#include "ui/longlistview.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

namespace verna::entities {

namespace {

const QString kNajit = QStringLiteral("&Najít");
const QString kVOboru = QStringLiteral("V oboru");
const QString kSearchFailed = QStringLiteral("Hledání nelze dokončit, databáze ohlásila chybu.");
const QString kIncomplete = QStringLiteral(" (neúplné)");

const QString kNameCountPrefix = QStringLiteral("Počet nalezených subjektů: ");

QString nameCount(int count)
{
    return kNameCountPrefix + QString::number(count);
}

QString branchCount(int count)
{
    return QStringLiteral("Nalezeno ") + QString::number(count) + QStringLiteral(" subjektů");
}

qint32 itemId(const QListWidgetItem *item)
{
    return item->data(Qt::UserRole).toInt();
}

void addLine(QListWidget *list, const ListItem &line)
{
    // Filled before it joins the list, so the list hears of it once.
    auto *item = new QListWidgetItem(line.text);
    item->setData(Qt::UserRole, line.id);
    // Legal forms and branches have long names; the narrow window shows them whole here.
    item->setToolTip(ui::plainToolTip(line.text));
    list->addItem(item);
}

// The wait cursor while another window opens.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

frmVyhledavani::frmVyhledavani(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_search(state.database())
{
    setObjectName(QStringLiteral("frmVyhledavani"));
    setWindowTitle(QStringLiteral("Vyhledávací okno"));
    buildControls();
    // 6840 × 4635 twips.
    resize(456, 309);

    fillModeList(Mode::Name);
    updateControls();
}

frmVyhledavani::~frmVyhledavani() = default;

void frmVyhledavani::buildControls()
{
    m_frame1 = new QGroupBox(QStringLiteral("Vyhledávat podle"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_optTypHledani = new QButtonGroup(this);
    m_optTypHledani->setObjectName(QStringLiteral("optTypHledani"));
    auto *frameLayout = new QVBoxLayout(m_frame1);
    const QStringList modes = {QStringLiteral("názvu subjektu"), QStringLiteral("oboru")};
    for (int i = 0; i < modes.size(); ++i) {
        auto *option = new QRadioButton(modes.at(i), m_frame1);
        option->setObjectName(QStringLiteral("optTypHledani_%1").arg(i));
        m_optTypHledani->addButton(option, i);
        frameLayout->addWidget(option);
    }
    m_optTypHledani->button(0)->setChecked(true);
    connect(m_optTypHledani, &QButtonGroup::idClicked, this, &frmVyhledavani::optTypHledani_Click);

    m_txtJmeno = new QLineEdit(this);
    m_txtJmeno->setObjectName(QStringLiteral("txtJmeno"));
    m_txtICO = new QLineEdit(this);
    m_txtICO->setObjectName(QStringLiteral("txtICO"));
    auto *lblJmeno = new QLabel(QStringLiteral("Jméno:"), this);
    lblJmeno->setObjectName(QStringLiteral("lblJmeno"));
    lblJmeno->setBuddy(m_txtJmeno);
    auto *lblICO = new QLabel(QStringLiteral("Reg. č.:"), this);
    lblICO->setObjectName(QStringLiteral("lblICO"));
    lblICO->setBuddy(m_txtICO);
    connect(m_txtJmeno, &QLineEdit::returnPressed, this, &frmVyhledavani::cmdHledat_Click);
    connect(m_txtICO, &QLineEdit::returnPressed, this, &frmVyhledavani::cmdHledat_Click);

    const auto button = [this](const QString &name, const QString &caption, void (frmVyhledavani::*handler)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    m_cmdHledat = button(QStringLiteral("cmdHledat"), kNajit, &frmVyhledavani::cmdHledat_Click);
    m_cmdSmazat = button(QStringLiteral("cmdSmazat"), QStringLiteral("&Smazat"), &frmVyhledavani::cmdSmazat_Click);
    m_cmdVse = button(QStringLiteral("cmdVse"), QStringLiteral("&Vše"), &frmVyhledavani::cmdVse_Click);
    m_cmdNic = button(QStringLiteral("cmdNic"), QStringLiteral("Ni&c"), &frmVyhledavani::cmdNic_Click);
    m_cmdHledatVOboru = button(QStringLiteral("cmdHledatVOboru"), kVOboru, &frmVyhledavani::cmdHledatVOboru_Click);
    m_cmdEditace = button(QStringLiteral("cmdEditace"), QStringLiteral("Editace"), &frmVyhledavani::cmdEditace_Click);

    m_lstPravniForma = new QListWidget(this);
    m_lstPravniForma->setObjectName(QStringLiteral("lstPravniForma"));
    m_lstPravniForma->setSelectionMode(QAbstractItemView::MultiSelection);
    connect(m_lstPravniForma, &QListWidget::itemClicked, this, &frmVyhledavani::lstPravniForma_Click);

    auto *results = new ui::LongListView(this);
    results->setDragStarter([this] { lstNalezeno_OLEStartDrag(); });
    m_lstNalezeno = results;
    m_lstNalezeno->setObjectName(QStringLiteral("lstNalezeno"));
    m_found = new FoundList(this);
    m_lstNalezeno->setModel(m_found);
    m_lstNalezeno->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lstNalezeno->installEventFilter(this);
    connect(m_lstNalezeno, &QAbstractItemView::doubleClicked, this, &frmVyhledavani::lstNalezeno_DblClick);
    connect(m_lstNalezeno->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmVyhledavani::updateControls);
    connect(m_lstNalezeno->selectionModel(), &QItemSelectionModel::currentChanged, this, &frmVyhledavani::updateControls);
    // The count follows the lines shown while a listing runs, a step per batch.
    connect(m_found, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_countText)
            m_lblNalezeno->setText(m_countText(m_found->rowCount()));
    });
    ui::acceptTextDrops(m_lstNalezeno, [this](const QString &text, const QPoint &) { lstNalezeno_OLEDragDrop(text); });

    m_lblNalezeno = new QLabel(nameCount(0), this);
    m_lblNalezeno->setObjectName(QStringLiteral("lblNalezeno"));

    // Beside the prefix search: the typed name anywhere in the entity's name.
    m_chkKdekoli = new QCheckBox(QStringLiteral("Kdekoli v názvu"), this);
    m_chkKdekoli->setObjectName(QStringLiteral("chkKdekoli"));
    m_chkHlavniOkec = new QCheckBox(QStringLiteral("Hledat podle hlavního OKEČ"), this);
    m_chkHlavniOkec->setObjectName(QStringLiteral("chkHlavniOkec"));

    // Left: the mode and the list it fills; right: the typed texts, the buttons and the
    // results. Both lists grow with the window; the branch commands run along the bottom.
    auto *formButtons = new QHBoxLayout;
    formButtons->addWidget(m_cmdVse);
    formButtons->addWidget(m_cmdNic);
    auto *left = new QVBoxLayout;
    left->addWidget(m_frame1);
    left->addWidget(m_lstPravniForma, 1);
    left->addLayout(formButtons);

    auto *texts = new QGridLayout;
    texts->addWidget(lblJmeno, 0, 0);
    texts->addWidget(m_txtJmeno, 0, 1);
    texts->addWidget(m_cmdHledat, 0, 2);
    texts->addWidget(lblICO, 1, 0);
    texts->addWidget(m_txtICO, 1, 1);
    texts->addWidget(m_cmdSmazat, 1, 2);
    texts->setColumnStretch(1, 1);
    auto *right = new QVBoxLayout;
    right->addLayout(texts);
    right->addWidget(m_chkKdekoli);
    right->addWidget(m_lstNalezeno, 1);
    right->addWidget(m_lblNalezeno);

    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 2);
    columns->addLayout(right, 3);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_cmdHledatVOboru);
    bottom->addWidget(m_chkHlavniOkec);
    bottom->addStretch(1);
    bottom->addWidget(m_cmdEditace);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(columns, 1);
    layout->addLayout(bottom);
    m_txtJmeno->setFocus();
}

void frmVyhledavani::fillModeList(Mode mode)
{
    m_mode = mode;
    m_lstPravniForma->clear();
    const auto lines = mode == Mode::Name ? m_search.legalForms() : m_search.classificationLists();
    if (!lines.ok())
        showFailure(lines.error);
    for (const ListItem &line : lines.value)
        addLine(m_lstPravniForma, line);
    m_lstPravniForma->selectAll();
    m_listContent = mode == Mode::Name ? ListContent::LegalForms : ListContent::Classifications;
}

void frmVyhledavani::optTypHledani_Click(int index)
{
    if (isSearching() || index < 0 || index > 1)
        return;
    const Mode mode = index == 0 ? Mode::Name : Mode::Branch;
    // Clicking the current mode keeps the user's selection; in branch mode it brings the
    // classification lists back in place of found branches.
    if (mode == m_mode && m_listContent != ListContent::Branches)
        return;
    fillModeList(mode);
}

void frmVyhledavani::cmdVse_Click()
{
    if (!isSearching())
        m_lstPravniForma->selectAll();
}

void frmVyhledavani::cmdNic_Click()
{
    if (!isSearching())
        m_lstPravniForma->clearSelection();
}

void frmVyhledavani::cmdHledat_Click()
{
    // While a listing runs the button is its Stop, which the long task itself handles.
    if (isSearching())
        return;
    if (m_mode == Mode::Name)
        searchByName();
    else
        searchBranches();
}

void frmVyhledavani::cmdSmazat_Click()
{
    m_txtICO->clear();
    m_txtJmeno->clear();
    m_txtJmeno->setFocus();
}

void frmVyhledavani::searchByName()
{
    const NameQuery query{m_txtJmeno->text(), m_txtICO->text(), selectedCodes(), m_chkKdekoli->isChecked()};
    m_lblNalezeno->setText(nameCount(0));
    m_found->clear();
    runListing(Running::Search, [this, &query](ui::LongTask &task) { return m_search.byName(query, entitySink(task, nameCount)); });
}

void frmVyhledavani::searchBranches()
{
    // Found branches stand where the classification lists were: a repeated search looks
    // in the lists the previous one used.
    if (m_listContent == ListContent::Classifications)
        m_classifications = selectedCodes();
    const BranchQuery query{m_txtICO->text(), m_txtJmeno->text(), m_classifications};
    m_lstPravniForma->clear();
    m_listContent = ListContent::Branches;
    m_found->clear();
    m_lblNalezeno->setText(nameCount(0));
    QPointer<frmVyhledavani> self(this);
    runListing(Running::Search, [this, self, &query](ui::LongTask &) {
        return m_search.branches(query, [self](const ListItem &line, int) {
            if (self)
                addLine(self->m_lstPravniForma, line);
        });
    });
}

void frmVyhledavani::lstPravniForma_Click(QListWidgetItem *item)
{
    if (isSearching() || !item || m_mode != Mode::Branch || m_listContent != ListContent::Branches)
        return;
    listBranchEntities(itemId(item), Running::Search);
}

void frmVyhledavani::listBranchEntities(qint32 branch, Running running)
{
    m_found->clear();
    m_lblNalezeno->setText(branchCount(0));
    const bool mainOnly = m_chkHlavniOkec->isChecked();
    runListing(running, [this, branch, mainOnly](ui::LongTask &task) {
        return m_search.branchEntities(branch, mainOnly, entitySink(task, branchCount));
    });
}

void frmVyhledavani::cmdHledatVOboru_Click()
{
    // While a listing runs the button is its Stop, which the long task itself handles.
    if (isSearching())
        return;
    const int row = selectedResult();
    if (row < 0 || EntitySearch::isGroupLine(m_found->text(row)))
        return;
    const qint32 entity = m_found->id(row);
    if (m_chkHlavniOkec->isChecked()) {
        const auto branch = m_search.mainBranch(entity);
        if (!branch.ok()) {
            showFailure(branch.error);
            return;
        }
        if (!branch.value) {
            ui::exclamation(this, windowTitle(), QStringLiteral("Subjekt nemá přiřazen obor činnosti."));
            return;
        }
        listBranchEntities(*branch.value, Running::SameBranch);
        return;
    }
    m_found->clear();
    m_lblNalezeno->setText(branchCount(0));
    runListing(Running::SameBranch, [this, entity](ui::LongTask &task) {
        return m_search.sameBranchEntities(entity, entitySink(task, branchCount));
    });
}

void frmVyhledavani::cmdEditace_Click()
{
    const int row = selectedResult();
    shell::frmHlavni *main = shell::frmHlavni::of(this);
    if (isSearching() || row < 0 || !main)
        return;
    if (EntitySearch::isGroupLine(m_found->text(row)))
        main->openEntityGroups(m_found->id(row));
    else
        main->openEntityEditing(m_found->id(row));
}

void frmVyhledavani::lstNalezeno_DblClick()
{
    const int row = selectedResult();
    shell::frmHlavni *main = shell::frmHlavni::of(this);
    if (isSearching() || row < 0 || !main)
        return;
    WaitCursor wait;
    main->openDataSelection(m_found->id(row));
}

void frmVyhledavani::lstNalezeno_OLEStartDrag()
{
    // The selection's ranges rather than its indexes: a million selected lines stay a few ranges.
    QList<int> rows;
    for (const QItemSelectionRange &range : m_lstNalezeno->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    QList<qint32> ids;
    ids.reserve(rows.size());
    for (int row : rows)
        ids << m_found->id(row);
    // Nothing selected: nothing to drag.
    const QString payload = selection::Payload::entitySelection(ids);
    if (!payload.isEmpty())
        ui::startTextDrag(m_lstNalezeno, payload);
}

void frmVyhledavani::lstNalezeno_OLEDragDrop(const QString &text)
{
    if (isSearching())
        return;
    const std::optional<selection::Payload> payload = selection::Payload::parse(text);
    const std::optional<qint32> branch = payload ? payload->branchCode() : std::nullopt;
    if (branch)
        listBranchEntities(*branch, Running::Search);
}

void frmVyhledavani::runListing(Running running, const std::function<Listing(ui::LongTask &)> &listing)
{
    QPushButton *stopButton = running == Running::Search ? m_cmdHledat : m_cmdHledatVOboru;
    Listing result;
    const ui::TaskEnd end = ui::runLongTask(this, stopButton, [&](ui::LongTask &task) {
        m_running = running;
        updateControls();
        m_search.setStopCheck(task.stopCheck());
        result = listing(task);
        m_search.setStopCheck({});
    });
    if (end == ui::TaskEnd::Refused || end == ui::TaskEnd::WindowGone)
        return;
    m_found->showTaken();
    if (m_countText)
        m_lblNalezeno->setText(m_countText(result.count));
    m_countText = {};
    m_running = Running::None;
    updateControls();
    if (!result.ok()) {
        // The rows read before the failure stay, marked as not the whole answer. A statement
        // that Stop cancelled needs no message: the user asked for the end.
        m_lblNalezeno->setText(m_lblNalezeno->text() + kIncomplete);
        if (end != ui::TaskEnd::Stopped)
            showFailure(result.error);
    }
}

void frmVyhledavani::showFailure(const QString &reason)
{
    ui::critical(this, windowTitle(), kSearchFailed, reason);
}

EntitySearch::ItemSink frmVyhledavani::entitySink(ui::LongTask &task, const std::function<QString(int count)> &countText)
{
    QPointer<frmVyhledavani> self(this);
    m_countText = countText;
    return [self, &task](const ListItem &line, int) {
        if (!self)
            return;
        // Taken in here, shown a batch per turn of the event loop; the count follows the batches.
        self->m_found->append(line);
        // Rows show and Stop is heard while a long list fills, not only while it is read;
        // the search asks the task's stop check after each row.
        task.next();
    };
}

void frmVyhledavani::updateControls()
{
    const bool idle = !isSearching();
    m_frame1->setEnabled(idle);
    m_lstPravniForma->setEnabled(idle);
    m_cmdVse->setEnabled(idle);
    m_cmdNic->setEnabled(idle);
    // The button of the running listing is its Stop and stays usable; the other one waits.
    m_cmdHledat->setEnabled(idle || m_running == Running::Search);
    const int row = selectedResult();
    const bool group = row >= 0 && EntitySearch::isGroupLine(m_found->text(row));
    m_cmdHledatVOboru->setEnabled(m_running == Running::SameBranch || (idle && !group));
    const auto editing = group ? shell::WindowKind::EntityGroups : shell::WindowKind::EntityEditing;
    m_cmdEditace->setEnabled(idle && row >= 0 && canOpen(editing));
}

int frmVyhledavani::selectedResult() const
{
    const QItemSelectionModel *selection = m_lstNalezeno->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current))
        return current.row();
    const QItemSelection ranges = selection->selection();
    return ranges.isEmpty() ? -1 : ranges.front().top();
}

QList<qint32> frmVyhledavani::selectedCodes() const
{
    QList<qint32> codes;
    for (int i = 0; i < m_lstPravniForma->count(); ++i) {
        const QListWidgetItem *item = m_lstPravniForma->item(i);
        if (item->isSelected())
            codes << itemId(item);
    }
    return codes;
}

bool frmVyhledavani::canOpen(shell::WindowKind kind) const
{
    const shell::frmHlavni *main = shell::frmHlavni::of(this);
    return main && main->registry().has(kind);
}

bool frmVyhledavani::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lstNalezeno && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            lstNalezeno_DblClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace verna::entities

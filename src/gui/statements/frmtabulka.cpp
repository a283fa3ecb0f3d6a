#include "statements/frmtabulka.h"

#include "indicators/evaluator.h"
#include "selection/payload.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "statements/statementdata.h"
#include "statements/statementtable.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/frozentableview.h"
#include "ui/gridcommands.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QAction>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace verna::statements {

using selection::Payload;

namespace {

const QString kDeleteTitle = QStringLiteral("Odstranění řádků");
const QString kDeleteColumns = QStringLiteral("Opravdu chcete vybrané sloupce odstranit?");
} // namespace

// What a fill works on; it holds its own reference, so it outlives a closed window.
struct frmTabulka::Session {
    explicit Session(db::Database &database)
        : evaluator(database)
        , data(database, evaluator)
    {
    }

    indicators::Evaluator evaluator;
    StatementData data;
    StatementTable table;
};

frmTabulka::frmTabulka(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_session(std::make_shared<Session>(state.database()))
{
    setObjectName(QStringLiteral("frmTabulka"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The row titles stay in view while the statements scroll.
    m_grdData = new ui::FrozenTableView(1, this);
    m_grdData->setObjectName(QStringLiteral("grdData"));
    m_grdData->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grdData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdData->horizontalHeader()->setHighlightSections(false);
    m_grdData->verticalHeader()->setDefaultSectionSize(m_grdData->fontMetrics().height() + 6);
    m_grdData->setModel(&m_session->table);
    connect(&m_session->table, &QAbstractItemModel::modelReset, this, [this] {
        m_grdData->setColumnWidth(0, 320);
        // A column is at least as wide as its header: the entity's name is not cut.
        for (int c = 1; c < m_session->table.columnCount(); ++c)
            m_grdData->setColumnWidth(c, std::max(130, m_grdData->horizontalHeader()->sectionSizeHint(c)));
    });
    ui::acceptTextDrops(m_grdData, [this](const QString &text, const QPoint &) { grdData_OLEDragDrop(text); });
    layout->addWidget(m_grdData);

    auto *commands = new ui::GridCommands(this, m_grdData,
                                          {[this] { grdData_Delete(); },
                                           [this] {
                                               const QItemSelectionRange r = m_grdData->selectionModel()->selection().front();
                                               return analysis::cellsAsTsv(
                                                   m_session->table.cells(r.top(), r.left(), r.bottom(), r.right()));
                                           },
                                           [this] { return m_session->table.exportTable(); }});
    auto *change = new QAction(QStringLiteral("Vložit sloupec Změna"), this);
    change->setObjectName(QStringLiteral("miZmena"));
    connect(change, &QAction::triggered, this, &frmTabulka::insertChange);
    commands->addMenuAction(change, [this] {
        const QModelIndex current = m_grdData->currentIndex();
        return current.isValid() && m_session->table.canInsertChange(current.column());
    });
    auto *structure = new QAction(QStringLiteral("Zobrazit strukturu (v %)"), this);
    structure->setObjectName(QStringLiteral("miStruktura"));
    structure->setCheckable(true);
    connect(structure, &QAction::toggled, this, [this, structure](bool shown) {
        showStructure(shown);
        // While busy the table stays as it is, and so does the check mark.
        const QSignalBlocker blocker(structure);
        structure->setChecked(m_session->table.structureShown());
    });
    commands->addMenuAction(structure, [] { return true; });

    shell::frmHlavni::sizeChild(this, 0.5, 0.4, QSize(640, 480));
}

frmTabulka::~frmTabulka() = default;

const StatementTable &frmTabulka::table() const
{
    return m_session->table;
}

void frmTabulka::Form_Activate()
{
    if (shell::frmHlavni *main = shell::frmHlavni::of(this))
        main->setSaveItem(true, QStringLiteral("vykaz"));
}

void frmTabulka::Form_Deactivate()
{
    if (shell::frmHlavni *main = shell::frmHlavni::of(this))
        main->setSaveItem(false);
}

void frmTabulka::grdData_OLEDragDrop(const QString &text)
{
    if (ui::isBusy(this))
        return;
    const auto payload = Payload::parse(text);
    if (!payload || payload->kind() != Payload::Kind::TreeNode)
        return;
    fill(payload->node());
}

void frmTabulka::fill(const selection::NodeKey &key)
{
    const auto rule = dropRule(key.kind);
    if (!rule)
        return;
    if (!m_session->table.accepts(*rule)) {
        ui::information(this, QStringLiteral("Informace"), kIncompatible);
        return;
    }
    const std::shared_ptr<Session> session = m_session;
    Outcome outcome;
    const ui::TaskEnd end = ui::runLongTask(this, nullptr, [&](ui::LongTask &task) {
        outcome = session->data.dropColumns(
            key.kind, key.id, key.year, [&session](const StatementColumn &column) { session->table.appendColumn(column); }, task.stopCheck());
    });
    if (end == ui::TaskEnd::WindowGone || end == ui::TaskEnd::Refused)
        return;
    m_session->table.setKind(*rule);
    setWindowTitle(m_session->table.title());
    if (!outcome)
        ui::databaseFailure(this, windowTitle(), QStringLiteral("Výkazy nelze do tabulky načíst, databáze ohlásila chybu."),
                            outcome.error);
}

std::optional<std::pair<int, int>> frmTabulka::selectedColumns() const
{
    const QItemSelection selection = m_grdData->selectionModel()->selection();
    if (selection.size() != 1)
        return std::nullopt;
    const QItemSelectionRange &range = selection.front();
    const int rows = m_session->table.rowCount();
    if (rows == 0 || range.top() != 0 || range.bottom() != rows - 1 || range.left() < 1)
        return std::nullopt;
    return std::make_pair(range.left(), range.right());
}

void frmTabulka::grdData_Delete()
{
    if (ui::isBusy(this))
        return;
    const auto columns = selectedColumns();
    if (!columns || !ui::askYesNo(this, kDeleteTitle, kDeleteColumns))
        return;
    m_session->table.removeColumns(columns->first, columns->second);
    m_grdData->clearSelection();
}

void frmTabulka::showStructure(bool shown)
{
    if (ui::isBusy(this))
        return;
    m_session->table.setStructureShown(shown);
}

void frmTabulka::insertChange()
{
    const QModelIndex current = m_grdData->currentIndex();
    if (ui::isBusy(this) || !current.isValid())
        return;
    m_session->table.insertChange(current.column());
}

} // namespace verna::statements

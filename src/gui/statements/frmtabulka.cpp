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
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStandardPaths>
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
    m_grdData->setContextMenuPolicy(Qt::CustomContextMenu);
    m_grdData->installEventFilter(this);
    connect(m_grdData, &QWidget::customContextMenuRequested, this, &frmTabulka::showGridMenu);
    ui::acceptTextDrops(m_grdData, [this](const QString &text, const QPoint &) { grdData_OLEDragDrop(text); });
    layout->addWidget(m_grdData);

    const auto action = [this](const QString &name, const QString &text, void (frmTabulka::*slot)()) {
        auto *a = new QAction(text, this);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_copy = action(QStringLiteral("miKopirovat"), QStringLiteral("Kopírovat"), &frmTabulka::copySelection);
    m_copy->setShortcut(QKeySequence::Copy);
    m_exportXlsx = action(QStringLiteral("miExportXlsx"), QStringLiteral("Exportovat do XLSX…"), &frmTabulka::exportXlsx);
    m_exportCsv = action(QStringLiteral("miExportCsv"), QStringLiteral("Exportovat do CSV…"), &frmTabulka::exportCsv);
    m_change = action(QStringLiteral("miZmena"), QStringLiteral("Vložit sloupec Změna"), &frmTabulka::insertChange);

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
            key, [&session](const StatementColumn &column) { session->table.appendColumn(column); }, task.stopCheck());
    });
    if (end == ui::TaskEnd::WindowGone || end == ui::TaskEnd::Refused)
        return;
    m_session->table.setKind(*rule);
    setWindowTitle(m_session->table.title());
    if (!outcome)
        ui::databaseFailure(this, windowTitle(), outcome.error);
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

void frmTabulka::copySelection()
{
    const QItemSelection selection = m_grdData->selectionModel()->selection();
    if (selection.isEmpty())
        return;
    const QItemSelectionRange &r = selection.front();
    QGuiApplication::clipboard()->setText(analysis::cellsAsTsv(m_session->table.cells(r.top(), r.left(), r.bottom(), r.right())));
}

void frmTabulka::insertChange()
{
    const QModelIndex current = m_grdData->currentIndex();
    if (ui::isBusy(this) || !current.isValid())
        return;
    m_session->table.insertChange(current.column());
}

void frmTabulka::exportXlsx()
{
    exportTable(true);
}

void frmTabulka::exportCsv()
{
    exportTable(false);
}

void frmTabulka::exportTable(bool xlsx)
{
    if (ui::isBusy(this))
        return;
    const QString suffix = xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = ui::saveFileName(this, xlsx ? QStringLiteral("Exportovat do XLSX") : QStringLiteral("Exportovat do CSV"),
                                    QDir(folder).filePath(windowTitle() + suffix),
                                    xlsx ? QStringLiteral("Sešit XLSX (*.xlsx)") : QStringLiteral("Text CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    const analysis::ExportTable table = m_session->table.exportTable();
    const Outcome written = xlsx ? analysis::writeXlsx(table, path) : analysis::writeCsv(table, path);
    if (!written)
        ui::critical(this, windowTitle(), QStringLiteral("Tabulku se nepodařilo uložit."), written.error);
}

void frmTabulka::showGridMenu(const QPoint &pos)
{
    const bool busy = ui::isBusy(this);
    m_copy->setEnabled(m_grdData->selectionModel()->hasSelection());
    m_exportXlsx->setEnabled(!busy);
    m_exportCsv->setEnabled(!busy);
    const QModelIndex current = m_grdData->currentIndex();
    m_change->setEnabled(!busy && current.isValid() && m_session->table.canInsertChange(current.column()));
    QMenu menu(this);
    menu.addAction(m_copy);
    menu.addSeparator();
    menu.addAction(m_change);
    menu.addSeparator();
    menu.addAction(m_exportXlsx);
    menu.addAction(m_exportCsv);
    menu.exec(m_grdData->viewport()->mapToGlobal(pos));
}

bool frmTabulka::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grdData && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            grdData_Delete();
            return true;
        }
        if (key->matches(QKeySequence::Copy)) {
            copySelection();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace verna::statements

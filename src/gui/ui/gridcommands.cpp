#include "ui/gridcommands.h"

#include "ui/busyguard.h"
#include "ui/messages.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QStandardPaths>

namespace verna::ui {

GridCommands::GridCommands(QWidget *window, QAbstractItemView *grid, Handlers handlers)
    : QObject(window)
    , m_window(window)
    , m_grid(grid)
    , m_handlers(std::move(handlers))
{
    const auto action = [this, window](const QString &name, const QString &text, auto slot) {
        auto *a = new QAction(text, window);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_copy = action(QStringLiteral("miKopirovat"), QStringLiteral("Kopírovat"), [this] { copySelection(); });
    m_copy->setShortcut(QKeySequence::Copy);
    m_exportXlsx = action(QStringLiteral("miExportXlsx"), QStringLiteral("Exportovat do XLSX…"), [this] { exportTable(true); });
    m_exportCsv = action(QStringLiteral("miExportCsv"), QStringLiteral("Exportovat do CSV…"), [this] { exportTable(false); });

    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this, &GridCommands::showMenu);
    m_grid->installEventFilter(this);
}

void GridCommands::addMenuAction(QAction *action, std::function<bool()> enabled)
{
    m_own.append({action, std::move(enabled)});
}

void GridCommands::copySelection()
{
    if (!m_grid->selectionModel() || !m_grid->selectionModel()->hasSelection())
        return;
    QGuiApplication::clipboard()->setText(m_handlers.selectionText());
}

void GridCommands::exportTable(bool xlsx)
{
    if (!m_window || isBusy(m_window))
        return;
    const QString suffix = xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = saveFileName(m_window, xlsx ? QStringLiteral("Exportovat do XLSX") : QStringLiteral("Exportovat do CSV"),
                                QDir(folder).filePath(m_window->windowTitle() + suffix),
                                xlsx ? QStringLiteral("Sešit XLSX (*.xlsx)") : QStringLiteral("Text CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    const analysis::ExportTable table = m_handlers.table();
    const Outcome written = xlsx ? analysis::writeXlsx(table, path) : analysis::writeSpreadsheetCsv(table, path);
    if (!written)
        critical(m_window, m_window->windowTitle(), QStringLiteral("Tabulku se nepodařilo uložit."), written.error);
}

void GridCommands::showMenu(const QPoint &pos)
{
    const bool busy = isBusy(m_window);
    m_copy->setEnabled(m_grid->selectionModel() && m_grid->selectionModel()->hasSelection());
    m_exportXlsx->setEnabled(!busy);
    m_exportCsv->setEnabled(!busy);
    QMenu menu(m_window);
    menu.addAction(m_copy);
    menu.addSeparator();
    for (const auto &[action, enabled] : std::as_const(m_own)) {
        action->setEnabled(!busy && enabled());
        menu.addAction(action);
        menu.addSeparator();
    }
    menu.addAction(m_exportXlsx);
    menu.addAction(m_exportCsv);
    menu.exec(m_grid->viewport()->mapToGlobal(pos));
}

bool GridCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            m_handlers.remove();
            return true;
        }
        if (key->matches(QKeySequence::Copy)) {
            copySelection();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace verna::ui

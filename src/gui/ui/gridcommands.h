#pragma once

#include "analysis/tableexport.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QAbstractItemView;
class QAction;
class QPoint;
class QWidget;

namespace verna::ui {

// What the result grids of the financial data and analysis windows share: Delete and Ctrl+C
// on the grid, its context menu ("Kopírovat", the window's own actions, the two exports) and
// the file dialog of an export. The window says what each does to its table. The actions are
// the window's children, named miKopirovat, miExportXlsx and miExportCsv.
class GridCommands : public QObject
{
public:
    struct Handlers {
        std::function<void()> remove;                // Delete on the grid
        std::function<QString()> selectionText;      // what Ctrl+C and "Kopírovat" copy
        std::function<analysis::ExportTable()> table; // what the exports write
    };

    GridCommands(QWidget *window, QAbstractItemView *grid, Handlers handlers);

    // An action of the window's own in the menu, between copying and the exports; enabled
    // tells before each showing whether it may run.
    void addMenuAction(QAction *action, std::function<bool()> enabled);

    void copySelection();
    // Asks for the file (named after the window) and writes the table; a failure is told.
    // Nothing happens while the window is busy: a fill still changes the table.
    void exportTable(bool xlsx);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMenu(const QPoint &pos);

    QPointer<QWidget> m_window;
    QAbstractItemView *m_grid;
    Handlers m_handlers;
    QAction *m_copy;
    QAction *m_exportXlsx;
    QAction *m_exportCsv;
    QList<QPair<QAction *, std::function<bool()>>> m_own;
};

} // namespace verna::ui

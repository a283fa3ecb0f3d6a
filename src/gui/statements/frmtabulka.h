#pragma once

#include "shell/childwindow.h"

#include <QWidget>
#include <memory>
#include <optional>


namespace verna::ui {
class FrozenTableView;
}

namespace verna::shell {
class AppState;
}

namespace verna::selection {
struct NodeKey;
}

namespace verna::statements {

class StatementTable;

// "Finanční data": statements dropped from the data-selection tree, side by side, one column
// per statement, rows matched by item code. A window holds one kind of statement; a drop of
// another kind is refused with a message. Filling runs as the window's long task.
class frmTabulka : public QWidget, public shell::ChildWindow
{
    Q_OBJECT
public:
    explicit frmTabulka(shell::AppState &state, QWidget *parent = nullptr);
    ~frmTabulka() override;

    const StatementTable &table() const;

    // Control events, as the controls raise them.
    void grdData_OLEDragDrop(const QString &text);
    void grdData_Delete();

    // The change between two statements of one entity (the selected column and the one
    // right of it); copying and exports are the grid's commands (ui/gridcommands.h).
    void insertChange();
    // "Struktura": each line in per cent of total assets (balance sheets) or of revenues
    // (income statements), beside every statement.
    void showStructure(bool shown);

    void Form_Activate();
    void Form_Deactivate();
    void activated() override { Form_Activate(); }
    void deactivated() override { Form_Deactivate(); }

    static inline const QString kIncompatible = QStringLiteral("Neslučitelné typy výkazů.") + QStringLiteral("\r\n")
        + QStringLiteral("Otevřete si nové okno \"Finanční data\".");

private:
    struct Session;

    void fill(const selection::NodeKey &key);
    // Columns of the selection when it covers whole columns (every row), else nullopt.
    std::optional<std::pair<int, int>> selectedColumns() const;

    shell::AppState &m_state;
    std::shared_ptr<Session> m_session;
    ui::FrozenTableView *m_grdData = nullptr;
};

} // namespace verna::statements

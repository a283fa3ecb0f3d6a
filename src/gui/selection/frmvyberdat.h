#pragma once

#include "shell/childwindow.h"

#include <QWidget>
#include <memory>

class QTreeWidgetItem;

namespace verna::shell {
class AppState;
}

namespace verna::selection {

class DataTree;

// "Výběr dat": a tree of the entities the user collects (dropped in, or handed over when the
// window opens) with everything stored about them, statement items and group members loaded
// on a click. Nodes with keys drag out as "#&#" + key. Insertions and loads run as the
// window's long task: Esc ends them, and an entity is added whole or not at all.
class frmVyberDat : public QWidget, public shell::ChildWindow
{
    Q_OBJECT
public:
    explicit frmVyberDat(shell::AppState &state, QWidget *parent = nullptr);
    ~frmVyberDat() override;

    DataTree *tree() const { return m_tvwData; }

    // Control events, as the controls raise them.
    void tvwData_OLEDragDrop(const QString &text);
    void tvwData_OLEStartDrag();
    void tvwData_NodeClick(QTreeWidgetItem *node);

    static inline const QString kCaption = QStringLiteral("Výběr dat");

private:
    struct Session;

    void Form_Load();
    // Adds the entities; a group (when asked) gives its members instead.
    void addEntities(const QList<qint32> &ids, bool expandGroups);
    void loadView(QTreeWidgetItem *node);
    void loadMembers(QTreeWidgetItem *node);
    void showFailure(const QString &what, const QString &reason);

    shell::AppState &m_state;
    std::shared_ptr<Session> m_session;
    DataTree *m_tvwData = nullptr;
};

} // namespace verna::selection

#pragma once

#include "shell/windowregistry.h"

#include <QMainWindow>
#include <QPointer>
#include <optional>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace verna::shell {

class AppState;

// The MDI frame: menus and toolbar open the child windows through the registry, and windows
// hand over to each other through its typed calls. It owns the per-kind window counters and
// closes the shared connection when it closes.
class frmHlavni : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmHlavni(AppState &state, WindowRegistry registry, QWidget *parent = nullptr);
    ~frmHlavni() override;

    // The start-up steps that follow the connection: menu state, then the first search window.
    void Form_Load();

    // Runs the command of a toolbar key; a key that matches none does nothing.
    void Toolbar1_ButtonClick(const QString &key);

    // Opens a new child window of the kind; nullptr when that window does not exist yet.
    QWidget *open(WindowKind kind);
    // Hand-overs: the slot of the shared state is set only when the window opens.
    // The data-selection window on one entity, or on everything (the "Výběr dat" command).
    QWidget *openDataSelection(std::optional<qint32> entity);
    QWidget *openEntityEditing(qint32 entity);
    // The groups window on a group, or on a new one.
    QWidget *openEntityGroups(std::optional<qint32> group);
    const WindowRegistry &registry() const { return m_registry; }

    // The child windows in the order they were opened, and the current one.
    QList<QWidget *> childWindows() const;
    QWidget *activeChild() const;
    QMdiArea *mdiArea() const { return m_mdi; }

    // Asks every child window to close, as closing the frame does; false when one refuses
    // or a write is in progress.
    bool closeChildWindows();

    // miUlozit / miOtevrit for child windows: the financial data and analysis windows
    // enable "Uložit" with the tag "vykaz" while active and disable it, clearing the tag,
    // when deactivated. The frame attaches no action to either item.
    void setSaveItem(bool enabled, const QString &tag = {});
    QString saveItemTag() const;
    void setOpenItemEnabled(bool enabled);

    // The frame a child window lives in, or nullptr.
    static frmHlavni *of(const QWidget *child);
    // Sizes a new child window as shares of the frame's size (the active or any main window),
    // or to the fallback when there is no frame. Opened by the frame, the window's frame
    // takes these shares of the workspace instead.
    static void sizeChild(QWidget *child, qreal widthShare, qreal heightShare, QSize fallback);

    static inline const QString kCaption = QStringLiteral("VERNA");
    // The settings group where each kind of window keeps its last place in the workspace.
    static inline const QString kPlacesGroup = QStringLiteral("Okna");

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildToolbar();
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption);
    QAction *addSeparator(QMenu *menu, const QString &name);
    void updateCommandState();
    void runCommand(WindowKind kind);
    void updateWindowMenu();
    void place(QMdiSubWindow *sub, WindowKind kind, std::optional<QSize> chosen);

    void miKonec_Click();
    void miVodorovne_Click();
    void miSvisle_Click();
    void miZavrit_Click();
    void miAbout_Click();
    void arrange(Qt::Orientation orientation);
    void subWindowActivated(QMdiSubWindow *window);

    AppState &m_state;
    WindowRegistry m_registry;
    QMdiArea *m_mdi = nullptr;
    QToolBar *m_toolbar = nullptr;
    QAction *m_miOtevrit = nullptr;
    QAction *m_miUlozit = nullptr;
    QMenu *m_mnuOkno = nullptr;
    // Vodorovně, Svisle, Zavřít; and the entries of the window list after them.
    QList<QAction *> m_windowCommands;
    QList<QAction *> m_windowItems;
    QList<std::pair<QAction *, WindowKind>> m_commandItems;
    QPointer<QWidget> m_activeChild;

    // Numbers of the search, financial data and analysis windows opened so far.
    qint16 m_searchCounter = 0;
    qint16 m_dataCounter = 0;
    qint16 m_analysisCounter = 0;
};

} // namespace verna::shell

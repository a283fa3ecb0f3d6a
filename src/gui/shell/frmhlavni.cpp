#include "shell/frmhlavni.h"

#include "db/database.h"
#include "shell/appstate.h"
#include "shell/childwindow.h"
#include "shell/databasemenu.h"
#include "shell/frmabout.h"
#include "shell/frmnapoveda.h"
#include "shell/windowplacement.h"
#include "ui/busyguard.h"
#include "ui/icons.h"
#include "ui/messages.h"

#include <QChildEvent>
#include <QCloseEvent>
#include <QApplication>
#include <QCoreApplication>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSettings>
#include <QStyle>
#include <QToolBar>
#include <functional>
#include <limits>

namespace verna::shell {

namespace {

struct ToolbarButton {
    QString key;
    QString text;
    WindowKind kind;
    QString icon;
    bool separatorBefore = false;
};

const QList<ToolbarButton> &toolbarButtons()
{
    static const QList<ToolbarButton> buttons = {
        {QStringLiteral("cmdHledatSubjekt"), QStringLiteral("Hledat subjekt"), WindowKind::Search, QStringLiteral("search")},
        {QStringLiteral("cmdVyberDat"), QStringLiteral("Výběr dat"), WindowKind::DataSelection, QStringLiteral("tree")},
        {QStringLiteral("cmdFinancniData"), QStringLiteral("Finanční data"), WindowKind::StatementTable, QStringLiteral("table")},
        {QStringLiteral("cmdAnalyza"), QStringLiteral("Analýza"), WindowKind::Analysis, QStringLiteral("chart")},
        {QStringLiteral("cmdSkupinaSubjektu"), QStringLiteral("Skupina subjektů"), WindowKind::EntityGroups,
         QStringLiteral("group"), true},
        {QStringLiteral("cmdSkupinaUkazatelu"), QStringLiteral("Skupina ukazatelů"), WindowKind::IndicatorGroups,
         QStringLiteral("indicator-group")},
        {QStringLiteral("cmdNovyUkazatel"), QStringLiteral("Nový ukazatel"), WindowKind::IndicatorEditor,
         QStringLiteral("new-indicator"), true},
        {QStringLiteral("cmdNovySubjekt"), QStringLiteral("Nový subjekt"), WindowKind::NewEntity, QStringLiteral("new-entity")},
        {QStringLiteral("cmdNovyVykaz"), QStringLiteral("Nový výkaz"), WindowKind::NewStatement, QStringLiteral("new-statement")},
    };
    return buttons;
}

// The shares of the workspace a window asks for, set by sizeChild and read when it opens.
constexpr char kSizeShares[] = "vernaSizeShares";

// The settings key under which each kind of window remembers its last place.
QString placeKey(WindowKind kind)
{
    static const std::map<WindowKind, QString> names = {
        {WindowKind::Search, QStringLiteral("frmVyhledavani")},
        {WindowKind::DataSelection, QStringLiteral("frmVyberDat")},
        {WindowKind::StatementTable, QStringLiteral("frmTabulka")},
        {WindowKind::Analysis, QStringLiteral("frmAnalyzaSubj")},
        {WindowKind::EntityGroups, QStringLiteral("frmUlozitSkupinu")},
        {WindowKind::IndicatorGroups, QStringLiteral("frmSkupinaFunkci")},
        {WindowKind::IndicatorEditor, QStringLiteral("frmNovaFunkce")},
        {WindowKind::NewEntity, QStringLiteral("frmNovySubjekt")},
        {WindowKind::NewStatement, QStringLiteral("frmNovyVykaz")},
        {WindowKind::EntityEditing, QStringLiteral("frmEditaceSubjektu")},
    };
    return frmHlavni::kPlacesGroup + u'/' + names.at(kind);
}

ChildWindow *childInterface(QWidget *window)
{
    return dynamic_cast<ChildWindow *>(window);
}

// The counters are 16-bit; past the top they stay there rather than turn negative.
qint16 nextNumber(qint16 &counter)
{
    if (counter < std::numeric_limits<qint16>::max())
        ++counter;
    return counter;
}

// The frame of a child window. A window that closes itself (its own "Storno") is deleted,
// and its now empty frame goes with it. Either way the frame tells where it last was.
class ChildFrame : public QMdiSubWindow
{
public:
    ChildFrame(QWidget *content, std::function<void(QRect)> remember)
        : m_content(content)
        , m_remember(std::move(remember))
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWidget(content);
    }

    void markAsked() { m_asked = true; }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ChildWindow *child = childInterface(widget());
        // Closing all windows asked each one before any closed: not twice.
        const bool asked = std::exchange(m_asked, false);
        if (child && !asked && !ui::isBusy(widget()) && !child->canClose()) {
            event->ignore();
            return;
        }
        QMdiSubWindow::closeEvent(event);
        if (event->isAccepted())
            rememberPlace();
    }

    void childEvent(QChildEvent *event) override
    {
        QMdiSubWindow::childEvent(event);
        if (event->removed() && event->child() == m_content) {
            rememberPlace();
            deleteLater();
        }
    }

private:
    // Only a window in its normal state has a place worth restoring.
    void rememberPlace()
    {
        if (m_remember && !isMinimized() && !isMaximized())
            m_remember(geometry());
        m_remember = nullptr;
    }

    QObject *m_content;
    std::function<void(QRect)> m_remember;
    bool m_asked = false;
};

// A window that closed itself is hidden but stays listed until the event loop deletes it.
bool isOpen(const QMdiSubWindow *sub)
{
    const QWidget *content = sub->widget();
    return content && !sub->isHidden() && (!content->isHidden() || sub->isMinimized());
}

} // namespace

frmHlavni::frmHlavni(AppState &state, WindowRegistry registry, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_registry(std::move(registry))
{
    setObjectName(QStringLiteral("frmHlavni"));
    setWindowTitle(kCaption);
    setWindowIcon(ui::appIcon());
    resize(1100, 760);

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &frmHlavni::subWindowActivated);

    buildMenus();
    buildToolbar();
    updateCommandState();
    // A lost connection is told by the window whose action it failed, in that action's one
    // message; the frame adds no box of its own.
}

frmHlavni::~frmHlavni()
{
    // The child windows die after this object's members; their last deactivation must not
    // reach a half-destroyed frame.
    disconnect(m_mdi, nullptr, this, nullptr);
    for (QMdiSubWindow *sub : m_mdi->subWindowList()) {
        disconnect(sub, nullptr, this, nullptr);
        if (sub->widget())
            disconnect(sub->widget(), nullptr, this, nullptr);
    }
}

QAction *frmHlavni::addItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

QAction *frmHlavni::addSeparator(QMenu *menu, const QString &name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(name);
    return separator;
}

void frmHlavni::buildMenus()
{
    QMenuBar *bar = menuBar();
    const auto addMenu = [bar](const QString &name, const QString &caption) {
        QMenu *menu = bar->addMenu(caption);
        menu->setObjectName(name);
        return menu;
    };
    const auto addCommand = [this](QMenu *menu, const QString &name, const QString &caption, WindowKind kind) {
        QAction *action = addItem(menu, name, caption);
        m_commandItems.append({action, kind});
        connect(action, &QAction::triggered, this, [this, kind] { runCommand(kind); });
    };

    QMenu *soubor = addMenu(QStringLiteral("mnuSoubor"), QStringLiteral("&Soubor"));
    // "Otevřít" and "Uložit" carry no action: the windows only mark them (enabled, tag).
    m_miOtevrit = addItem(soubor, QStringLiteral("miOtevrit"), QStringLiteral("&Otevřít"));
    m_miUlozit = addItem(soubor, QStringLiteral("miUlozit"), QStringLiteral("&Uložit"));
    QAction *miL1 = addSeparator(soubor, QStringLiteral("miL1"));
    new DatabaseMenu(*this, m_state, soubor, miL1);
    connect(addItem(soubor, QStringLiteral("miKonec"), QStringLiteral("&Konec")), &QAction::triggered, this,
            &frmHlavni::miKonec_Click);

    QMenu *hledat = addMenu(QStringLiteral("mnuHledat"), QStringLiteral("&Hledat"));
    addCommand(hledat, QStringLiteral("miSubjekt"), QStringLiteral("&Subjekt"), WindowKind::Search);

    QMenu *zobrazit = addMenu(QStringLiteral("mnuZobrazit"), QStringLiteral("&Zobrazit"));
    addCommand(zobrazit, QStringLiteral("miVyber"), QStringLiteral("Vý&běr dat"), WindowKind::DataSelection);
    addCommand(zobrazit, QStringLiteral("miVykaz"), QStringLiteral("&Finanční data"), WindowKind::StatementTable);
    addCommand(zobrazit, QStringLiteral("miAnalyza"), QStringLiteral("&Analýza"), WindowKind::Analysis);

    QMenu *nastroje = addMenu(QStringLiteral("mnuNastroje"), QStringLiteral("&Nástroje"));
    addCommand(nastroje, QStringLiteral("miSkupinaSubjektu"), QStringLiteral("&Skupina subjektů"), WindowKind::EntityGroups);
    addCommand(nastroje, QStringLiteral("miSkupinaUkazatelu"), QStringLiteral("&Skupina ukazatelů"), WindowKind::IndicatorGroups);
    addSeparator(nastroje, QStringLiteral("miL2"));
    addCommand(nastroje, QStringLiteral("miNovyUkazatel"), QStringLiteral("&Nový ukazatel"), WindowKind::IndicatorEditor);
    addCommand(nastroje, QStringLiteral("miNovySubjekt"), QStringLiteral("Nový su&bjekt"), WindowKind::NewEntity);
    addCommand(nastroje, QStringLiteral("miNovyVykaz"), QStringLiteral("Nový &výkaz"), WindowKind::NewStatement);

    QMenu *okno = addMenu(QStringLiteral("mnuOkno"), QStringLiteral("&Okno"));
    m_mnuOkno = okno;
    connect(okno, &QMenu::aboutToShow, this, &frmHlavni::updateWindowMenu);
    m_windowCommands << addItem(okno, QStringLiteral("miVodorovne"), QStringLiteral("&Vodorovně"));
    connect(m_windowCommands.back(), &QAction::triggered, this, &frmHlavni::miVodorovne_Click);
    m_windowCommands << addItem(okno, QStringLiteral("miSvisle"), QStringLiteral("&Svisle"));
    connect(m_windowCommands.back(), &QAction::triggered, this, &frmHlavni::miSvisle_Click);
    addSeparator(okno, QStringLiteral("miL3"));
    m_windowCommands << addItem(okno, QStringLiteral("miZavrit"), QStringLiteral("&Zavřít"));
    connect(m_windowCommands.back(), &QAction::triggered, this, &frmHlavni::miZavrit_Click);

    QMenu *napoveda = addMenu(QStringLiteral("mnuNapoveda"), QStringLiteral("Nápo&věda"));
    QAction *guide = addItem(napoveda, QStringLiteral("miPrirucka"), QStringLiteral("&Uživatelská příručka"));
    guide->setShortcut(QKeySequence::HelpContents);
    connect(guide, &QAction::triggered, this, [this] { frmNapoveda::showFor(this, activeChild()); });
    connect(addItem(napoveda, QStringLiteral("miAbout"), QStringLiteral("&O aplikaci...")), &QAction::triggered, this,
            &frmHlavni::miAbout_Click);
}

void frmHlavni::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Toolbar1"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(24, 24));
    m_toolbar->setMovable(false);
    for (const ToolbarButton &button : toolbarButtons()) {
        if (button.separatorBefore)
            m_toolbar->addSeparator();
        QAction *action = m_toolbar->addAction(ui::svgIcon(button.icon), button.text);
        action->setObjectName(button.key);
        action->setData(button.key);
        action->setToolTip(button.text);
        const QString key = button.key;
        connect(action, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    }
}

namespace {

// The right a command's window needs: windows that only create something.
std::optional<db::Right> rightFor(WindowKind kind)
{
    switch (kind) {
    case WindowKind::NewEntity:
        return db::Right::Entities;
    case WindowKind::NewStatement:
        return db::Right::Statements;
    default:
        return std::nullopt;
    }
}

} // namespace

// A command is usable once its window exists and the user may do what it is for; until then it
// is shown disabled (the tooltip names a missing right).
void frmHlavni::updateCommandState()
{
    const auto apply = [this](QAction *action, WindowKind kind, const QString &text) {
        const std::optional<db::Right> right = rightFor(kind);
        const bool allowed = !right || m_state.rights().can(*right);
        action->setEnabled(m_registry.has(kind) && allowed);
        action->setToolTip(allowed ? text : db::Rights::missing(*right));
    };
    for (const auto &[action, kind] : m_commandItems)
        apply(action, kind, QString());
    for (const ToolbarButton &button : toolbarButtons()) {
        if (QAction *action = m_toolbar->findChild<QAction *>(button.key))
            apply(action, button.kind, button.text);
    }
}

void frmHlavni::Form_Load()
{
    // Read on every connection: another database may have another user with other rights.
    if (const Outcome read = m_state.readRights(); !read)
        ui::exclamation(this, kCaption, read.error + QStringLiteral("\nPříkazy, které mění data, zůstanou vypnuté."));
    updateCommandState();
    m_miOtevrit->setEnabled(false);
    m_miUlozit->setEnabled(false);
    open(WindowKind::Search);
}

void frmHlavni::Toolbar1_ButtonClick(const QString &key)
{
    for (const ToolbarButton &button : toolbarButtons()) {
        if (button.key == key) {
            runCommand(button.kind);
            return;
        }
    }
}

void frmHlavni::runCommand(WindowKind kind)
{
    // "Výběr dat" opens on everything, whatever was handed over before.
    if (kind == WindowKind::DataSelection)
        openDataSelection(std::nullopt);
    else
        open(kind);
}

QWidget *frmHlavni::openDataSelection(std::optional<qint32> entity)
{
    if (!m_registry.has(WindowKind::DataSelection))
        return nullptr;
    m_state.setEntityToOpen(entity);
    return open(WindowKind::DataSelection);
}

QWidget *frmHlavni::openEntityEditing(qint32 entity)
{
    if (!m_registry.has(WindowKind::EntityEditing))
        return nullptr;
    m_state.setEntityToOpen(entity);
    return open(WindowKind::EntityEditing);
}

QWidget *frmHlavni::openEntityGroups(std::optional<qint32> group)
{
    if (!m_registry.has(WindowKind::EntityGroups))
        return nullptr;
    m_state.setGroupToEdit(group);
    return open(WindowKind::EntityGroups);
}

QWidget *frmHlavni::open(WindowKind kind)
{
    if (!m_registry.has(kind))
        return nullptr;
    QString caption;
    if (kind == WindowKind::Search)
        caption = QStringLiteral("Vyhledávací obrazovka ") + QString::number(nextNumber(m_searchCounter));
    else if (kind == WindowKind::StatementTable)
        caption = QStringLiteral("Zobrazení finančních dat ") + QString::number(nextNumber(m_dataCounter));
    else if (kind == WindowKind::Analysis)
        caption = QStringLiteral("Analýza ") + QString::number(nextNumber(m_analysisCounter));
    else if (kind == WindowKind::DataSelection)
        caption = QStringLiteral("Výběr dat");

    QWidget *window = m_registry.create(kind, m_state);
    if (!window)
        return nullptr;
    // A window that chose its size keeps it; the frame adds its title bar and border.
    const bool sized = window->testAttribute(Qt::WA_Resized);
    const QSize size = window->size();
    if (!caption.isEmpty())
        window->setWindowTitle(caption);
    ui::refuseCloseWhileBusy(window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QString key = placeKey(kind);
    QMdiSubWindow *sub = m_mdi->addSubWindow(new ChildFrame(window, [key](QRect place) { QSettings().setValue(key, place); }));
    if (!window->testAttribute(Qt::WA_SetWindowIcon))
        sub->setWindowIcon(windowIcon());
    sub->show();
    place(sub, kind, sized ? std::optional<QSize>(size + (sub->size() - window->size())) : std::nullopt);
    // The list of the "Okno" menu follows the window's caption.
    connect(window, &QWidget::windowTitleChanged, this, &frmHlavni::updateWindowMenu);
    connect(sub, &QObject::destroyed, this, &frmHlavni::updateWindowMenu, Qt::QueuedConnection);
    updateWindowMenu();
    return window;
}

// Every kind of window goes through here: its size in the workspace, clamped to it, cascaded
// over the windows already open, or where it was last when that still fits.
void frmHlavni::place(QMdiSubWindow *sub, WindowKind kind, std::optional<QSize> chosen)
{
    if (layout())
        layout()->activate();
    const QSize workspace = m_mdi->viewport()->size();
    QSize wanted = chosen.value_or(sub->size());
    if (const QSizeF shares = sub->widget()->property(kSizeShares).toSizeF(); shares.isValid())
        wanted = QSize(qRound(workspace.width() * shares.width()), qRound(workspace.height() * shares.height()));
    QList<QPoint> taken;
    for (QMdiSubWindow *other : m_mdi->subWindowList()) {
        if (other != sub && isOpen(other) && !other->isMinimized())
            taken << other->geometry().topLeft();
    }
    std::optional<QRect> remembered;
    if (const QVariant value = QSettings().value(placeKey(kind)); value.canConvert<QRect>())
        remembered = value.toRect();
    const int step = std::max(16, sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub));
    const QSize minimum = sub->minimumSizeHint().expandedTo(sub->minimumSize());
    sub->setGeometry(placeChild(wanted, minimum, workspace, remembered, taken, step));
}

// "Okno" lists the open windows, numbered, the active one checked; its commands need one.
void frmHlavni::updateWindowMenu()
{
    // An entry may be the one being triggered right now: it goes once its signal is done.
    for (QAction *item : std::as_const(m_windowItems)) {
        m_mnuOkno->removeAction(item);
        item->deleteLater();
    }
    m_windowItems.clear();
    const QList<QWidget *> windows = childWindows();
    for (QAction *command : std::as_const(m_windowCommands))
        command->setEnabled(!windows.isEmpty());
    if (windows.isEmpty())
        return;
    m_windowItems << m_mnuOkno->addSeparator();
    const QWidget *active = activeChild();
    for (int i = 0; i < windows.size(); ++i) {
        QWidget *window = windows.at(i);
        const QString number = i < 9 ? QStringLiteral("&%1 ").arg(i + 1) : QStringLiteral("%1 ").arg(i + 1);
        // A title's "&" ("Novák & Syn") is shown, not taken for a shortcut.
        QAction *item = m_mnuOkno->addAction(number + QString(window->windowTitle()).replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setCheckable(true);
        item->setChecked(window == active);
        const QPointer<QWidget> target(window);
        connect(item, &QAction::triggered, this, [this, target] {
            if (target)
                m_mdi->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(target->parentWidget()));
        });
        m_windowItems << item;
    }
}

QList<QWidget *> frmHlavni::childWindows() const
{
    QList<QWidget *> windows;
    for (QMdiSubWindow *sub : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (isOpen(sub))
            windows << sub->widget();
    }
    return windows;
}

QWidget *frmHlavni::activeChild() const
{
    QMdiSubWindow *sub = m_mdi->currentSubWindow();
    return sub ? sub->widget() : nullptr;
}

void frmHlavni::setSaveItem(bool enabled, const QString &tag)
{
    m_miUlozit->setEnabled(enabled);
    m_miUlozit->setData(enabled ? tag : QString());
}

QString frmHlavni::saveItemTag() const
{
    return m_miUlozit->data().toString();
}

void frmHlavni::setOpenItemEnabled(bool enabled)
{
    m_miOtevrit->setEnabled(enabled);
}

frmHlavni *frmHlavni::of(const QWidget *child)
{
    return child ? qobject_cast<frmHlavni *>(child->window()) : nullptr;
}

void frmHlavni::sizeChild(QWidget *child, qreal widthShare, qreal heightShare, QSize fallback)
{
    // A new window is sized before the frame takes it in: the frame is found among the windows.
    frmHlavni *main = qobject_cast<frmHlavni *>(QApplication::activeWindow());
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.begin(); !main && it != windows.end(); ++it)
        main = qobject_cast<frmHlavni *>(*it);
    if (main)
        child->resize(qRound(main->width() * widthShare), qRound(main->height() * heightShare));
    else
        child->resize(fallback);
    // The frame sizes the window again as shares of its workspace when it takes it in.
    child->setProperty(kSizeShares, QSizeF(widthShare, heightShare));
}

void frmHlavni::miKonec_Click()
{
    // As closing the main window: a window with unsaved work is asked first. Then the process
    // ends with the last window, whatever other top-level window (the guide) is still open.
    if (close())
        QApplication::closeAllWindows();
}

void frmHlavni::miVodorovne_Click()
{
    arrange(Qt::Horizontal);
}

void frmHlavni::miSvisle_Click()
{
    arrange(Qt::Vertical);
}

// Horizontal: side by side, each as tall as the client area; vertical: one above another,
// each as wide. Minimised windows keep their place.
void frmHlavni::arrange(Qt::Orientation orientation)
{
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *sub : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (isOpen(sub) && !sub->isMinimized())
            windows << sub;
    }
    if (windows.isEmpty())
        return;
    const QSize area = m_mdi->viewport()->size();
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow *sub = windows.at(i);
        if (sub->isMaximized())
            sub->showNormal();
        if (orientation == Qt::Horizontal) {
            const int left = area.width() * i / count;
            const int right = area.width() * (i + 1) / count;
            sub->setGeometry(left, 0, right - left, area.height());
        } else {
            const int top = area.height() * i / count;
            const int bottom = area.height() * (i + 1) / count;
            sub->setGeometry(0, top, area.width(), bottom - top);
        }
    }
}

void frmHlavni::miZavrit_Click()
{
    if (QMdiSubWindow *sub = m_mdi->currentSubWindow())
        sub->close();
}

void frmHlavni::miAbout_Click()
{
    frmAbout about(this);
    about.exec();
}

// Child windows that enable "Uložit" while active do it when told they are (de)activated.
void frmHlavni::subWindowActivated(QMdiSubWindow *window)
{
    QWidget *now = window ? window->widget() : nullptr;
    if (now != m_activeChild) {
        if (ChildWindow *before = childInterface(m_activeChild))
            before->deactivated();
        m_activeChild = now;
        if (ChildWindow *after = childInterface(now))
            after->activated();
    }
    updateWindowMenu();
}

bool frmHlavni::closeChildWindows()
{
    // A write in progress keeps the connection; a busy child window refuses to close.
    if (m_state.database().inTransaction())
        return false;
    // Every child is asked before any closes; a busy one is told to stop its work.
    bool refused = false;
    for (QWidget *window : childWindows()) {
        if (ui::isBusy(window))
            refused |= !window->parentWidget()->close();
        else if (ChildWindow *child = childInterface(window); child && !child->canClose())
            refused = true;
    }
    if (refused)
        return false;
    for (QWidget *window : childWindows()) {
        if (auto *frame = dynamic_cast<ChildFrame *>(window->parentWidget()))
            frame->markAsked();
    }
    m_mdi->closeAllSubWindows();
    for (QMdiSubWindow *sub : m_mdi->subWindowList()) {
        if (isOpen(sub))
            return false;
    }
    return true;
}

void frmHlavni::closeEvent(QCloseEvent *event)
{
    if (!closeChildWindows()) {
        event->ignore();
        return;
    }
    m_state.database().close();
    event->accept();
}

} // namespace verna::shell

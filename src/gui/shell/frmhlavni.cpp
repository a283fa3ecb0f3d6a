#include "shell/frmhlavni.h"

#include "db/database.h"
#include "shell/appstate.h"
#include "shell/frmabout.h"
#include "ui/busyguard.h"
#include "ui/icons.h"
#include "ui/messages.h"

#include <QChildEvent>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolBar>
#include <limits>

namespace verna::shell {

namespace {

struct ToolbarButton {
    QString key;
    QString text;
    QString command;
    QString icon;
    bool separatorBefore = false;
};

const QList<ToolbarButton> &toolbarButtons()
{
    static const QList<ToolbarButton> buttons = {
        {QStringLiteral("cmdHledatSubjekt"), QStringLiteral("Hledat subjekt"), commands::kSubjekt, QStringLiteral("search")},
        {QStringLiteral("cmdVyberDat"), QStringLiteral("Výběr dat"), commands::kVyber, QStringLiteral("tree")},
        {QStringLiteral("cmdFinancniData"), QStringLiteral("Finanční data"), commands::kVykaz, QStringLiteral("table")},
        {QStringLiteral("cmdAnalyza"), QStringLiteral("Analýza"), commands::kAnalyza, QStringLiteral("chart")},
        {QStringLiteral("cmdSkupinaSubjektu"), QStringLiteral("Skupina subjektů"), commands::kSkupinaSubjektu,
         QStringLiteral("group"), true},
        {QStringLiteral("cmdSkupinaUkazatelu"), QStringLiteral("Skupina ukazatelů"), commands::kSkupinaUkazatelu,
         QStringLiteral("indicator-group")},
        {QStringLiteral("cmdNovyUkazatel"), QStringLiteral("Nový ukazatel"), commands::kNovyUkazatel,
         QStringLiteral("new-indicator"), true},
        {QStringLiteral("cmdNovySubjekt"), QStringLiteral("Nový subjekt"), commands::kNovySubjekt, QStringLiteral("new-entity")},
        {QStringLiteral("cmdNovyVykaz"), QStringLiteral("Nový výkaz"), commands::kNovyVykaz, QStringLiteral("new-statement")},
    };
    return buttons;
}

// The counters are 16-bit; past the top they stay there rather than turn negative.
qint16 nextNumber(qint16 &counter)
{
    if (counter < std::numeric_limits<qint16>::max())
        ++counter;
    return counter;
}

// The frame of a child window. A window that closes itself (its own "Storno") is deleted,
// and its now empty frame goes with it.
class ChildFrame : public QMdiSubWindow
{
public:
    explicit ChildFrame(QWidget *content)
        : m_content(content)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWidget(content);
    }

protected:
    void childEvent(QChildEvent *event) override
    {
        QMdiSubWindow::childEvent(event);
        if (event->removed() && event->child() == m_content)
            deleteLater();
    }

private:
    QObject *m_content;
};

// A window that closed itself is hidden but stays listed until the event loop deletes it.
bool isOpen(const QMdiSubWindow *sub)
{
    const QWidget *content = sub->widget();
    return content && !sub->isHidden() && (!content->isHidden() || sub->isMinimized());
}

void invokeIfPresent(QWidget *window, const char *method)
{
    if (window && window->metaObject()->indexOfMethod(QByteArray(method) + "()") >= 0)
        QMetaObject::invokeMethod(window, method);
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

    // Shown once the database call that noticed the loss has returned to the event loop.
    connect(&m_state.database(), &db::Database::connectionLost, this, &frmHlavni::connectionLost, Qt::QueuedConnection);
}

frmHlavni::~frmHlavni()
{
    // The child windows die after this object's members; their last deactivation must not
    // reach a half-destroyed frame.
    disconnect(m_mdi, nullptr, this, nullptr);
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
    const auto addCommand = [this](QMenu *menu, const QString &command, const QString &caption) {
        QAction *action = addItem(menu, command, caption);
        m_commandItems.insert(command, action);
        connect(action, &QAction::triggered, this, [this, command] { openWindow(command); });
    };

    QMenu *soubor = addMenu(QStringLiteral("mnuSoubor"), QStringLiteral("&Soubor"));
    // "Otevřít" and "Uložit" carry no action of the frame's own.
    m_miOtevrit = addItem(soubor, QStringLiteral("miOtevrit"), QStringLiteral("&Otevřít"));
    m_miUlozit = addItem(soubor, QStringLiteral("miUlozit"), QStringLiteral("&Uložit"));
    addSeparator(soubor, QStringLiteral("miL1"));
    connect(addItem(soubor, QStringLiteral("miKonec"), QStringLiteral("&Konec")), &QAction::triggered, this,
            &frmHlavni::miKonec_Click);

    QMenu *hledat = addMenu(QStringLiteral("mnuHledat"), QStringLiteral("&Hledat"));
    addCommand(hledat, commands::kSubjekt, QStringLiteral("&Subjekt"));

    QMenu *zobrazit = addMenu(QStringLiteral("mnuZobrazit"), QStringLiteral("&Zobrazit"));
    addCommand(zobrazit, commands::kVyber, QStringLiteral("Vý&běr dat"));
    addCommand(zobrazit, commands::kVykaz, QStringLiteral("&Finanční data"));
    addCommand(zobrazit, commands::kAnalyza, QStringLiteral("&Analýza"));

    QMenu *nastroje = addMenu(QStringLiteral("mnuNastroje"), QStringLiteral("&Nástroje"));
    addCommand(nastroje, commands::kSkupinaSubjektu, QStringLiteral("&Skupina subjektů"));
    addCommand(nastroje, commands::kSkupinaUkazatelu, QStringLiteral("&Skupina ukazatelů"));
    addSeparator(nastroje, QStringLiteral("miL2"));
    addCommand(nastroje, commands::kNovyUkazatel, QStringLiteral("&Nový ukazatel"));
    addCommand(nastroje, commands::kNovySubjekt, QStringLiteral("Nový su&bjekt"));
    addCommand(nastroje, commands::kNovyVykaz, QStringLiteral("Nový &výkaz"));

    QMenu *okno = addMenu(QStringLiteral("mnuOkno"), QStringLiteral("&Okno"));
    connect(addItem(okno, QStringLiteral("miVodorovne"), QStringLiteral("&Vodorovně")), &QAction::triggered, this,
            &frmHlavni::miVodorovne_Click);
    connect(addItem(okno, QStringLiteral("miSvisle"), QStringLiteral("&Svisle")), &QAction::triggered, this,
            &frmHlavni::miSvisle_Click);
    addSeparator(okno, QStringLiteral("miL3"));
    connect(addItem(okno, QStringLiteral("miZavrit"), QStringLiteral("&Zavřít")), &QAction::triggered, this,
            &frmHlavni::miZavrit_Click);

    QMenu *napoveda = addMenu(QStringLiteral("mnuNapoveda"), QStringLiteral("Nápo&věda"));
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

// A command is usable once its window exists; until then it is shown disabled.
void frmHlavni::updateCommandState()
{
    for (auto it = m_commandItems.cbegin(); it != m_commandItems.cend(); ++it)
        it.value()->setEnabled(m_registry.has(it.key()));
    for (const ToolbarButton &button : toolbarButtons()) {
        if (QAction *action = m_toolbar->findChild<QAction *>(button.key))
            action->setEnabled(m_registry.has(button.command));
    }
}

void frmHlavni::Form_Load()
{
    m_miOtevrit->setEnabled(false);
    m_miUlozit->setEnabled(false);
    openWindow(commands::kSubjekt);
}

void frmHlavni::Toolbar1_ButtonClick(const QString &key)
{
    for (const ToolbarButton &button : toolbarButtons()) {
        if (button.key == key) {
            openWindow(button.command);
            return;
        }
    }
}

QWidget *frmHlavni::openWindow(const QString &command)
{
    if (!m_registry.has(command))
        return nullptr;
    QString caption;
    if (command == commands::kSubjekt) {
        caption = QStringLiteral("Vyhledávací obrazovka ") + QString::number(nextNumber(m_searchCounter));
    } else if (command == commands::kVykaz) {
        caption = QStringLiteral("Zobrazení finančních dat ") + QString::number(nextNumber(m_dataCounter));
    } else if (command == commands::kAnalyza) {
        caption = QStringLiteral("Analýza ") + QString::number(nextNumber(m_analysisCounter));
    } else if (command == commands::kVyber) {
        // The data-selection window opens on everything, whatever was handed over before.
        m_state.setEntityToOpen(AppState::kNoEntity);
        caption = QStringLiteral("Výběr dat");
    }

    QWidget *window = m_registry.create(command, m_state);
    if (!window)
        return nullptr;
    // A window that chose its size keeps it; the frame adds its title bar and border.
    const bool sized = window->testAttribute(Qt::WA_Resized);
    const QSize size = window->size();
    if (!caption.isEmpty())
        window->setWindowTitle(caption);
    ui::refuseCloseWhileBusy(window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow *sub = m_mdi->addSubWindow(new ChildFrame(window));
    if (!window->testAttribute(Qt::WA_SetWindowIcon))
        sub->setWindowIcon(windowIcon());
    sub->show();
    if (sized)
        sub->resize(size + (sub->size() - window->size()));
    return window;
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

frmHlavni *frmHlavni::of(QWidget *child)
{
    return child ? qobject_cast<frmHlavni *>(child->window()) : nullptr;
}

void frmHlavni::miKonec_Click()
{
    QCoreApplication::exit(0);
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

// Child windows that enable "Uložit" while active do it in Form_Activate / Form_Deactivate.
void frmHlavni::subWindowActivated(QMdiSubWindow *window)
{
    QWidget *now = window ? window->widget() : nullptr;
    if (now == m_activeChild)
        return;
    invokeIfPresent(m_activeChild, "Form_Deactivate");
    m_activeChild = now;
    invokeIfPresent(now, "Form_Activate");
}

void frmHlavni::connectionLost(const QString &reason)
{
    if (m_connectionLostShown)
        return;
    m_connectionLostShown = true;
    ui::critical(this, kCaption,
                 QStringLiteral("Spojení s databází bylo přerušeno. Data nelze číst ani ukládat; "
                                "ukončete aplikaci a spusťte ji znovu."),
                 reason);
}

void frmHlavni::closeEvent(QCloseEvent *event)
{
    // A write in progress keeps the connection; a busy child window refuses to close.
    if (m_state.database().inTransaction()) {
        event->ignore();
        return;
    }
    m_mdi->closeAllSubWindows();
    for (QMdiSubWindow *sub : m_mdi->subWindowList()) {
        if (isOpen(sub)) {
            event->ignore();
            return;
        }
    }
    m_state.database().close();
    event->accept();
}

} // namespace verna::shell

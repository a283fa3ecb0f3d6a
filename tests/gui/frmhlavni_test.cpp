#include "sqlitefixture.h"
#include "windowtest.h"

#include "db/database.h"
#include "shell/appstate.h"
#include "shell/childwindow.h"
#include "shell/frmhlavni.h"
#include "ui/busyguard.h"
#include "ui/scripteduser.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>
#include <memory>

using namespace verna;
using namespace Qt::StringLiterals;
using shell::frmHlavni;
using shell::WindowKind;

namespace {

// A child window that enables "Uložit" while it is the active one, as the table and
// analysis windows do, and may refuse to close.
class SavingWindow : public QWidget, public shell::ChildWindow
{
public:
    void activated() override
    {
        if (frmHlavni *main = frmHlavni::of(this))
            main->setSaveItem(true, u"vykaz"_s);
    }
    void deactivated() override
    {
        if (frmHlavni *main = frmHlavni::of(this))
            main->setSaveItem(false);
    }
    bool canClose() override
    {
        ++asked;
        return closable;
    }
    bool closable = true;
    int asked = 0;
};

const QList<WindowKind> kMenuKinds = {WindowKind::Search,          WindowKind::DataSelection,   WindowKind::StatementTable,
                                      WindowKind::Analysis,        WindowKind::EntityGroups,    WindowKind::IndicatorGroups,
                                      WindowKind::IndicatorEditor, WindowKind::NewEntity,       WindowKind::NewStatement};

QWidget *plainWindow(shell::AppState &)
{
    auto *w = new QWidget;
    w->setMinimumSize(10, 10);
    return w;
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_fixture.open(m_database, test::SqliteFixture::Content::CodeLines), QString());
        m_state = std::make_unique<shell::AppState>(m_database);
    }

    // The main window after start-up, with the given windows built.
    frmHlavni &start(shell::WindowRegistry registry)
    {
        m_window = std::make_unique<frmHlavni>(*m_state, std::move(registry));
        m_window->show();
        m_window->Form_Load();
        return *m_window;
    }

    shell::WindowRegistry allPlainWindows()
    {
        shell::WindowRegistry registry;
        for (WindowKind kind : kMenuKinds)
            registry.add(kind, plainWindow);
        return registry;
    }

    QAction *action(const QString &name) { return m_window->findChild<QAction *>(name); }

    QStringList captions() const
    {
        QStringList out;
        for (QWidget *w : m_window->childWindows())
            out << w->windowTitle();
        return out;
    }

    ui::ScriptedUser m_user;
    test::SqliteFixture m_fixture;
    db::Database m_database;
    std::unique_ptr<shell::AppState> m_state;
    std::unique_ptr<frmHlavni> m_window;
};

} // namespace

TEST_F(MainWindowTest, CommandsNeedTheirWindowOwnCaptionsStayWindowsOpenInsideTheWorkspaceAndTheActiveChildDrivesUlozit)
{
    shell::WindowRegistry searchOnly;
    searchOnly.add(WindowKind::Search, plainWindow);
    start(std::move(searchOnly));

    for (const QString &name : {u"miAnalyza"_s, u"miNovyVykaz"_s, u"cmdAnalyza"_s, u"cmdNovyVykaz"_s})
        EXPECT_TRUE(!action(name)->isEnabled() && action(name)->isVisible()) << name.toStdString();
    for (const QString &name : {u"miSubjekt"_s, u"cmdHledatSubjekt"_s, u"miKonec"_s, u"miVodorovne"_s, u"miZavrit"_s, u"miAbout"_s})
        EXPECT_TRUE(action(name)->isEnabled()) << name.toStdString();
    EXPECT_FALSE(m_window->windowIcon().isNull());

    // Without the search window none opens at start; a window's own caption and size stay, and Výběr dat always
    // opens on everything, whatever entity was last chosen.
    QList<std::optional<qint32>> seen;
    shell::WindowRegistry registry;
    registry.add(WindowKind::NewEntity, [](shell::AppState &) {
        auto *w = new QWidget;
        w->setWindowTitle(u"Nový subjekt"_s);
        w->resize(420, 310);
        return w;
    });
    registry.add(WindowKind::DataSelection, [&seen](shell::AppState &state) {
        seen << state.entityToOpen();
        return new QWidget;
    });
    start(std::move(registry));
    EXPECT_TRUE(captions().isEmpty());
    action(u"cmdNovySubjekt"_s)->trigger();
    EXPECT_EQ(m_window->childWindows().front()->size(), QSize(420, 310));
    m_state->setEntityToOpen(1234);
    action(u"cmdVyberDat"_s)->trigger();
    m_state->setEntityToOpen(-5);
    action(u"miVyber"_s)->trigger();
    EXPECT_EQ(seen, (QList<std::optional<qint32>>{std::nullopt, std::nullopt}));
    EXPECT_EQ(captions(), (QStringList{u"Nový subjekt"_s, u"Výběr dat"_s, u"Výběr dat"_s}));

    // Every window opens inside the workspace, small or large: its shares of it, cascaded over the windows open,
    // clamped; a kind comes back where it was closed while that still fits.
    QSettings().remove(frmHlavni::kPlacesGroup);
    shell::WindowRegistry sized;
    sized.add(WindowKind::StatementTable, [](shell::AppState &) {
        auto *w = new QWidget;
        w->setMinimumSize(120, 80);
        frmHlavni::sizeChild(w, 0.5, 0.4, QSize(640, 480));
        return w;
    });
    sized.add(WindowKind::NewStatement, [](shell::AppState &) {
        auto *w = new QWidget;
        w->setMinimumSize(200, 150);
        w->resize(3000, 2000);
        return w;
    });
    start(std::move(sized));
    const auto frame = [](QWidget *w) { return w->parentWidget()->geometry(); };
    const auto workspace = [this] { return QRect(QPoint(0, 0), m_window->mdiArea()->viewport()->size()); };

    m_window->resize(1600, 1000);
    QWidget *first = m_window->open(WindowKind::StatementTable);
    const QRect area = workspace();
    EXPECT_EQ(frame(first), QRect(0, 0, qRound(area.width() * 0.5), qRound(area.height() * 0.4)));
    QWidget *second = m_window->open(WindowKind::StatementTable);
    EXPECT_GT(frame(second).top(), 0);
    EXPECT_EQ(frame(second).topLeft().x(), frame(second).topLeft().y());
    QWidget *huge = m_window->open(WindowKind::NewStatement);
    for (QWidget *w : {first, second, huge})
        EXPECT_TRUE(area.contains(frame(w))) << frame(w).x() << "," << frame(w).y() << " " << frame(w).width() << "x" << frame(w).height();

    // Moved, closed, opened again: where it was.
    const QRect moved(300, 200, 700, 450);
    first->parentWidget()->setGeometry(moved);
    first->parentWidget()->close();
    EXPECT_EQ(frame(m_window->open(WindowKind::StatementTable)), moved);

    // A small workspace: the remembered place no longer fits, so it is clamped; so is the big one.
    for (QWidget *w : m_window->childWindows())
        w->parentWidget()->close();
    m_window->resize(520, 420);
    QWidget *small = m_window->open(WindowKind::StatementTable);
    QWidget *big = m_window->open(WindowKind::NewStatement);
    for (QWidget *w : {small, big})
        EXPECT_TRUE(workspace().contains(frame(w))) << frame(w).x() << "," << frame(w).y() << " " << frame(w).width() << "x" << frame(w).height();
    EXPECT_LT(frame(small).width(), moved.width());

    // Otevřít and Uložit do nothing themselves; the active child turns Uložit on and off; a window that may not
    // close keeps itself and the frame open.
    shell::WindowRegistry saving = allPlainWindows();
    saving.add(WindowKind::StatementTable, [](shell::AppState &) { return new SavingWindow; });
    start(std::move(saving));
    QAction *otevrit = action(u"miOtevrit"_s);
    QAction *ulozit = action(u"miUlozit"_s);
    EXPECT_FALSE(otevrit->isEnabled() || ulozit->isEnabled());
    m_window->setOpenItemEnabled(true);
    m_window->setSaveItem(true, u"vykaz"_s);
    otevrit->trigger();
    ulozit->trigger();
    EXPECT_EQ(m_window->childWindows().size(), 1);
    EXPECT_TRUE(m_user.messages().isEmpty());
    m_window->setSaveItem(false);
    EXPECT_FALSE(ulozit->isEnabled());

    QMdiArea *mdi = m_window->mdiArea();
    action(u"miVykaz"_s)->trigger();
    mdi->setActiveSubWindow(mdi->subWindowList(QMdiArea::CreationOrder).back());
    EXPECT_EQ(ulozit->isEnabled() ? m_window->saveItemTag() : QString(), u"vykaz"_s);
    mdi->setActiveSubWindow(mdi->subWindowList(QMdiArea::CreationOrder).front());
    EXPECT_FALSE(ulozit->isEnabled());
    EXPECT_EQ(m_window->saveItemTag(), QString());

    // A window that may not close keeps itself and the frame open.
    auto *closing = static_cast<SavingWindow *>(m_window->childWindows().back());
    closing->closable = false;
    EXPECT_FALSE(closing->parentWidget()->close());
    EXPECT_FALSE(m_window->close());
    action(u"miKonec"_s)->trigger();
    EXPECT_EQ(m_window->childWindows().size(), 2);
    closing->closable = true;
    closing->asked = 0;
    action(u"miKonec"_s)->trigger();
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(closing->asked, 1); // once, not again by its frame
}

TEST_F(MainWindowTest, KindsCountOnTheirOwnWindowsTileTheMenuListsThemAboutIsModalAndABusyChildKeepsThemOpen)
{
    start(allPlainWindows());
    EXPECT_EQ(captions(), QStringList{u"Vyhledávací obrazovka 1"_s});
    m_window->Toolbar1_ButtonClick(u"cmdNeznamy"_s); // unknown keys do nothing
    m_window->Toolbar1_ButtonClick(QString());
    EXPECT_EQ(captions().size(), 1);

    for (const char *name : {"cmdHledatSubjekt", "cmdHledatSubjekt", "miVykaz", "cmdFinancniData", "cmdAnalyza", "miSubjekt"})
        action(QString::fromLatin1(name))->trigger();
    EXPECT_EQ(captions(), (QStringList{u"Vyhledávací obrazovka 1"_s, u"Vyhledávací obrazovka 2"_s, u"Vyhledávací obrazovka 3"_s,
                                       u"Zobrazení finančních dat 1"_s, u"Zobrazení finančních dat 2"_s, u"Analýza 1"_s,
                                       u"Vyhledávací obrazovka 4"_s}));
    EXPECT_TRUE(m_user.messages().isEmpty());

    // Vodorovně and Svisle tile the client area.
    start(allPlainWindows());
    action(u"miAnalyza"_s)->trigger();
    action(u"miVykaz"_s)->trigger();
    const QList<QMdiSubWindow *> windows = m_window->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    ASSERT_EQ(windows.size(), 3);
    const QSize area = m_window->mdiArea()->viewport()->size();
    action(u"miVodorovne"_s)->trigger();
    int left = 0;
    for (QMdiSubWindow *w : windows) {
        EXPECT_EQ(w->geometry().top(), 0);
        EXPECT_EQ(w->height(), area.height());
        EXPECT_EQ(w->x(), left);
        EXPECT_NEAR(w->width(), area.width() / 3, 1);
        left += w->width();
    }
    EXPECT_EQ(left, area.width());

    action(u"miSvisle"_s)->trigger();
    EXPECT_EQ(windows.front()->geometry(), QRect(0, 0, area.width(), area.height() / 3));
    EXPECT_EQ(windows.back()->geometry().bottom() + 1, area.height());

    // "Okno" lists the open windows, numbered, the active one checked; Zavřít closes the active one, a child
    // closing itself leaves no empty frame, and the commands need a window.
    start(allPlainWindows());
    auto *menu = m_window->findChild<QMenu *>(u"mnuOkno"_s);
    const auto listed = [menu] {
        emit menu->aboutToShow();
        QStringList out;
        for (QAction *a : menu->actions()) {
            if (a->isCheckable())
                out << (a->isChecked() ? u"x "_s : u"  "_s) + a->text();
        }
        return out;
    };
    action(u"miAnalyza"_s)->trigger();
    QMdiArea *mdi = m_window->mdiArea();
    mdi->setActiveSubWindow(mdi->subWindowList(QMdiArea::CreationOrder).back());
    EXPECT_EQ(listed(), (QStringList{u"  &1 Vyhledávací obrazovka 1"_s, u"x &2 Analýza 1"_s}));
    // A title's "&" is shown as it stands.
    m_window->childWindows().back()->setWindowTitle(u"Novák & Syn"_s);
    EXPECT_EQ(listed().back(), u"x &2 Novák && Syn"_s);
    m_window->childWindows().back()->setWindowTitle(u"Analýza 1"_s);
    EXPECT_TRUE(action(u"miSvisle"_s)->isEnabled());

    // Choosing an entry activates its window.
    for (QAction *a : menu->actions()) {
        if (a->text() == u"&1 Vyhledávací obrazovka 1"_s)
            a->trigger();
    }
    EXPECT_EQ(m_window->activeChild(), m_window->childWindows().front());
    action(u"miZavrit"_s)->trigger();
    EXPECT_EQ(captions(), QStringList{u"Analýza 1"_s});

    EXPECT_TRUE(m_window->childWindows().front()->close());
    EXPECT_TRUE(m_window->childWindows().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the window
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // its frame
    EXPECT_TRUE(mdi->subWindowList().isEmpty());
    EXPECT_TRUE(listed().isEmpty());
    for (const QString &name : {u"miVodorovne"_s, u"miSvisle"_s, u"miZavrit"_s})
        EXPECT_FALSE(action(name)->isEnabled()) << name.toStdString();

    // The about box is modal, owned and closes with OK.
    start({});
    QWidget *box = nullptr;
    QTimer::singleShot(0, [&] {
        box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->parentWidget(), m_window.get());
        box->findChild<QPushButton *>(u"cmdOK"_s)->click();
    });
    action(u"miAbout"_s)->trigger();
    EXPECT_NE(box, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A busy child keeps everything open; closing the main window then closes all.
    start(allPlainWindows());
    QWidget *search = m_window->childWindows().front();
    {
        ui::BusyGuard busy(search);
        action(u"miZavrit"_s)->trigger();
        EXPECT_EQ(m_window->childWindows().size(), 1);
        EXPECT_FALSE(m_window->close());
        EXPECT_TRUE(m_window->isVisible() && m_database.isOpen());
    }
    EXPECT_EQ(search->windowTitle(), u"Vyhledávací obrazovka 1"_s);
    action(u"miAnalyza"_s)->trigger();
    EXPECT_TRUE(m_window->close());
    EXPECT_TRUE(m_window->childWindows().isEmpty() && !m_database.isOpen());
}

using RightsTest = test::FrameTest;

// A file opened for reading only gives the user a reader's rights: the commands that would write
// are off, say which right is missing, and stay off when the window turns them on.
TEST_F(RightsTest, ReaderSeesWritingCommandsDisabledWithTheMissingRight)
{
    db::DatabaseLocation readOnly = m_db.location();
    readOnly.readOnly = true;
    ASSERT_TRUE(m_db.open(readOnly).ok);
    m_main->Form_Load();
    const auto action = [this](const QString &name) { return m_main->findChild<QAction *>(name); };
    for (const QString &name : {u"cmdNovySubjekt"_s, u"miNovySubjekt"_s, u"cmdNovyVykaz"_s, u"miNovyVykaz"_s})
        EXPECT_FALSE(action(name)->isEnabled()) << name.toStdString();
    EXPECT_EQ(action(u"cmdNovySubjekt"_s)->toolTip(), u"Nemáte oprávnění měnit subjekty (role verna_editor)."_s);
    EXPECT_TRUE(action(u"cmdHledatSubjekt"_s)->isEnabled());

    const struct {
        WindowKind kind;
        QString button;
        db::Right right;
    } gated[] = {{WindowKind::NewStatement, u"cmdImport"_s, db::Right::Statements},
                 {WindowKind::IndicatorGroups, u"cmdVytvorit"_s, db::Right::Indicators},
                 {WindowKind::IndicatorEditor, u"cmdOK"_s, db::Right::Indicators},
                 {WindowKind::EntityGroups, u"cmdZmenitSk"_s, db::Right::Groups}};
    for (const auto &g : gated) {
        QWidget *window = m_main->open(g.kind);
        ASSERT_NE(window, nullptr);
        auto *button = control<QPushButton>(window, g.button);
        ASSERT_NE(button, nullptr);
        button->setEnabled(true); // as the window does when its state allows the command
        EXPECT_FALSE(button->isEnabled()) << g.button.toStdString();
        EXPECT_EQ(button->toolTip(), db::Rights::missing(g.right));
    }
    EXPECT_EQ(db::Rights::missing(db::Right::Statements), u"Nemáte oprávnění měnit výkazy (role verna_editor)."_s);
}

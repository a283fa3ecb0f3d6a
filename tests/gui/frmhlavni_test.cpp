#include "sqlitefixture.h"

#include "db/database.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "ui/busyguard.h"
#include "ui/scripteduser.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>
#include <memory>

using namespace verna;
using shell::frmHlavni;
namespace commands = shell::commands;

namespace {

// A child window that enables "Uložit" while it is the active one, as the table and
// analysis windows do.
class SavingWindow : public QWidget
{
    Q_OBJECT
public slots:
    void Form_Activate()
    {
        if (frmHlavni *main = frmHlavni::of(this))
            main->setSaveItem(true, QStringLiteral("vykaz"));
    }
    void Form_Deactivate()
    {
        if (frmHlavni *main = frmHlavni::of(this))
            main->setSaveItem(false);
    }
};

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
        for (const QString &command : commands::all())
            registry.add(command, plainWindow);
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

struct Item {
    QString name;
    QString caption; // empty for a separator
};
struct Menu {
    QString name;
    QString caption;
    QList<Item> items;
};

} // namespace

TEST_F(MainWindowTest, MenusCarryTheirNamesAndCaptionsInOrder)
{
    start({});
    const QList<Menu> expected = {
        {"mnuSoubor", "&Soubor", {{"miOtevrit", "&Otevřít"}, {"miUlozit", "&Uložit"}, {"miL1", ""}, {"miKonec", "&Konec"}}},
        {"mnuHledat", "&Hledat", {{"miSubjekt", "&Subjekt"}}},
        {"mnuZobrazit",
         "&Zobrazit",
         {{"miVyber", "Vý&běr dat"}, {"miVykaz", "&Finanční data"}, {"miAnalyza", "&Analýza"}}},
        {"mnuNastroje",
         "&Nástroje",
         {{"miSkupinaSubjektu", "&Skupina subjektů"},
          {"miSkupinaUkazatelu", "&Skupina ukazatelů"},
          {"miL2", ""},
          {"miNovyUkazatel", "&Nový ukazatel"},
          {"miNovySubjekt", "Nový su&bjekt"},
          {"miNovyVykaz", "Nový &výkaz"}}},
        {"mnuOkno", "&Okno", {{"miVodorovne", "&Vodorovně"}, {"miSvisle", "&Svisle"}, {"miL3", ""}, {"miZavrit", "&Zavřít"}}},
        {"mnuNapoveda", "Nápo&věda", {{"miAbout", "&O aplikaci..."}}},
    };

    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("VERNA"));
    const QList<QAction *> bar = m_window->menuBar()->actions();
    ASSERT_EQ(bar.size(), expected.size());
    for (int m = 0; m < expected.size(); ++m) {
        QMenu *menu = bar[m]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName(), expected[m].name);
        EXPECT_EQ(menu->title(), expected[m].caption);
        const QList<QAction *> items = menu->actions();
        ASSERT_EQ(items.size(), expected[m].items.size()) << expected[m].name.toStdString();
        for (int i = 0; i < items.size(); ++i) {
            const Item &item = expected[m].items[i];
            EXPECT_EQ(items[i]->objectName(), item.name);
            EXPECT_EQ(items[i]->isSeparator(), item.caption.isEmpty()) << item.name.toStdString();
            if (!item.caption.isEmpty()) {
                EXPECT_EQ(items[i]->text(), item.caption);
            }
        }
    }
}

TEST_F(MainWindowTest, ToolbarButtonsCarryKeysTextsAndIcons)
{
    start({});
    const QList<std::pair<QString, QString>> expected = {
        {"cmdHledatSubjekt", "Hledat subjekt"},   {"cmdVyberDat", "Výběr dat"},
        {"cmdFinancniData", "Finanční data"},     {"cmdAnalyza", "Analýza"},
        {"cmdSkupinaSubjektu", "Skupina subjektů"}, {"cmdSkupinaUkazatelu", "Skupina ukazatelů"},
        {"cmdNovyUkazatel", "Nový ukazatel"},     {"cmdNovySubjekt", "Nový subjekt"},
        {"cmdNovyVykaz", "Nový výkaz"},
    };
    auto *toolbar = m_window->findChild<QToolBar *>(QStringLiteral("Toolbar1"));
    ASSERT_NE(toolbar, nullptr);
    QList<QAction *> buttons;
    for (QAction *a : toolbar->actions()) {
        if (!a->isSeparator())
            buttons << a;
    }
    ASSERT_EQ(buttons.size(), expected.size());
    for (int i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->objectName(), expected[i].first);
        EXPECT_EQ(buttons[i]->data().toString(), expected[i].first);
        EXPECT_EQ(buttons[i]->text(), expected[i].second);
        EXPECT_FALSE(buttons[i]->icon().isNull()) << expected[i].first.toStdString();
    }
    EXPECT_FALSE(m_window->windowIcon().isNull());
}

TEST_F(MainWindowTest, CommandsWithoutTheirWindowStayVisibleButDisabled)
{
    shell::WindowRegistry registry;
    registry.add(commands::kSubjekt, plainWindow);
    EXPECT_FALSE(registry.add(QStringLiteral("miNeexistuje"), plainWindow));
    start(std::move(registry));

    EXPECT_TRUE(action(QStringLiteral("miSubjekt"))->isEnabled());
    EXPECT_TRUE(action(QStringLiteral("cmdHledatSubjekt"))->isEnabled());
    for (const QString &name : {QStringLiteral("miAnalyza"), QStringLiteral("miNovyVykaz"), QStringLiteral("cmdAnalyza"),
                                QStringLiteral("cmdNovyVykaz")}) {
        EXPECT_FALSE(action(name)->isEnabled()) << name.toStdString();
        EXPECT_TRUE(action(name)->isVisible()) << name.toStdString();
    }
    for (const QString &name : {QStringLiteral("miKonec"), QStringLiteral("miVodorovne"), QStringLiteral("miZavrit"),
                                QStringLiteral("miAbout")})
        EXPECT_TRUE(action(name)->isEnabled()) << name.toStdString();
}

TEST_F(MainWindowTest, StartUpOpensSearchWindowOneAndEachKindCountsOnItsOwn)
{
    start(allPlainWindows());
    EXPECT_EQ(captions(), QStringList{QStringLiteral("Vyhledávací obrazovka 1")});

    action(QStringLiteral("cmdHledatSubjekt"))->trigger();
    action(QStringLiteral("cmdHledatSubjekt"))->trigger();
    action(QStringLiteral("miVykaz"))->trigger();
    action(QStringLiteral("cmdFinancniData"))->trigger();
    action(QStringLiteral("cmdAnalyza"))->trigger();
    action(QStringLiteral("miSubjekt"))->trigger();

    EXPECT_EQ(captions(), (QStringList{QStringLiteral("Vyhledávací obrazovka 1"), QStringLiteral("Vyhledávací obrazovka 2"),
                                       QStringLiteral("Vyhledávací obrazovka 3"), QStringLiteral("Zobrazení finančních dat 1"),
                                       QStringLiteral("Zobrazení finančních dat 2"), QStringLiteral("Analýza 1"),
                                       QStringLiteral("Vyhledávací obrazovka 4")}));
}

TEST_F(MainWindowTest, WindowsThatSetTheirOwnCaptionAndSizeKeepThem)
{
    shell::WindowRegistry registry;
    registry.add(commands::kNovySubjekt, [](shell::AppState &) {
        auto *w = new QWidget;
        w->setWindowTitle(QStringLiteral("Nový subjekt"));
        w->resize(420, 310);
        return w;
    });
    start(std::move(registry));
    EXPECT_TRUE(captions().isEmpty()) << "no search window is built";
    action(QStringLiteral("cmdNovySubjekt"))->trigger();
    EXPECT_EQ(captions(), QStringList{QStringLiteral("Nový subjekt")});
    EXPECT_EQ(m_window->childWindows().front()->size(), QSize(420, 310));
}

TEST_F(MainWindowTest, UnknownToolbarKeyDoesNothing)
{
    start(allPlainWindows());
    m_window->Toolbar1_ButtonClick(QStringLiteral("cmdNeznamy"));
    m_window->Toolbar1_ButtonClick(QString());
    EXPECT_EQ(m_window->childWindows().size(), 1);
    EXPECT_TRUE(m_user.messages().isEmpty());
}

TEST_F(MainWindowTest, VyberDatAlwaysOpensOnEverything)
{
    QStringList seen;
    shell::WindowRegistry registry;
    registry.add(commands::kVyber, [&seen](shell::AppState &state) {
        seen << state.entityToOpen();
        return new QWidget;
    });
    start(std::move(registry));
    m_state->setEntityToOpen(QStringLiteral("1234"));
    action(QStringLiteral("cmdVyberDat"))->trigger();
    m_state->setEntityToOpen(QStringLiteral("-5"));
    action(QStringLiteral("miVyber"))->trigger();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("@@"), QStringLiteral("@@")}));
    EXPECT_EQ(captions(), (QStringList{QStringLiteral("Výběr dat"), QStringLiteral("Výběr dat")}));
}

TEST_F(MainWindowTest, ZavritClosesTheCurrentChildAndNothingWhenThereIsNone)
{
    start({});
    action(QStringLiteral("miZavrit"))->trigger();
    EXPECT_TRUE(m_window->childWindows().isEmpty());
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_user.messages().isEmpty());

    m_window = nullptr;
    start(allPlainWindows());
    action(QStringLiteral("miAnalyza"))->trigger();
    QWidget *analysis = m_window->childWindows().back();
    m_window->mdiArea()->setActiveSubWindow(m_window->mdiArea()->subWindowList().back());
    ASSERT_EQ(m_window->activeChild(), analysis);
    action(QStringLiteral("miZavrit"))->trigger();
    EXPECT_EQ(captions(), QStringList{QStringLiteral("Vyhledávací obrazovka 1")});
}

TEST_F(MainWindowTest, ChildClosingItselfLeavesNoEmptyFrame)
{
    start(allPlainWindows());
    QWidget *search = m_window->childWindows().front();
    EXPECT_TRUE(search->close());
    EXPECT_TRUE(m_window->childWindows().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the window
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // its frame
    EXPECT_TRUE(m_window->childWindows().isEmpty());
    EXPECT_TRUE(m_window->mdiArea()->subWindowList().isEmpty());
}

TEST_F(MainWindowTest, OtevritAndUlozitAreInertAndChildWindowsDriveUlozit)
{
    start(allPlainWindows());
    QAction *otevrit = action(QStringLiteral("miOtevrit"));
    QAction *ulozit = action(QStringLiteral("miUlozit"));
    EXPECT_FALSE(otevrit->isEnabled());
    EXPECT_FALSE(ulozit->isEnabled());

    m_window->setSaveItem(true, QStringLiteral("vykaz"));
    m_window->setOpenItemEnabled(true);
    EXPECT_TRUE(ulozit->isEnabled());
    EXPECT_EQ(m_window->saveItemTag(), QStringLiteral("vykaz"));
    otevrit->trigger();
    ulozit->trigger();
    EXPECT_EQ(m_window->childWindows().size(), 1);
    EXPECT_TRUE(m_user.messages().isEmpty());

    m_window->setSaveItem(false);
    EXPECT_FALSE(ulozit->isEnabled());
    EXPECT_EQ(m_window->saveItemTag(), QString());
}

TEST_F(MainWindowTest, ActivationCallsFormActivateAndFormDeactivate)
{
    shell::WindowRegistry registry = allPlainWindows();
    registry.add(commands::kVykaz, [](shell::AppState &) { return new SavingWindow; });
    start(std::move(registry));
    QMdiArea *mdi = m_window->mdiArea();
    action(QStringLiteral("miVykaz"))->trigger();
    QMdiSubWindow *table = mdi->subWindowList(QMdiArea::CreationOrder).back();
    QMdiSubWindow *search = mdi->subWindowList(QMdiArea::CreationOrder).front();

    mdi->setActiveSubWindow(table);
    EXPECT_TRUE(action(QStringLiteral("miUlozit"))->isEnabled());
    EXPECT_EQ(m_window->saveItemTag(), QStringLiteral("vykaz"));

    mdi->setActiveSubWindow(search);
    EXPECT_FALSE(action(QStringLiteral("miUlozit"))->isEnabled());
    EXPECT_EQ(m_window->saveItemTag(), QString());
}

TEST_F(MainWindowTest, VodorovneAndSvisleTileTheClientArea)
{
    start(allPlainWindows());
    action(QStringLiteral("miAnalyza"))->trigger();
    action(QStringLiteral("miVykaz"))->trigger();
    const QList<QMdiSubWindow *> windows = m_window->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    ASSERT_EQ(windows.size(), 3);
    const QSize area = m_window->mdiArea()->viewport()->size();

    action(QStringLiteral("miVodorovne"))->trigger();
    int left = 0;
    for (QMdiSubWindow *w : windows) {
        EXPECT_EQ(w->geometry().top(), 0);
        EXPECT_EQ(w->height(), area.height());
        EXPECT_EQ(w->x(), left);
        EXPECT_NEAR(w->width(), area.width() / 3, 1);
        left += w->width();
    }
    EXPECT_EQ(left, area.width());

    action(QStringLiteral("miSvisle"))->trigger();
    int top = 0;
    for (QMdiSubWindow *w : windows) {
        EXPECT_EQ(w->x(), 0);
        EXPECT_EQ(w->width(), area.width());
        EXPECT_EQ(w->y(), top);
        EXPECT_NEAR(w->height(), area.height() / 3, 1);
        top += w->height();
    }
    EXPECT_EQ(top, area.height());
}

TEST_F(MainWindowTest, BusyChildRefusesToCloseAndKeepsTheFrameAndConnectionOpen)
{
    start(allPlainWindows());
    QWidget *search = m_window->childWindows().front();
    {
        ui::BusyGuard busy(search);
        action(QStringLiteral("miZavrit"))->trigger();
        EXPECT_EQ(m_window->childWindows().size(), 1);
        EXPECT_FALSE(m_window->close());
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_TRUE(m_database.isOpen());
    }
    EXPECT_EQ(search->windowTitle(), QStringLiteral("Vyhledávací obrazovka 1"));
    action(QStringLiteral("miZavrit"))->trigger();
    EXPECT_TRUE(m_window->childWindows().isEmpty());
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesChildrenAndTheConnection)
{
    start(allPlainWindows());
    action(QStringLiteral("miAnalyza"))->trigger();
    EXPECT_TRUE(m_window->close());
    EXPECT_TRUE(m_window->childWindows().isEmpty());
    EXPECT_FALSE(m_database.isOpen());
}

TEST_F(MainWindowTest, LostConnectionIsToldOnce)
{
    start({});
    emit m_database.connectionLost(QStringLiteral("server closed the connection unexpectedly"));
    emit m_database.connectionLost(QStringLiteral("znovu"));
    QCoreApplication::processEvents();
    ASSERT_EQ(m_user.messages().size(), 1);
    const ui::ShownMessage &message = m_user.messages().front();
    EXPECT_EQ(message.icon, ui::MessageIcon::Critical);
    EXPECT_EQ(message.title, QStringLiteral("VERNA"));
    EXPECT_TRUE(message.text.startsWith(QStringLiteral("Spojení s databází bylo přerušeno")));
    EXPECT_EQ(message.detail, QStringLiteral("server closed the connection unexpectedly"));
}

TEST_F(MainWindowTest, AboutBoxIsModalOwnedAndClosesWithOk)
{
    start({});
    QString title;
    QStringList labels;
    bool modal = false;
    bool owned = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        modal = box->isModal();
        owned = box->parentWidget() == m_window.get();
        for (QLabel *label : box->findChildren<QLabel *>())
            labels << label->text();
        box->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    });
    action(QStringLiteral("miAbout"))->trigger();

    EXPECT_EQ(title, QStringLiteral("O aplikaci..."));
    EXPECT_TRUE(modal);
    EXPECT_TRUE(owned);
    for (const QString &credit : {QStringLiteral("Vedoucí projektu:"), QStringLiteral("Programátor:"),
                                  QStringLiteral("Odborné kozultace a příprava dat:"), QStringLiteral("Testování:")})
        EXPECT_TRUE(labels.contains(credit)) << credit.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

#include "frmhlavni_test.moc"

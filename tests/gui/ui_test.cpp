#include "sqlitefixture.h"

#include "db/database.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/idlehook.h"
#include "ui/messages.h"
#include "ui/scripteduser.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace verna;

namespace {

bool waitCursorShown()
{
    const QCursor *cursor = QApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

} // namespace

TEST(MessageSeam, RecordsEveryBoxWithIconTitleAndText)
{
    ui::ScriptedUser user;
    ui::information(nullptr, QStringLiteral("Nový subjekt"), QStringLiteral("Subjekt byl uložen."));
    ui::exclamation(nullptr, QStringLiteral("Nový subjekt"), QStringLiteral("Zadejte IČO."));
    ui::critical(nullptr, QStringLiteral("VERNA"), QStringLiteral("Chyba"), QStringLiteral("důvod"));

    ASSERT_EQ(user.messages().size(), 3);
    EXPECT_EQ(user.messages()[0].icon, ui::MessageIcon::Information);
    EXPECT_EQ(user.messages()[0].title, QStringLiteral("Nový subjekt"));
    EXPECT_EQ(user.messages()[0].text, QStringLiteral("Subjekt byl uložen."));
    EXPECT_EQ(user.messages()[0].buttons, QStringList{ui::kOk});
    EXPECT_EQ(user.messages()[1].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(user.messages()[2].icon, ui::MessageIcon::Critical);
    EXPECT_EQ(user.messages()[2].detail, QStringLiteral("důvod"));
}

// Boxes with one button take no reply, so the script stays aligned with the questions.
TEST(MessageSeam, QuestionsTakeScriptedRepliesInOrderAndDefaultToNo)
{
    ui::ScriptedUser user;
    user.willAnswer(ui::kYes);
    user.willAnswer(ui::kNo);
    ui::information(nullptr, QStringLiteral("t"), QStringLiteral("před otázkou"));
    EXPECT_TRUE(ui::askYesNo(nullptr, QStringLiteral("Smazat"), QStringLiteral("Opravdu smazat?")));
    EXPECT_FALSE(ui::askYesNo(nullptr, QStringLiteral("Smazat"), QStringLiteral("Opravdu smazat?")));
    EXPECT_FALSE(ui::askYesNo(nullptr, QStringLiteral("Smazat"), QStringLiteral("Bez odpovědi")));

    ASSERT_EQ(user.messages().size(), 4);
    const ui::ShownMessage &question = user.messages()[1];
    EXPECT_EQ(question.icon, ui::MessageIcon::Question);
    EXPECT_EQ(question.buttons, (QStringList{ui::kYes, ui::kNo}));
    EXPECT_EQ(question.answer, ui::kYes);
    EXPECT_EQ(user.messages()[3].answer, ui::kNo);
}

TEST(MessageSeam, NestedScriptedUserHandsBackToTheOuterOne)
{
    ui::ScriptedUser outer;
    {
        ui::ScriptedUser inner;
        ui::information(nullptr, QStringLiteral("t"), QStringLiteral("vnitřní"));
        EXPECT_EQ(inner.messages().size(), 1);
    }
    EXPECT_EQ(ui::ScriptedUser::current(), &outer);
    ui::information(nullptr, QStringLiteral("t"), QStringLiteral("vnější"));
    ASSERT_EQ(outer.messages().size(), 1);
    EXPECT_EQ(outer.messages()[0].text, QStringLiteral("vnější"));
}

TEST(BusyGuard, ShowsBusyCaptionAndWaitCursorAndRestoresBoth)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Nový výkaz"));
    {
        ui::BusyGuard busy(&window);
        EXPECT_EQ(window.windowTitle(), ui::kBusyCaption);
        EXPECT_TRUE(ui::isBusy(&window));
        EXPECT_TRUE(waitCursorShown());
        {
            ui::BusyGuard inner(&window);
            EXPECT_TRUE(ui::isBusy(&window));
        }
        // The outer operation is still running.
        EXPECT_TRUE(ui::isBusy(&window));
        EXPECT_TRUE(waitCursorShown());
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Nový výkaz"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    {
        ui::BusyGuard busy(&window, QStringLiteral("Výběr dat"));
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Výběr dat"));
}

TEST(BusyGuard, RestoresAlsoWhenAnExceptionPassesThrough)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Analýza 1"));
    try {
        ui::BusyGuard busy(&window);
        throw std::runtime_error("selhání uprostřed práce");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Analýza 1"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(BusyGuard, WindowGoneDuringWorkIsNotTouched)
{
    auto *window = new QWidget;
    {
        ui::BusyGuard busy(window);
        delete window;
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(BusyGuard, BusyWindowRefusesToClose)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Nový výkaz"));
    window.show();
    {
        ui::BusyGuard busy(&window);
        EXPECT_FALSE(window.close());
        EXPECT_TRUE(window.isVisible());
    }
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

// A caption set by hand counts the same as one set by the guard.
TEST(BusyGuard, RefusalFollowsTheCaptionInsideTheFrame)
{
    QMdiArea area;
    auto *window = new QWidget;
    ui::refuseCloseWhileBusy(window);
    QMdiSubWindow *sub = area.addSubWindow(window);
    area.show();
    window->setWindowTitle(ui::kBusyCaption);
    EXPECT_EQ(sub->windowTitle(), ui::kBusyCaption);
    EXPECT_FALSE(sub->close());
    EXPECT_EQ(area.subWindowList().size(), 1);
    window->setWindowTitle(QStringLiteral("Hotovo"));
    EXPECT_TRUE(sub->close());
}

namespace {

// A small window with a label and a list that take text drops, as later windows do.
struct DropWindow {
    QWidget window;
    QLabel *label = new QLabel(&window);
    QListWidget *list = new QListWidget(&window);
    QStringList received;
    QList<QPoint> positions;

    DropWindow()
    {
        window.setWindowTitle(QStringLiteral("Nový výkaz"));
        label->setObjectName(QStringLiteral("lblSubjekt"));
        list->setObjectName(QStringLiteral("lstNalezeno"));
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(label);
        layout->addWidget(list);
        ui::acceptTextDrops(label, [this](const QString &text, const QPoint &) { received << QStringLiteral("label:") + text; });
        ui::acceptTextDrops(list, [this](const QString &text, const QPoint &pos) {
            received << QStringLiteral("list:") + text;
            positions << pos;
        });
        window.resize(300, 300);
        window.show();
    }
};

} // namespace

TEST(DropSeam, DeliversTextToTheNamedControlThroughTheDropEvents)
{
    DropWindow w;
    EXPECT_TRUE(ui::deliverDrop(&w.window, QStringLiteral("lblSubjekt"), QStringLiteral("*/*1234")));
    EXPECT_TRUE(ui::deliverDrop(&w.window, QStringLiteral("lstNalezeno"), QStringLiteral("#&#AC15"), QPoint(5, 7)));
    EXPECT_EQ(w.received, (QStringList{QStringLiteral("label:*/*1234"), QStringLiteral("list:#&#AC15")}));
    ASSERT_EQ(w.positions.size(), 1);
    EXPECT_EQ(w.positions.front(), QPoint(5, 7));
}

TEST(DropSeam, ControlsThatTakeNoDropsAndUnknownNamesRefuse)
{
    DropWindow w;
    auto *plain = new QLabel(&w.window);
    plain->setObjectName(QStringLiteral("lblJiny"));
    EXPECT_FALSE(ui::deliverDrop(&w.window, QStringLiteral("lblJiny"), QStringLiteral("*/*1")));
    EXPECT_FALSE(ui::deliverDrop(&w.window, QStringLiteral("lstNeni"), QStringLiteral("*/*1")));
    EXPECT_TRUE(w.received.isEmpty());
}

TEST(DropSeam, BusyWindowIgnoresDrops)
{
    DropWindow w;
    {
        ui::BusyGuard busy(&w.window);
        EXPECT_FALSE(ui::deliverDrop(&w.window, QStringLiteral("lstNalezeno"), QStringLiteral("*/*1")));
        EXPECT_FALSE(ui::deliverDrop(&w.window, QStringLiteral("lblSubjekt"), QStringLiteral("*/*1")));
    }
    EXPECT_TRUE(w.received.isEmpty());
    EXPECT_TRUE(ui::deliverDrop(&w.window, QStringLiteral("lstNalezeno"), QStringLiteral("*/*1")));
}

TEST(DropSeam, DragStartedUnderScriptedUserIsRecorded)
{
    ui::ScriptedUser user;
    QWidget source;
    ui::startTextDrag(&source, QStringLiteral("/*/12_-5_40"));
    EXPECT_EQ(user.drags(), QStringList{QStringLiteral("/*/12_-5_40")});
}

TEST(IdleHook, ProcessesPendingEventsAfterDatabaseCallsAtTheSetPace)
{
    test::SqliteFixture fixture;
    db::Database database;
    ASSERT_EQ(fixture.open(database, test::SqliteFixture::Content::Tables), QString());

    int fired = 0;
    ui::installIdleHook(database, std::chrono::hours(1));
    QTimer::singleShot(0, [&fired] { ++fired; });
    database.singleValue(QStringLiteral("SELECT count(*) FROM subj"));
    EXPECT_EQ(fired, 0) << "too soon after the last pass";

    ui::installIdleHook(database, std::chrono::milliseconds(0));
    database.singleValue(QStringLiteral("SELECT count(*) FROM subj"));
    EXPECT_EQ(fired, 1);
}

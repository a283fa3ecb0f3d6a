#include "dropdelivery.h"
#include "sqlitefixture.h"

#include "db/database.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/idlehook.h"
#include "ui/longtask.h"
#include "ui/messages.h"
#include "ui/scripteduser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QProcess>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace verna;
using namespace Qt::StringLiterals;

namespace {

// The POSIX locks this process holds, as the kernel lists them.
// This process's locks on a database file and its -wal and -shm files (other files, such as
// the settings, may be locked for a moment by anyone).
int locksHeld(const QString &path)
{
    QSet<QByteArray> inodes;
    for (const QString &suffix : {QString(), u"-wal"_s, u"-shm"_s}) {
        struct stat info {};
        if (stat(QFile::encodeName(path + suffix).constData(), &info) == 0)
            inodes.insert(QByteArray::number(static_cast<qulonglong>(info.st_ino)));
    }
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return -1;
    int n = 0;
    const QByteArray pid = QByteArray::number(getpid());
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // "1: POSIX ADVISORY WRITE pid major:minor:inode start end"
        n += fields.size() > 5 && fields.at(4) == pid && inodes.contains(fields.at(5).split(':').value(2));
    }
    return n;
}

// Another process's statement on the file, through Python's sqlite3; its output, or the error.
QString otherProcess(const QString &path, const QString &sql)
{
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                             QStringLiteral("import sqlite3, sys\n"
                                                            "c = sqlite3.connect(sys.argv[1], timeout=30)\n"
                                                            "r = c.execute(sys.argv[2]).fetchall()\n"
                                                            "c.commit(); c.close()\n"
                                                            "print(r[0][0] if r else '')"),
                                             path, sql});
    python.waitForFinished(60000);
    return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError()).trimmed();
}

// Runs a task of up to a hundred steps on window with stop as its button, calling poke at
// the third step; returns how it ended and the steps taken.
std::pair<ui::TaskEnd, int> runSteps(QWidget *window, QPushButton *stop, const std::function<void()> &poke = {})
{
    int count = 0;
    const ui::TaskEnd end = ui::runLongTask(window, stop, [&](ui::LongTask &task) {
        while (count < 100) {
            if (++count == 3 && poke)
                poke();
            if (!task.next())
                break;
        }
    });
    return {end, count};
}

} // namespace

// Guards nest; caption, cursor and flag come back also through an exception or a window
// deleted meanwhile.
TEST(BusyGuard, BusyWindowsShowItEndLongTasksOnStopEscOrCloseAndTakeNoDrops)
{
    QWidget window;
    window.setWindowTitle(u"Nový výkaz"_s);
    try {
        ui::BusyGuard busy(&window);
        EXPECT_EQ(window.windowTitle(), ui::kBusyCaption);
        EXPECT_TRUE(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        {
            ui::BusyGuard inner(&window);
        }
        EXPECT_TRUE(ui::isBusy(&window)); // the outer operation is still running
        EXPECT_EQ(window.windowTitle(), ui::kBusyCaption);
        throw std::runtime_error("selhání uprostřed práce");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(window.windowTitle(), u"Nový výkaz"_s);
    EXPECT_FALSE(ui::isBusy(&window));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    {
        ui::BusyGuard busy(&window, u"Výběr dat"_s);
    }
    EXPECT_EQ(window.windowTitle(), u"Výběr dat"_s);
    // Busy is the guard's flag, not the caption.
    window.setWindowTitle(ui::kBusyCaption);
    EXPECT_FALSE(ui::isBusy(&window));

    auto *gone = new QWidget;
    {
        ui::BusyGuard busy(gone);
        delete gone;
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A long task: Stop, Esc and a close each end the loop at once; a busy window takes no second task; the stop
    // button and caption come back; a window deleted meanwhile is reported gone.
    QWidget task;
    auto *stop = new QPushButton(u"Najít"_s, &task);
    task.setWindowTitle(u"Analýza 1"_s);
    task.show();
    QApplication::setActiveWindow(&task);
    ui::TaskEnd nested = ui::TaskEnd::Finished;
    const auto clickStop = [&] {
        EXPECT_EQ(stop->text(), u"Stop"_s);
        nested = ui::runLongTask(&task, nullptr, [](ui::LongTask &) {});
        stop->click();
    };
    EXPECT_EQ(runSteps(&task, stop, clickStop), std::pair(ui::TaskEnd::Stopped, 3));
    EXPECT_EQ(nested, ui::TaskEnd::Refused);
    EXPECT_EQ(stop->text(), u"Najít"_s);
    EXPECT_EQ(task.windowTitle(), u"Analýza 1"_s);
    EXPECT_FALSE(ui::isBusy(&task));

    EXPECT_EQ(runSteps(&task, stop, [&] { QTest::keyClick(stop, Qt::Key_Escape); }), std::pair(ui::TaskEnd::Stopped, 3));
    bool closed = true;
    EXPECT_EQ(runSteps(&task, stop, [&] { closed = task.close(); }), std::pair(ui::TaskEnd::Stopped, 3));
    EXPECT_FALSE(closed);
    EXPECT_EQ(runSteps(&task, stop), std::pair(ui::TaskEnd::Finished, 100));

    auto *deleted = new QWidget;
    EXPECT_EQ(ui::runLongTask(deleted, nullptr, [deleted](ui::LongTask &task) {
                  delete deleted;
                  EXPECT_TRUE(task.stopped());
              }), ui::TaskEnd::WindowGone);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Only controls that take drops get them, and only while their window is not busy.
    QWidget dropWindow;
    auto *label = new QLabel(&dropWindow);
    auto *list = new QListWidget(&dropWindow);
    auto *plain = new QLabel(&dropWindow);
    label->setObjectName(u"lblSubjekt"_s);
    list->setObjectName(u"lstNalezeno"_s);
    plain->setObjectName(u"lblJiny"_s);
    auto *layout = new QVBoxLayout(&dropWindow);
    layout->addWidget(label);
    layout->addWidget(list);
    QStringList received;
    QList<QPoint> positions;
    ui::acceptTextDrops(label, [&](const QString &text, const QPoint &) { received << u"label:"_s + text; });
    ui::acceptTextDrops(list, [&](const QString &text, const QPoint &pos) {
        received << u"list:"_s + text;
        positions << pos;
    });
    dropWindow.resize(300, 300);
    dropWindow.show();

    EXPECT_FALSE(test::deliverDrop(&dropWindow, u"lblJiny"_s, u"*/*1"_s));
    EXPECT_FALSE(test::deliverDrop(&dropWindow, u"lstNeni"_s, u"*/*1"_s));
    {
        ui::BusyGuard busy(&dropWindow);
        EXPECT_FALSE(test::deliverDrop(&dropWindow, u"lstNalezeno"_s, u"*/*1"_s));
    }
    EXPECT_TRUE(received.isEmpty());

    // Another program's file link is no payload; what is taken is always copied, a move proposed or not.
    EXPECT_FALSE(test::deliverDrop(&dropWindow, u"lblSubjekt"_s, u"file:///tmp/vykazy.csv"_s));
    EXPECT_TRUE(test::deliverDrop(&dropWindow, u"lblSubjekt"_s, u"*/*1234"_s, {}, Qt::ShiftModifier));
    EXPECT_TRUE(test::deliverDrop(&dropWindow, u"lstNalezeno"_s, u"#&#AC99001_3366"_s, QPoint(5, 7)));
    EXPECT_EQ(received, (QStringList{u"label:*/*1234"_s, u"list:#&#AC99001_3366"_s}));
    EXPECT_EQ(positions, QList<QPoint>{QPoint(5, 7)});
}

TEST(IdleHook, ProcessesPendingEventsAtTheSetPaceAndAFileDialogKeepsTheDatabaseLocks)
{
    test::SqliteFixture fixture;
    db::Database database;
    ASSERT_EQ(fixture.open(database, test::SqliteFixture::Content::Tables), QString());

    int fired = 0;
    ui::installIdleHook(database, std::chrono::hours(1));
    QTimer::singleShot(0, [&fired] { ++fired; });
    database.singleValue(u"SELECT count(*) FROM subj"_s);
    EXPECT_EQ(fired, 0) << "too soon after the last pass";

    ui::installIdleHook(database, std::chrono::milliseconds(0));
    database.singleValue(u"SELECT count(*) FROM subj"_s);
    EXPECT_EQ(fired, 1);

    // A file dialog listing the database's folder must not open and close the database, -wal or -shm file: that
    // drops every lock the process holds on it, and another process closing the file would then checkpoint and
    // delete the WAL this one still writes into.
    test::SqliteFixture files;
    db::Database walDb;
    ASSERT_EQ(files.open(walDb, test::SqliteFixture::Content::Tables), "");
    walDb.useWriteAheadLog();
    ASSERT_TRUE(walDb.execute(u"INSERT INTO ctrl (row_id, inac_ind) VALUES (-1, 0)"_s));
    const int held = locksHeld(files.path());
    ASSERT_GT(held, 0);

    bool listed = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *model = dialog->findChild<QFileSystemModel *>();
        ASSERT_NE(model, nullptr);
        listed = QTest::qWaitFor([&] {
            const QModelIndex folder = model->index(QFileInfo(files.path()).absolutePath());
            if (model->rowCount(folder) < 3)
                return false;
            for (int row = 0; row < model->rowCount(folder); ++row) {
                model->data(model->index(row, 0, folder), Qt::DecorationRole);
                model->data(model->index(row, 2, folder));
            }
            return true;
        }, 5000);
        QTest::qWait(300); // the listing's icons and types come from a worker
        dialog->reject();
    });
    ui::openFileName(nullptr, u"Importovat výkazy"_s, QFileInfo(files.path()).absolutePath(), u"Všechny soubory (*)"_s);
    ASSERT_TRUE(listed);
    EXPECT_EQ(locksHeld(files.path()), held);

    EXPECT_EQ(otherProcess(files.path(), u"INSERT INTO ctrl (row_id, inac_ind) VALUES (-2, 0)"_s), "");
    ASSERT_TRUE(walDb.execute(u"INSERT INTO ctrl (row_id, inac_ind) VALUES (-3, 0)"_s));
    EXPECT_EQ(otherProcess(files.path(), u"SELECT count(*) FROM ctrl"_s), "3");
}

// A statement the server keeps waiting: the window paints and takes events meanwhile, shows the
// busy caption within half a second, and Esc cancels the statement. Needs the test server.
TEST(IdleHook, AWaitOnTheServerKeepsTheWindowAliveShowsItBusyAndEscCancels)
{
    if (qEnvironmentVariableIsEmpty("VERNA_TEST_PG_PORT"))
        GTEST_SKIP() << "no PostgreSQL test server (scripts/test-postgres.sh)";
    db::Database database;
    ASSERT_TRUE(database.open(db::DatabaseLocation::odbc(db::kDefaultDsn)).ok);
    ui::installIdleHook(database);
    QWidget window;
    window.setWindowTitle(u"Okno"_s);
    window.show();
    window.activateWindow();
    window.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QString captionDuringWait;
    QTimer::singleShot(700, &window, [&] {
        captionDuringWait = window.windowTitle();
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    QElapsedTimer clock;
    clock.start();
    const auto slept = database.readValue(u"SELECT pg_sleep(10)"_s);
    EXPECT_EQ(captionDuringWait, ui::kBusyCaption) << "the posted event ran during the wait";
    EXPECT_FALSE(slept.ok());
    EXPECT_TRUE(slept.error.startsWith(u"Operace byla zastavena"_s)) << qPrintable(slept.error);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(window.windowTitle(), u"Okno"_s);
    EXPECT_FALSE(ui::isBusy(&window));
    EXPECT_EQ(database.readValue(u"SELECT 1"_s).value, u"1"_s) << "the connection goes on";
}

// A box taller than the screen hides its buttons: a long text keeps its first lines and the
// whole of it scrolls in the details, as a long detail does.
TEST(MessageSeam, LongTextsScrollInTheDetailsAndScriptedUsersRecordEveryBoxAndReplyInOrder)
{
    QStringList lines;
    for (int i = 1; i <= 400; ++i)
        lines << u"řádek %1: odmítnut"_s.arg(i);
    QString shown;
    QString details;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        details = box->detailedText();
        box->accept();
    });
    ui::exclamation(nullptr, u"Importovat výkazy"_s, lines.join(u'\n'));
    EXPECT_LE(shown.count(u'\n'), 15);
    EXPECT_TRUE(shown.startsWith(u"řádek 1: odmítnut\n"_s));
    EXPECT_TRUE(details.contains(u"řádek 400: odmítnut"_s));
    // Names in a message are not markup, in the text nor in the detail under it.
    QList<Qt::TextFormat> formats;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const char *name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            const auto *label = box->findChild<QLabel *>(QLatin1String(name));
            formats << (label ? label->textFormat() : Qt::AutoText);
        }
        box->accept();
    });
    ui::choose(nullptr, ui::MessageIcon::Exclamation, u"Skupina"_s, u"Skupinu <b>A</b> nelze smazat."_s, {ui::kOk}, 0, u"<i>důvod</i>"_s);
    EXPECT_EQ(formats, (QList<Qt::TextFormat>{Qt::PlainText, Qt::PlainText}));

    // Boxes with one button take no reply, so the script stays aligned with the questions; a nested scripted user hands back to the outer one.
    ui::ScriptedUser user;
    user.willAnswer(ui::kYes);
    user.willAnswer(ui::kNo);
    ui::information(nullptr, u"Nový subjekt"_s, u"Subjekt byl uložen."_s);
    EXPECT_TRUE(ui::askYesNo(nullptr, u"Smazat"_s, u"Opravdu smazat?"_s));
    ui::exclamation(nullptr, u"Nový subjekt"_s, u"Zadejte IČO."_s);
    EXPECT_FALSE(ui::askYesNo(nullptr, u"Smazat"_s, u"Opravdu smazat?"_s));
    EXPECT_FALSE(ui::askYesNo(nullptr, u"Smazat"_s, u"Bez odpovědi"_s));

    ASSERT_EQ(user.messages().size(), 5);
    const ui::ShownMessage &info = user.messages()[0];
    EXPECT_EQ(info.icon, ui::MessageIcon::Information);
    EXPECT_EQ(info.title, u"Nový subjekt"_s);
    EXPECT_EQ(info.text, u"Subjekt byl uložen."_s);
    EXPECT_EQ(info.buttons, QStringList{ui::kOk});
    const ui::ShownMessage &question = user.messages()[1];
    EXPECT_EQ(question.icon, ui::MessageIcon::Question);
    EXPECT_EQ(question.buttons, (QStringList{ui::kYes, ui::kNo}));
    EXPECT_EQ(question.answer, ui::kYes);
    EXPECT_EQ(user.messages()[2].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(user.messages()[4].answer, ui::kNo);

    // A nested scripted user hands back to the outer one.
    ui::ScriptedUser outer;
    {
        ui::ScriptedUser inner;
        ui::information(nullptr, u"t"_s, u"vnitřní"_s);
        EXPECT_EQ(inner.messages().size(), 1);
    }
    EXPECT_EQ(ui::ScriptedUser::current(), &outer);
    ui::information(nullptr, u"t"_s, u"vnější"_s);
    ASSERT_EQ(outer.messages().size(), 1);
    EXPECT_EQ(outer.messages()[0].text, u"vnější"_s);
}


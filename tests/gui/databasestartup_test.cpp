#include "sqlitefixture.h"
#include "windowtest.h"

#include "db/database.h"
#include "shell/databasemenu.h"
#include "shell/databasestartup.h"
#include "shell/frmnapoveda.h"
#include "shell/frmprihlaseni.h"
#include "shell/recentdatabases.h"
#include "ui/scripteduser.h"
#include "support/files.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

using namespace verna;
using Content = test::SqliteFixture::Content;

namespace {

const QString kChooseFile = QStringLiteral("Vybrat jiný soubor...");

// The settings file as written, to see what reached it.
QByteArray storedSettings()
{
    QSettings settings;
    settings.sync();
    return test::readFile(settings.fileName());
}

class StartupTest : public ::testing::Test
{
protected:
    // Starts on a database file made with content; true when the application may go on.
    bool startOn(Content content)
    {
        EXPECT_EQ(m_fixture.create(m_fixture.path(), content), QString());
        return shell::connectAtStartup(m_database, db::DatabaseLocation::file(m_fixture.path()));
    }

    ui::ScriptedUser m_user;
    test::SqliteFixture m_fixture;
    db::Database m_database;
};

using SwitchTest = test::FrameTest;

shell::DatabaseMenu &databaseMenu(shell::frmHlavni &main)
{
    auto *menu = main.findChild<shell::DatabaseMenu *>();
    EXPECT_NE(menu, nullptr);
    return *menu;
}

} // namespace

// The reference data shipped with the application must carry the windows on its own.
TEST_F(StartupTest, DatabaseWithTheReferenceDataStartsSilently)
{
    EXPECT_TRUE(startOn(Content::ReferenceData) && m_database.isOpen());
    for (const ui::ShownMessage &m : m_user.messages())
        ADD_FAILURE() << m.detail.toStdString();
}

TEST_F(StartupTest, UnusableDatabasesAreToldInCzechTheUserMayQuitAndALoginMayBeDeclined)
{
    EXPECT_FALSE(startOn(Content::Empty));
    ASSERT_EQ(m_user.messages().size(), 1);
    const ui::ShownMessage &m = m_user.messages().front();
    EXPECT_EQ(m.icon, ui::MessageIcon::Critical);
    EXPECT_EQ(m.title, QStringLiteral("VERNA"));
    EXPECT_TRUE(m.text.startsWith(QStringLiteral("Databázi "))) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QStringLiteral("nelze použít")));
    EXPECT_TRUE(m.detail.contains(QStringLiteral("neobsahuje tabulky VERNA"))) << m.detail.toStdString();
    EXPECT_EQ(m.buttons, (QStringList{kChooseFile, QStringLiteral("Ukončit")}));
    EXPECT_EQ(m.answer, QStringLiteral("Ukončit"));
    EXPECT_FALSE(m_database.isOpen()) << "a database that cannot be used is not kept open";

    // A file in a folder that does not exist is refused before it is opened, and named all the same.
    const QString path = m_fixture.path(QStringLiteral("chybi/verna.sqlite"));
    EXPECT_FALSE(shell::connectAtStartup(m_database, db::DatabaseLocation::file(path)));
    ASSERT_EQ(m_user.messages().size(), 2);
    EXPECT_TRUE(m_user.messages().last().text.startsWith(QStringLiteral("Databázi ") + path + QStringLiteral(" nelze použít")))
        << m_user.messages().last().text.toStdString();

    // An unusable ODBC source ends the application with the driver's reason.
    EXPECT_FALSE(shell::connectAtStartup(m_database, db::DatabaseLocation::odbc(QStringLiteral("verna_zadny_zdroj"))));
    ASSERT_EQ(m_user.messages().size(), 3);
    const ui::ShownMessage &odbc = m_user.messages().last();
    EXPECT_EQ(odbc.text, QStringLiteral("Není nastaveno ODBC"));
    EXPECT_EQ(odbc.icon, ui::MessageIcon::Critical);
    EXPECT_TRUE(!odbc.detail.isEmpty() && !odbc.detail.startsWith(QStringLiteral("Není nastaveno ODBC"))) << odbc.detail.toStdString();
    EXPECT_TRUE(m_user.fileDialogs().isEmpty());

    // A data source that keeps no login asks for one before anything is opened, offering the name used there
    // last; a failed try is told in the dialog, which stays for another, and Storno ends the start. The typed
    // password reaches no setting.
    QTemporaryDir odbcDir;
    const QString ini = odbcDir.filePath(QStringLiteral("odbc.ini"));
    QDirIterator drivers(QStringLiteral("/usr/lib"), {QStringLiteral("psqlodbcw.so")}, QDir::Files, QDirIterator::Subdirectories);
    const bool driver = drivers.hasNext();
    ASSERT_TRUE(test::writeFile(ini, "[verna_prihlaseni]\nDriver=" + (driver ? drivers.next().toUtf8() : QByteArray("chybi"))
                                         + "\nServername=127.0.0.1\nPort=1\nDatabase=finance\n"));
    const QByteArray savedIni = qgetenv("ODBCINI");
    const QByteArray savedPass = qgetenv("PGPASSFILE");
    qputenv("ODBCINI", QFile::encodeName(ini));
    qputenv("PGPASSFILE", QFile::encodeName(odbcDir.filePath(QStringLiteral("zadny"))));
    db::DatabaseLocation earlier = db::DatabaseLocation::odbc(QStringLiteral("verna_prihlaseni"));
    earlier.user = QStringLiteral("analytik");
    shell::RecentDatabases::remember(earlier);

    bool asked = false;
    QString offered, reason;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<shell::frmPrihlaseni *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        asked = true;
        offered = dialog->findChild<QLineEdit *>(QStringLiteral("txtUzivatel"))->text();
        dialog->findChild<QLineEdit *>(QStringLiteral("txtHeslo"))->setText(QStringLiteral("tajne-heslo-9"));
        dialog->findChild<QPushButton *>(QStringLiteral("cmdPrihlasit"))->click();
        reason = dialog->findChild<QLabel *>(QStringLiteral("lblDuvod"))->text();
        dialog->findChild<QPushButton *>(QStringLiteral("cmdStorno"))->click();
    });
    const bool started = shell::connectAtStartup(m_database, earlier);
    for (const auto &[name, value] : {std::pair{"ODBCINI", savedIni}, std::pair{"PGPASSFILE", savedPass}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    EXPECT_FALSE(started);
    EXPECT_TRUE(asked);
    EXPECT_EQ(offered, QStringLiteral("analytik"));
    EXPECT_TRUE(reason.contains(QStringLiteral("„verna_prihlaseni“"))) << reason.toStdString();
    if (driver) {
        EXPECT_TRUE(reason.contains(QStringLiteral("není dostupný"))) << "nothing listens on port 1";
    }
    EXPECT_FALSE(m_database.isOpen());
    EXPECT_EQ(m_user.messages().size(), 3) << "Storno is an answer, not a failure";
    EXPECT_TRUE(storedSettings().contains("verna_prihlaseni"));
    EXPECT_FALSE(storedSettings().contains("tajne-heslo-9"));
}

TEST_F(StartupTest, BrokenCodeListNamesTheMissingLines)
{
    ASSERT_EQ(m_fixture.create(m_fixture.path(), Content::CodeLines), QString());
    {
        db::Database database;
        ASSERT_TRUE(database.open(db::DatabaseLocation::file(m_fixture.path())).ok);
        ASSERT_TRUE(database.execute(QStringLiteral("UPDATE cd_val SET inac_ind = 2 WHERE val_agn IN(103,213)")).ok);
    }
    EXPECT_FALSE(shell::connectAtStartup(m_database, db::DatabaseLocation::file(m_fixture.path())));
    ASSERT_EQ(m_user.messages().size(), 1);
    const QString detail = m_user.messages().front().detail;
    EXPECT_TRUE(detail.contains(QStringLiteral("číselníku řádků rozvahy (číselník 29) chybí položky 103")))
        << detail.toStdString();
}

TEST_F(StartupTest, UserCanPointToAnotherDatabase)
{
    const QString good = m_fixture.path(QStringLiteral("jina.sqlite"));
    ASSERT_EQ(m_fixture.create(good, Content::CodeLines), QString());
    m_user.willAnswer(kChooseFile);
    m_user.willChooseFile(QString()); // cancelled: the question comes again
    m_user.willAnswer(kChooseFile);
    m_user.willChooseFile(good);

    EXPECT_TRUE(startOn(Content::Tables));
    EXPECT_EQ(m_user.messages().size(), 2);
    EXPECT_EQ(m_user.fileDialogs().size(), 2);
    EXPECT_EQ(m_database.isOpen() ? m_database.location().path : QString(), good);
}

// A wrong password is named in Czech with the driver's words under it and the dialog stays; the
// next try with the right one closes it.
TEST(LoginDialog, AWrongPasswordIsToldInCzechAndARetryLogsIn)
{
    QStringList tries;
    shell::frmPrihlaseni dialog(QStringLiteral("finance"), QStringLiteral("analytik"),
                                [&tries](const QString &user, const QString &password) {
                                    tries << user + QLatin1Char('/') + password;
                                    return password == QLatin1String("dobre")
                                        ? Outcome::success()
                                        : Outcome::failure(QStringLiteral("connection to server at \"db\", port 5432 failed: "
                                                                          "FATAL:  password authentication failed for user \"analytik\""));
                                });
    dialog.show();
    auto *password = dialog.findChild<QLineEdit *>(QStringLiteral("txtHeslo"));
    auto *login = dialog.findChild<QPushButton *>(QStringLiteral("cmdPrihlasit"));
    password->setText(QStringLiteral("spatne"));
    login->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.findChild<QLabel *>(QStringLiteral("lblDuvod"))->text().startsWith(
        QStringLiteral("Nesprávné uživatelské jméno nebo heslo")));
    EXPECT_TRUE(dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtPodrobnosti"))->toPlainText().contains(
        QStringLiteral("password authentication failed")));
    EXPECT_TRUE(password->text().isEmpty());
    password->setText(QStringLiteral("dobre"));
    login->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(tries, (QStringList{QStringLiteral("analytik/spatne"), QStringLiteral("analytik/dobre")}));
}

// A place that cannot be used is told in Czech with the driver's text under it, and the open
// database and its windows stay as they were.
TEST_F(SwitchTest, FailedSwitchesKeepTheDatabaseF1OpensTheGuideAndASwitchMovesEverything)
{
    m_main->Form_Load();
    const QString current = m_db.location().path;
    const QString foreign = m_files.path(QStringLiteral("cizi.sqlite"));
    ASSERT_TRUE(test::writeFile(foreign, "toto není databáze"));

    const db::DatabaseLocation places[] = {db::DatabaseLocation::file(foreign),
                                           db::DatabaseLocation::odbc(QStringLiteral("verna_zadny_zdroj"))};
    for (const db::DatabaseLocation &place : places) {
        m_user.clear();
        EXPECT_FALSE(databaseMenu(*m_main).switchTo(place));
        ASSERT_EQ(m_user.messages().size(), 1) << place.describe().toStdString();
        const ui::ShownMessage &m = m_user.messages().front();
        EXPECT_EQ(m.icon, ui::MessageIcon::Critical);
        EXPECT_TRUE(m.text.contains(QStringLiteral("Zůstává otevřena databáze ") + current)) << m.text.toStdString();
        EXPECT_FALSE(m.detail.isEmpty());
        EXPECT_FALSE(m.text.contains(m.detail)) << "the driver's text goes under the message only";
        EXPECT_EQ(m_db.isOpen() ? m_db.location().path : QString(), current);
        EXPECT_EQ(m_main->childWindows().size(), 1) << "the windows stay open";
    }
    EXPECT_TRUE(m_main->windowTitle().endsWith(current));

    // F1 opens the guide at the page of the window in front; the guide's pages link to pages and pictures that exist.
    QApplication::setActiveWindow(m_main.get());
    QWidget *search = m_main->activeChild();
    ASSERT_NE(search, nullptr);
    QTest::keyClick(search->focusWidget() ? search->focusWidget() : search, Qt::Key_F1);
    auto *guide = m_main->findChild<shell::frmNapoveda *>();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_TRUE(guide->browser()->source().path().endsWith(QStringLiteral("/vyhledavani.md")))
        << guide->browser()->source().toString().toStdString();
    EXPECT_TRUE(guide->browser()->toPlainText().contains(QStringLiteral("Vyhledávací obrazovka")));

    m_main->open(shell::WindowKind::Analysis);
    QApplication::setActiveWindow(m_main.get());
    QTest::keyClick(m_main->activeChild(), Qt::Key_F1);
    EXPECT_EQ(m_main->findChildren<shell::frmNapoveda *>().size(), 1);
    EXPECT_TRUE(guide->browser()->source().path().endsWith(QStringLiteral("/analyza.md")));

    const QDir folder(shell::frmNapoveda::guideFolder());
    const QRegularExpression link(QStringLiteral("\\]\\(([^)#:]+)(#[^)]*)?\\)"));
    int pages = 0;
    for (const QString &name : folder.entryList({QStringLiteral("*.md")})) {
        ++pages;
        const QString text = QString::fromUtf8(test::readFile(folder.filePath(name)));
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(folder.exists(target)) << name.toStdString() << " -> " << target.toStdString();
        }
    }
    EXPECT_GE(pages, 10);

    // A switch closes the windows, opens the search window on the new database, names it in the title and puts
    // it first among the recent ones; a password never reaches the settings.
    const QString second = m_files.path(QStringLiteral("druha.sqlite"));
    ASSERT_TRUE(shell::createDatabaseFile(second).ok);
    EXPECT_FALSE(shell::createDatabaseFile(second).ok) << "an existing file is never initialised anew";

    // A command clicked while the new database opens starts nothing on it before it is checked.
    QAction *analysis = m_main->findChild<QAction *>(QStringLiteral("miAnalyza"));
    ASSERT_TRUE(analysis && analysis->isEnabled());
    bool clicked = false;
    m_db.setIdleHook([&clicked, analysis] {
        if (!std::exchange(clicked, true))
            analysis->trigger();
    });
    const bool switched = databaseMenu(*m_main).switchTo(db::DatabaseLocation::file(second));
    m_db.setIdleHook({});
    ASSERT_TRUE(switched);
    EXPECT_TRUE(analysis->isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m_db.location().path, second);
    EXPECT_EQ(m_main->childWindows().size(), 1);
    EXPECT_TRUE(m_main->windowTitle().endsWith(second));
    QList<db::DatabaseLocation> recent = shell::RecentDatabases::load();
    ASSERT_GE(recent.size(), 2);
    EXPECT_EQ(recent.at(0).path, second);
    EXPECT_EQ(recent.at(1).path, m_files.path());

    db::DatabaseLocation server = db::DatabaseLocation::odbc(QStringLiteral("finance"));
    server.user = QStringLiteral("analytik");
    server.password = QStringLiteral("tajne-heslo-7");
    shell::RecentDatabases::remember(server);
    shell::RecentDatabases::remember(db::DatabaseLocation::odbc(QStringLiteral("sklad")));
    const QByteArray text = storedSettings();
    EXPECT_TRUE(text.contains("analytik"));
    EXPECT_FALSE(text.contains("tajne-heslo-7"));
    EXPECT_FALSE(text.contains(db::DatabaseLocation().password.toUtf8())) << "nor the default one";
    recent = shell::RecentDatabases::load();
    EXPECT_EQ(recent.at(1).user, QStringLiteral("analytik"));
    EXPECT_TRUE(recent.at(1).password.isEmpty()) << "typed again when reopened";
    EXPECT_EQ(recent.at(0).password, db::DatabaseLocation().password);
}


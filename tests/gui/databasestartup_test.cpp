#include "sqlitefixture.h"

#include "db/database.h"
#include "shell/databasestartup.h"
#include "ui/scripteduser.h"

#include <gtest/gtest.h>

using namespace verna;
using Content = test::SqliteFixture::Content;

namespace {

const QString kChooseFile = QStringLiteral("Vybrat jiný soubor...");

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

} // namespace

// The reference data shipped with the application must carry the windows on its own.
TEST_F(StartupTest, DatabaseWithTheReferenceDataStartsSilently)
{
    EXPECT_TRUE(startOn(Content::ReferenceData));
    EXPECT_TRUE(m_database.isOpen());
    for (const ui::ShownMessage &m : m_user.messages())
        ADD_FAILURE() << m.detail.toStdString();
}

TEST_F(StartupTest, MissingTableIsToldInCzechAndTheUserMayQuit)
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
}

// A file in a folder that does not exist is refused before it is opened, and named all the same.
TEST_F(StartupTest, AMissingFileIsNamedInTheMessage)
{
    const QString path = m_fixture.path(QStringLiteral("chybi/verna.sqlite"));
    EXPECT_FALSE(shell::connectAtStartup(m_database, db::DatabaseLocation::file(path)));
    ASSERT_EQ(m_user.messages().size(), 1);
    EXPECT_TRUE(m_user.messages().front().text.startsWith(QStringLiteral("Databázi ") + path + QStringLiteral(" nelze použít")))
        << m_user.messages().front().text.toStdString();
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
    EXPECT_TRUE(m_database.isOpen());
    EXPECT_EQ(m_database.location().path, good);
}

TEST_F(StartupTest, UnusableOdbcSourceEndsTheApplicationWithTheDriversReason)
{
    EXPECT_FALSE(shell::connectAtStartup(m_database, db::DatabaseLocation::odbc(QStringLiteral("verna_zadny_zdroj"))));
    ASSERT_EQ(m_user.messages().size(), 1);
    const ui::ShownMessage &m = m_user.messages().front();
    EXPECT_EQ(m.text, QStringLiteral("Není nastaveno ODBC"));
    EXPECT_EQ(m.icon, ui::MessageIcon::Critical);
    EXPECT_FALSE(m.detail.isEmpty());
    EXPECT_FALSE(m.detail.startsWith(QStringLiteral("Není nastaveno ODBC")));
    EXPECT_TRUE(m_user.fileDialogs().isEmpty());
}

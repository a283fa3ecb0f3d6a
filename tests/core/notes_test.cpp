#include "shell/modhlavni.h"
#include "support/testdatabase.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace verna;
using namespace verna::shell;
using namespace verna::test;

namespace {

class NotesTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO subj VALUES (1,getdate(),0,42,1,null,0,null,0,null)")).ok);
    }

    QString lineCount() { return db().singleValue(QStringLiteral("SELECT count(*) FROM text")); }

    // Makes the insert of a note's third line fail, as a broken disk or server would.
    void failOnThirdLine()
    {
        QSqlQuery q(db().connection());
        if (GetParam() == TestBackend::SQLite) {
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER boom BEFORE INSERT ON text WHEN NEW.seq_nbr = 3 "
                                              "BEGIN SELECT RAISE(ABORT, 'boom'); END")))
                << q.lastError().text().toStdString();
        } else {
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE FUNCTION boom() RETURNS trigger AS $$ BEGIN "
                                              "IF NEW.seq_nbr = 3 THEN RAISE EXCEPTION 'boom'; END IF; RETURN NEW; END $$ "
                                              "LANGUAGE plpgsql")))
                << q.lastError().text().toStdString();
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER boom BEFORE INSERT ON text FOR EACH ROW EXECUTE FUNCTION boom()")))
                << q.lastError().text().toStdString();
        }
    }
};

} // namespace

TEST_P(NotesTest, NotesComeBackExactlyAsTyped)
{
    const QString czech = QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy. ");
    const QStringList notes = {
        QString(),
        QString(255, QLatin1Char('a')),
        QString(256, QLatin1Char('b')),
        QString(600, QLatin1Char('c')),
        QStringLiteral("O'Brien's \"note\""),
        QStringLiteral("'; DROP TABLE text --"),
        czech.repeated(20),
        QStringLiteral("první řádek\r\ndruhý řádek\r\n\r\n"),
        QString(254, QLatin1Char('x')) + QStringLiteral("😀 a emoji on the line boundary"),
    };
    for (const QString &note : notes) {
        ASSERT_TRUE(modHlavni::storeNote(db(), QStringLiteral("42"), note).ok) << db().lastError().toStdString();
        EXPECT_EQ(modHlavni::loadNote(db(), QStringLiteral("42")), note) << note.left(40).toStdString();
        // Storing again replaced the old lines rather than adding to them.
        EXPECT_EQ(lineCount(), QString::number(modHlavni::noteLines(note).size()));
    }
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(*) FROM subj")), QStringLiteral("1"));
}

TEST_P(NotesTest, SixHundredCharactersAreThreeNumberedLinesUnderOneNewNote)
{
    ASSERT_TRUE(modHlavni::storeNote(db(), QStringLiteral("42"), QString(600, QLatin1Char('n'))).ok);
    const db::Rows rows = db().queryRows(QStringLiteral("SELECT text_id, seq_nbr, line_txt FROM text ORDER BY seq_nbr"));
    ASSERT_EQ(rows.rows.size(), 3);
    EXPECT_EQ(rows.rows[0][0], QStringLiteral("1"));
    EXPECT_EQ(rows.rows[2][1], QStringLiteral("3"));
    EXPECT_EQ(rows.rows[0][2].size(), 255);
    EXPECT_EQ(rows.rows[1][2].size(), 255);
    EXPECT_EQ(rows.rows[2][2].size(), 90);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT text_id FROM subj WHERE subj_id = 42")), QStringLiteral("1"));
    // Another entity's note takes the next number; replacing a note frees its old one first.
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO subj VALUES (2,getdate(),0,43,1,null,0,null,0,null)")).ok);
    ASSERT_TRUE(modHlavni::storeNote(db(), QStringLiteral("43"), QStringLiteral("jiná")).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT text_id FROM subj WHERE subj_id = 43")), QStringLiteral("2"));
    ASSERT_TRUE(modHlavni::storeNote(db(), QStringLiteral("42"), QStringLiteral("kratší")).ok);
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT text_id FROM subj WHERE subj_id = 42")), QStringLiteral("3"));
    EXPECT_EQ(modHlavni::loadNote(db(), QStringLiteral("43")), QStringLiteral("jiná"));
    EXPECT_EQ(db().singleValue(QStringLiteral("SELECT count(*) FROM text")), QStringLiteral("2"));
}

TEST_P(NotesTest, AFailureWhileStoringKeepsTheOldNote)
{
    ASSERT_TRUE(modHlavni::storeNote(db(), QStringLiteral("42"), QStringLiteral("stará poznámka")).ok);
    failOnThirdLine();
    EXPECT_FALSE(modHlavni::storeNote(db(), QStringLiteral("42"), QString(700, QLatin1Char('z'))).ok);
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(modHlavni::loadNote(db(), QStringLiteral("42")), QStringLiteral("stará poznámka"));
    EXPECT_EQ(lineCount(), QStringLiteral("1"));
}

TEST_P(NotesTest, IdsThatAreNotWholeNumbersRunNoSql)
{
    db().setSharedSql(QStringLiteral("untouched"));
    for (const char *bad : {"42 OR 1=1", "1-2", "42'", "", "4.2"}) {
        EXPECT_FALSE(modHlavni::storeNote(db(), QString::fromLatin1(bad), QStringLiteral("x")).ok) << bad;
        EXPECT_EQ(modHlavni::loadNote(db(), QString::fromLatin1(bad)), QString()) << bad;
        EXPECT_FALSE(modHlavni::isSingleEntity(db(), QString::fromLatin1(bad))) << bad;
    }
    EXPECT_EQ(db().sharedSql(), QStringLiteral("untouched"));
    EXPECT_EQ(lineCount(), QStringLiteral("0"));
    EXPECT_EQ(modHlavni::loadNote(db(), QStringLiteral("42")), QString());
}

TEST_P(NotesTest, GroupsAreTheEntitiesWithFormTwoHundredFifteen)
{
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO ident VALUES (1,getdate(),0,7,23,'skupina_',null,0,null,0,215)\r"
                                            "INSERT INTO ident VALUES (2,getdate(),0,8,23,'00000123',null,0,null,0,1112)\r"
                                            "INSERT INTO ident VALUES (3,getdate(),2,9,23,'skupina_',null,0,null,0,215)"))
                    .ok);
    EXPECT_FALSE(modHlavni::isSingleEntity(db(), QStringLiteral("7")));
    EXPECT_TRUE(modHlavni::isSingleEntity(db(), QStringLiteral("8")));
    EXPECT_TRUE(modHlavni::isSingleEntity(db(), QStringLiteral("9"))); // a deleted group
    EXPECT_TRUE(modHlavni::isSingleEntity(db(), QStringLiteral("12345"))); // no ident row at all
}

VERNA_ALL_BACKENDS(NotesTest);

TEST(SharedHelpers, IcoPaddingAndSearchForm)
{
    QString empty;
    EXPECT_EQ(modHlavni::padIco(empty), QStringLiteral("00000000"));
    EXPECT_EQ(empty, QStringLiteral("00000000"));
    QString shortIco = QStringLiteral("1234");
    EXPECT_EQ(modHlavni::padIco(shortIco), QStringLiteral("00001234"));
    QString nine = QStringLiteral("123456789");
    EXPECT_EQ(modHlavni::padIco(nine), QStringLiteral("123456789"));
    EXPECT_EQ(modHlavni::searchForm(QStringLiteral("A.B. (C) s.r.o.")), QStringLiteral("ABCsro"));
    EXPECT_EQ(modHlavni::searchForm(QStringLiteral("O'Neill/Šťastný\\Řez-1,2:_x")), QStringLiteral("ONeillŠťastnýŘez12x"));
}

TEST(SharedHelpers, NoteLinesAndTheirInserts)
{
    EXPECT_EQ(modHlavni::noteLines(QString()), QStringList{QString()});
    EXPECT_EQ(modHlavni::noteLines(QString(255, QLatin1Char('a'))).size(), 2);
    EXPECT_EQ(modHlavni::noteLines(QString(255, QLatin1Char('a'))).last(), QString());
    EXPECT_EQ(modHlavni::noteLines(QString(600, QLatin1Char('a'))).size(), 3);
    EXPECT_EQ(modHlavni::noteLineInsert(1, 5, 2, QStringLiteral("it's")),
              QStringLiteral("INSERT INTO text VALUES((select (min(row_id)-1) from text),getdate(),0,5,2,'it''s')"));
    EXPECT_EQ(modHlavni::noteLineInsert(2, 5, 2, QStringLiteral("x")),
              QStringLiteral("DECLARE @row int\rselect @row = (min(row_id)-1) from text\rINSERT INTO text VALUES(@row,null,0,5,2,'x')"));
}

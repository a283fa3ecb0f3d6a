#include "base/textforms.h"
#include "entities/groupmembers.h"
#include "entities/notes.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class NotesTest : public BackendTest
{
protected:
    void prepare() override
    {
        ASSERT_TRUE(db().execute(u"INSERT INTO subj VALUES (1,getdate(),0,42,1,null,0,null,0,null)"_s).ok);
    }

    QString lineCount() { return db().singleValue(u"SELECT count(*) FROM text"_s); }
};

} // namespace

// Ids that are no whole numbers run no SQL; notes come back exactly as typed; groups are the
// entities of form 215, and a failed read is no answer.
TEST_P(NotesTest, NotesComeBackExactlyAsTypedAndOnlyWholeIdsRunSql)
{
    db().setSharedSql(u"untouched"_s);
    for (const char *bad : {"42 OR 1=1", "1-2", "42'", "", "4.2"}) {
        EXPECT_FALSE(entities::storeNote(db(), QString::fromLatin1(bad), u"x"_s).ok) << bad;
        EXPECT_EQ(entities::loadNote(db(), QString::fromLatin1(bad)).value, QString()) << bad;
        EXPECT_FALSE(entities::isSingleEntity(db(), QString::fromLatin1(bad)).value) << bad;
    }
    EXPECT_EQ(db().sharedSql(), u"untouched"_s);
    EXPECT_EQ(lineCount(), u"0"_s);
    EXPECT_EQ(entities::loadNote(db(), u"42"_s).value, QString());

    // Quotes, SQL and long Czech texts are in the hostile corpus; here the line boundaries.
    const QStringList notes = {QString(), QString(255, QLatin1Char('a')), QString(256, QLatin1Char('b')), u"první řádek\r\ndruhý řádek\r\n\r\n"_s,
                               QString(254, QLatin1Char('x')) + u"😀 a emoji on the line boundary"_s};
    for (const QString &note : notes) {
        ASSERT_TRUE(entities::storeNote(db(), u"42"_s, note).ok) << db().lastError().toStdString();
        EXPECT_EQ(entities::loadNote(db(), u"42"_s).value, note) << note.left(40).toStdString();
        // Storing again replaced the old lines rather than adding to them.
        EXPECT_EQ(lineCount(), QString::number(base::noteLines(note).size()));
    }
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM subj"_s), u"1"_s);

    ASSERT_TRUE(db().execute(u"INSERT INTO ident VALUES (1,getdate(),0,7,23,'skupina_',null,0,null,0,215)\r"
                              "INSERT INTO ident VALUES (2,getdate(),0,8,23,'00000123',null,0,null,0,1112)\r"
                              "INSERT INTO ident VALUES (3,getdate(),2,9,23,'skupina_',null,0,null,0,215)"_s).ok);
    EXPECT_FALSE(entities::isSingleEntity(db(), u"7"_s).value);
    EXPECT_TRUE(entities::isSingleEntity(db(), u"8"_s).value);
    EXPECT_TRUE(entities::isSingleEntity(db(), u"9"_s).value); // a deleted group
    EXPECT_TRUE(entities::isSingleEntity(db(), u"12345"_s).value); // no ident row at all
    // A failed read is not "a single entity".
    ASSERT_TRUE(db().execute(u"DROP TABLE ident"_s).ok);
    EXPECT_FALSE(entities::isSingleEntity(db(), u"7"_s).ok());
}

TEST_P(NotesTest, SixHundredCharactersAreThreeNumberedLinesUnderOneNewNote)
{
    ASSERT_TRUE(entities::storeNote(db(), u"42"_s, QString(600, QLatin1Char('n'))).ok);
    const db::Rows rows = db().queryRows(u"SELECT text_id, seq_nbr, line_txt FROM text ORDER BY seq_nbr"_s);
    ASSERT_EQ(rows.rows.size(), 3);
    EXPECT_EQ(rows.rows[0][0] + rows.rows[2][1], u"13"_s); // note 1, lines numbered to 3
    EXPECT_EQ((QList<qsizetype>{rows.rows[0][2].size(), rows.rows[1][2].size(), rows.rows[2][2].size()}), (QList<qsizetype>{255, 255, 90}));
    EXPECT_EQ(db().singleValue(u"SELECT text_id FROM subj WHERE subj_id = 42"_s), u"1"_s);
    // Another entity's note takes the next number; replacing a note frees its old one first.
    ASSERT_TRUE(db().execute(u"INSERT INTO subj VALUES (2,getdate(),0,43,1,null,0,null,0,null)"_s).ok);
    ASSERT_TRUE(entities::storeNote(db(), u"43"_s, u"jiná"_s).ok);
    EXPECT_EQ(db().singleValue(u"SELECT text_id FROM subj WHERE subj_id = 43"_s), u"2"_s);
    ASSERT_TRUE(entities::storeNote(db(), u"42"_s, u"kratší"_s).ok);
    EXPECT_EQ(db().singleValue(u"SELECT text_id FROM subj WHERE subj_id = 42"_s), u"3"_s);
    EXPECT_EQ(entities::loadNote(db(), u"43"_s).value, u"jiná"_s);
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM text"_s), u"2"_s);
}

VERNA_ALL_BACKENDS(NotesTest);

TEST(SharedHelpers, IcoPaddingSearchFormAndNoteLines)
{
    QString empty;
    EXPECT_EQ(base::padIco(empty), u"00000000"_s);
    EXPECT_EQ(empty, u"00000000"_s);
    QString shortIco = u"1234"_s;
    EXPECT_EQ(base::padIco(shortIco), u"00001234"_s);
    QString nine = u"123456789"_s;
    EXPECT_EQ(base::padIco(nine), u"123456789"_s);
    EXPECT_EQ(base::searchForm(u"A.B. (C) s.r.o."_s), u"ABCsro"_s);
    EXPECT_EQ(base::searchForm(u"O'Neill/Šťastný\\Řez-1,2:_x"_s), u"ONeillŠťastnýŘez12x"_s);

    // Note lines and their inserts.
    EXPECT_EQ(base::noteLines(QString()), QStringList{QString()});
    EXPECT_EQ(base::noteLines(QString(255, QLatin1Char('a'))).size(), 2);
    EXPECT_EQ(base::noteLines(QString(255, QLatin1Char('a'))).last(), QString());
    EXPECT_EQ(base::noteLines(QString(600, QLatin1Char('a'))).size(), 3);
    EXPECT_EQ(entities::noteLineInsert(1, 5, 2, u"it's"_s),
              u"INSERT INTO text VALUES((select (min(row_id)-1) from text),getdate(),0,5,2,'it''s')"_s);
    EXPECT_EQ(entities::noteLineInsert(2, 5, 2, u"x"_s),
              u"DECLARE @row int\rselect @row = (min(row_id)-1) from text\rINSERT INTO text VALUES(@row,null,0,5,2,'x')"_s);
}


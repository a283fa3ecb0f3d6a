#include "analysis/tableexport.h"
#include "db/database.h"
#include "db/schema.h"
#include "db/sqlitefunctions.h"
#include "entities/entitysearch.h"
#include "indicators/evaluator.h"
#include "report/reportbuilder.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/printing.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace Qt::StringLiterals;

namespace {

// Runs a Python script with the sqlite3 module of the system on the file: another program
// that knows nothing of VERNA's own functions and collations.
QString python(const QString &path, const QString &script)
{
    QProcess p;
    p.start(u"python3"_s, {u"-c"_s, u"import sqlite3, sys\nc = sqlite3.connect(sys.argv[1])\n"_s + script, path});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}

// Checks the file, then selects, compares and sorts every table on its text columns.
const QString kReadEverything = uR"(print(c.execute('PRAGMA integrity_check').fetchone()[0])
for (t,) in c.execute("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'name_fold%'").fetchall():
    info = c.execute('PRAGMA table_info(' + t + ')').fetchall()
    texts = [r[1] for r in info if r[2] == 'TEXT']
    where = ' WHERE ' + texts[0] + " = 'x' OR " + texts[0] + " > ''" if texts else ''
    c.execute('SELECT * FROM ' + t + where + ' ORDER BY ' + ', '.join(r[1] for r in info)).fetchall()
)"_s;

QList<qint32> found(db::Database &database, const QString &name, bool anywhere)
{
    QList<qint32> ids;
    const entities::Listing listing = entities::EntitySearch(database).byName(entities::NameQuery{name, {}, {}, anywhere},
                                                                              [&ids](const entities::ListItem &item, int) { ids << item.id; });
    EXPECT_TRUE(listing.ok()) << listing.error.toStdString();
    return ids;
}

} // namespace

// Other tools read and write the file: its schema uses nothing but SQLite itself, and a row
// they insert lands in VERNA's search indexes as VERNA's own rows do.
TEST(SqliteFile, IsAPlainSqliteDatabaseForOtherToolsAndAnOlderFileIsUpgradedAfterABackup)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"verna.sqlite"_s);
    db::Database database;
    ASSERT_TRUE(database.open(db::DatabaseLocation::file(path)).ok);
    ASSERT_TRUE(shell::initialiseDatabase(database, false).ok);
    ASSERT_TRUE(shell::generateDemoData(database, {.entities = 3, .firstYear = 1998, .lastYear = 1998}).ok);
    database.close();

    EXPECT_EQ(python(path, kReadEverything), u"ok"_s);
    EXPECT_EQ(python(path, u"c.execute(\"INSERT INTO name (row_id, inac_ind, subj_id, name_type_cd, name_txt, srch_name_txt) "
                           "VALUES (-99, 0, 3366, 1, 'Žluťoučký kůň, s.r.o.', 'ŽluťoučkýKůňsro')\")\nc.commit()\n"
                           "print(c.execute('PRAGMA integrity_check').fetchone()[0])"_s),
              u"ok"_s);

    ASSERT_TRUE(database.open(db::DatabaseLocation::file(path)).ok);
    EXPECT_EQ(found(database, u"zlutoucky"_s, false), QList<qint32>{3366});
    EXPECT_EQ(found(database, u"toučký k"_s, true), QList<qint32>{3366});
    // Exports and reports never take the open database (or its log) for their file.
    const QByteArray before = test::readFile(path);
    EXPECT_FALSE(analysis::writeCsv(analysis::ExportTable{}, path).ok);
    EXPECT_FALSE(analysis::writeXlsx(analysis::ExportTable{}, path + u"-wal"_s).ok);
    EXPECT_FALSE(report::writeReportFile(path, u"<html/>"_s).ok);
    EXPECT_EQ(test::readFile(path), before);
    // The collation the columns no longer declare still rules the application's compares.
    EXPECT_EQ(database.singleValue(u"SELECT count(*) FROM name WHERE name_txt = 'žluťoučký KŮŇ, S.R.O.  '"_s), u"1"_s);

    // The order keys other tools' writes get are the application's own; a file of the schema before them
    // gets them on upgrade, as it gets the statements' packs: it ends as a new file is made.
    const QString key = u"SELECT ord_txt FROM name_srch WHERE row_id = -99"_s;
    EXPECT_EQ(database.singleValue(key), db::nameOrderKey(u"Žluťoučký kůň, s.r.o."_s));
    const QString indexList = u"SELECT group_concat(type || ' ' || name || ' ' || ifnull(sql, ''), char(10)) FROM (SELECT * FROM sqlite_master "
                               "WHERE type IN ('index', 'trigger', 'table') ORDER BY type, name)"_s;
    const QString madeIndexes = database.singleValue(indexList);
    database.close();
    EXPECT_EQ(python(path, u"c.executescript('DROP INDEX ix_name_srch_ord; DROP INDEX ix_name_srch_fold; DROP TRIGGER name_fold_insert; "
                           "DROP TRIGGER name_fold_update; ALTER TABLE name_srch DROP COLUMN ord_txt; DROP INDEX ix_actv_main; "
                           "DROP INDEX ix_ident_live; DROP TRIGGER finl_pack_insert; DROP TRIGGER finl_pack_delete; DROP TRIGGER finl_pack_update; "
                           "DROP TABLE finl_pack; DROP INDEX ix_finl_item_stmt; "
                           "CREATE INDEX ix_finl_item_stmt ON finl_item (finl_stmt_id, item_type_cd, amt_val); UPDATE schema_ver SET ver_nbr = 4')"_s),
              u""_s);
    const Outcome reopened = shell::openDatabase(database, db::DatabaseLocation::file(path));
    ASSERT_TRUE(reopened.ok) << reopened.error.toStdString();
    EXPECT_EQ(database.singleValue(indexList), madeIndexes);
    EXPECT_EQ(test::statementsWithoutTheirPack(database), u"0"_s);
    EXPECT_EQ(database.singleValue(key), db::nameOrderKey(u"Žluťoučký kůň, s.r.o."_s));
    EXPECT_EQ(database.singleValue(u"SELECT count(*) FROM name n LEFT JOIN name_srch f ON f.row_id = n.row_id WHERE f.ord_txt IS NULL"_s), u"0"_s);
    EXPECT_EQ(found(database, u"zlutoucky"_s, false), QList<qint32>{3366});

    // A file of the first schema is copied beside itself, then rebuilt in one go; a file of a newer VERNA is
    // refused and left exactly as it was.
    QTemporaryDir folder;
    // "%1" in the name is the file's own, not a place for the schema version.
    const QString file = folder.filePath(u"verna%1.sqlite"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(VERNA_TEST_DATA "/verna-v1.sqlite"), file));
    QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    {
        // Read as it is when it cannot be written: the search folds each name itself.
        ASSERT_TRUE(QFile::copy(file, folder.filePath(u"old.sqlite"_s)));
        db::DatabaseLocation readOnly = db::DatabaseLocation::file(folder.filePath(u"old.sqlite"_s));
        readOnly.readOnly = true;
        db::Database old;
        ASSERT_TRUE(old.open(readOnly).ok);
        EXPECT_EQ(found(old, u"kovovyroba"_s, false).size(), 1);
        EXPECT_EQ(found(old, u"zdar"_s, true).size(), 1);
        // Its statements, without packs, are read from their items.
        const Result<QStringList> column = indicators::Evaluator(old).formulaColumn(u"[92]"_s, {indicators::Period{1998, 4, 3367}});
        EXPECT_EQ(column.value, QStringList{u"829404"_s}) << column.error.toStdString();
    }
    const QString counts = u"print(c.execute('SELECT (SELECT count(*) FROM name) || \"/\" || (SELECT count(*) FROM finl_item)').fetchone()[0])"_s;
    const QString counted = python(file, counts);

    db::Database upgraded;
    const Outcome opened = shell::openDatabase(upgraded, db::DatabaseLocation::file(file));
    ASSERT_TRUE(opened.ok) << opened.error.toStdString();
    EXPECT_EQ(db::Schema::version(upgraded).value, db::Schema::kVersion);
    EXPECT_EQ(found(upgraded, u"zdar"_s, true).size(), 1);
    EXPECT_EQ(found(upgraded, u"kovovyroba"_s, false).size(), 1);
    EXPECT_EQ(test::statementsWithoutTheirPack(upgraded), u"0"_s);
    upgraded.close();

    const QString backup = folder.filePath(u"verna%1.zaloha-v1.sqlite"_s);
    ASSERT_TRUE(QFile::exists(backup));
    EXPECT_EQ(python(backup, counts), counted);
    EXPECT_EQ(python(file, counts), counted);
    EXPECT_EQ(python(file, kReadEverything), u"ok"_s);

    EXPECT_EQ(python(file, u"c.execute('UPDATE schema_ver SET ver_nbr = 99')\nc.commit()"_s), u""_s);
    const QByteArray newer = test::readFile(file);
    const Outcome refused = shell::openDatabase(upgraded, db::DatabaseLocation::file(file));
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.contains(u"novější verze"_s) && refused.error.contains(u"verna%1.sqlite"_s)) << refused.error.toStdString();
    upgraded.close();
    EXPECT_EQ(test::readFile(file), newer);
}


#include "base/textforms.h"
#include "db/rowwriter.h"
#include "db/transaction.h"
#include "entities/entitysearch.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"
#include "support/hostile.h"
#include "support/testdatabase.h"

#include <QProcess>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

using HostileInputTest = ReferenceTest;

bool sqlError(const QString &message)
{
    return message.contains(u"SQL"_s) || message.contains(u"syntax"_s, Qt::CaseInsensitive);
}

} // namespace

// Every text box of the entity, group, note and indicator writes takes each hostile text:
// stored exactly as typed and found by the name search, or refused with a message; never a
// database error.
TEST_P(HostileInputTest, TextsAreStoredExactlyOrRefused)
{
    entities::EntityStore entities(db());
    entities::GroupStore groups(db());
    entities::EntitySearch search(db());
    indicators::IndicatorStore indicators(db());
    indicators::IndicatorGroups indicatorGroups(db());
    const QStringList corpus = hostileInputs();
    ASSERT_GT(corpus.size(), 30);
    int stored = 0, refused = 0;
    for (int k = 0; k < corpus.size(); ++k) {
        const QString s = corpus.at(k);
        const std::string shown = s.left(40).toStdString();
        const QString ico = QString::number(8100000 + k);
        const entities::Written w = entities.create({ico + QString::number(base::icoCheckDigit(ico)), s, 2, 1112, s, {3029}});
        ASSERT_FALSE(sqlError(w.error)) << shown << ": " << w.error.toStdString();
        if (!w.ok()) {
            ++refused;
            continue;
        }
        ++stored;
        const auto loaded = entities.load(w.id);
        EXPECT_TRUE(loaded.ok() && loaded.value.name == s && loaded.value.note == s) << shown << loaded.error.toStdString();
        QList<qint32> found;
        const entities::Listing l = search.byName(entities::NameQuery{s, {}, {}, false}, [&found](const entities::ListItem &i, int) { found << i.id; });
        EXPECT_TRUE(l.ok() && found.contains(w.id)) << shown << l.error.toStdString();

        const entities::Written g = groups.create(s + u" sk"_s, s, {w.id});
        ASSERT_FALSE(sqlError(g.error)) << shown << ": " << g.error.toStdString();
        if (g.ok()) {
            const auto group = groups.load(g.id);
            EXPECT_TRUE(group.ok() && group.value.name == s + u" sk"_s && group.value.note == s) << shown;
        }
        const auto saved = indicators.create({s + u" u"_s, s, s});
        ASSERT_FALSE(sqlError(saved.error)) << shown << ": " << saved.error.toStdString();
        if (saved.ok() && !saved.value.nameTaken) {
            const auto texts = indicators.load(saved.value.id);
            EXPECT_TRUE(texts.ok() && texts.value.formula == s && texts.value.description == s) << shown;
        }
        const auto grouped = indicatorGroups.create(s + u" g"_s, s, {});
        ASSERT_FALSE(sqlError(grouped.error)) << shown << ": " << grouped.error.toStdString();
        if (grouped.ok() && !grouped.value.nameTaken) {
            EXPECT_EQ(indicatorGroups.description(grouped.value.id).value, s) << shown;
        }
    }
    std::cout << "[ figures  ] " << corpus.size() << " hostile texts: " << stored << " stored exactly, " << refused << " refused\n";
}

// The bulk writer (imports, demo data) stores each hostile text exactly: on PostgreSQL inside
// array literals, where quotes, backslashes, braces, commas and the word NULL mean something.
TEST_P(HostileInputTest, BulkWriterStoresTextsExactly)
{
    QStringList texts = {u"NULL"_s, u"null"_s, QString(), u" "_s, u"\\"_s, u"\\\""_s, u"\""_s, u"{a,b}"_s, u"a\",\"b"_s, u"' ||"_s, u"{\\}"_s};
    for (const QString &s : hostileInputs()) {
        if (!s.contains(QChar(0)))
            texts << s;
    }
    {
        db::Transaction tx(db());
        db::RowWriter writer(db(), u"text"_s, 6);
        for (int k = 0; k < texts.size(); ++k)
            ASSERT_TRUE(writer.integer(900000 + k).now().integer(0).integer(777777).integer(k).text(texts[k]).endRow().ok) << k;
        ASSERT_TRUE(writer.integer(900000 + texts.size()).now().integer(0).integer(777777).integer(static_cast<int>(texts.size())).null().endRow().ok);
        ASSERT_TRUE(writer.flush().ok) << db().lastError().toStdString();
        ASSERT_TRUE(tx.commit());
    }
    const auto rows = db().queryNative(u"SELECT line_txt FROM text WHERE text_id = 777777 ORDER BY seq_nbr"_s);
    ASSERT_TRUE(rows.ok()) << rows.error.toStdString();
    ASSERT_EQ(rows.value.size(), texts.size() + 1);
    for (int k = 0; k < texts.size(); ++k)
        EXPECT_EQ(rows.value[k][0].toString(), texts[k]) << k << ": " << texts[k].left(40).toStdString();
    EXPECT_FALSE(rows.value[2][0].isNull());
    EXPECT_TRUE(rows.value.back()[0].isNull());
}

// Every value option of verna-db takes each hostile text (a NUL cannot be an argument): it
// answers, or refuses with a message; no SQL error, no crash.
TEST_P(HostileInputTest, EveryCommandLineOptionAnswersOrRefuses)
{
    if (GetParam() != TestBackend::SQLite)
        GTEST_SKIP() << "options are parsed before any database is read; one backend is enough";
    // Each command's arguments, "@" standing for the hostile text.
    const std::vector<const char *> commands = {
        "find @", "demo --entities @ --years 1999", "demo --entities 0 --seed @", "demo --entities 0 --years @",
        "demo --entities 0 --quarters @", "analyze --entities @ --periods 1999/4 --indicators 1",
        "analyze --ico @ --periods 1999/4 --indicators 1", "analyze --group @ --periods 1999/4 --indicators 1",
        "analyze --entities 3366 --periods @ --indicators 1", "analyze --entities 3366 --years @ --indicators 1",
        "analyze --entities 3366 --periods 1999/4 --indicators @", "analyze --entities 3366 --periods 1999/4 --indicators 1 --aggregate @",
        "eval --entity @ --year 1999 --quarter 4 --indicator 1", "eval --entity 3366 --year @ --quarter 4 --indicator 1",
        "eval --entity 3366 --year 1999 --quarter @ --indicator 1", "eval --entity 3366 --year 1999 --quarter 4 --indicator @",
        "eval --entity 3366 --year 1999 --quarter 4 --formula @", "statement --entity @ --year 1999 --quarter 4",
        "statement --entity 3366 --year @ --quarter 4", "statement --entity 3366 --year 1999 --quarter @",
        "statement --entity 3366 --year 1999 --quarter 4 --type @"};
    const QStringList environment = testDatabase().childEnvironment();
    int runs = 0;
    for (const QString &s : hostileInputs()) {
        if (s.contains(QChar(0)))
            continue;
        // Eight at a time: a few hundred short processes.
        std::vector<std::unique_ptr<QProcess>> running;
        for (size_t c = 0; c < commands.size(); ++c) {
            QStringList command = QString::fromLatin1(commands.at(c)).split(u' ');
            command.replaceInStrings(u"@"_s, s);
            auto p = std::make_unique<QProcess>();
            p->setEnvironment(environment);
            p->setProperty("command", command.join(u' ').left(80));
            p->start(QStringLiteral(VERNA_DB_TOOL), QStringList{u"--db"_s, testDatabase().dbOption()} + command);
            running.push_back(std::move(p));
            if (running.size() < 8 && c + 1 < commands.size())
                continue;
            for (const auto &r : running) {
                ++runs;
                const std::string what = r->property("command").toString().toStdString();
                ASSERT_TRUE(r->waitForFinished(60000) && r->exitStatus() == QProcess::NormalExit) << what;
                const QString err = QString::fromUtf8(r->readAllStandardError());
                EXPECT_TRUE(r->exitCode() == 0 || r->exitCode() == 2 || (r->exitCode() == 1 && !err.trimmed().isEmpty())) << what;
                EXPECT_FALSE(sqlError(err)) << what << ": " << err.toStdString();
                EXPECT_TRUE(r->exitCode() == 0 || !err.trimmed().isEmpty()) << what;
            }
            running.clear();
        }
    }
    std::cout << "[ figures  ] " << runs << " verna-db runs with hostile option values\n";
}

VERNA_ALL_BACKENDS(HostileInputTest);

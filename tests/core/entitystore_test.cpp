#include "analysis/analysisdata.h"
#include "db/sqlitefunctions.h"
#include "entities/entitysearch.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "shell/modhlavni.h"
#include "support/testdatabase.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace verna;
using namespace verna::entities;
using namespace verna::test;

namespace {

constexpr qint32 kSro = 1112;
constexpr qint32 kType = 2;
constexpr qint32 kBranch = 3029;  // the reference entity's main branch
constexpr qint32 kBranch2 = 3001;
constexpr qint32 kReference = 3366; // Strojírny Dolní Lhota, a.s.

const QStringList kTables = {"ident", "name", "subj", "actv", "mem", "text", "finl_stmt"};

class EntityStoreTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_store = std::make_unique<EntityStore>(db());
        m_groups = std::make_unique<GroupStore>(db());
        m_search = std::make_unique<EntitySearch>(db());
    }

    qint32 create(const QString &ico, const QString &name, const QString &note = {}, QList<qint32> branches = {kBranch, kBranch2})
    {
        const Written w = m_store->create(NewEntity{ico, name, kType, kSro, note, branches});
        EXPECT_TRUE(w.ok()) << w.refusal.toStdString() << w.error.toStdString();
        return w.id;
    }

    QList<qint32> byName(const QString &name, bool anywhere = false)
    {
        QList<qint32> ids;
        const Listing l = m_search->byName(NameQuery{name, {}, {}, anywhere}, [&ids](const ListItem &item, int) { ids << item.id; });
        EXPECT_TRUE(l.ok()) << l.error.toStdString();
        return ids;
    }

    QString value(const QString &sql) { return db().singleValue(sql); }

    // Row counts and states of every table an entity write touches.
    QString snapshot()
    {
        QString out;
        for (const QString &t : kTables)
            out += t + QLatin1Char(':') + value(QStringLiteral("SELECT count(*) FROM %1").arg(t)) + QLatin1Char('/')
                + value(QStringLiteral("SELECT sum(inac_ind) FROM %1").arg(t)) + QLatin1Char(' ');
        return out;
    }

    // Makes the next matching write fail in the middle of the operation, as a broken server would.
    void failOn(const QString &table, const QString &event, const QString &condition)
    {
        QSqlQuery q(db().connection());
        if (GetParam() == TestBackend::SQLite) {
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER boom BEFORE %1 ON %2 WHEN %3 BEGIN SELECT RAISE(ABORT, 'boom'); END")
                                   .arg(event, table, condition)))
                << q.lastError().text().toStdString();
        } else {
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE OR REPLACE FUNCTION boom() RETURNS trigger AS $$ BEGIN IF %1 THEN "
                                              "RAISE EXCEPTION 'boom'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql")
                                   .arg(condition)))
                << q.lastError().text().toStdString();
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER boom BEFORE %1 ON %2 FOR EACH ROW EXECUTE FUNCTION boom()").arg(event, table)))
                << q.lastError().text().toStdString();
        }
    }
    void dropTrigger()
    {
        QSqlQuery q(db().connection());
        ASSERT_TRUE(q.exec(GetParam() == TestBackend::SQLite ? QStringLiteral("DROP TRIGGER boom") : QStringLiteral("DROP TRIGGER boom ON ")
                               + m_failTable))
            << q.lastError().text().toStdString();
    }

    std::unique_ptr<EntityStore> m_store;
    std::unique_ptr<GroupStore> m_groups;
    std::unique_ptr<EntitySearch> m_search;
    QString m_failTable;
};

} // namespace

TEST_P(EntityStoreTest, NewEntityIsStoredExactlyAndFoundByPlainNameAndMainBranch)
{
    const QString name = QStringLiteral("Pekárna U Nováků, s.r.o.");
    const QString note = QStringLiteral("O'Brien's \"pekárna\"\r\n") + QString(300, QLatin1Char('x'));
    const qint32 id = create(QStringLiteral("27074358"), QStringLiteral("  ") + name + QStringLiteral(" "), note);
    ASSERT_LT(id, 0);
    EXPECT_EQ(value(QStringLiteral("SELECT form_type_cd FROM ident WHERE subj_id = %1").arg(id)), QString::number(kSro));
    EXPECT_EQ(value(QStringLiteral("SELECT subj_type_cd FROM subj WHERE subj_id = %1").arg(id)), QString::number(kType));
    EXPECT_EQ(value(QStringLiteral("SELECT name_txt FROM name WHERE subj_id = %1").arg(id)), name);
    EXPECT_EQ(shell::modHlavni::loadNote(db(), QString::number(id)), note);
    // The main branch is position 1, as the main-branch searches read it.
    EXPECT_EQ(value(QStringLiteral("SELECT actv_cd FROM actv WHERE subj_id = %1 AND actv_nbr = 1").arg(id)), QString::number(kBranch));
    EXPECT_EQ(value(QStringLiteral("SELECT actv_cd FROM actv WHERE subj_id = %1 AND actv_nbr = 2").arg(id)), QString::number(kBranch2));
    EXPECT_EQ(m_search->mainBranch(id).value, kBranch);

    EXPECT_EQ(byName(QStringLiteral("pekarna u novaku")), QList<qint32>{id});
    EXPECT_EQ(byName(QStringLiteral("PEKÁRNA")), QList<qint32>{id});
    EXPECT_EQ(byName(QStringLiteral("novaku"), true), QList<qint32>{id});
    EXPECT_TRUE(byName(QStringLiteral("novaku")).isEmpty());

    const qint32 apostrophe = create(QStringLiteral("25596641"), QStringLiteral("McDonald's"), {}, {});
    EXPECT_EQ(value(QStringLiteral("SELECT name_txt FROM name WHERE subj_id = %1").arg(apostrophe)), QStringLiteral("McDonald's"));
    EXPECT_EQ(byName(QStringLiteral("mcdonald's")), QList<qint32>{apostrophe});
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM actv WHERE subj_id = %1").arg(apostrophe)), QStringLiteral("0"));
}

TEST_P(EntityStoreTest, ReferenceNamesAreFoundWithoutDiacriticsAndAnywhere)
{
    EXPECT_EQ(byName(QStringLiteral("strojirny")), QList<qint32>{kReference});
    EXPECT_EQ(byName(QStringLiteral("lhota"), true), QList<qint32>{kReference});
    EXPECT_EQ(byName(QStringLiteral("%dolni")), QList<qint32>{kReference});
    const qint32 cesky = create(QStringLiteral("68407700"), QStringLiteral("Český_100%"), {}, {});
    EXPECT_EQ(byName(QStringLiteral("cesky")), QList<qint32>{cesky});
    EXPECT_EQ(byName(QStringLiteral("ceskyx100")), QList<qint32>{}); // "_" is a character, not a wildcard
    EXPECT_EQ(db::searchFold(QStringLiteral("Žluťoučký KŮŇ")), QStringLiteral("zlutoucky kun"));

    // A file made before the trigram table searches anywhere all the same.
    if (GetParam() == TestBackend::SQLite) {
        for (const char *drop : {"DROP TRIGGER name_fold_insert", "DROP TRIGGER name_fold_update", "DROP TRIGGER name_fold_delete",
                                 "DROP TABLE name_fold"})
            ASSERT_TRUE(db().executeNative(QString::fromLatin1(drop)).ok);
        m_search = std::make_unique<EntitySearch>(db());
        EXPECT_EQ(byName(QStringLiteral("lhota"), true), QList<qint32>{kReference});
    }
}

TEST_P(EntityStoreTest, RefusalsWriteNothing)
{
    const qint32 id = create(QStringLiteral("27074358"), QStringLiteral("Pekárna"));
    const QString before = snapshot();
    const auto refusal = [this](const NewEntity &e) { return m_store->create(e).refusal; };
    EXPECT_EQ(refusal({QStringLiteral("27074358"), QStringLiteral("Jiná"), kType, kSro, {}, {}}),
              QStringLiteral("IČO 27074358 má přiřazen subjekt Pekárna"));
    EXPECT_EQ(refusal({QStringLiteral("27074359"), QStringLiteral("Jiná"), kType, kSro, {}, {}}),
              QStringLiteral("IČO 27074359 není platné: nesouhlasí kontrolní číslice."));
    EXPECT_EQ(refusal({QString(), QStringLiteral("Jiná"), kType, kSro, {}, {}}), QStringLiteral("Zadejte IČO."));
    EXPECT_EQ(refusal({QStringLiteral("25596641"), QStringLiteral("   "), kType, kSro, {}, {}}), QStringLiteral("Zadejte název subjektu."));
    EXPECT_EQ(refusal({QStringLiteral("25596641"), QStringLiteral("X"), kType, std::nullopt, {}, {}}),
              QStringLiteral("Zadejte právní formu subjektu."));
    EXPECT_EQ(m_groups->create(QStringLiteral(" "), {}, {id}).refusal, QStringLiteral("Zadejte název pro skupinu."));
    EXPECT_FALSE(m_store->save(id, QStringLiteral(" "), std::nullopt).ok);
    EXPECT_EQ(snapshot(), before);
}

TEST_P(EntityStoreTest, AFailureInTheMiddleOfEachWriteLeavesTheDatabaseAsItWas)
{
    const qint32 a = create(QStringLiteral("27074358"), QStringLiteral("Alfa"));
    const qint32 b = create(QStringLiteral("25596641"), QStringLiteral("Beta"));
    const Written group = m_groups->create(QStringLiteral("Skupina"), QStringLiteral("pozn"), {a});
    ASSERT_TRUE(group.ok());
    struct Case {
        QString table, event, condition;
        std::function<bool()> write;
    };
    const std::vector<Case> cases = {
        {"actv", "INSERT", "NEW.actv_nbr = 2",
         [&] { return m_store->create(NewEntity{QStringLiteral("68407700"), QStringLiteral("Gama"), kType, kSro, QStringLiteral("n"), {kBranch, kBranch2}}).ok(); }},
        {"text", "INSERT", "1 = 1", [&] { return m_store->save(a, QStringLiteral("Alfa 2"), QStringLiteral("nová")).ok; }},
        {"mem", "UPDATE", "1 = 1", [&] { return m_store->remove(a).ok; }},
        {"mem", "INSERT", QStringLiteral("NEW.mem_id = %1").arg(b),
         [&] { return m_groups->create(QStringLiteral("Druhá"), QStringLiteral("n"), {a, b}).ok(); }},
        {"mem", "INSERT", QStringLiteral("NEW.mem_id = %1").arg(b), [&] { return m_groups->addMembers(group.id, {b, b}).ok(); }},
        {"mem", "UPDATE", "1 = 1", [&] { return m_groups->remove(group.id).ok; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.table + QLatin1Char(' ') + c.event).toStdString());
        const QString before = snapshot();
        m_failTable = c.table;
        failOn(c.table, c.event, c.condition);
        EXPECT_FALSE(c.write());
        EXPECT_FALSE(db().inTransaction());
        EXPECT_EQ(snapshot(), before);
        dropTrigger();
    }
    EXPECT_EQ(byName(QStringLiteral("Alfa")), QList<qint32>{a});
}

TEST_P(EntityStoreTest, RenameKeepsTheOldRowAndSearchFindsTheNewNameOnly)
{
    const qint32 id = create(QStringLiteral("27074358"), QStringLiteral("Stará firma"));
    ASSERT_TRUE(m_store->save(id, QStringLiteral("O'Neill nová"), std::nullopt).ok);
    EXPECT_EQ(byName(QStringLiteral("oneill")), QList<qint32>{id});
    EXPECT_TRUE(byName(QStringLiteral("stara")).isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM name WHERE subj_id = %1 AND inac_ind = 2").arg(id)), QStringLiteral("1"));

    const Written group = m_groups->create(QStringLiteral("Pekaři"), {}, {id});
    ASSERT_TRUE(group.ok());
    ASSERT_TRUE(m_groups->rename(group.id, QStringLiteral("Mlynáři")).ok());
    EXPECT_EQ(byName(QStringLiteral("mlynari")), QList<qint32>{group.id});
    EXPECT_TRUE(byName(QStringLiteral("pekari")).isEmpty());
    // Anywhere in the name too: the trigrams followed the new search form.
    EXPECT_EQ(byName(QStringLiteral("ynari"), true), QList<qint32>{group.id});
    EXPECT_TRUE(byName(QStringLiteral("ekari"), true).isEmpty());
}

TEST_P(EntityStoreTest, GroupNamesAreUniqueAmongGroupsOfEitherTypeCode)
{
    const qint32 id = create(QStringLiteral("27074358"), QStringLiteral("Alfa"));
    ASSERT_TRUE(m_groups->create(QStringLiteral("Pekaři"), {}, {id}).ok());
    // A delivered group: type 214.
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO ident VALUES (900,getdate(),0,900,23,'skupina_',null,0,null,0,215)\r"
                                            "INSERT INTO subj VALUES (900,getdate(),0,900,214,null,0,null,0,null)\r"
                                            "INSERT INTO name VALUES (900,getdate(),0,900,22,'Dodaná ',null,0,null,0,'Dodaná')"))
                    .ok);
    EXPECT_EQ(m_groups->create(QStringLiteral(" pekaři "), {}, {}).refusal,
              QStringLiteral("Skupina pekaři\r\njiž existuje. Zadejte jiný název."));
    EXPECT_FALSE(m_groups->create(QStringLiteral("Dodaná"), {}, {}).refusal.isEmpty());
    // An entity that is no group may share the name.
    EXPECT_TRUE(m_groups->create(QStringLiteral("Alfa"), {}, {}).ok());
}

TEST_P(EntityStoreTest, MembershipsAreSwitchedNeverRevivedAndNeverWrittenTwice)
{
    const qint32 a = create(QStringLiteral("27074358"), QStringLiteral("Alfa"));
    const qint32 b = create(QStringLiteral("25596641"), QStringLiteral("Beta"));
    const Written group = m_groups->create(QStringLiteral("Skupina"), QStringLiteral("poznámka"), {a, a, b});
    ASSERT_TRUE(group.ok());
    EXPECT_EQ(m_groups->isGroup(group.id).value, true);
    EXPECT_EQ(m_groups->candidate(group.id).value, std::nullopt); // groups do not nest
    EXPECT_EQ(m_groups->candidate(a).value->text, QStringLiteral("27074358 Alfa"));

    analysis::AnalysisData data(db());
    EXPECT_EQ(data.groupMembers(group.id).value, (QList<qint32>{a, b}));
    ASSERT_TRUE(m_store->setMembership(group.id, a, false).ok);
    EXPECT_EQ(data.groupMembers(group.id).value, QList<qint32>{b});
    EXPECT_EQ(m_store->load(a).value.groups.front().active, false);
    ASSERT_TRUE(m_groups->removeMember(group.id, b).ok);
    ASSERT_TRUE(m_store->setMembership(group.id, b, true).ok);
    EXPECT_TRUE(data.groupMembers(group.id).value.isEmpty());
    // b was removed: added again it is a new member; a is still in the group (switched off).
    EXPECT_EQ(m_groups->addMembers(group.id, {a, b, b}).value, 1);
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM mem WHERE subj_id = %1").arg(group.id)), QStringLiteral("3"));
    const GroupDetails details = m_groups->load(group.id).value;
    EXPECT_EQ(details.name, QStringLiteral("Skupina"));
    EXPECT_EQ(details.note, QStringLiteral("poznámka"));
    EXPECT_EQ(details.members.size(), 2);
}

TEST_P(EntityStoreTest, DeletionHidesTheEntityEverywhereButKeepsItsRows)
{
    const qint32 a = create(QStringLiteral("27074358"), QStringLiteral("Pekárna"));
    const qint32 b = create(QStringLiteral("25596641"), QStringLiteral("Beta"));
    ASSERT_TRUE(db().execute(QStringLiteral("INSERT INTO finl_stmt VALUES(-1,getdate(),0,-1,%1,27,null,0,null,0,0,null,'uživatel',1,2,1999,4)\r"
                                            "INSERT INTO finl_item VALUES(-1,getdate(),0,-1,%1,92,100)")
                                 .arg(a))
                    .ok);
    const Written group = m_groups->create(QStringLiteral("Skupina"), {}, {a, b});
    ASSERT_TRUE(m_store->remove(a).ok);
    EXPECT_TRUE(byName(QStringLiteral("pekarna")).isEmpty());
    EXPECT_TRUE(m_search->find(QStringLiteral("pekarna")).value.isEmpty());
    analysis::AnalysisData data(db());
    EXPECT_EQ(data.entityIdentity(a).value, std::nullopt);
    EXPECT_EQ(data.groupMembers(group.id).value, QList<qint32>{b});
    for (const QString &t : {QStringLiteral("ident"), QStringLiteral("name"), QStringLiteral("subj"), QStringLiteral("actv"),
                             QStringLiteral("finl_stmt")})
        EXPECT_EQ(value(QStringLiteral("SELECT min(inac_ind) FROM %1 WHERE subj_id = %2").arg(t).arg(a)), QStringLiteral("2")) << t.toStdString();
    EXPECT_EQ(value(QStringLiteral("SELECT inac_ind FROM finl_item WHERE subj_id = %1").arg(a)), QStringLiteral("0"));
    // Its IČO is free again.
    EXPECT_TRUE(m_store->create(NewEntity{QStringLiteral("27074358"), QStringLiteral("Nová"), kType, kSro, {}, {}}).ok());
}

TEST_P(EntityStoreTest, FindListsIdIcoAndNameForScripts)
{
    const qint32 id = create(QStringLiteral("27074358"), QStringLiteral("Pekárna U Nováků"));
    const auto byIco = m_search->find(QStringLiteral("0743"));
    ASSERT_TRUE(byIco.ok());
    ASSERT_EQ(byIco.value.size(), 1);
    EXPECT_EQ(byIco.value.front().id, id);
    EXPECT_EQ(byIco.value.front().ico, QStringLiteral("27074358"));
    EXPECT_EQ(byIco.value.front().name, QStringLiteral("Pekárna U Nováků"));
    EXPECT_EQ(m_search->find(QStringLiteral("u novaku")).value.size(), 1);
    EXPECT_EQ(m_search->byIco(QStringLiteral("27074358")).value, id);

    const ToolRun run = runVernaDb({QStringLiteral("--db"), testDatabase().dbOption(), QStringLiteral("find"), QStringLiteral("pekarna")},
                                   testDatabase().childEnvironment());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("%1\t27074358\tPekárna U Nováků\n").arg(id));

    // analyze takes the IČO a user sees; one without an entity is a usage error.
    const auto analyze = [this](const QString &icos) {
        return runVernaDb({QStringLiteral("--db"), testDatabase().dbOption(), QStringLiteral("analyze"), QStringLiteral("--ico"), icos,
                           QStringLiteral("--periods"), QStringLiteral("1996/4"), QStringLiteral("--indicators"), QStringLiteral("1")},
                          testDatabase().childEnvironment());
    };
    const ToolRun byIcos = analyze(QStringLiteral("46192832,27074358"));
    EXPECT_EQ(byIcos.exitCode, 0) << byIcos.err.toStdString();
    EXPECT_TRUE(byIcos.out.contains(QStringLiteral("\"Strojírny Dolní Lhota, a.s.\",1996/4,1.59"))) << byIcos.out.toStdString();
    EXPECT_EQ(analyze(QStringLiteral("25596641")).exitCode, 2);
}

VERNA_ALL_BACKENDS(EntityStoreTest);

#include "analysis/analysisdata.h"
#include "db/sqlitefunctions.h"
#include "entities/entitysearch.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "entities/notes.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::entities;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kSro = 1112;
constexpr qint32 kType = 2;
constexpr qint32 kBranch = 3029;  // the reference entity's main branch
constexpr qint32 kBranch2 = 3001;
constexpr qint32 kReference = 3366; // Strojírny Dolní Lhota, a.s.

const QStringList kTables = {"ident", "name", "subj", "actv", "mem", "text", "finl_stmt"};

class EntityStoreTest : public ReferenceTest
{
protected:
    void prepare() override
    {
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
            out += t + QLatin1Char(':') + value(u"SELECT count(*) FROM %1"_s.arg(t)) + QLatin1Char('/')
                + value(u"SELECT sum(inac_ind) FROM %1"_s.arg(t)) + QLatin1Char(' ');
        return out;
    }

    std::unique_ptr<EntityStore> m_store;
    std::unique_ptr<GroupStore> m_groups;
    std::unique_ptr<EntitySearch> m_search;
};

} // namespace

TEST_P(EntityStoreTest, NewEntityIsStoredExactlyAndNamesAreFoundWithoutDiacriticsAndAnywhere)
{
    const QString name = u"Pekárna U Nováků, s.r.o."_s;
    const QString note = u"O'Brien's \"pekárna\"\r\n"_s + QString(300, QLatin1Char('x'));
    const qint32 id = create(u"27074358"_s, u"  "_s + name + u" "_s, note);
    ASSERT_LT(id, 0);
    EXPECT_EQ(value(u"SELECT form_type_cd FROM ident WHERE subj_id = %1"_s.arg(id)), QString::number(kSro));
    EXPECT_EQ(value(u"SELECT subj_type_cd FROM subj WHERE subj_id = %1"_s.arg(id)), QString::number(kType));
    EXPECT_EQ(value(u"SELECT name_txt FROM name WHERE subj_id = %1"_s.arg(id)), name);
    EXPECT_EQ(entities::loadNote(db(), QString::number(id)).value, note);
    // The main branch is position 1, as the main-branch searches read it.
    EXPECT_EQ(value(u"SELECT actv_cd FROM actv WHERE subj_id = %1 AND actv_nbr = 1"_s.arg(id)), QString::number(kBranch));
    EXPECT_EQ(value(u"SELECT actv_cd FROM actv WHERE subj_id = %1 AND actv_nbr = 2"_s.arg(id)), QString::number(kBranch2));
    EXPECT_EQ(m_search->mainBranch(id).value, kBranch);

    EXPECT_EQ(byName(u"pekarna u novaku"_s), QList<qint32>{id});
    EXPECT_EQ(byName(u"PEKÁRNA"_s), QList<qint32>{id});
    EXPECT_EQ(byName(u"novaku"_s, true), QList<qint32>{id});
    EXPECT_TRUE(byName(u"novaku"_s).isEmpty());
    EXPECT_EQ(byName(u"strojirny"_s), QList<qint32>{kReference});
    EXPECT_EQ(byName(u"lhota"_s, true), QList<qint32>{kReference});
    EXPECT_EQ(byName(u"%dolni"_s), QList<qint32>{kReference});

    const qint32 apostrophe = create(u"25596641"_s, u"McDonald's"_s, {}, {});
    EXPECT_EQ(value(u"SELECT name_txt FROM name WHERE subj_id = %1"_s.arg(apostrophe)), u"McDonald's"_s);
    EXPECT_EQ(byName(u"mcdonald's"_s), QList<qint32>{apostrophe});
    EXPECT_EQ(value(u"SELECT count(*) FROM actv WHERE subj_id = %1"_s.arg(apostrophe)), u"0"_s);

    const qint32 cesky = create(u"68407700"_s, u"Český_100%"_s, {}, {});
    EXPECT_EQ(byName(u"cesky"_s), QList<qint32>{cesky});
    EXPECT_EQ(byName(u"ceskyx100"_s), QList<qint32>{}); // "_" is a character, not a wildcard
    EXPECT_EQ(db::searchFold(u"Žluťoučký KŮŇ"_s), u"zlutoucky kun"_s);

    // A file without the stored search keys (an older one, read as it is) searches all the same.
    if (GetParam() == TestBackend::SQLite) {
        for (const char *drop : {"DROP TRIGGER name_fold_insert", "DROP TRIGGER name_fold_update", "DROP TRIGGER name_fold_delete",
                                 "DROP TABLE name_fold", "DROP TABLE name_srch"})
            ASSERT_TRUE(db().executeNative(QString::fromLatin1(drop)).ok);
        m_search = std::make_unique<EntitySearch>(db());
        EXPECT_EQ(byName(u"lhota"_s, true), QList<qint32>{kReference});
    }
}

TEST_P(EntityStoreTest, RefusalsRenamesGroupsMembershipsAndDeletionKeepEveryRowRight)
{
    const qint32 id = create(u"27074358"_s, u"Pekárna"_s);
    const QString before = snapshot();
    const auto refusal = [this](const NewEntity &e) { return m_store->create(e).refusal; };
    EXPECT_EQ(refusal({u"27074358"_s, u"Jiná"_s, kType, kSro, {}, {}}), u"IČO 27074358 má přiřazen subjekt Pekárna"_s);
    EXPECT_EQ(refusal({u"27074359"_s, u"Jiná"_s, kType, kSro, {}, {}}), u"IČO 27074359 není platné: nesouhlasí kontrolní číslice."_s);
    EXPECT_EQ(refusal({QString(), u"Jiná"_s, kType, kSro, {}, {}}), u"Zadejte IČO."_s);
    EXPECT_EQ(refusal({u"25596641"_s, u"   "_s, kType, kSro, {}, {}}), u"Zadejte název subjektu."_s);
    EXPECT_EQ(refusal({u"25596641"_s, u"X"_s, kType, std::nullopt, {}, {}}), u"Zadejte právní formu subjektu."_s);
    EXPECT_EQ(m_groups->create(u" "_s, {}, {id}).refusal, u"Zadejte název pro skupinu."_s);
    EXPECT_FALSE(m_store->save(id, u" "_s, std::nullopt).ok);
    EXPECT_EQ(snapshot(), before);

    // A rename keeps the old row; the search finds the new name only.
    const qint32 firm = create(u"00176150"_s, u"Stará firma"_s);
    ASSERT_TRUE(m_store->save(firm, u"O'Neill nová"_s, std::nullopt).ok);
    EXPECT_EQ(byName(u"oneill"_s), QList<qint32>{firm});
    EXPECT_TRUE(byName(u"stara"_s).isEmpty());
    EXPECT_EQ(value(u"SELECT count(*) FROM name WHERE subj_id = %1 AND inac_ind = 2"_s.arg(firm)), u"1"_s);

    const Written group = m_groups->create(u"Pekaři"_s, {}, {firm});
    ASSERT_TRUE(group.ok());
    ASSERT_TRUE(m_groups->rename(group.id, u"Mlynáři"_s).ok());
    EXPECT_EQ(byName(u"mlynari"_s), QList<qint32>{group.id});
    EXPECT_TRUE(byName(u"pekari"_s).isEmpty());
    // Anywhere in the name too: the trigrams followed the new search form.
    EXPECT_EQ(byName(u"ynari"_s, true), QList<qint32>{group.id});
    EXPECT_TRUE(byName(u"ekari"_s, true).isEmpty());

    // Group names are unique among groups of either type code.
    const qint32 alfa = create(u"63998530"_s, u"Alfa"_s);
    ASSERT_TRUE(m_groups->create(u"Pekaři"_s, {}, {alfa}).ok());
    // A delivered group: type 214.
    ASSERT_TRUE(db().execute(u"INSERT INTO ident VALUES (900,getdate(),0,900,23,'skupina_',null,0,null,0,215)\r"
                              "INSERT INTO subj VALUES (900,getdate(),0,900,214,null,0,null,0,null)\r"
                              "INSERT INTO name VALUES (900,getdate(),0,900,22,'Dodaná ',null,0,null,0,'Dodaná')"_s).ok);
    EXPECT_EQ(m_groups->create(u" pekaři "_s, {}, {}).refusal, u"Skupina pekaři\r\njiž existuje. Zadejte jiný název."_s);
    EXPECT_FALSE(m_groups->create(u"Dodaná"_s, {}, {}).refusal.isEmpty());
    // An entity that is no group may share the name.
    EXPECT_TRUE(m_groups->create(u"Alfa"_s, {}, {}).ok());

    // Memberships are switched, never revived and never written twice.
    const qint32 member = create(u"60193336"_s, u"Alfa"_s);
    const qint32 beta = create(u"45274649"_s, u"Beta"_s);
    const Written skupina = m_groups->create(u"Skupina"_s, u"poznámka"_s, {member, member, beta});
    ASSERT_TRUE(skupina.ok());
    EXPECT_EQ(m_groups->isGroup(skupina.id).value, true);
    EXPECT_EQ(m_groups->candidate(skupina.id).value, std::nullopt); // groups do not nest
    EXPECT_EQ(m_groups->candidate(member).value->text, u"60193336 Alfa"_s);

    analysis::AnalysisData data(db());
    EXPECT_EQ(data.groupMembers(skupina.id).value, (QList<qint32>{member, beta}));
    ASSERT_TRUE(m_store->setMembership(skupina.id, member, false).ok);
    EXPECT_EQ(data.groupMembers(skupina.id).value, QList<qint32>{beta});
    EXPECT_EQ(m_store->load(member).value.groups.front().active, false);
    ASSERT_TRUE(m_groups->removeMember(skupina.id, beta).ok);
    ASSERT_TRUE(m_store->setMembership(skupina.id, beta, true).ok);
    EXPECT_TRUE(data.groupMembers(skupina.id).value.isEmpty());
    // beta was removed: added again it is member new member; member is still in the skupina (switched off).
    EXPECT_EQ(m_groups->addMembers(skupina.id, {member, beta, beta}).value, 1);
    EXPECT_EQ(value(u"SELECT count(*) FROM mem WHERE subj_id = %1"_s.arg(skupina.id)), u"3"_s);
    const GroupDetails details = m_groups->load(skupina.id).value;
    EXPECT_EQ((QStringList{details.name, details.note, QString::number(details.members.size())}), (QStringList{u"Skupina"_s, u"poznámka"_s, u"2"_s}));

    // Deletion hides the entity everywhere but keeps its rows.
    const qint32 b = create(u"25596641"_s, u"Beta"_s);
    ASSERT_TRUE(db().execute(u"INSERT INTO finl_stmt VALUES(-1,getdate(),0,-1,%1,27,null,0,null,0,0,null,'uživatel',1,2,1999,4)\r"
                              "INSERT INTO finl_item VALUES(-1,getdate(),0,-1,%1,92,100)"_s.arg(id)).ok);
    const Written gone = m_groups->create(u"Skupina pekáren"_s, {}, {id, b});
    ASSERT_TRUE(m_store->remove(id).ok);
    EXPECT_TRUE(byName(u"pekarna"_s).isEmpty());
    EXPECT_TRUE(m_search->find(u"pekarna"_s).value.isEmpty());
    analysis::AnalysisData deleted(db());
    EXPECT_EQ(deleted.entityIdentity(id).value, std::nullopt);
    EXPECT_EQ(deleted.groupMembers(gone.id).value, QList<qint32>{b});
    for (const QString &t : {u"ident"_s, u"name"_s, u"subj"_s, u"actv"_s, u"finl_stmt"_s})
        EXPECT_EQ(value(u"SELECT min(inac_ind) FROM %1 WHERE subj_id = %2"_s.arg(t).arg(id)), u"2"_s) << t.toStdString();
    EXPECT_EQ(value(u"SELECT inac_ind FROM finl_item WHERE subj_id = %1"_s.arg(id)), u"0"_s);
    // Its IČO is free again.
    EXPECT_TRUE(m_store->create(NewEntity{u"27074358"_s, u"Nová"_s, kType, kSro, {}, {}}).ok());
}

TEST_P(EntityStoreTest, FindListsIdIcoAndNameForScripts)
{
    const qint32 id = create(u"27074358"_s, u"Pekárna U Nováků"_s);
    const auto byIco = m_search->find(u"0743"_s);
    ASSERT_TRUE(byIco.ok() && byIco.value.size() == 1);
    EXPECT_EQ((QStringList{QString::number(byIco.value.front().id), byIco.value.front().ico, byIco.value.front().name}),
              (QStringList{QString::number(id), u"27074358"_s, u"Pekárna U Nováků"_s}));
    EXPECT_EQ(m_search->find(u"u novaku"_s).value.size(), 1);
    EXPECT_EQ(m_search->byIco(u"27074358"_s).value, id);

    const ToolRun run = vernaDb({u"find"_s, u"pekarna"_s});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"%1\t27074358\tPekárna U Nováků\n"_s.arg(id));

    // analyze takes the IČO a user sees; one without an entity is a usage error.
    const auto analyze = [this](const QString &icos) {
        return vernaDb({u"analyze"_s, u"--ico"_s, icos, u"--periods"_s, u"1996/4"_s, u"--indicators"_s, u"1"_s});
    };
    const ToolRun byIcos = analyze(u"46192832,27074358"_s);
    EXPECT_EQ(byIcos.exitCode, 0) << byIcos.err.toStdString();
    EXPECT_TRUE(byIcos.out.contains(u"\"Strojírny Dolní Lhota, a.s.\",1996/4,1.59"_s)) << byIcos.out.toStdString();
    EXPECT_EQ(analyze(u"25596641"_s).exitCode, 2);
}

VERNA_ALL_BACKENDS(EntityStoreTest);

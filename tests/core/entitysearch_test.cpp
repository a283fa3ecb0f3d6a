#include "db/sqlquote.h"
#include "entities/entitysearch.h"
#include "shell/demodata.h"
#include "shell/modhlavni.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::entities;
using namespace verna::test;

namespace {

// Branch codes of the fixture, kept apart from the delivered OKEČ codes the demo uses.
constexpr qint32 kBranchA = 99001;
constexpr qint32 kBranchB = 99002;
constexpr qint32 kBranchGone = 99004;
constexpr int kAs = 1121;  // Akciová společnost
constexpr int kSro = 1112; // Společnost s ručením omezeným
constexpr int kVos = 1111; // Veřejná obchodní společnost

class EntitySearchTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        shell::DemoOptions demo;
        demo.entities = 8;
        demo.firstYear = demo.lastYear = 1998;
        demo.firstQuarter = demo.lastQuarter = 4;
        ASSERT_TRUE(shell::generateDemoData(db(), demo).ok) << db().lastError().toStdString();

        addCode(217, kBranchA, "ZZ1", "50% podíl 'Qx'", 9001);
        addCode(217, kBranchB, "ZZ2", "500 Qx", 9002);
        addCode(11, 99003, "ZZ3", "Qx typ", 9003); // not a branch list
        addCode(218, kBranchGone, "ZZ4", "Qx NACE", 9004);

        addEntity(900001, "11111111", "Cihelna Qx a.s.", kAs);
        addEntity(900002, "00000123", "Čepice Qx s.r.o.", kSro);
        addEntity(900003, "22222222", "Chata Qx, v.o.s.", kVos);
        addEntity(900004, "33333333", "Hora Qx", kSro);
        addEntity(-7, "44444444", "Novákova Qx s.r.o.", kSro);
        addEntity(-8, "skupina_", "Skupina Qx", 215);
        addEntity(900005, "55555555", "100% Wz a.s.", kAs);
        addEntity(900006, "66666666", "1005 Wz", kAs);
        addEntity(900007, "77777777", "O'Brien Wz", kAs);
        addEntity(900008, "88888888", "[Wz] Lab", kAs);

        addBranch(900001, kBranchA, 1);
        addBranch(900001, kBranchB, 2);
        addBranch(900002, kBranchB, 1);
        addBranch(900003, kBranchA, 2);
        addBranch(900003, kBranchGone, 1, 2); // its main branch, deleted
        addBranch(-7, kBranchGone, 1);
        m_search = std::make_unique<EntitySearch>(db());
    }

    void run(const QString &sql)
    {
        const Outcome o = db().execute(sql);
        ASSERT_TRUE(o.ok) << o.error.toStdString() << "\n" << sql.toStdString();
    }

    static QString key(const char *table) { return QStringLiteral("(SELECT (min(row_id)-1) FROM %1)").arg(QLatin1String(table)); }

    void addCode(int list, qint32 code, const char *shortText, const char *value, int seq)
    {
        run(QStringLiteral("INSERT INTO cd_val VALUES(%1,getdate(),0,%2,%3,%4,%5,%6)")
                .arg(key("cd_val"), QString::number(list), QString::number(code), db::quoted(QString::fromUtf8(shortText)),
                     db::quoted(QString::fromUtf8(value)), QString::number(seq)));
    }

    void addEntity(qint32 id, const char *ico, const char *name, int form)
    {
        const QString n = QString::fromUtf8(name);
        run(QStringLiteral("INSERT INTO ident VALUES(%1,getdate(),0,%2,23,%3,null,0,null,0,%4)\r"
                           "INSERT INTO name VALUES(%5,getdate(),0,%2,22,%6,null,0,null,0,%7)")
                .arg(key("ident"), QString::number(id), db::quoted(QString::fromUtf8(ico)), QString::number(form), key("name"),
                     db::quoted(n), db::quoted(shell::modHlavni::searchForm(n))));
    }

    void addBranch(qint32 id, qint32 branch, int number, int state = 0)
    {
        run(QStringLiteral("INSERT INTO actv VALUES(%1,getdate(),%2,%3,%4,%5)").arg(key("actv")).arg(state).arg(id).arg(branch).arg(number));
    }

    // The lines a listing hands on, and the ids they carry.
    struct Lines {
        QStringList texts;
        QList<qint32> ids;
        Listing listing;
    };

    template <typename Run>
    Lines collect(Run run)
    {
        Lines out;
        int last = 0;
        out.listing = run([&out, &last](const ListItem &item, int count) {
            out.texts << item.text;
            out.ids << item.id;
            EXPECT_EQ(count, ++last);
        });
        EXPECT_TRUE(out.listing.ok()) << out.listing.error.toStdString();
        return out;
    }

    Lines byName(const QString &name, const QString &ico = {}, const QList<qint32> &forms = {})
    {
        return collect([&](const EntitySearch::ItemSink &sink) { return m_search->byName(NameQuery{name, ico, forms}, sink); });
    }

    Lines branches(const QString &code, const QString &name, const QList<qint32> &lists = {})
    {
        return collect([&](const EntitySearch::ItemSink &sink) { return m_search->branches(BranchQuery{code, name, lists}, sink); });
    }

    std::unique_ptr<EntitySearch> m_search;
};

const QStringList kQxInCzechOrder = {
    "11111111 Cihelna Qx a.s.", "00000123 Čepice Qx s.r.o.", "33333333 Hora Qx", "22222222 Chata Qx, v.o.s.",
    "* 44444444 Novákova Qx s.r.o.", "skupina_ Skupina Qx",
};

} // namespace

TEST_P(EntitySearchTest, NameAnywhereListsInCzechOrderWithOwnMarkAndGroups)
{
    const Lines found = byName(QStringLiteral("%qx"));
    EXPECT_EQ(found.texts, kQxInCzechOrder);
    EXPECT_EQ(found.ids, (QList<qint32>{900001, 900002, 900004, 900003, -7, -8}));
}

TEST_P(EntitySearchTest, NamePrefixIsTrimmedAndCaseInsensitiveForCzechLetters)
{
    for (const QString &typed : {QStringLiteral("čep"), QStringLiteral("  ČEPICE Q  "), QStringLiteral("Čepice-Qx")}) {
        const Lines found = byName(typed);
        EXPECT_EQ(found.texts, QStringList{"00000123 Čepice Qx s.r.o."}) << typed.toStdString();
    }
    // Only names starting with the typed letter: "ch" is not "c" followed by anything.
    const Lines ch = byName(QStringLiteral("chata"));
    EXPECT_EQ(ch.texts, QStringList{"22222222 Chata Qx, v.o.s."});
}

TEST_P(EntitySearchTest, IcoTypedShortIsPaddedMatchedLiterallyAndTheNameIgnored)
{
    // A name that starts with another letter must not filter the IČO result away.
    EXPECT_EQ(byName(QStringLiteral("Hora"), QStringLiteral("123")).texts, QStringList{"00000123 Čepice Qx s.r.o."});
    EXPECT_EQ(byName({}, QStringLiteral(" 123 ")).ids, QList<qint32>{900002});
    // "_" and "%" in an IČO are characters, not wildcards.
    EXPECT_TRUE(byName({}, QStringLiteral("1111111_")).texts.isEmpty());
    EXPECT_TRUE(byName({}, QStringLiteral("1%")).texts.isEmpty());
}

TEST_P(EntitySearchTest, LegalFormsNarrowTheSearchOneSeveralOrNone)
{
    EXPECT_EQ(byName(QStringLiteral("%Qx"), {}, {kSro}).ids, (QList<qint32>{900002, 900004, -7}));
    EXPECT_EQ(byName(QStringLiteral("%Qx"), {}, {kAs, kVos}).ids, (QList<qint32>{900001, 900003}));
    EXPECT_EQ(byName(QStringLiteral("%Qx"), {}, {}).ids.size(), 6);

    // With forms selected and no name, every entity of the forms; with neither, every entity.
    const Lines companies = byName({}, {}, {kAs});
    EXPECT_TRUE(companies.ids.contains(900001) && companies.ids.contains(900008));
    EXPECT_FALSE(companies.ids.contains(900002));
    const int all = db().singleValue(QStringLiteral("SELECT count(*) FROM ident i, name n WHERE i.subj_id = n.subj_id")).toInt();
    EXPECT_EQ(byName({}).ids.size(), all);
}

TEST_P(EntitySearchTest, TypedPercentIsAWildcardOtherMetacharactersMatchThemselves)
{
    EXPECT_EQ(byName(QStringLiteral("100%Wz")).ids, (QList<qint32>{900005, 900006}));
    EXPECT_EQ(byName(QStringLiteral("Cih%Qx")).ids, QList<qint32>{900001});
    EXPECT_TRUE(byName(QStringLiteral("Str%Lhota")).ids.contains(3366));
    EXPECT_TRUE(byName(QStringLiteral("Cih_lna")).ids.isEmpty());
    EXPECT_EQ(byName(QStringLiteral("O'Brien")).ids, QList<qint32>{900007});
    EXPECT_EQ(byName(QStringLiteral("[Wz]")).ids, QList<qint32>{900008});
    EXPECT_EQ(byName(QStringLiteral("%[wz] l")).ids, QList<qint32>{900008});

    for (const QString &hostile : {QStringLiteral("'; DROP TABLE name --"), QStringLiteral("x' OR '1'='1"),
                                   QStringLiteral("'"), QStringLiteral("%' OR 1=1 --")}) {
        EXPECT_TRUE(byName(hostile).ids.isEmpty()) << hostile.toStdString();
        EXPECT_TRUE(byName({}, hostile).ids.isEmpty()) << hostile.toStdString();
    }
    EXPECT_EQ(byName(QStringLiteral("%qx")).ids.size(), 6);
}

TEST_P(EntitySearchTest, BranchesComeFromBranchListsOnly)
{
    // No list selected: every list of 216, never another code list.
    Lines found = branches(QStringLiteral("ZZ"), {});
    EXPECT_EQ(found.texts, (QStringList{"ZZ1 50% podíl 'Qx'", "ZZ2 500 Qx", "ZZ4 Qx NACE"}));
    EXPECT_EQ(found.ids, (QList<qint32>{kBranchA, kBranchB, kBranchGone}));
    EXPECT_EQ(branches(QStringLiteral("zz"), {}, {217}).ids, (QList<qint32>{kBranchA, kBranchB}));
    EXPECT_EQ(branches(QStringLiteral("ZZ"), {}, {217, 218}).ids.size(), 3);
    EXPECT_EQ(branches(QStringLiteral("ZZ"), {}, {218}).ids, QList<qint32>{kBranchGone});
}

TEST_P(EntitySearchTest, BranchTextsWithApostrophesMatchAndPercentIsAWildcard)
{
    EXPECT_EQ(branches({}, QStringLiteral("50%")).ids, (QList<qint32>{kBranchA, kBranchB}));
    EXPECT_EQ(branches({}, QStringLiteral("50% podíl 'Qx'")).ids, QList<qint32>{kBranchA});
    EXPECT_EQ(branches({}, QStringLiteral("qx n")).ids, QList<qint32>{kBranchGone});
    // A leading "%" searches anywhere in the name, with no first-letter filter.
    EXPECT_EQ(branches(QStringLiteral("ZZ"), QStringLiteral("%nace")).ids, QList<qint32>{kBranchGone});
    EXPECT_TRUE(branches(QStringLiteral("Z_"), {}).ids.isEmpty());
    EXPECT_TRUE(branches(QStringLiteral("Z[Z]"), {}).ids.isEmpty());
    for (const QString &hostile : {QStringLiteral("'; DROP TABLE cd_val --"), QStringLiteral("' OR ''='")}) {
        EXPECT_TRUE(branches(hostile, {}).ids.isEmpty());
        EXPECT_TRUE(branches({}, hostile).ids.isEmpty());
    }
    // The delivered branches are still there to be found.
    EXPECT_FALSE(branches(QStringLiteral("01"), QStringLiteral("zem")).ids.isEmpty());
}

TEST_P(EntitySearchTest, EntitiesOfABranchAndOfTheSameBranch)
{
    const auto ofBranch = [this](qint32 branch, bool mainOnly) {
        return collect([&](const EntitySearch::ItemSink &sink) { return m_search->branchEntities(branch, mainOnly, sink); });
    };
    EXPECT_EQ(ofBranch(kBranchA, false).texts, (QStringList{"Cihelna Qx a.s. 11111111", "Chata Qx, v.o.s. 22222222"}));
    EXPECT_EQ(ofBranch(kBranchA, true).ids, QList<qint32>{900001});
    EXPECT_EQ(ofBranch(kBranchB, false).ids, (QList<qint32>{900001, 900002}));
    // A deleted branch row lists nobody through it.
    EXPECT_EQ(ofBranch(kBranchGone, false).ids, QList<qint32>{-7});

    const auto sameBranch = [this](qint32 entity) {
        return collect([&](const EntitySearch::ItemSink &sink) { return m_search->sameBranchEntities(entity, sink); });
    };
    EXPECT_EQ(sameBranch(900002).ids, (QList<qint32>{900001, 900002}));
    // Chata's deleted main branch does not tie it to Novákova.
    EXPECT_EQ(sameBranch(900003).ids, (QList<qint32>{900001, 900003}));
    EXPECT_TRUE(sameBranch(900004).ids.isEmpty());

    EXPECT_EQ(m_search->mainBranch(900001).value, kBranchA);
    EXPECT_EQ(m_search->mainBranch(900003).value, std::nullopt);
    EXPECT_EQ(m_search->mainBranch(900004).value, std::nullopt);
}

TEST_P(EntitySearchTest, StopEndsTheListingAfterTheCurrentRow)
{
    int asked = 0;
    m_search->setStopCheck([&asked] { return ++asked >= 2; });
    const Lines found = byName(QStringLiteral("%qx"));
    EXPECT_TRUE(found.listing.stopped);
    EXPECT_EQ(found.listing.count, 2);
    EXPECT_EQ(found.texts, kQxInCzechOrder.mid(0, 2));
}

VERNA_ALL_BACKENDS(EntitySearchTest);

TEST(EntitySearchSql, TextsAsTheServerTakesThem)
{
    EXPECT_EQ(searchSql::byName(NameQuery{QStringLiteral("x"), QStringLiteral("123"), {1112, 1121}}),
              QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)), n.subj_id FROM ident i, name n "
                             "WHERE i.subj_id = n.subj_id AND i.inac_ind = 0 AND n.inac_ind = 0 "
                             "AND i.form_type_cd IN(1112,1121) AND i.ident_txt LIKE '00000123' AND i.inac_ind = 0 ORDER BY 2"));
    EXPECT_TRUE(searchSql::byName(NameQuery{QStringLiteral("%o'v_a[1]%x"), {}, {1112}})
                    .contains(QStringLiteral("AND i.form_type_cd = 1112 AND n.srch_name_txt LIKE '%ova[[]1]%x%' ")));
    EXPECT_EQ(searchSql::branches(BranchQuery{QStringLiteral("0_"), QStringLiteral("zem'"), {217}}),
              QStringLiteral("SELECT RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE tbl_cd  = 217 "
                             "AND inac_ind = 0 AND short_txt LIKE '0[_]%' AND value_txt LIKE 'Zem''%' ORDER BY seq_nbr"));
    EXPECT_EQ(searchSql::branchEntities(3029, true),
              QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(n.name_txt)), RTRIM(LTRIM(i.ident_txt)), n.subj_id FROM name n, ident i, actv a "
                             "WHERE n.subj_id = i.subj_id AND n.subj_id = a.subj_id AND n.inac_ind = 0 "
                             "AND i.inac_ind = 0 AND a.inac_ind = 0 AND actv_cd = 3029 AND actv_nbr = 1 ORDER BY 1"));
}

#include "base/textforms.h"
#include "db/preparedquery.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"
#include "entities/entitysearch.h"
#include "shell/demodata.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::entities;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

// Branch codes of the fixture, kept apart from the delivered OKEČ codes the demo uses.
constexpr qint32 kBranchA = 99001;
constexpr qint32 kBranchB = 99002;
constexpr qint32 kBranchGone = 99004;
constexpr int kAs = 1121;  // Akciová společnost
constexpr int kSro = 1112; // Společnost s ručením omezeným
constexpr int kVos = 1111; // Veřejná obchodní společnost

class EntitySearchTest : public ReferenceTest
{
protected:
    void prepare() override
    {
        ASSERT_TRUE(shell::generateDemoData(db(), {.entities = 8, .firstYear = 1998, .lastYear = 1998, .firstQuarter = 4, .lastQuarter = 4}).ok)
            << db().lastError().toStdString();

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
        // First letters the Czech order places apart from their folded keys.
        addEntity(900009, "99999991", "Ærø Yv", kAs);
        addEntity(900010, "99999992", "Łan Yv", kAs);
        addEntity(900011, "99999993", "Ábel Yv", kAs);

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

    static QString key(const char *table) { return u"(SELECT (min(row_id)-1) FROM %1)"_s.arg(QLatin1String(table)); }

    void addCode(int list, qint32 code, const char *shortText, const char *value, int seq)
    {
        run(u"INSERT INTO cd_val VALUES(%1,getdate(),0,%2,%3,%4,%5,%6)"_s
                .arg(key("cd_val"), QString::number(list), QString::number(code), db::quoted(QString::fromUtf8(shortText)),
                     db::quoted(QString::fromUtf8(value)), QString::number(seq)));
    }

    void addEntity(qint32 id, const char *ico, const char *name, int form)
    {
        const QString n = QString::fromUtf8(name);
        run(u"INSERT INTO ident VALUES(%1,getdate(),0,%2,23,%3,null,0,null,0,%4)\r"
            "INSERT INTO name VALUES(%5,getdate(),0,%2,22,%6,null,0,null,0,%7)"_s
                .arg(key("ident"), QString::number(id), db::quoted(QString::fromUtf8(ico)), QString::number(form), key("name"),
                     db::quoted(n), db::quoted(base::searchForm(n))));
    }

    void addBranch(qint32 id, qint32 branch, int number, int state = 0)
    {
        run(u"INSERT INTO actv VALUES(%1,getdate(),%2,%3,%4,%5)"_s.arg(key("actv")).arg(state).arg(id).arg(branch).arg(number));
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

// Branches come from the branch lists only; apostrophes match and "%" is a wildcard. A branch
// lists its entities, and an entity those sharing a branch with it.
TEST_P(EntitySearchTest, BranchesAndNamesAreFoundInCzechOrderNarrowedByListsAndFormsAndTakenLiterally)
{
    // No list selected: every list of 216, never another code list.
    const Lines found = branches(u"ZZ"_s, {});
    EXPECT_EQ(found.texts, (QStringList{"ZZ1 50% podíl 'Qx'", "ZZ2 500 Qx", "ZZ4 Qx NACE"}));
    EXPECT_EQ(found.ids, (QList<qint32>{kBranchA, kBranchB, kBranchGone}));
    EXPECT_EQ(branches(u"zz"_s, {}, {217}).ids, (QList<qint32>{kBranchA, kBranchB}));
    EXPECT_EQ(branches(u"ZZ"_s, {}, {217, 218}).ids.size(), 3);
    EXPECT_EQ(branches(u"ZZ"_s, {}, {218}).ids, QList<qint32>{kBranchGone});

    EXPECT_EQ(branches({}, u"50%"_s).ids, (QList<qint32>{kBranchA, kBranchB}));
    EXPECT_EQ(branches({}, u"50% podíl 'Qx'"_s).ids, QList<qint32>{kBranchA});
    EXPECT_EQ(branches({}, u"qx n"_s).ids, QList<qint32>{kBranchGone});
    // A leading "%" searches anywhere in the name, with no first-letter filter.
    EXPECT_EQ(branches(u"ZZ"_s, u"%nace"_s).ids, QList<qint32>{kBranchGone});
    EXPECT_TRUE(branches(u"Z_"_s, {}).ids.isEmpty());
    EXPECT_TRUE(branches(u"Z[Z]"_s, {}).ids.isEmpty());
    for (const QString &hostile : {u"'; DROP TABLE cd_val --"_s, u"' OR ''='"_s}) {
        EXPECT_TRUE(branches(hostile, {}).ids.isEmpty());
        EXPECT_TRUE(branches({}, hostile).ids.isEmpty());
    }
    // The delivered branches are still there to be found.
    EXPECT_FALSE(branches(u"01"_s, u"zem"_s).ids.isEmpty());

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

    // An entity of other first letters listed by its branch once, though its name is stored twice.
    addBranch(900009, kBranchB, 2);
    run(u"INSERT INTO name VALUES(%1,getdate(),0,900009,22,%2,null,0,null,0,%3)"_s.arg(key("name"), db::quoted(u"Ærø Yv"_s),
                                                                                         db::quoted(base::searchForm(u"Ærø Yv"_s))));
    EXPECT_EQ(ofBranch(kBranchB, false).ids, (QList<qint32>{900009, 900001, 900002}));

    EXPECT_EQ(m_search->mainBranch(900001).value, kBranchA);
    EXPECT_TRUE(!m_search->mainBranch(900003).value && !m_search->mainBranch(900004).value);

    // Names are found in Czech order, trimmed and case-insensitively; legal forms narrow the search; a typed "%"
    // is a wildcard and other metacharacters match themselves; Stop ends the listing.
    const Lines qx = byName(u"%qx"_s);
    EXPECT_EQ(qx.texts, kQxInCzechOrder);
    EXPECT_EQ(qx.ids, (QList<qint32>{900001, 900002, 900004, 900003, -7, -8}));

    for (const QString &typed : {u"čep"_s, u"  ČEPICE Q  "_s, u"Čepice-Qx"_s})
        EXPECT_EQ(byName(typed).texts, QStringList{"00000123 Čepice Qx s.r.o."}) << typed.toStdString();
    // Only names starting with the typed letter: "ch" is not "c" followed by anything.
    EXPECT_EQ(byName(u"chata"_s).texts, QStringList{"22222222 Chata Qx, v.o.s."});

    // A typed IČO is padded and matched literally; a name starting otherwise must not filter it away.
    EXPECT_EQ(byName(u"Hora"_s, u"123"_s).texts, QStringList{"00000123 Čepice Qx s.r.o."});
    EXPECT_EQ(byName({}, u" 123 "_s).ids, QList<qint32>{900002});
    EXPECT_TRUE(byName({}, u"1111111_"_s).texts.isEmpty());
    EXPECT_TRUE(byName({}, u"1%"_s).texts.isEmpty());

    EXPECT_EQ(byName(u"%Qx"_s, {}, {kSro}).ids, (QList<qint32>{900002, 900004, -7}));
    EXPECT_EQ(byName(u"%Qx"_s, {}, {kAs, kVos}).ids, (QList<qint32>{900001, 900003}));

    // With forms selected and no name, every entity of the forms; with neither, every entity.
    const Lines companies = byName({}, {}, {kAs});
    EXPECT_TRUE(companies.ids.contains(900001) && companies.ids.contains(900008) && !companies.ids.contains(900002));
    const int all = db().singleValue(u"SELECT count(*) FROM ident i, name n WHERE i.subj_id = n.subj_id"_s).toInt();
    EXPECT_EQ(byName({}).ids.size(), all);
    // Every entity comes in the order the database sorts names in, though rows stream as they are read.
    QList<qint32> sorted;
    for (const QStringList &row : db().queryRows(searchSql::byName(NameQuery{})).rows)
        sorted << row.value(2).toInt();
    EXPECT_EQ(byName({}).ids, sorted);

    // Narrowed by a prefix or by trigrams, the rows still come in name order.
    for (const QString &typed : {u"s"_s, u"%ova"_s, u"%qxs"_s, u"%str"_s}) {
        QStringList names;
        const Lines found = byName(typed);
        for (const QString &line : found.texts)
            names << (line.startsWith(EntitySearch::kOwnMark) ? line.mid(2) : line).section(u' ', 1);
        EXPECT_GE(names.size(), 2) << typed.toStdString();
        for (qsizetype i = 1; i < names.size(); ++i)
            EXPECT_LE(db::compareText(names.at(i - 1), names.at(i)), 0) << typed.toStdString() << ": " << names.join(u" | "_s).toStdString();
    }

    EXPECT_EQ(byName(u"100%Wz"_s).ids, (QList<qint32>{900005, 900006}));
    EXPECT_EQ(byName(u"Cih%Qx"_s).ids, QList<qint32>{900001});
    EXPECT_TRUE(byName(u"Str%Lhota"_s).ids.contains(3366));
    EXPECT_TRUE(byName(u"Cih_lna"_s).ids.isEmpty());
    EXPECT_EQ(byName(u"O'Brien"_s).ids, QList<qint32>{900007});
    EXPECT_EQ(byName(u"[Wz]"_s).ids, QList<qint32>{900008});
    EXPECT_EQ(byName(u"%[wz] l"_s).ids, QList<qint32>{900008});

    for (const QString &hostile : {u"'; DROP TABLE name --"_s, u"x' OR '1'='1"_s, u"'"_s, u"%' OR 1=1 --"_s}) {
        EXPECT_TRUE(byName(hostile).ids.isEmpty()) << hostile.toStdString();
        EXPECT_TRUE(byName({}, hostile).ids.isEmpty()) << hostile.toStdString();
    }
    // A typed "%1" is text, not a place in the statement for the next value.
    addEntity(900012, "99999994", "Klub 1FC", kSro);
    EXPECT_EQ(byName(u"%1fc"_s).ids, QList<qint32>{900012});
    EXPECT_EQ(byName(u"%qx"_s).ids.size(), 6);

    // Stop ends the listing after the current row.
    int asked = 0;
    m_search->setStopCheck([&asked] { return ++asked >= 2; });
    const Lines stopped = byName(u"%qx"_s);
    EXPECT_TRUE(stopped.listing.stopped && stopped.listing.count == 2);
    EXPECT_EQ(stopped.texts, kQxInCzechOrder.mid(0, 2));
}

// A listing longer than the first batch a server hands: another call in the middle, a prepared read
// too, reads it to its end first and changes nothing in it; Stop leaves the connection free; a
// failure mid-listing is reported, never shown as the whole list.
TEST_P(EntitySearchTest, ListingsSurviveOtherCallsStopAndFailuresMidway)
{
    for (int i = 0; i < 60; ++i)
        addEntity(910000 + i, QByteArray::number(12000000 + i).constData(), QByteArray("Mlýn Vz ").append(QByteArray::number(i)).constData(), kSro);
    const Lines all = byName({});
    ASSERT_GT(all.ids.size(), 70);

    int row = 0;
    const Lines disturbed = collect([&](const EntitySearch::ItemSink &sink) {
        return m_search->byName(NameQuery{}, [&](const ListItem &item, int count) {
            sink(item, count);
            if (++row == 10) {
                // A read of another window runs outside the listing's transaction, where its failure
                // could end the listing with it.
                if (db().backend() == db::Backend::PostgreSQL) {
                    qint64 cursors = -1;
                    ASSERT_TRUE(db::queryPrepared(db(), u"SELECT count(*) FROM pg_cursors"_s, {},
                                                  [&cursors](const db::PreparedRow &r) { cursors = r.integer(0); }));
                    EXPECT_EQ(cursors, 0);
                }
                addCode(217, 99005, "ZZ5", "Vložený mezi řádky", 9005);
                EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM cd_val WHERE val_agn = 99005"_s), u"1"_s);
            }
        });
    });
    EXPECT_EQ(disturbed.ids, all.ids);

    int asked = 0;
    m_search->setStopCheck([&asked] { return ++asked >= 5; });
    const Listing stopped = m_search->byName(NameQuery{}, {});
    EXPECT_TRUE(stopped.stopped && stopped.ok());
    m_search->setStopCheck({});
    if (db().backend() == db::Backend::PostgreSQL) {
        EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM pg_cursors"_s), u"0"_s);
    }
    addCode(217, 99006, "ZZ6", "Po zastavení", 9006);
    EXPECT_EQ(byName({}).ids, all.ids);

    // The last statement of the listing fails (on a server, a later batch of it).
    const int statements = db().statementsRunForTesting();
    byName({});
    db().failStatementForTesting(db().statementsRunForTesting() - statements);
    const Listing broken = m_search->byName(NameQuery{}, {});
    EXPECT_FALSE(broken.ok());
    EXPECT_LT(broken.count, all.ids.size());
}

VERNA_ALL_BACKENDS(EntitySearchTest);

TEST(EntitySearchSql, TextsAsTheServerTakesThem)
{
    // Three typed letters pick the names by their start on PostgreSQL; a letter past U+FFFF is one.
    EXPECT_TRUE(searchSql::byNameFolded(NameQuery{u"žab"_s, {}, {}}, db::Backend::PostgreSQL).contains(u"left("_s));
    EXPECT_FALSE(searchSql::byNameFolded(NameQuery{u"ž\U0001F600"_s, {}, {}}, db::Backend::PostgreSQL).contains(u"left("_s));
    EXPECT_EQ(searchSql::byName(NameQuery{u"x"_s, u"123"_s, {1112, 1121}}),
              QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)), n.subj_id FROM ident i, name n "
                             "WHERE i.subj_id = n.subj_id AND i.inac_ind = 0 AND n.inac_ind = 0 "
                             "AND i.form_type_cd IN(1112,1121) AND i.ident_txt LIKE '00000123' AND i.inac_ind = 0 ORDER BY 2"));
    EXPECT_TRUE(searchSql::byName(NameQuery{u"%o'v_a[1]%x"_s, {}, {1112}})
                    .contains(u"AND i.form_type_cd = 1112 AND n.srch_name_txt LIKE '%ova[[]1]%x%' "_s));
    EXPECT_EQ(searchSql::branches(BranchQuery{u"0_"_s, u"zem'"_s, {217}}),
              QStringLiteral("SELECT RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE tbl_cd  = 217 "
                             "AND inac_ind = 0 AND short_txt LIKE '0[_]%' AND value_txt LIKE 'Zem''%' ORDER BY seq_nbr"));
    EXPECT_EQ(searchSql::branchEntities(3029, true),
              QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(n.name_txt)), RTRIM(LTRIM(i.ident_txt)), n.subj_id FROM name n, ident i, actv a "
                             "WHERE n.subj_id = i.subj_id AND n.subj_id = a.subj_id AND n.inac_ind = 0 "
                             "AND i.inac_ind = 0 AND a.inac_ind = 0 AND actv_cd = 3029 AND actv_nbr = 1 ORDER BY 1"));
}

// The stored order key sorts names as the collation does once equal keys are put in collation
// order: blanks, signs, digits, the letters Czech places apart ("ch", "č", "ł"), accents and case.
TEST(EntitySearchSql, NameOrderKeyFollowsTheCollation)
{
    const QString alphabet = u"aAbcCčČdhHiílłLrřsšSzžZ0 9-.,&'(_Ææ–„\u00a0"_s;
    QStringList names;
    quint32 seed = 7;
    for (int n = 0; n < 3000; ++n) {
        QString name;
        for (int length = 1 + n % 6; length > 0; --length) {
            seed = seed * 1103515245u + 12345u;
            name += alphabet.at((seed >> 16) % alphabet.size());
        }
        names << name.trimmed();
    }
    names << u"Ch"_s << u"cH"_s << u"h"_s << u"hz"_s << u"i"_s << u"c z"_s << u"cz"_s << u"č"_s << u"Łan"_s << u"lz"_s << u"m"_s;
    QStringList byKey = names;
    std::stable_sort(byKey.begin(), byKey.end(), [](const QString &a, const QString &b) {
        const QString ka = db::nameOrderKey(a), kb = db::nameOrderKey(b);
        const bool oa = ka.startsWith(u'\x01'), ob = kb.startsWith(u'\x01');
        if (oa || ob || ka == kb)
            return db::compareText(a, b) < 0;
        return ka < kb;
    });
    QStringList byCollation = names;
    std::stable_sort(byCollation.begin(), byCollation.end(), [](const QString &a, const QString &b) { return db::compareText(a, b) < 0; });
    for (qsizetype i = 0; i < names.size(); ++i)
        ASSERT_EQ(db::compareText(byKey.at(i), byCollation.at(i)), 0) << i << " " << byKey.at(i).toStdString() << " / " << byCollation.at(i).toStdString();
}

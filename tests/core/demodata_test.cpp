#include "shell/demodata.h"
#include "statements/sumrules.h"
#include "support/testdatabase.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <set>

using namespace verna;
using namespace verna::shell;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

using DemoDataTest = ReferenceTest;
const DemoOptions kSmallRun = {.entities = 24, .seed = 5, .firstYear = 1998, .lastYear = 1999, .firstQuarter = 3, .lastQuarter = 2};

// Every column but the creation time, with the type the driver gives it, in key order: equal
// dumps mean equal databases.
QStringList dump(db::Database &db)
{
    QStringList out;
    for (const char *table : {"subj", "ident", "name", "actv", "mem", "text", "finl_stmt", "finl_item"}) {
        const auto rows = db.queryNative(u"SELECT * FROM "_s + QLatin1String(table) + u" ORDER BY row_id"_s);
        EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
        for (const QVariantList &row : rows.value) {
            QStringList fields;
            for (qsizetype c = 0; c < row.size(); ++c) {
                if (c != 1) // crt_dt
                    fields << QString::fromLatin1(row[c].typeName()) + u':' + row[c].toString();
            }
            out << fields.join(u'|');
        }
    }
    return out;
}

QString digest(const QStringList &dump)
{
    return QString::fromLatin1(QCryptographicHash::hash(dump.join(u'\n').toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

TEST(DemoData, IcoCheckDigit)
{
    // Remainder 0 gives 1 (25596641), remainder 1 gives 0 (68407700).
    for (const char *ico : {"27074358", "25596641", "68407700"})
        EXPECT_TRUE(isValidIco(QString::fromLatin1(ico))) << ico;
    for (const char *ico : {"27074359", "2707435", "2707435a"})
        EXPECT_FALSE(isValidIco(QString::fromLatin1(ico))) << ico;
}

TEST_P(DemoDataTest, GeneratedStatementsPassEverySumRuleEntitiesLookRealAndTheSameSeedGivesTheSameData)
{
    const DemoOptions options = kSmallRun;
    db().useWriteAheadLog();
    ASSERT_TRUE(generateDemoData(db(), options).ok) << db().lastError().toStdString();
    EXPECT_EQ(statementsWithoutTheirPack(db()), u"0"_s);
    // The write-ahead log is emptied into the file afterwards, not left as large as the data.
    if (GetParam() == TestBackend::SQLite) {
        EXPECT_EQ(QFileInfo(db().location().path + u"-wal"_s).size(), 0);
    }
    const Result<statements::SumRules> rules = statements::SumRules::load(db());
    ASSERT_TRUE(rules.ok()) << rules.error.toStdString();
    std::map<int, std::pair<int, int>> kinds; // statement id -> (type, form)
    for (const QStringList &r : db().queryRows(u"SELECT finl_stmt_id, stmt_type_cd, fill_lvl_ind FROM finl_stmt"_s).rows)
        kinds[r[0].toInt()] = {r[1].toInt(), r[2].toInt()};
    ASSERT_GT(kinds.size(), 100u);
    std::map<int, QHash<int, statements::Amount>> amounts;
    for (const QStringList &r : db().queryRows(u"SELECT finl_stmt_id, item_type_cd, amt_val FROM finl_item"_s).rows)
        amounts[r[0].toInt()].insert(r[1].toInt(), statements::Amount::parse(r[2]).value);
    for (const auto &[stmt, kind] : kinds) {
        EXPECT_GE(amounts[stmt].size(), 23) << "statement " << stmt;
        for (const statements::RuleFailure &failure : rules.value.check(kind.first, kind.second, amounts[stmt]))
            ADD_FAILURE() << "statement " << stmt << ": " << failure.message().toStdString();
    }

    const QStringList first = dump(db());
    // The rows a seed gives never change, however they are written.
    EXPECT_EQ(digest(first).toStdString(), GetParam() == TestBackend::SQLite ? "6d390077290eea2f" : "19ba16f684f3822b");
    // A second run of the same seed says so and adds nothing.
    const Outcome again = generateDemoData(db(), options);
    EXPECT_TRUE(!again.ok && again.error.contains(u"semínkem 5 už v databázi"_s)) << again.error.toStdString();
    EXPECT_EQ(dump(db()), first);

    const auto companies = db().queryRows(u"SELECT RTRIM(LTRIM(i.ident_txt)), n.name_txt, n.srch_name_txt FROM ident i, name n "
                                           "WHERE i.subj_id = n.subj_id AND i.form_type_cd <> 215 AND i.subj_id <> 3366"_s);
    ASSERT_EQ(companies.rows.size(), options.entities);
    for (const QStringList &c : companies.rows) {
        EXPECT_TRUE(isValidIco(c[0])) << c[0].toStdString();
        EXPECT_FALSE(c[1].isEmpty());
    }
    EXPECT_EQ(db().singleValue(u"SELECT count(DISTINCT ident_txt) FROM ident WHERE form_type_cd <> 215"_s),
              QString::number(options.entities + 1));
    // Every company has a main branch; groups have members; some companies have notes.
    EXPECT_EQ(db().singleValue(u"SELECT count(DISTINCT subj_id) FROM actv WHERE actv_nbr = 1"_s), QString::number(options.entities + 1));
    EXPECT_NE(db().singleValue(u"SELECT count(*) FROM mem m, ident i WHERE m.subj_id = i.subj_id AND i.form_type_cd = 215"_s), u"0"_s);
    EXPECT_NE(db().singleValue(u"SELECT count(*) FROM subj WHERE text_id IS NOT NULL"_s), u"0"_s);
    // Statements lie within the asked periods: from Q3 1998 to Q2 1999.
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM finl_stmt WHERE subj_id <> 3366 AND "
                                "((year_dt = 1998 AND quarter_dt < 3) OR (year_dt = 1999 AND quarter_dt > 2) OR year_dt NOT IN (1998, 1999))"_s),
              u"0"_s);

    // The same seed elsewhere gives the same data, another seed other data.
    for (const quint32 seed : {5u, 6u}) {
        DemoOptions again = options;
        again.seed = seed;
        TestDatabase elsewhere(GetParam());
        ASSERT_TRUE(elsewhere.open() && elsewhere.createSchema(true)) << elsewhere.error().toStdString();
        ASSERT_TRUE(generateDemoData(elsewhere.db(), again).ok);
        EXPECT_EQ(dump(elsewhere.db()) == first, seed == options.seed) << seed;
    }
}

// The first start's demo lets a company be compared with its branch: a few branches hold enough
// companies in every period that matters, and the branches' statements differ as real ones do.
TEST_P(DemoDataTest, FirstStartDemoHasLargeBranchesThatDifferAndSpread)
{
    if (GetParam() != TestBackend::SQLite)
        GTEST_SKIP() << "the first start makes an embedded file";
    ASSERT_TRUE(generateDemoData(db(), DemoOptions()).ok) << db().lastError().toStdString();

    std::map<int, int> largePeriods; // division -> periods in which it has 30 companies with statements
    const auto counts = db().queryRows(u"SELECT a.actv_cd, count(DISTINCT s.subj_id) FROM actv a, finl_stmt s "
                                        "WHERE a.subj_id = s.subj_id AND a.actv_nbr = 1 AND s.stmt_type_cd = 27 "
                                        "AND (s.year_dt >= 1998 OR (s.year_dt = 1996 AND s.quarter_dt = 4)) "
                                        "GROUP BY s.year_dt, s.quarter_dt, a.actv_cd"_s);
    ASSERT_TRUE(counts.ok()) << counts.error.toStdString();
    for (const QStringList &row : counts.rows)
        largePeriods[row[0].toInt()] += row[1].toInt() >= 30;
    std::set<int> large;
    for (const auto &[division, periods] : largePeriods) {
        if (periods == 9) // 1996/4 and the eight quarters of 1998 and 1999
            large.insert(division);
    }
    EXPECT_TRUE(large.count(3029)) << "the reference company's division";
    EXPECT_GE(large.size(), 4u);
    EXPECT_LE(large.size(), 6u);

    // Per company of a division in 1998/4: inventories and debts per assets, and the year's result.
    struct Figures {
        std::vector<double> inventories, debts, results;
    };
    std::map<int, Figures> byDivision;
    const auto items = db().queryRows(u"SELECT a.actv_cd, s.subj_id, i.item_type_cd, i.amt_val FROM actv a, finl_stmt s, finl_item i "
                                       "WHERE a.subj_id = s.subj_id AND a.actv_nbr = 1 AND s.finl_stmt_id = i.finl_stmt_id "
                                       "AND s.year_dt = 1998 AND s.quarter_dt = 4 AND i.item_type_cd IN (90, 92, 120, 170)"_s);
    ASSERT_TRUE(items.ok()) << items.error.toStdString();
    std::map<std::pair<int, int>, std::map<int, double>> companies;
    for (const QStringList &row : items.rows)
        companies[{row[0].toInt(), row[1].toInt()}][row[2].toInt()] = row[3].toDouble();
    for (auto &[key, lines] : companies) {
        Figures &f = byDivision[key.first];
        f.inventories.push_back(lines[120] / lines[92]);
        f.debts.push_back(lines[170] / lines[92]);
        f.results.push_back(lines[90] / lines[92]);
    }
    const auto quantile = [](std::vector<double> values, double q) {
        std::sort(values.begin(), values.end());
        return values.at(static_cast<size_t>(q * (values.size() - 1)));
    };
    const Figures &machinery = byDivision[3029];
    const Figures &construction = byDivision[3045];
    const Figures &wholesale = byDivision[3051];
    EXPECT_GT(quantile(machinery.inventories, 0.5), 2 * quantile(construction.inventories, 0.5));
    EXPECT_GT(quantile(wholesale.debts, 0.5), quantile(machinery.debts, 0.5) + 0.1);
    // Within a branch: most companies earn, a few lose, and returns spread.
    const auto losses = std::count_if(machinery.results.begin(), machinery.results.end(), [](double r) { return r < 0; });
    EXPECT_GE(losses, 1);
    EXPECT_LE(losses, static_cast<long>(machinery.results.size() / 4));
    EXPECT_GT(quantile(machinery.results, 0.75) - quantile(machinery.results, 0.25), 0.03);
}

VERNA_ALL_BACKENDS(DemoDataTest);

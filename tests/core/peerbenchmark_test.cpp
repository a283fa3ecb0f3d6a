#include "analysis/analysisdata.h"
#include "analysis/evaluatorsource.h"
#include "analysis/peerbenchmark.h"
#include "indicators/evaluator.h"
#include "shell/demodata.h"
#include "support/testdatabase.h"

#include <algorithm>
#include <cmath>

using namespace verna;
using namespace verna::analysis;
using namespace verna::test;
using namespace Qt::StringLiterals;

TEST(PeerStats, QuantilesRanksAndZonesOnAHandWorkedCaseWithTiesAndEmptyValues)
{
    // Six values with a tie; the empty texts are peers without a value.
    const QStringList peers = {u"10"_s, u""_s, u"2"_s, u"1"_s, u"2"_s, u""_s, u"7"_s, u"4"_s};
    const PeerFigures f = figuresOf(5, u"2"_s, peers);
    EXPECT_EQ(f.n, 6);
    ASSERT_TRUE(f.hasFigures);
    // Sorted 1 2 2 4 7 10; h = 5p.
    EXPECT_DOUBLE_EQ(f.d1, 1.5);
    EXPECT_DOUBLE_EQ(f.q1, 2);
    EXPECT_DOUBLE_EQ(f.median, 3);
    EXPECT_DOUBLE_EQ(f.q3, 6.25);
    EXPECT_DOUBLE_EQ(f.d9, 8.5);
    ASSERT_TRUE(f.rank.has_value());
    EXPECT_DOUBLE_EQ(*f.rank, 100.0 * 2 / 6); // one below, two ties counted half
    EXPECT_EQ(f.zone, Zone::Middle);           // equal to Q1 is inside
    EXPECT_EQ(f.value, u"2"_s);

    EXPECT_EQ(figuresOf(5, u"6.3"_s, peers).zone, Zone::Above);
    EXPECT_EQ(figuresOf(5, u"1.99"_s, peers).zone, Zone::Below);
    const PeerFigures none = figuresOf(5, u""_s, peers);
    EXPECT_TRUE(none.hasFigures);
    EXPECT_FALSE(none.rank.has_value());
    EXPECT_EQ(none.zone, Zone::None);

    const PeerFigures few = figuresOf(5, u"1"_s, {u"1"_s, u""_s, u"3"_s, u"3"_s, u"8"_s});
    EXPECT_FALSE(few.hasFigures);
    EXPECT_EQ(few.n, 4);
    EXPECT_EQ(few.reason, u"málo srovnatelných podniků: 4"_s);
    EXPECT_FALSE(few.rank.has_value());

    using indicators::Direction;
    EXPECT_EQ(zoneMeaning(Zone::Above, Direction::HigherBetter), ZoneMeaning::Good);
    EXPECT_EQ(zoneMeaning(Zone::Below, Direction::HigherBetter), ZoneMeaning::Bad);
    EXPECT_EQ(zoneMeaning(Zone::Below, Direction::LowerBetter), ZoneMeaning::Good);
    EXPECT_EQ(zoneMeaning(Zone::Above, Direction::LowerBetter), ZoneMeaning::Bad);
    EXPECT_EQ(zoneMeaning(Zone::Above, Direction::TargetRange), ZoneMeaning::Neutral);
    EXPECT_EQ(zoneMeaning(Zone::Middle, Direction::HigherBetter), ZoneMeaning::Neutral);

    EXPECT_EQ(PeerChoice::parse(u"skupina:-12"_s), (PeerChoice{PeerChoice::Kind::Group, -12}));
    EXPECT_EQ(PeerChoice::parse(u"sekce"_s)->toString(), u"sekce"_s);
    EXPECT_FALSE(PeerChoice::parse(u"skupina:1;DROP"_s).has_value());
}

namespace {

constexpr int kMarginShare = 30;
constexpr qint32 kReference = 3366; // the reference company, main branch 29

// Twelve companies of 1998, their main branches set by the test: six more in division 29
// (section D), two in division 28 and one in 15 (also D), two in 01 (section A), one with none.
class PeerBenchmarkTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    void prepare() override
    {
        shell::DemoOptions demo;
        demo.entities = 12;
        demo.seed = 5;
        demo.firstYear = 1998;
        demo.lastYear = 1998;
        ASSERT_TRUE(shell::generateDemoData(db(), demo).ok);
        for (const QStringList &row :
             db().queryRows(u"SELECT subj_id FROM ident WHERE form_type_cd <> 215 AND subj_id <> 3366 ORDER BY subj_id"_s).rows)
            m_companies << row.front().toInt();
        ASSERT_EQ(m_companies.size(), 12);
        const int branches[] = {3029, 3029, 3029, 3029, 3029, 3029, 3028, 3028, 3015, 3001, 3001, 0};
        for (int i = 0; i < 12; ++i) {
            const QString sql = branches[i] ? u"UPDATE actv SET actv_cd = %1 WHERE actv_nbr = 1 AND subj_id = %2"_s.arg(branches[i])
                                            : u"UPDATE actv SET inac_ind = 1 WHERE actv_nbr = 1 AND subj_id = %2"_s;
            ASSERT_TRUE(db().execute(QString(sql).replace(u"%2"_s, QString::number(m_companies.at(i)))).ok);
        }
        m_source = std::make_unique<EvaluatorSource>(db());
        m_benchmark = std::make_unique<PeerBenchmark>(db(), *m_source);
    }

    QList<qint32> sorted(QList<qint32> ids)
    {
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    QList<qint32> m_companies;
    std::unique_ptr<EvaluatorSource> m_source;
    std::unique_ptr<PeerBenchmark> m_benchmark;
};

} // namespace

TEST_P(PeerBenchmarkTest, PeersAreTheDivisionTheSectionOrTheGroup)
{
    const QList<qint32> &c = m_companies;
    using Kind = PeerChoice::Kind;
    auto division = m_benchmark->peers(c.at(0), {Kind::Division});
    ASSERT_TRUE(division.ok()) << division.error.toStdString();
    EXPECT_EQ(division.value.entities, sorted(c.mid(0, 6) << kReference));
    EXPECT_EQ(division.value.description, u"oddíl 29 Výroba a opravy strojů a zařízení j. n."_s);

    auto section = m_benchmark->peers(c.at(6), {Kind::Section});
    ASSERT_TRUE(section.ok());
    EXPECT_EQ(section.value.entities, sorted(c.mid(0, 9) << kReference));
    EXPECT_EQ(section.value.description, u"sekce D Zpracovatelský průmysl"_s);
    EXPECT_EQ(m_benchmark->peers(c.at(9), {Kind::Section}).value.entities, sorted(c.mid(9, 2)));

    // A group's members, and the company itself although it is not one of them.
    const qint32 group = db().readValue(u"SELECT subj_id FROM ident WHERE form_type_cd = 215"_s).value.toInt();
    const QList<qint32> members = AnalysisData(db()).groupMembers(group).value;
    ASSERT_FALSE(members.isEmpty());
    const auto outsider = std::find_if(c.begin(), c.end(), [&](qint32 id) { return !members.contains(id); });
    auto grouped = m_benchmark->peers(*outsider, {Kind::Group, group});
    ASSERT_TRUE(grouped.ok());
    EXPECT_EQ(grouped.value.entities, sorted(QList<qint32>(members) << *outsider));
    EXPECT_FALSE(m_benchmark->peers(c.at(0), {Kind::Group, c.at(1)}).ok()); // not a group

    EXPECT_EQ(m_benchmark->peers(c.at(0), {Kind::All}).value.entities, sorted(QList<qint32>(c) << kReference));

    const auto none = m_benchmark->peers(c.at(11), {Kind::Division});
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.value.entities.isEmpty());
    EXPECT_EQ(none.value.reason, u"Subjekt nemá přiřazen obor činnosti."_s);
}

// The oracle: the division's companies that have a statement in the period, each value by the
// per-cell evaluation; on PostgreSQL the quartiles by the server's percentile_cont as well.
TEST_P(PeerBenchmarkTest, FiguresAreTheStatisticsOfThePeersValuesAsTheAnalysisHasThem)
{
    AnalysisData data(db());
    const QList<RowKey> periods = data.rowPeriods(QList<qint32>{m_companies.at(0)}, 1998, 1998).value;
    ASSERT_EQ(periods.size(), 4) << "the first company has every quarter of 1998";
    const QList<int> ids = {1, kMarginShare};
    QList<RowKey> rows = periods;
    rows << RowKey{1998, 4, m_companies.at(6)} << RowKey{1998, 4, m_companies.at(11)};
    const auto computed = m_benchmark->compute(rows, ids, {});
    ASSERT_TRUE(computed.ok()) << computed.error.toStdString();
    ASSERT_EQ(computed.value.size(), rows.size());

    const QList<qint32> division = sorted(m_companies.mid(0, 6) << kReference);
    indicators::Evaluator evaluator(db());
    for (int r = 0; r < periods.size(); ++r) {
        const PeerBenchmarkRow &row = computed.value.at(r);
        EXPECT_EQ(row.row, periods.at(r));
        const QList<RowKey> peerRows = data.rowPeriods(division, 1998, 1998).value;
        QList<RowKey> inPeriod;
        std::copy_if(peerRows.begin(), peerRows.end(), std::back_inserter(inPeriod),
                     [&](const RowKey &k) { return k.quarter == row.row.quarter; });
        EXPECT_EQ(row.peerCount, inPeriod.size());
        ASSERT_EQ(row.figures.size(), ids.size());
        for (int i = 0; i < ids.size(); ++i) {
            QStringList texts;
            for (const RowKey &k : inPeriod)
                texts << evaluator.indicatorValue(ids.at(i), k).value;
            const PeerFigures &f = row.figures.at(i);
            const PeerFigures expected = figuresOf(ids.at(i), evaluator.indicatorValue(ids.at(i), row.row).value, texts);
            SCOPED_TRACE(u"%1 %2"_s.arg(row.row.toString()).arg(ids.at(i)).toStdString());
            EXPECT_EQ(f.value, expected.value);
            EXPECT_EQ(f.n, expected.n);
            EXPECT_EQ(f.hasFigures, expected.hasFigures);
            EXPECT_EQ(f.rank, expected.rank);
            EXPECT_EQ(f.median, expected.median);
            if (GetParam() != TestBackend::PostgreSQL || !f.hasFigures)
                continue;
            QStringList values;
            for (const QString &t : texts) {
                if (!t.isEmpty())
                    values << u"(CAST('%1' AS float8))"_s.arg(t);
            }
            const auto server = db().queryNative(u"SELECT percentile_cont(ARRAY[0.1, 0.25, 0.5, 0.75, 0.9]) WITHIN GROUP (ORDER BY v)::text "
                                                 "FROM (VALUES %1) AS t(v)"_s.arg(values.join(u", "_s)));
            ASSERT_TRUE(server.ok()) << server.error.toStdString();
            const QStringList q = server.value.front().front().toString().remove(u'{').remove(u'}').split(u',');
            ASSERT_EQ(q.size(), 5);
            EXPECT_DOUBLE_EQ(f.d1, q.at(0).toDouble());
            EXPECT_DOUBLE_EQ(f.q1, q.at(1).toDouble());
            EXPECT_DOUBLE_EQ(f.median, q.at(2).toDouble());
            EXPECT_DOUBLE_EQ(f.q3, q.at(3).toDouble());
            EXPECT_DOUBLE_EQ(f.d9, q.at(4).toDouble());
        }
    }
    // Division 28 has two companies; the last company has no main branch.
    const PeerFigures few = computed.value.at(4).figures.front();
    EXPECT_FALSE(few.hasFigures);
    EXPECT_EQ(few.reason, u"málo srovnatelných podniků: %1"_s.arg(few.n));
    EXPECT_LE(few.n, 2);
    const PeerBenchmarkRow &lost = computed.value.at(5);
    EXPECT_EQ(lost.figures.front().reason, u"Subjekt nemá přiřazen obor činnosti."_s);
    EXPECT_FALSE(lost.figures.front().value.isEmpty());
}

TEST_P(PeerBenchmarkTest, AStatementChangedAfterwardsShowsAndAFailedReadIsAnError)
{
    const RowKey row{1998, 4, m_companies.at(0)};
    const auto before = m_benchmark->compute({row}, {1}, {PeerChoice::Kind::All});
    ASSERT_TRUE(before.ok());
    ASSERT_TRUE(before.value.front().figures.front().hasFigures);
    ASSERT_TRUE(db().execute(u"UPDATE finl_stmt SET inac_ind = 1 WHERE year_dt = 1998 AND quarter_dt = 4 AND subj_id = %1"_s
                                 .arg(m_companies.at(1))).ok);
    const auto after = m_benchmark->compute({row}, {1}, {PeerChoice::Kind::All});
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(after.value.front().peerCount, before.value.front().peerCount - 1);

    // Every read of the computation, failing in turn, fails all of it.
    db().failStatementForTesting(0);
    ASSERT_TRUE(m_benchmark->compute({row}, {1}, {}).ok());
    const int statements = db().statementsRunForTesting();
    ASSERT_GE(statements, 2);
    for (int n = 1; n <= statements; ++n) {
        db().failStatementForTesting(n);
        const auto failed = m_benchmark->compute({row}, {1}, {});
        db().failStatementForTesting(0);
        EXPECT_FALSE(failed.ok()) << n;
        EXPECT_TRUE(failed.value.isEmpty());
    }
    m_benchmark->setStopCheck([] { return true; });
    EXPECT_EQ(m_benchmark->compute({row}, {1}, {}).error, u"Výpočet byl přerušen."_s);
}

TEST_P(PeerBenchmarkTest, CommandLinePrintsTheCoresFigures)
{
    const QList<qint32> entities = {m_companies.at(0), m_companies.at(9), m_companies.at(11)};
    const QList<int> ids = {1, kMarginShare};
    const ToolRun run = vernaDb({u"benchmark"_s, u"--entities"_s, u"%1,%2,%3"_s.arg(entities.at(0)).arg(entities.at(1)).arg(entities.at(2)),
                                 u"--periods"_s, u"1998/4"_s, u"--indicators"_s, u"1,30"_s, u"--peers"_s, u"sekce"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.takeFirst(), u"entity,period,indicator,value,n,d1,q1,median,q3,d9,rank,reason"_s);

    QList<RowKey> rows;
    for (qint32 entity : entities)
        rows << RowKey{1998, 4, entity};
    const auto core = m_benchmark->compute(rows, ids, {PeerChoice::Kind::Section});
    ASSERT_TRUE(core.ok());
    ASSERT_EQ(lines.size(), rows.size() * ids.size());
    const auto near = [](const QString &printed, double value) { return std::abs(printed.toDouble() - value) <= 0.005; };
    for (int r = 0; r < rows.size(); ++r) {
        for (int i = 0; i < ids.size(); ++i) {
            const PeerFigures &f = core.value.at(r).figures.at(i);
            const QString line = lines.at(r * ids.size() + i);
            const QStringList fields = line.split(u',');
            ASSERT_EQ(fields.size(), 12) << line.toStdString();
            EXPECT_EQ(fields.mid(0, 3), (QStringList{QString::number(entities.at(r)), u"1998/4"_s, QString::number(ids.at(i))}));
            EXPECT_TRUE(near(fields.at(3), f.value.toDouble())) << line.toStdString();
            EXPECT_EQ(fields.at(4).toInt(), f.n);
            EXPECT_EQ(fields.at(11), f.reason);
            const double expected[] = {f.d1, f.q1, f.median, f.q3, f.d9, f.rank.value_or(0)};
            for (int k = 0; k < 6; ++k) {
                EXPECT_EQ(fields.at(5 + k).isEmpty(), !f.hasFigures) << line.toStdString();
                EXPECT_TRUE(!f.hasFigures || near(fields.at(5 + k), expected[k])) << line.toStdString();
            }
        }
    }
    EXPECT_TRUE(lines.last().endsWith(u",Subjekt nemá přiřazen obor činnosti."_s));
    EXPECT_EQ(vernaDb({u"benchmark"_s, u"--entities"_s, u"1"_s, u"--periods"_s, u"1998/4"_s, u"--indicators"_s, u"1"_s, u"--peers"_s, u"okec"_s}).exitCode, 2);
}

VERNA_ALL_BACKENDS(PeerBenchmarkTest);

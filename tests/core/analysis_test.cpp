#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/evaluatorsource.h"
#include "analysis/roedecomposition.h"
#include "analysis/tableexport.h"
#include "indicators/evaluator.h"
#include "shell/demodata.h"
#include "support/files.h"
#include "support/testdatabase.h"

#include <QProcess>
#include <numeric>
#include <QTemporaryDir>

using namespace verna;
using namespace verna::analysis;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int kMarginShare = 30; // obchodní marže / přidaná hodnota, 2.56 on the reference pair

class AnalysisTest : public ReferenceTest
{
protected:
    void prepare() override
    {
        ASSERT_TRUE(shell::generateDemoData(db(), {.entities = 8, .seed = 3, .firstYear = m_firstDemoYear, .lastYear = 1998}).ok);
        m_data = std::make_unique<AnalysisData>(db());
        m_source = std::make_unique<EvaluatorSource>(db());
        m_engine = std::make_unique<AnalysisEngine>(m_model, *m_data, *m_source);
    }

    QList<qint32> companies()
    {
        QList<qint32> ids;
        for (const QStringList &row : db().queryRows(u"SELECT subj_id FROM ident WHERE form_type_cd <> 215 AND subj_id <> 3366 ORDER BY subj_id"_s).rows)
            ids << row.front().toInt();
        return ids;
    }

    int m_firstDemoYear = 1998;
    AnalysisModel m_model;
    std::unique_ptr<AnalysisData> m_data;
    std::unique_ptr<EvaluatorSource> m_source;
    std::unique_ptr<AnalysisEngine> m_engine;
};

} // namespace

TEST_P(AnalysisTest, CellsHoldTheEvaluatorsValuesRoundedToTwoDecimals)
{
    EXPECT_EQ(m_engine->addEntityRows(3366).value, 1);
    ASSERT_TRUE(m_engine->addIndicator(kMarginShare, u"Marže"_s).ok);
    EXPECT_EQ(m_model.cell(0, 0), u"2.56"_s);

    const QList<qint32> ids = companies();
    ASSERT_GE(ids.size(), 8);
    for (qint32 id : ids.mid(0, 3))
        EXPECT_GT(m_engine->addEntityRows(id).value, 0);
    ASSERT_TRUE(m_engine->addIndicator(1, u"Běžná likvidita"_s).ok);
    ASSERT_TRUE(m_engine->addIndicator(10, u"ROA"_s).ok);
    indicators::Evaluator evaluator(db());
    for (int r = 0; r < m_model.dataRowCount(); ++r) {
        const RowKey key = m_model.rowKey(r);
        for (int c = 0; c < m_model.indicatorCount(); ++c) {
            const QString value = evaluator.indicatorValue(m_model.indicatorId(c), key).value;
            EXPECT_EQ(m_model.cell(r, c), formatValue(value, QLocale::c())) << key.toString().toStdString();
        }
    }
    // A row added later gets every column computed at once.
    const int before = m_model.dataRowCount();
    EXPECT_EQ(m_engine->addRow(RowKey{1998, 2, ids.at(5)}).value, 1);
    EXPECT_FALSE(m_model.cell(before, 2).isEmpty());
}

TEST_P(AnalysisTest, PeriodsOfAnEntityComeOnceAndCtrlDropTakesOnlyCompletePeriods)
{
    const qint32 entity = companies().front();
    const int years = m_engine->addYearRows(entity, 1998).value;
    EXPECT_EQ(m_engine->addYearRows(entity, 1998).value, 0);
    EXPECT_EQ(m_engine->addEntityRows(entity).value, 0);
    EXPECT_EQ(m_model.dataRowCount(), years);

    // An entity with only a balance sheet for 1998/2 is left out of a Ctrl-drop of that quarter.
    const qint32 other = companies().at(1);
    ASSERT_TRUE(db().execute(u"UPDATE finl_stmt SET inac_ind = 2 WHERE subj_id = %1 AND year_dt = 1998 "
                              "AND quarter_dt = 2 AND stmt_type_cd = 28"_s.arg(other)).ok);
    AnalysisModel fresh;
    AnalysisEngine engine(fresh, *m_data, *m_source);
    EXPECT_EQ(engine.addPeriodForEntities(1998, 2, {entity, other, 3366}).value, 1);
    EXPECT_EQ(fresh.rowKey(0), (RowKey{1998, 2, entity}));
    // A group's members are what the window adds for a group.
    const QString group = db().singleValue(u"SELECT min(subj_id) FROM ident WHERE form_type_cd = 215"_s);
    EXPECT_FALSE(m_data->groupMembers(group.toInt()).value.isEmpty());
}

TEST_P(AnalysisTest, AFailedReadIsAnErrorAndLeavesTheTableAsItWas)
{
    const QList<qint32> ids = companies();
    ASSERT_GT(m_engine->addYearRows(ids.at(0), 1998).value, 0);
    ASSERT_TRUE(m_engine->addIndicator(1, u"Běžná likvidita"_s).ok);
    const auto snapshot = [this] {
        QStringList cells;
        for (int r = 0; r < m_model.dataRowCount(); ++r)
            for (int c = 0; c < m_model.indicatorCount(); ++c)
                cells << m_model.rowKey(r).toString() + QLatin1Char('=') + m_model.cell(r, c);
        return cells;
    };
    const QStringList before = snapshot();

    // The statements table gone, as on a damaged or foreign database: errors, never empty cells.
    ASSERT_TRUE(db().execute(u"ALTER TABLE finl_stmt RENAME TO finl_stmt_x"_s).ok);
    const Outcome column = m_engine->addIndicator(10, u"ROA"_s);
    EXPECT_TRUE(!column.ok && !column.error.isEmpty());
    EXPECT_FALSE(m_engine->addYearRows(ids.at(1), 1998).ok());
    EXPECT_FALSE(m_engine->setYearChange(0, YearChange::Absolute).ok); // 1997 is no row: it is read
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(m_model.indicatorCount(), 1);
    ASSERT_TRUE(db().execute(u"ALTER TABLE finl_stmt_x RENAME TO finl_stmt"_s).ok);
}

TEST_P(AnalysisTest, AServerThatGoesAwayMidFillIsAnError)
{
    if (GetParam() != TestBackend::PostgreSQL)
        GTEST_SKIP() << "a server connection only";
    // A server that goes away is an error, never empty cells: a second connection does the
    // fill, the test's own one ends it between two operations.
    db::Database fill;
    ASSERT_TRUE(fill.open(db().location()).ok);
    const QString path = db().singleValue(u"SHOW search_path"_s);
    ASSERT_TRUE(fill.executeNative(u"SET search_path TO "_s + path).ok);
    const QString pid = fill.singleValue(u"SELECT pg_backend_pid()"_s);
    AnalysisModel model;
    AnalysisData data(fill);
    EvaluatorSource source(fill);
    AnalysisEngine engine(model, data, source);
    for (qint32 id : companies())
        ASSERT_TRUE(engine.addYearRows(id, 1998).ok());
    ASSERT_TRUE(engine.addIndicator(1, u"Běžná likvidita"_s).ok);
    ASSERT_TRUE(db().execute(u"SELECT pg_terminate_backend("_s + pid + QLatin1Char(')')).ok);
    EXPECT_FALSE(engine.addIndicator(10, u"ROA"_s).ok);
    EXPECT_EQ(model.indicatorCount(), 1);
    EXPECT_FALSE(engine.addEntityRows(3366).ok());
}

TEST_P(AnalysisTest, AggregatesPurgeIncompleteRowsAndFollowChanges)
{
    const QList<qint32> ids = companies();
    ASSERT_TRUE(m_engine->addYearRows(ids.at(0), 1998).ok() && m_engine->addYearRows(ids.at(1), 1998).ok());
    // No income statement for one period: income-based indicators come back empty there.
    ASSERT_TRUE(db().execute(u"UPDATE finl_stmt SET inac_ind = 2 WHERE subj_id = %1 AND year_dt = 1998 "
                              "AND quarter_dt = 3 AND stmt_type_cd = 28"_s.arg(ids.at(1))).ok);
    ASSERT_TRUE(m_engine->addIndicator(10, u"ROA"_s).ok && m_engine->addIndicator(5, u"Zadluženost"_s).ok);
    const int rows = m_model.dataRowCount();
    m_engine->applyAggregate(Aggregate::Median);
    EXPECT_EQ(m_model.dataRowCount(), rows - 1);
    const QStringList median = m_model.aggregateRow();
    ASSERT_EQ(median.size(), 2);
    EXPECT_EQ(median.at(0), formatCents(*aggregateCells(Aggregate::Median, m_model.columnCells(0), QLocale::c()), QLocale::c()));

    // Removing rows or columns recomputes the aggregate row.
    m_model.removeDataRows(0, 0);
    m_engine->reapplyAggregate(true);
    EXPECT_EQ(m_model.aggregateRow().at(0), formatCents(*aggregateCells(Aggregate::Median, m_model.columnCells(0), QLocale::c()), QLocale::c()));
    m_model.removeAllIndicators();
    m_engine->reapplyAggregate(true);
    EXPECT_TRUE(m_model.aggregateRow().isEmpty());
}

TEST_P(AnalysisTest, ExportsCarryTheTableAndItsAggregateRow)
{
    ASSERT_TRUE(m_engine->addEntityRows(3366).ok() && m_engine->addEntityRows(companies().front()).ok());
    ASSERT_TRUE(m_engine->addIndicator(kMarginShare, u"Marže, podíl"_s).ok);
    m_engine->applyAggregate(Aggregate::Sum);
    const QString csv = tableAsCsv(m_model);
    EXPECT_TRUE(csv.startsWith(u"Subjekt,Období,\"Marže, podíl\"\n\"Strojírny Dolní Lhota, a.s.\",1996/4,2.56\n"_s)) << csv.toStdString();
    EXPECT_TRUE(csv.contains(u"\nSuma,,"_s)) << csv.toStdString();
    EXPECT_EQ(rangeAsTsv(m_model, CellRange{0, 1, 1, 2}), u"1996/4\t2.56\n"_s + m_model.data(m_model.index(1, 1)).toString()
                                                               + QLatin1Char('\t') + m_model.cell(1, 0) + QLatin1Char('\n'));

    QTemporaryDir dir;
    const QString path = dir.filePath(u"analyza.xlsx"_s);
    ASSERT_TRUE(writeXlsx(m_model, path).ok);
    // Read the workbook back: the sheet holds 2.56 as a number and the names as strings.
    QProcess unzip;
    unzip.start(u"python3"_s, {u"-c"_s, u"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                                         "sys.stdout.write(z.read('xl/worksheets/sheet1.xml').decode() + z.read('xl/sharedStrings.xml').decode())"_s,
                                            path});
    ASSERT_TRUE(unzip.waitForFinished(30000));
    const QString xml = QString::fromUtf8(unzip.readAllStandardOutput());
    EXPECT_TRUE(xml.contains(u"<v>2.56</v>"_s)) << xml.left(2000).toStdString();
    EXPECT_TRUE(xml.contains(u"Strojírny Dolní Lhota, a.s."_s));
    EXPECT_TRUE(xml.contains(u">Suma<"_s));

    // A table past a sheet's rows is refused, not written short.
    ExportTable tall;
    tall.header = {{u"Subjekt"_s}};
    tall.rows = QList<QStringList>(1048576, QStringList{u"x"_s});
    const QString tallPath = dir.filePath(u"vysoka.xlsx"_s);
    const Outcome refused = writeXlsx(tall, tallPath);
    EXPECT_TRUE(!refused.ok && refused.error.contains(u"CSV"_s)) << refused.error.toStdString();
    EXPECT_FALSE(QFile::exists(tallPath));
}

TEST_P(AnalysisTest, CommandLineAnalysisPrintsWhatTheModelHolds)
{
    const QList<qint32> ids = companies();
    for (qint32 id : ids.mid(0, 2))
        ASSERT_TRUE(m_engine->addYearRows(id, 1998).ok());
    ASSERT_TRUE(m_engine->addIndicator(1, u"Běžná likvidita"_s).ok);
    ASSERT_TRUE(m_engine->addIndicator(kMarginShare, u"Podíl obchodní marže na přidané hodnotě"_s).ok);
    m_engine->applyAggregate(Aggregate::Median);

    QTemporaryDir dir;
    const QStringList analyze = {u"analyze"_s, u"--years"_s, u"1998"_s, u"--entities"_s};
    // The entity list from a file, one id a line, as a list too long for a command line comes.
    const QString list = dir.filePath(u"entities.txt"_s);
    ASSERT_TRUE(writeFile(list, u"%1\n%2\n"_s.arg(ids.at(0)).arg(ids.at(1)).toUtf8()));
    ToolRun run = vernaDb(analyze + QStringList{u"@"_s + list, u"--indicators"_s, u"1,%1"_s.arg(kMarginShare), u"--aggregate"_s, u"2"_s,
                                                u"--xlsx"_s, dir.filePath(u"out.xlsx"_s)});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The header's names come from the database; the rows and the median row must match.
    EXPECT_EQ(run.out.section(u'\n', 1, -1), tableAsCsv(m_model).section(u'\n', 1, -1));
    EXPECT_TRUE(QFile::exists(dir.filePath(u"out.xlsx"_s)));

    EXPECT_EQ(vernaDb(analyze + QStringList{u"1;DROP"_s, u"--indicators"_s, u"1"_s}).exitCode, 2);
}

// Statements of 1997 too: the rows of 1998 have a year before.
class YearChangeTest : public AnalysisTest
{
protected:
    YearChangeTest() { m_firstDemoYear = 1997; }
};

TEST_P(YearChangeTest, TheChangeComparesWithTheSameQuarterAYearBeforeAlsoWhenThatIsNoRow)
{
    const QList<qint32> ids = companies();
    // 1997/4 is a row, the other quarters of 1997 are not; 1996 has no statements.
    ASSERT_TRUE(m_engine->addRow(RowKey{1997, 4, ids.at(0)}).ok());
    ASSERT_GT(m_engine->addYearRows(ids.at(0), 1998).value, 2);
    ASSERT_TRUE(m_engine->addIndicator(1, u"Běžná likvidita"_s).ok);
    ASSERT_TRUE(m_engine->addIndicator(10, u"ROA"_s).ok);
    ASSERT_TRUE(m_engine->setYearChange(0, YearChange::Absolute).ok);
    ASSERT_EQ(m_model.indicatorCount(), 3);
    EXPECT_EQ(m_model.indicatorName(1), u"Běžná likvidita – meziroční změna"_s);
    EXPECT_EQ(m_model.indicatorId(2), 10);
    // A row added later gets its change in the same fill.
    ASSERT_EQ(m_engine->addRow(RowKey{1998, 2, ids.at(1)}).value, 1);

    indicators::Evaluator evaluator(db());
    const auto value = [&](const RowKey &key) { return roundToCents(evaluator.indicatorValue(1, key).value); };
    const auto expected = [&](YearChange kind, int row) {
        const RowKey key = m_model.rowKey(row);
        const auto change = yearChange(kind, value(key), value(RowKey{key.year - 1, key.quarter, key.entity}));
        return change ? formatCents(*change, QLocale::c()) : QString();
    };
    int compared = 0;
    for (int r = 0; r < m_model.dataRowCount(); ++r) {
        EXPECT_EQ(m_model.cell(r, 1), expected(YearChange::Absolute, r)) << m_model.rowKey(r).toString().toStdString();
        compared += !m_model.cell(r, 1).isEmpty();
    }
    EXPECT_GE(compared, 3);

    // No value a year before: empty, never 0, and the tooltip says why.
    EXPECT_EQ(m_model.cell(0, 1), QString());
    m_model.setMissingReason(evaluatorReasons(db()));
    const QString tip = m_model.data(m_model.index(0, AnalysisModel::kFixedColumns + 1), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(u"Hodnota za 1996/4 chybí: "_s) && tip.contains(u"žádný výkaz"_s)) << tip.toStdString();

    // Switched to per cent through the change column itself.
    ASSERT_TRUE(m_engine->setYearChange(1, YearChange::Percent).ok);
    for (int r = 0; r < m_model.dataRowCount(); ++r)
        EXPECT_EQ(m_model.cell(r, 1), expected(YearChange::Percent, r)) << m_model.rowKey(r).toString().toStdString();

    // An empty change leaves the row in the aggregate; copy and export carry the column.
    const int rows = m_model.dataRowCount();
    m_engine->applyAggregate(Aggregate::Sum);
    EXPECT_EQ(m_model.dataRowCount(), rows);
    EXPECT_EQ(m_model.aggregateRow().size(), 3);
    EXPECT_TRUE(tableAsCsv(m_model).startsWith(u"Subjekt,Období,Běžná likvidita,Běžná likvidita – meziroční změna (%),ROA\n"_s));
    EXPECT_EQ(rangeAsTsv(m_model, CellRange{1, 3, 1, 3}), m_model.cell(1, 1) + u"\n"_s);

    // The command line gives the same columns.
    const ToolRun run = vernaDb({u"analyze"_s, u"--entities"_s, QString::number(ids.at(0)), u"--years"_s, u"1998"_s,
                                 u"--indicators"_s, u"1"_s, u"--yoy"_s, u"pct"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.at(0).endsWith(u" – meziroční změna (%)"_s)) << lines.at(0).toStdString();
    EXPECT_EQ(lines.at(1).section(u',', -1), m_model.cell(1, 1));
    EXPECT_EQ(vernaDb({u"analyze"_s, u"--entities"_s, u"1"_s, u"--years"_s, u"1998"_s, u"--indicators"_s, u"1"_s, u"--yoy"_s, u"x"_s}).exitCode, 2);

    // The indicator column takes its change with it.
    m_model.removeIndicators(0, 0);
    EXPECT_EQ(m_model.indicatorCount(), 1);
    EXPECT_EQ(m_model.indicatorName(0), u"ROA"_s);
}

namespace {

// Per row key, everything a row shows: names, periods, Czech cell texts, change tooltips.
QHash<RowKey, QStringList> rowsAsShown(const AnalysisModel &model)
{
    QHash<RowKey, QStringList> shown;
    for (int r = 0; r < model.dataRowCount(); ++r) {
        QStringList &texts = shown[model.rowKey(r)];
        for (int c = 0; c < model.columnCount(); ++c)
            texts << model.data(model.index(r, c)).toString() << model.data(model.index(r, c), Qt::ToolTipRole).toString();
    }
    return shown;
}

QList<qint32> entityOrder(const AnalysisModel &model)
{
    QList<qint32> order;
    for (int r = 0; r < model.dataRowCount(); ++r)
        order << model.rowKey(r).entity;
    return order;
}

} // namespace

TEST(AnalysisModelSort, NumbersAsNumbersEmptyCellsLastTiesInPlaceNamesInCzechAndEveryCellWithItsRow)
{
    AnalysisModel model(QLocale(QLocale::Czech));
    const QStringList names = {u"Dům"_s, u"Čaj"_s, u"cukr"_s, u"Řeka"_s, u"hrad"_s, u"chata"_s};
    // "9.499" shows as 9,50: it ties with 9.5, as the cells read.
    const QStringList values = {u"10"_s, u"9.5"_s, u""_s, u"-3"_s, u"100"_s, u"9.499"_s};
    model.appendIndicator(1, u"Likvidita"_s);
    for (int i = 0; i < names.size(); ++i) {
        model.appendRow(RowKey{1998, 4, i + 1}, names.at(i));
        model.setValue(i, 0, values.at(i));
    }
    model.insertChangeColumn(0, YearChange::Absolute);
    QList<YearBeforeValue> before;
    for (int i = 0; i < names.size(); ++i)
        before << YearBeforeValue{i != 4, i == 1 ? std::nullopt : std::optional<Cents>(100 * i)};
    model.setYearBefore(1, 0, before);
    const QHash<RowKey, QStringList> shown = rowsAsShown(model);
    ASSERT_EQ(shown.value(RowKey{1998, 4, 6}).at(4), u"9,50"_s);
    const QPersistentModelIndex held = model.index(3, 2); // the row of -3

    model.sort(2, Qt::AscendingOrder);
    EXPECT_EQ(entityOrder(model), (QList<qint32>{4, 2, 6, 1, 5, 3}));
    EXPECT_EQ(rowsAsShown(model), shown);
    EXPECT_EQ(held.row(), 0);
    model.sort(2, Qt::DescendingOrder);
    EXPECT_EQ(entityOrder(model), (QList<qint32>{5, 1, 2, 6, 4, 3}));
    model.sort(3, Qt::AscendingOrder); // the changes: 10-0, none, none, -3-3, none, 9.5-5
    EXPECT_EQ(entityOrder(model), (QList<qint32>{4, 6, 1, 5, 2, 3}));
    model.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(entityOrder(model), (QList<qint32>{3, 2, 1, 5, 6, 4}));
    EXPECT_EQ(rowsAsShown(model), shown);
    EXPECT_EQ(tableAsCsv(model).section(u'\n', 1, 1), u"cukr,1998/4,,"_s);
    // Numbers written in the C locale leave the names in Czech order.
    AnalysisModel plain;
    for (int i = 0; i < names.size(); ++i)
        plain.appendRow(RowKey{1998, 4, i + 1}, names.at(i));
    plain.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(entityOrder(plain), (QList<qint32>{3, 2, 1, 5, 6, 4}));

    // Rows removed after a sort take their own cells with them, the others keep theirs.
    model.removeDataRows(1, 1);
    EXPECT_EQ(model.purgeIncompleteRows(), 1);
    EXPECT_EQ(entityOrder(model), (QList<qint32>{1, 5, 6, 4}));
    QHash<RowKey, QStringList> left = shown;
    left.remove(RowKey{1998, 4, 2});
    left.remove(RowKey{1998, 4, 3});
    EXPECT_EQ(rowsAsShown(model), left);
}

namespace {

// Values that tell their row: the entity id and a half cent, none for every seventh entity;
// counts the rows asked at once.
class RowEchoSource : public IndicatorSource
{
public:
    Result<QStringList> values(int, const QList<RowKey> &rows, const std::function<bool()> &) override
    {
        largestCall = std::max<qsizetype>(largestCall, rows.size());
        QStringList texts;
        for (const RowKey &row : rows)
            texts << (row.entity % 7 == 0 ? QString() : QString::number(row.entity) + u".005"_s);
        return {texts, {}};
    }
    qsizetype largestCall = 0;
};

} // namespace

TEST_P(AnalysisTest, ALargeTableIsFilledASliceOfRowsAtATimeAndEveryCellStaysWithItsRowAsRowsGo)
{
    RowEchoSource source;
    AnalysisEngine engine(m_model, *m_data, source);
    const int rows = 70000;
    for (int i = 0; i < rows; ++i)
        m_model.appendRow(RowKey{1998, 4, i + 1}, QString());
    ASSERT_TRUE(engine.addIndicators({{1, u"A"_s}, {2, u"B"_s}}).ok);
    EXPECT_LT(source.largestCall, rows);
    const auto misplaced = [this] {
        int wrong = 0;
        for (int r = 0; r < m_model.dataRowCount(); ++r) {
            const qint32 entity = m_model.rowKey(r).entity;
            wrong += m_model.cellValue(r, 1) != (entity % 7 ? std::optional<Cents>(100 * entity + 1) : std::nullopt);
        }
        return wrong;
    };
    EXPECT_EQ(misplaced(), 0);
    EXPECT_EQ(m_model.cell(rows - 2, 0), u"69999.01"_s);

    // Most rows removed, then the scattered incomplete ones: the rest keep their own cells.
    m_model.removeDataRows(0, 39999);
    EXPECT_EQ(misplaced(), 0);
    EXPECT_EQ(m_model.purgeIncompleteRows(), 4286); // every seventh of 40001..70000
    EXPECT_EQ(m_model.dataRowCount(), 30000 - 4286);
    EXPECT_EQ(misplaced(), 0);
    EXPECT_TRUE(m_model.hasRow(RowKey{1998, 4, 40001}) && !m_model.hasRow(RowKey{1998, 4, 40005}) && !m_model.hasRow(RowKey{1998, 4, 40000}));
}

TEST(RoeDecomposition, ContributionsAddUpToTheChangeOnBothMethodsAndRoundingKeepsTheSum)
{
    const auto check = [](const QList<double> &a, const QList<double> &b, RoeMethod method) {
        const RoeContributions split = roeContributions(a, b);
        EXPECT_EQ(split.method, method);
        double product_a = 100, product_b = 100, sum = 0;
        for (int i = 0; i < a.size(); ++i) {
            product_a *= a.at(i);
            product_b *= b.at(i);
            sum += split.values.at(i);
        }
        EXPECT_NEAR(sum, product_b - product_a, 1e-9);
        return split.values;
    };
    check({0.8, 0.9, 0.1, 1.2, 2.0}, {0.75, 0.95, 0.12, 1.1, 2.2}, RoeMethod::Logarithmic);
    // An unchanged ROE still shows the factors that moved, in opposite directions.
    const QList<double> even = check({0.8, 0.9, 0.1, 1.2, 2.0}, {0.8, 0.9, 0.2, 1.2, 1.0}, RoeMethod::Logarithmic);
    EXPECT_GT(even.at(2), 1.0);
    EXPECT_NEAR(even.at(2), -even.at(4), 1e-9);
    // A loss makes the tax burden negative: substitution in the fixed order.
    const QList<double> loss = check({1.3, 1.1, -0.05, 1.2, 2.0}, {0.8, 0.9, 0.1, 1.2, 2.0}, RoeMethod::Substitution);
    EXPECT_NEAR(loss.at(0), (0.8 - 1.3) * 1.1 * -0.05 * 1.2 * 2.0 * 100, 1e-9);
    EXPECT_EQ(loss.at(3), 0.0);

    // Rounded one by one these would print 3.00 beside a change of 3.01.
    const QList<Cents> rounded = roundToTotal({1.004, 1.004, 1.004}, 301);
    EXPECT_EQ(std::accumulate(rounded.cbegin(), rounded.cend(), Cents(0)), 301);
    EXPECT_EQ(roundToTotal({1.0, -0.996}, 0), (QList<Cents>{100, -100}));
}

TEST_P(AnalysisTest, RoeFactorsMultiplyToTheRoeIndicatorAndTheCommandPrintsTheDecomposition)
{
    indicators::Evaluator evaluator(db());
    const RowKey a{1998, 2, 0}, b{1998, 4, 0};
    std::optional<RoeDecomposition> found;
    for (qint32 id : companies()) {
        const auto d = decomposeRoe(db(), evaluator, RowKey{a.year, a.quarter, id}, RowKey{b.year, b.quarter, id});
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        if (d.value.reason.isEmpty()) {
            found = d.value;
            break;
        }
    }
    ASSERT_TRUE(found);
    for (const auto &[factors, roe] : {std::pair{found->factorsA, found->roeA}, std::pair{found->factorsB, found->roeB}}) {
        double product = 100;
        for (const RoeValue &f : factors)
            product *= *f.value;
        EXPECT_NEAR(product, *roe.value, 1e-9 * std::abs(*roe.value));
    }
    // At a year's end the annualised ROE is the shipped indicator's.
    EXPECT_EQ(formatValue(evaluator.indicatorValue(11, found->b).value, QLocale::c()), found->table(QLocale::c()).last().at(2));
    EXPECT_NE(found->method, RoeMethod::None);
    // The contributions add up to the change of the printed ROE values.
    const QStringList roeRow = found->table(QLocale::c()).last();
    EXPECT_EQ(*found->delta, *roundToCents(roeRow.at(2)) - *roundToCents(roeRow.at(1)));
    EXPECT_EQ(std::accumulate(found->contributions.cbegin(), found->contributions.cend(), Cents(0)), *found->delta);

    const QString entity = found->a.entityText();
    const ToolRun run = vernaDb({u"dupont"_s, u"--entity"_s, entity, u"--periods"_s, u"1998/2,1998/4"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList expected{u"# Rozklad ROE subjektu "_s + entity + u": 1998/2 → 1998/4"_s};
    for (const QStringList &row : found->table(QLocale::c()))
        expected << row.join(u'\t');
    expected << u"Změna ROE: "_s + formatCents(*found->delta, QLocale::c()) + u" p. b."_s << u"Metoda: "_s + roeMethodName(found->method);
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts), expected);

    // A period without statements gives reasons, not numbers.
    const ToolRun missing = vernaDb({u"dupont"_s, u"--entity"_s, entity, u"--periods"_s, u"1990/4,1998/4"_s});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.contains(u"1990/4"_s)) << missing.err.toStdString();
    EXPECT_FALSE(missing.out.contains(u"Metoda"_s));
    EXPECT_EQ(vernaDb({u"dupont"_s, u"--entity"_s, entity, u"--periods"_s, u"1998/4"_s}).exitCode, 2);
}

VERNA_ALL_BACKENDS(AnalysisTest);
VERNA_ALL_BACKENDS(YearChangeTest);

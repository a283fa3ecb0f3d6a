#include "demofixture.h"
#include "dropdelivery.h"

#include "analysis/aggregategrid.h"
#include "analysis/analysisdata.h"
#include "analysis/analysismodel.h"
#include "analysis/chartpanel.h"
#include "analysis/entitytree.h"
#include "analysis/frmanalyzasubj.h"
#include "analysis/gridselection.h"
#include "analysis/peerboxchart.h"
#include "analysis/peerpanel.h"
#include "analysis/reportpanel.h"
#include "analysis/roepyramid.h"
#include "report/stylesheets.h"
#include "shell/frmhlavni.h"
#include "ui/frozentableview.h"
#include "ui/scripteduser.h"
#include "support/files.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QScopeGuard>
#include <QScrollBar>
#include <QMdiArea>
#include <QSettings>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace verna;
using namespace Qt::StringLiterals;
using analysis::frmAnalyzaSubj;

namespace {

// The shared demo database: the window only reads it.
class AnalysisWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_db = &test::DemoFixture::get().db();
        s_state = &test::DemoFixture::get().state();
        s_entity = fullYear1998().front();
        s_group = ids(u"SELECT subj_id FROM ident WHERE form_type_cd = 215 AND inac_ind = 0 AND subj_id > 0 ORDER BY subj_id"_s)
                      .front();
    }

    void SetUp() override { s_db->setIdleHook({}); }
    void TearDown() override { s_db->setIdleHook({}); }

    std::unique_ptr<frmAnalyzaSubj> open()
    {
        auto window = std::make_unique<frmAnalyzaSubj>(*s_state);
        window->setWindowTitle(u"Analýza 1"_s);
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    // The main window with the analysis window as its only kind.
    static std::unique_ptr<shell::frmHlavni> mainWindow()
    {
        shell::WindowRegistry registry;
        registry.add(shell::WindowKind::Analysis, [](shell::AppState &state) { return new frmAnalyzaSubj(state); });
        auto main = std::make_unique<shell::frmHlavni>(*s_state, std::move(registry));
        main->show();
        return main;
    }

    template <typename T = QWidget>
    static T *control(QWidget *window, const QString &name)
    {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    static bool onGrid(QWidget *w, const QString &payload, Qt::KeyboardModifiers keys = {})
    {
        return test::deliverDrop(w, u"grdData"_s, payload, {}, keys);
    }
    static bool onTree(QWidget *w, const QString &payload) { return test::deliverDrop(w, u"tvwData"_s, payload); }

    static QStringList rows(const frmAnalyzaSubj &w)
    {
        QStringList keys;
        for (const analysis::RowKey &key : w.model().rowKeys())
            keys << key.toString();
        return keys;
    }

    static QList<int> columnIds(const frmAnalyzaSubj &w)
    {
        QList<int> ids;
        for (int c = 0; c < w.model().indicatorCount(); ++c)
            ids << w.model().indicatorId(c);
        return ids;
    }

    static QStringList aggregateTexts(const analysis::AggregateGrid *aggregate)
    {
        QStringList texts;
        for (int c = 0; c < aggregate->columnCount(); ++c)
            texts << aggregate->cellText(c);
        return texts;
    }

    static QList<qint32> ids(const QString &sql)
    {
        QList<qint32> out;
        for (const QStringList &row : s_db->queryRows(sql).rows)
            out << row.front().toInt();
        return out;
    }

    // Demo entities with statements in every quarter of 1998.
    static QList<qint32> fullYear1998(bool descending = false)
    {
        return ids(u"SELECT subj_id FROM finl_stmt WHERE inac_ind = 0 AND year_dt = 1998 AND subj_id <> 3366 "
                   "GROUP BY subj_id HAVING count(*) = 8 ORDER BY subj_id"_s
                   + (descending ? u" DESC"_s : QString()));
    }

    static QString entity() { return QString::number(s_entity); }

    // The reference entity's last quarter of 1996 with indicator 30 (2.56) and an aggregate.
    static void addReferenceCell(QWidget *w, const QString &aggregate)
    {
        auto *list = control<QListWidget>(w, u"lstFunkce"_s);
        int index30 = 0;
        while (index30 < list->count() && list->item(index30)->data(Qt::UserRole).toInt() != 30)
            ++index30;
        ASSERT_TRUE(onGrid(w, u"@&@SQ1996_4_3366"_s));
        ASSERT_TRUE(onGrid(w, u"@&@FC"_s + QString::number(index30)));
        ASSERT_TRUE(onGrid(w, u"@&@"_s + aggregate));
    }

    // The double-click a user makes on a list item.
    static void doubleClick(QListWidget *list, int row)
    {
        QListWidgetItem *item = list->item(row);
        list->scrollToItem(item);
        const QPoint at = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    static void selectCells(QTableView *grid, int top, int left, int bottom, int right)
    {
        const QAbstractItemModel *m = grid->model();
        grid->selectionModel()->select(QItemSelection(m->index(top, left), m->index(bottom, right)),
                                       QItemSelectionModel::ClearAndSelect);
    }

    inline static db::Database *s_db = nullptr;
    inline static shell::AppState *s_state = nullptr;
    inline static qint32 s_entity = 0;
    inline static qint32 s_group = 0;
};

TEST_F(AnalysisWindowTest, ListsDropsAndDragsFillTheTreeAndTheGridAndHostilePayloadsChangeNothing)
{
    auto w = open();
    auto *groups = control<QComboBox>(w.get(), u"cboFceSkupina"_s);
    auto *functions = control<QListWidget>(w.get(), u"lstFunkce"_s);
    ASSERT_GE(groups->count(), 2);
    EXPECT_EQ(functions->count(), s_db->singleValue(u"SELECT count(*) FROM func_for WHERE inac_ind = 0"_s).toInt());
    EXPECT_EQ(control<QListWidget>(w.get(), u"lstAgregacni"_s)->count(), 3);
    EXPECT_TRUE(control(w.get(), u"Frame0"_s)->isVisible());
    EXPECT_FALSE(control(w.get(), u"Frame1"_s)->isVisible());
    EXPECT_FALSE(control(w.get(), u"cmdStop"_s)->isVisible());

    // A group refills the list with its members; a click shows the description.
    groups->setCurrentIndex(1);
    EXPECT_EQ(functions->count(),
              s_db->singleValue(u"SELECT count(*) FROM func_mem WHERE inac_ind = 0 AND func_mem_grp = "_s + groups->itemData(1).toString())
                  .toInt());
    functions->setCurrentRow(0);
    w->lstFunkce_Click();
    EXPECT_EQ(control<QLabel>(w.get(), u"lblPopisFunkce"_s)->text(),
              s_db->singleValue(u"SELECT RTRIM(LTRIM(func_for_txt)) FROM func_for WHERE func_for_id = "_s
                                + functions->item(0)->data(Qt::UserRole).toString()));

    // Entity drops build the tree once; groups bring their members.
    w = open();
    auto *tree = control<analysis::EntityTree>(w.get(), u"tvwData"_s);
    const QString id = entity();
    ASSERT_TRUE(onTree(w.get(), u"*/*"_s + id));
    ASSERT_TRUE(onTree(w.get(), u"#&#SU"_s + id));
    ASSERT_EQ(tree->topLevelItemCount(), 1);

    analysis::AnalysisData data(*s_db);
    const auto identity = data.entityIdentity(s_entity).value;
    ASSERT_TRUE(identity);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), identity->first + u' ' + identity->second);
    EXPECT_EQ(root->data(0, analysis::EntityTree::kKeyRole).toString(), u"SU"_s + id);
    QTreeWidgetItem *year = tree->findKey(u"SY1998_"_s + id);
    ASSERT_NE(year, nullptr);
    ASSERT_EQ(year->childCount(), 4);
    EXPECT_EQ(year->child(1)->text(0), u"2. Q"_s);
    EXPECT_EQ(year->child(1)->data(0, analysis::EntityTree::kKeyRole).toString(), u"SQ1998_2_"_s + id);

    // A group dropped as one entity adds its active members, each once.
    QList<qint32> expected{s_entity};
    for (qint32 m : data.groupMembers(s_group).value)
        if (!expected.contains(m))
            expected << m;
    ASSERT_TRUE(onTree(w.get(), u"*/*"_s + QString::number(s_group)));
    EXPECT_EQ(tree->entities(), expected);
    // A list: each id as a single drop would; 3366 is new, the others are there already.
    ASSERT_TRUE(onTree(w.get(), u"/*/3366_"_s + id));
    EXPECT_EQ(tree->entities(), expected + QList<qint32>{3366});
    // An id that names no live entity adds no node.
    ASSERT_TRUE(onTree(w.get(), u"*/*987654"_s));
    EXPECT_EQ(tree->topLevelItemCount(), expected.size() + 1);

    // A year dropped twice gives its four quarters once; double-clicked indicators fill the grid.
    auto yearWindow = open();
    // The same year twice: its four quarters once.
    ASSERT_TRUE(onGrid(yearWindow.get(), u"@&@SY1998_"_s + entity()));
    ASSERT_TRUE(onGrid(yearWindow.get(), u"@&@SY1998_"_s + entity()));
    ASSERT_EQ(yearWindow->model().dataRowCount(), 4);

    auto *yearFunctions = control<QListWidget>(yearWindow.get(), u"lstFunkce"_s);
    doubleClick(yearFunctions, 0);
    doubleClick(yearFunctions, 2);
    ASSERT_EQ(yearWindow->model().indicatorCount(), 2);
    EXPECT_EQ(yearWindow->model().indicatorName(1), yearFunctions->item(2)->text());

    // The reference entity's known value, through a quarter drop and an "FC" drop.
    addReferenceCell(yearWindow.get(), u"AF0"_s);
    EXPECT_EQ(yearWindow->model().cell(4, 2), u"2.56"_s);

    // Without Ctrl a quarter is one row; with Ctrl it goes to the entities of the tree.
    yearWindow = open();
    ASSERT_TRUE(onTree(yearWindow.get(), u"/*/%1_3366"_s.arg(entity())));
    const QString plain = u"1998_2_"_s + entity();
    ASSERT_TRUE(onGrid(yearWindow.get(), u"@&@SQ"_s + plain));
    ASSERT_TRUE(onGrid(yearWindow.get(), u"@&@SQ1998_3_3366"_s, Qt::ControlModifier));
    EXPECT_EQ(rows(*yearWindow), (QStringList{plain, u"1998_3_"_s + entity()})); // 3366 has no 1998 statements

    // Indicator drags and drops keep the list's order.
    ui::ScriptedUser user;
    auto dragWindow = open();
    auto *dragFunctions = control<QListWidget>(dragWindow.get(), u"lstFunkce"_s);
    auto *dragTree = control<analysis::EntityTree>(dragWindow.get(), u"tvwData"_s);

    // An empty table takes the columns and computes nothing.
    ASSERT_TRUE(onGrid(dragWindow.get(), u"@&@FS0_3_"_s));
    EXPECT_EQ(columnIds(*dragWindow), (QList<int>{dragFunctions->item(0)->data(Qt::UserRole).toInt(), dragFunctions->item(3)->data(Qt::UserRole).toInt()}));
    EXPECT_EQ(dragWindow->model().dataRowCount(), 0);

    dragWindow->lstFunkce_OLEStartDrag(); // nothing selected: no drag
    dragFunctions->item(4)->setSelected(true);
    dragWindow->lstFunkce_OLEStartDrag();
    dragFunctions->item(0)->setSelected(true);
    dragFunctions->item(3)->setSelected(true);
    dragWindow->lstFunkce_OLEStartDrag();
    control<QListWidget>(dragWindow.get(), u"lstAgregacni"_s)->setCurrentRow(2);
    dragWindow->lstAgregacni_OLEStartDrag();
    dragWindow->tvwData_OLEStartDrag(); // empty tree: no drag
    ASSERT_TRUE(onTree(dragWindow.get(), u"*/*3366"_s));
    dragTree->findKey(u"SY1996_3366"_s)->setSelected(true);
    dragWindow->tvwData_OLEStartDrag();
    EXPECT_EQ(user.drags(), (QStringList{u"@&@FC4"_s, u"@&@FS0_3_4_"_s, u"@&@AF2"_s, u"@&@SY1996_3366"_s}));

    // What the dragTree drags, the grid takes.
    ASSERT_TRUE(onGrid(dragWindow.get(), user.drags().last()));
    EXPECT_EQ(rows(*dragWindow), QStringList{u"1996_4_3366"_s});

    // Hostile payloads run no SQL and change nothing.
    dragWindow = open();
    ASSERT_TRUE(onGrid(dragWindow.get(), u"@&@SQ1996_4_3366"_s));
    int calls = 0;
    s_db->setIdleHook([&calls] { ++calls; });
    for (const char *text : {"@&@SU1-2", "@&@FS1__2", "@&@SQ1999_2_12'", "*/*12'", "/*/1_2;DROP", "#&#SU5 OR 1=1", "@&@FC99999",
                             "@&@AF7", "@&@SY98_3366", "@&@SQ1999_5_1", "@&@XX1", "/*", "@&@FS0_99999_", "@&@AF-1", ""}) {
        for (const QString &target : {u"tvwData"_s, u"grdData"_s, u"grdAgreg"_s})
            test::deliverDrop(dragWindow.get(), target, QString::fromLatin1(text));
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(rows(*dragWindow), QStringList{u"1996_4_3366"_s});
    EXPECT_EQ(dragWindow->model().indicatorCount(), 0);
    EXPECT_FALSE(dragWindow->model().currentAggregate());
    EXPECT_EQ(control<QTreeWidget>(dragWindow.get(), u"tvwData"_s)->topLevelItemCount(), 0);
}

class FilledWindowTest : public AnalysisWindowTest
{
protected:
    // Four quarters of one entity and three indicator columns.
    void SetUp() override
    {
        AnalysisWindowTest::SetUp();
        m_window = open();
        ASSERT_TRUE(onGrid(m_window.get(), u"@&@SY1998_"_s + entity()));
        ASSERT_TRUE(onGrid(m_window.get(), u"@&@FS0_1_2_"_s));
        m_grid = control<ui::FrozenTableView>(m_window.get(), u"grdData"_s);
    }

    void pressDelete(const QString &answer)
    {
        m_user.willAnswer(answer);
        QTest::keyClick(m_grid, Qt::Key_Delete);
    }

    static QString key(int quarter) { return u"1998_%1_"_s.arg(quarter) + entity(); }

    ui::ScriptedUser m_user;
    std::unique_ptr<frmAnalyzaSubj> m_window;
    ui::FrozenTableView *m_grid = nullptr;
};

TEST_F(FilledWindowTest, WholeRowsGoAfterYesAndStayAfterNoWhicheverWayTheyWereSelected)
{
    // Dragged upwards from the last column of row 3 to the first indicator of row 2.
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(m_grid->model()->index(2, 4)).center());
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, m_grid->visualRect(m_grid->model()->index(1, 2)).center());
    pressDelete(u"Ne"_s);
    ASSERT_EQ(m_user.messages().size(), 1);
    EXPECT_EQ(m_user.messages().front().text, u"Opravdu chcete vybrané řádky odstranit?"_s);
    EXPECT_EQ(m_window->model().dataRowCount(), 4);

    pressDelete(u"Ano"_s);
    EXPECT_EQ(rows(*m_window), (QStringList{key(1), key(4)}));
    EXPECT_EQ(m_window->model().indicatorCount(), 3);
}

TEST_F(FilledWindowTest, WholeColumnsAndTheWholeValueAreaGoAndTheAggregateFollows)
{
    const QList<int> before = columnIds(*m_window);
    m_window->lstAgregacni_DblClick(); // no current item: nothing
    EXPECT_FALSE(m_window->model().currentAggregate());
    ASSERT_TRUE(test::deliverDrop(m_window.get(), u"grdAgreg"_s, u"@&@AF1"_s));
    auto *aggregate = control<analysis::AggregateGrid>(m_window.get(), u"grdAgreg"_s);
    ASSERT_EQ(aggregate->columnCount(), 4);

    // Header clicks from the third indicator back to the second: both columns, all rows.
    QHeaderView *header = m_grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(4) + 5, 5));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(header->sectionViewportPosition(3) + 5, 5));
    pressDelete(u"Ano"_s);
    ASSERT_EQ(m_user.messages().size(), 1);
    EXPECT_EQ(m_user.messages().back().text, u"Opravdu chcete vybrané sloupce odstranit?"_s);
    EXPECT_EQ(columnIds(*m_window), QList<int>{before.front()});
    EXPECT_EQ(aggregate->columnCount(), 2);
    EXPECT_EQ(aggregate->cellText(1), m_window->model().aggregateRow().value(0));
    EXPECT_EQ(m_window->model().dataRowCount(), 4);

    // Everything: the columns go, the rows stay, and the aggregate row is left empty.
    m_grid->selectAll();
    pressDelete(u"Ano"_s);
    EXPECT_EQ(m_window->model().indicatorCount(), 0);
    EXPECT_EQ(m_window->model().columnCount(), 2);
    EXPECT_EQ(m_window->model().dataRowCount(), 4);
    EXPECT_EQ(aggregate->columnCount(), 1);
    EXPECT_EQ(aggregate->cellText(0), QString());

    // A lone cell is no shape: nothing is asked.
    selectCells(m_grid, 0, 1, 0, 1);
    pressDelete(u"Ano"_s);
    EXPECT_EQ(m_user.messages().size(), 2);
    EXPECT_EQ(m_window->model().dataRowCount(), 4);
}

TEST_F(FilledWindowTest, TheYearOnYearChangeIsToggledFromTheMenuRightAfterItsColumn)
{
    ASSERT_TRUE(onGrid(m_window.get(), u"@&@SY1999_"_s + entity()));
    const analysis::AnalysisModel &model = m_window->model();
    const QList<analysis::RowKey> keys = model.rowKeys();
    const int row1999 = int(keys.indexOf(analysis::RowKey{1999, 1, s_entity}));
    ASSERT_GE(row1999, 0);
    m_grid->setCurrentIndex(model.index(0, 3)); // the second indicator
    control<QAction>(m_window.get(), u"miMezirocniZmena"_s)->trigger();
    ASSERT_EQ(model.indicatorCount(), 4);
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), model.indicatorName(1) + u" – meziroční změna"_s);
    const auto value = [&](int row) { return analysis::parseCell(model.cell(row, 1), model.locale()); };
    ASSERT_TRUE(value(0) && value(row1999));
    EXPECT_EQ(model.cell(row1999, 2), analysis::formatCents(*value(row1999) - *value(0), model.locale()));
    // 1997 has no statements: no change, and the reason on the cell.
    EXPECT_EQ(model.cell(0, 2), QString());
    EXPECT_TRUE(model.data(model.index(0, 4), Qt::ToolTipRole).toString().startsWith(u"Hodnota za 1997/1 chybí: "_s));

    // Per cent replaces it; asked again on the change column itself, it goes.
    control<QAction>(m_window.get(), u"miMezirocniZmenaProcent"_s)->trigger();
    EXPECT_TRUE(model.indicatorName(2).endsWith(u" (%)"_s));
    m_grid->setCurrentIndex(model.index(0, 4));
    control<QAction>(m_window.get(), u"miMezirocniZmenaProcent"_s)->trigger();
    EXPECT_EQ(model.indicatorCount(), 3);
}

TEST_F(FilledWindowTest, TheChartRoeAndReportTabsShowTheSelectionAndTheFilesGoWithTheWindow)
{
    auto *panel = m_window->findChild<analysis::ChartPanel *>();
    ASSERT_NE(panel, nullptr);
    auto *tabs = control<QTabBar>(m_window.get(), u"TabStrip1"_s);

    // Rows 2 and 3 whole: after the first rotation the indicators are the series.
    selectCells(m_grid, 1, 0, 2, 4);
    tabs->setCurrentIndex(1);
    EXPECT_TRUE(control(m_window.get(), u"Frame1"_s)->isVisible());
    EXPECT_TRUE(panel->data().series.size() == 3 && panel->data().categories.size() == 2 && panel->data().wholeRows);

    // Back, and with nothing selected the whole table.
    tabs->setCurrentIndex(0);
    m_grid->clearSelection();
    tabs->setCurrentIndex(1);
    EXPECT_EQ(panel->data().categories.size(), 4);

    // Two selected rows of one entity are decomposed on the "Rozklad ROE" tab; Ctrl+C copies the table.
    selectCells(m_grid, 1, 0, 2, 4);
    control<QTabBar>(m_window.get(), u"TabStrip1"_s)->setCurrentIndex(3);
    EXPECT_TRUE(control(m_window.get(), u"Frame3"_s)->isVisible());
    auto *table = control<QTableWidget>(m_window.get(), u"grdRozklad"_s);
    ASSERT_EQ(table->rowCount(), 6);
    EXPECT_EQ(table->horizontalHeaderItem(1)->text() + u' ' + table->horizontalHeaderItem(2)->text(), u"1998/2 1998/3"_s);
    for (int r = 0; r < 6; ++r) {
        for (int c = 1; c < 4; ++c)
            EXPECT_NE(table->item(r, c)->text(), u"–"_s) << r << "," << c;
    }
    const QStringList boxes = control<analysis::RoePyramid>(m_window.get(), u"picRozklad"_s)->boxTexts();
    ASSERT_EQ(boxes.size(), 6);
    EXPECT_TRUE(boxes.front().startsWith(u"ROE\n1998/2: "_s)) << boxes.front().toStdString();
    EXPECT_TRUE(control<QLabel>(m_window.get(), u"lblMetoda"_s)->text().startsWith(u"Metoda rozkladu: "_s));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().contains(u"Finanční páka"_s));

    // One row: the same quarter a year before, here without statements, gives its reason.
    auto *roeTabs = control<QTabBar>(m_window.get(), u"TabStrip1"_s);
    roeTabs->setCurrentIndex(0);
    m_grid->setCurrentIndex(m_grid->model()->index(3, 2));
    roeTabs->setCurrentIndex(3);
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), u"1997/4"_s);
    EXPECT_EQ(table->item(0, 3)->text(), u"–"_s);
    EXPECT_TRUE(control<QLabel>(m_window.get(), u"lblMetoda"_s)->text().contains(u"1997/4"_s));
    EXPECT_TRUE(m_user.messages().isEmpty());

    // One row whole: the report of that row with its statements; the profile page beside it; both files go with
    // the window.
    // The files go to the CSS folder the window finds when it opens.
    QTemporaryDir styles;
    report::ReportSettings::setCssFolder(styles.path());
    const auto restore = qScopeGuard([] { QSettings().remove(u"Report"_s); });
    m_window = open();
    ASSERT_TRUE(onGrid(m_window.get(), u"@&@SY1998_"_s + entity()));
    ASSERT_TRUE(onGrid(m_window.get(), u"@&@FS0_1_2_"_s));
    m_grid = control<ui::FrozenTableView>(m_window.get(), u"grdData"_s);
    auto *reportTabs = control<QTabBar>(m_window.get(), u"TabStrip1"_s);
    selectCells(m_grid, 1, 0, 1, 4);
    reportTabs->setCurrentIndex(2);
    auto *report = m_window->findChild<analysis::ReportPanel *>();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->isVisible());
    EXPECT_TRUE(report->html().contains(u"<!-- ROZVAHA_START -->"_s)); // the one-row report, with its statements
    EXPECT_EQ(report->reportFile(), QDir(styles.path()).filePath(u"~Analýza 1.htm"_s));
    EXPECT_TRUE(QFile::exists(report->reportFile()));

    reportTabs->setCurrentIndex(1);
    control<QComboBox>(m_window.get(), u"cboTypGrafu"_s)->setCurrentIndex(analysis::ChartPanel::Rays);
    EXPECT_TRUE(QFile::exists(report->profileFile()));

    const QStringList files{report->reportFile(), report->profileFile()};
    m_window.reset();
    for (const QString &file : files)
        EXPECT_FALSE(QFile::exists(file)) << file.toStdString();
    EXPECT_TRUE(m_user.messages().isEmpty());
}

// Names with "%1" in them are shown as they stand, not as places for the count.
TEST(PeerPanelTest, NamesAreShownAsTheyStand)
{
    analysis::PeerPanel panel;
    panel.showRow(u"Mlýn 100%1"_s, analysis::PeerBenchmarkRow{analysis::RowKey{1998, 4, 1}, u"skupina Sleva 5%2"_s, 12, {}}, {}, {},
                  QLocale(QLocale::Czech));
    const QString text = panel.findChild<QLabel *>(u"lblOdvetvi"_s)->text();
    EXPECT_TRUE(text.contains(u"Mlýn 100%1"_s) && text.contains(u"Sleva 5%2"_s) && text.endsWith(u": 12"_s)) << text.toStdString();
}

// The "Odvětví" tab sets the current row against its peers, afresh for every choice of peers;
// Ctrl+C copies the figures.
TEST_F(FilledWindowTest, ThePeerTabShowsTheRowAmongItsPeersAndFollowsThePeerChoice)
{
    auto *choice = control<QComboBox>(m_window.get(), u"cboSrovnani"_s);
    choice->setCurrentIndex(choice->findData(u"vse"_s));
    control<QTabBar>(m_window.get(), u"TabStrip1"_s)->setCurrentIndex(4);
    EXPECT_TRUE(control(m_window.get(), u"Frame4"_s)->isVisible());
    auto *table = control<QTableWidget>(m_window.get(), u"grdOdvetvi"_s);
    const auto tableText = [table] {
        QStringList cells;
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c)
                cells << table->item(r, c)->text();
        return cells;
    };
    ASSERT_EQ(table->rowCount(), 3);
    QStringList names;
    for (int r = 0; r < 3; ++r) {
        names << m_window->model().indicatorName(r);
        EXPECT_EQ(table->item(r, 0)->text(), names.back());
        EXPECT_FALSE(table->item(r, 5)->text().isEmpty()) << r; // the median
        EXPECT_FALSE(table->item(r, 9)->text().isEmpty()) << r; // the zone
    }
    EXPECT_EQ(control<analysis::PeerBoxChart>(m_window.get(), u"picOdvetvi"_s)->boxNames(), names);
    const QStringList amongAll = tableText();

    choice->setCurrentIndex(choice->findData(u"skupina:%1"_s.arg(s_group)));
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_NE(tableText(), amongAll);
    EXPECT_TRUE(control<QLabel>(m_window.get(), u"lblOdvetvi"_s)->text().contains(u"skupina"_s));
    // A new window starts with the peers chosen last.
    const auto other = open();
    EXPECT_EQ(control<QComboBox>(other.get(), u"cboSrovnani"_s)->currentData().toString(), u"skupina:%1"_s.arg(s_group));

    table->setFocus();
    table->selectAll();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(names.front() + u'\t')) << QApplication::clipboard()->text().toStdString();
    EXPECT_TRUE(m_user.messages().isEmpty());
}

// "Obarvit podle odvětví" colours every indicator cell by its zone with its rank in the tip,
// follows rows added while on, and goes when switched off.
TEST_F(FilledWindowTest, ColouringByPeersMarksEveryValueAndFollowsNewRows)
{
    auto *choice = control<QComboBox>(m_window.get(), u"cboSrovnani"_s);
    choice->setCurrentIndex(choice->findData(u"vse"_s));
    auto *colour = control<QAction>(m_window.get(), u"miObarvitOdvetvi"_s);
    colour->trigger();
    ASSERT_TRUE(colour->isChecked());
    const QAbstractItemModel *grid = m_grid->model();
    const auto expectMarked = [&](int row) {
        for (int c = 2; c < 5; ++c) {
            const QModelIndex cell = grid->index(row, c);
            EXPECT_TRUE(grid->data(cell, Qt::ToolTipRole).toString().contains(u". percentil"_s)) << row << "," << c;
            EXPECT_TRUE(grid->data(cell, Qt::BackgroundRole).value<QColor>().isValid()) << row << "," << c;
        }
    };
    expectMarked(0);
    ASSERT_TRUE(onGrid(m_window.get(), u"@&@SQ1999_1_"_s + entity()));
    ASSERT_EQ(m_window->model().dataRowCount(), 5);
    expectMarked(4);

    colour->trigger();
    EXPECT_FALSE(grid->data(grid->index(0, 2), Qt::BackgroundRole).isValid());
    EXPECT_TRUE(m_user.messages().isEmpty());
}

// "Subjekt" and "Období" stay in view over the scrolled indicator columns and take drops.
TEST_F(FilledWindowTest, ADoubleClickedHeaderOrTheMenuSortsTheRowsEachWayAndASelectedColumnStays)
{
    const analysis::AnalysisModel &model = m_window->model();
    // The quarters by the second indicator's numbers, as the model's own order would not give.
    QList<std::pair<analysis::Cents, QString>> byValue;
    for (int r = 0; r < model.dataRowCount(); ++r)
        byValue.append({model.cellValue(r, 1).value_or(std::numeric_limits<analysis::Cents>::max()), rows(*m_window).at(r)});
    std::sort(byValue.begin(), byValue.end());
    QStringList ascending;
    for (const auto &row : byValue)
        ascending << row.second;
    ASSERT_NE(ascending, rows(*m_window));

    QHeaderView *header = m_grid->horizontalHeader();
    const QPoint second(header->sectionViewportPosition(3) + 5, 5);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(rows(*m_window), ascending);
    EXPECT_EQ(header->sortIndicatorSection(), 3);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, second);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(rows(*m_window), descending);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // The period from the frozen part's header.
    QHeaderView *frozen = m_grid->frozenView()->horizontalHeader();
    QTest::mouseDClick(frozen->viewport(), Qt::LeftButton, {}, QPoint(frozen->sectionViewportPosition(1) + 5, 5));
    EXPECT_EQ(rows(*m_window), (QStringList{key(1), key(2), key(3), key(4)}));

    // From the menu, for the column of the current cell: a selected column stays selected.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, second);
    ASSERT_TRUE(m_grid->selectionModel()->isColumnSelected(3));
    m_window->findChild<QAction *>(u"miSeraditVzestupne"_s)->trigger();
    EXPECT_EQ(rows(*m_window), ascending);
    EXPECT_TRUE(m_grid->selectionModel()->isColumnSelected(3));

    // A row added later clears the sort shown.
    ASSERT_TRUE(onGrid(m_window.get(), u"@&@SQ1996_4_3366"_s));
    EXPECT_EQ(header->sortIndicatorSection(), -1);
}

TEST_F(FilledWindowTest, NameAndPeriodStayWhenScrolledAndTheAggregateRowLinesUpUnderTheGrid)
{
    QTableView *frozen = m_grid->frozenView();
    m_window->resize(300, 500);
    QCoreApplication::processEvents();
    QScrollBar *bar = m_grid->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();

    EXPECT_LT(m_grid->columnViewportPosition(0), 0); // the grid itself scrolled them away
    EXPECT_TRUE(frozen->isVisible());
    EXPECT_EQ(frozen->width(), m_grid->columnWidth(0) + m_grid->columnWidth(1));
    EXPECT_EQ(frozen->x(), m_grid->verticalHeader()->width() + m_grid->frameWidth());
    EXPECT_EQ(frozen->columnViewportPosition(0), 0);
    EXPECT_TRUE(!frozen->isColumnHidden(1) && frozen->isColumnHidden(2));
    EXPECT_EQ(frozen->model()->index(0, 1).data().toString(), u"1998/1"_s);
    EXPECT_EQ(frozen->selectionModel(), m_grid->selectionModel());

    // A drop on the frozen part is a drop on the grid.
    ASSERT_TRUE(test::deliverDrop(frozen, u"@&@SQ1999_1_"_s + entity()));
    EXPECT_EQ(m_window->model().dataRowCount(), 5);

    // The aggregate by double-click and by drop is the same row, lined up under the grid.
    auto *aggregate = control<analysis::AggregateGrid>(m_window.get(), u"grdAgreg"_s);

    doubleClick(control<QListWidget>(m_window.get(), u"lstAgregacni"_s), 2);
    ASSERT_EQ(m_window->model().currentAggregate(), analysis::Aggregate::Median);
    const QStringList byClick = aggregateTexts(aggregate);
    EXPECT_EQ(byClick, QStringList{u"Medián"_s} + m_window->model().aggregateRow());
    EXPECT_EQ(byClick.size(), 4);

    ASSERT_TRUE(onGrid(m_window.get(), u"@&@AF1"_s));
    EXPECT_EQ(aggregate->cellText(0), u"Suma"_s);
    ASSERT_TRUE(test::deliverDrop(m_window.get(), u"grdAgreg"_s, u"@&@AF2"_s));
    EXPECT_EQ(aggregateTexts(aggregate), byClick);

    // A row added later is in the aggregate at once.
    ASSERT_TRUE(onGrid(m_window.get(), u"@&@SQ1996_4_3366"_s));
    EXPECT_EQ(aggregate->cellText(1), m_window->model().aggregateRow().value(0));

    // Widths follow the grid, also a border the user drags; scrolling goes together.
    EXPECT_EQ(aggregate->columnWidth(0), m_grid->columnWidth(0) + m_grid->columnWidth(1));
    m_grid->horizontalHeader()->resizeSection(3, 333);
    EXPECT_EQ(aggregate->columnWidth(2), 333);
    m_window->resize(300, m_window->height());
    QCoreApplication::processEvents();
    ASSERT_GT(m_grid->horizontalScrollBar()->maximum(), 0);
    m_grid->horizontalScrollBar()->setValue(m_grid->horizontalScrollBar()->maximum());
    EXPECT_EQ(aggregate->horizontalScrollBar()->value(), m_grid->horizontalScrollBar()->value());
    EXPECT_EQ(aggregate->columnViewportPosition(2), m_grid->columnViewportPosition(3));
}

TEST(GridSelection, ShapesOfTheDeleteKey)
{
    using analysis::CellRange;
    using analysis::DeleteRequest;
    using analysis::deleteRequest;
    // 4 data rows and 3 indicators (columns 2..4): select all reversed, name and period never go, outside the table;
    // without indicators a row from name to period is whole.
    const std::tuple<CellRange, int, DeleteRequest::Kind> cases[] = {
        {{0, 2, 3, 4}, 3, DeleteRequest::AllIndicators}, {{3, 4, 0, 0}, 3, DeleteRequest::AllIndicators},
        {{3, 3, 0, 0}, 3, DeleteRequest::Indicators},    {{0, 0, 3, 1}, 3, DeleteRequest::None},
        {{1, 3, 2, 3}, 3, DeleteRequest::None},          {{0, 2, 9, 4}, 3, DeleteRequest::None},
        {{1, 0, 1, 1}, 0, DeleteRequest::Rows},          {{1, 1, 1, 1}, 0, DeleteRequest::None}};
    for (const auto &[range, indicators, kind] : cases)
        EXPECT_EQ(deleteRequest(range, 4, indicators).kind, kind) << range.top << "," << range.left << " " << range.bottom << "," << range.right;
}

TEST_F(AnalysisWindowTest, CzechCellsCopiesExportsAndTheWindowInTheMainWindow)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
    auto w = open();
    QLocale::setDefault(before);
    addReferenceCell(w.get(), u"AF1"_s);
    EXPECT_EQ(w->model().cell(0, 0), u"2,56"_s);
    EXPECT_EQ(control<analysis::AggregateGrid>(w.get(), u"grdAgreg"_s)->cellText(1), u"2,56"_s);

    // Ctrl+C copies the selected rectangle; the menu exports the table.
    ui::ScriptedUser user;
    w = open();
    addReferenceCell(w.get(), u"AF0"_s);
    auto *grid = control<QTableView>(w.get(), u"grdData"_s);
    selectCells(grid, 0, 1, 0, 2);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"1996/4\t2.56\n"_s);

    QTemporaryDir dir;
    const QString csv = dir.filePath(u"tabulka"_s); // the suffix is added
    user.willChooseFile(csv);
    control<QAction>(w.get(), u"miExportCsv"_s)->trigger();
    const QByteArray bytes = test::readFile(csv + u".csv"_s);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith(u"Průměr aritmetický;;2,56\r\n"_s.toUtf8())) << bytes.toStdString();
    EXPECT_TRUE(user.messages().isEmpty());

    // A folder that is not there: the user is told, in Czech, with the reason.
    user.willChooseFile(dir.filePath(u"neni/tabulka.xlsx"_s));
    control<QAction>(w.get(), u"miExportXlsx"_s)->trigger();
    ASSERT_EQ(user.messages().size(), 1);
    EXPECT_EQ(user.messages().front().icon, ui::MessageIcon::Critical);
    EXPECT_EQ(user.messages().front().text, u"Tabulku se nepodařilo uložit."_s);
    EXPECT_FALSE(user.messages().front().detail.isEmpty());

    // In the main window it sizes itself and tags the file items.
    QSettings().remove(shell::frmHlavni::kPlacesGroup);
    auto main = mainWindow();
    main->resize(1000, 700);
    QApplication::setActiveWindow(main.get());
    QWidget *framed = main->open(shell::WindowKind::Analysis);
    ASSERT_NE(framed, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(framed->windowTitle(), u"Analýza 1"_s);
    // Seven tenths of the workspace wide, four tenths high unless its controls need more.
    const QSize area = main->mdiArea()->viewport()->size();
    QWidget *frame = framed->parentWidget();
    EXPECT_EQ(frame->geometry(), QRect(0, 0, qRound(area.width() * 0.7),
                                       std::max(qRound(area.height() * 0.4), frame->minimumSizeHint().height())));

    auto *save = main->findChild<QAction *>(u"miUlozit"_s);
    auto *openItem = main->findChild<QAction *>(u"miOtevrit"_s);
    auto *tabs = control<QTabBar>(framed, u"TabStrip1"_s);
    EXPECT_EQ(save->isEnabled() ? main->saveItemTag() : QString(), u"vykaz"_s);
    tabs->setCurrentIndex(2);
    EXPECT_EQ(main->saveItemTag(), u"report"_s);
    EXPECT_TRUE(openItem->isEnabled());
    EXPECT_TRUE(control(framed, u"Frame2"_s)->isVisible());
    tabs->setCurrentIndex(1);
    EXPECT_EQ(main->saveItemTag(), u"vykaz"_s);
    EXPECT_FALSE(openItem->isEnabled());
    qobject_cast<frmAnalyzaSubj *>(framed)->Form_Deactivate();
    EXPECT_TRUE(!save->isEnabled() && main->saveItemTag().isEmpty());
}



// A fill interrupted by everything a user can do meanwhile: every change is refused, a close
// is refused and ends the fill, the window survives; deleting it mid-fill does not crash.
TEST_F(AnalysisWindowTest, WhileFillingChangesAreRefusedAndADeletedEntityGetsNoNodeAndNoRows)
{
    ui::ScriptedUser user;
    auto main = mainWindow();
    QPointer<frmAnalyzaSubj> w = qobject_cast<frmAnalyzaSubj *>(main->open(shell::WindowKind::Analysis));
    ASSERT_TRUE(w);
    ASSERT_TRUE(onTree(w, u"*/*"_s + QString::number(s_group)));
    ASSERT_TRUE(onTree(w, u"*/*3366"_s));
    ASSERT_TRUE(onGrid(w, u"@&@FS0_1_"_s));
    ASSERT_TRUE(onGrid(w, u"@&@SQ1996_4_3366"_s));
    ASSERT_TRUE(onGrid(w, u"@&@AF0"_s));
    auto *grid = control<QTableView>(w, u"grdData"_s);
    auto *tabs = control<QTabBar>(w, u"TabStrip1"_s);

    int calls = 0;
    bool refusedAll = true;
    s_db->setIdleHook([&] {
        if (++calls != 3)
            return;
        const QStringList before = rows(*w);
        grid->selectAll();
        QTest::keyClick(grid, Qt::Key_Delete);
        refusedAll &= !onGrid(w, u"@&@SQ1996_4_3366"_s);
        refusedAll &= !onTree(w, u"*/*3366"_s);
        control<QListWidget>(w, u"lstFunkce"_s)->setCurrentRow(0);
        w->lstFunkce_DblClick();
        tabs->setCurrentIndex(2);
        refusedAll &= tabs->currentIndex() == 0;
        // Closing is refused and stops the fill.
        w->parentWidget()->close();
        refusedAll &= !w.isNull() && w->isVisible() && rows(*w) == before;
    });
    ASSERT_TRUE(onGrid(w, u"@&@SQ1998_4_3366"_s, Qt::ControlModifier));
    s_db->setIdleHook({});
    EXPECT_GE(calls, 3);
    EXPECT_TRUE(refusedAll);
    EXPECT_TRUE(user.messages().isEmpty()); // the Delete key asked nothing
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isFilling());
    EXPECT_EQ(w->model().indicatorCount(), 2);
    // Stopped early: fewer new rows than entities with both statements (at most one came).
    EXPECT_LE(w->model().dataRowCount(), 2);

    // A window deleted outright in the middle of a fill: the fill stops, nothing crashes.
    ASSERT_TRUE(onGrid(w, u"@&@SQ1998_3_"_s + entity()));
    QPointer<QWidget> frame = w->parentWidget();
    s_db->setIdleHook([&] {
        if (frame)
            delete frame.data();
    });
    onGrid(w, u"@&@SY1999_"_s + entity());
    s_db->setIdleHook({});
    EXPECT_TRUE(w.isNull());

    // An entity deleted meanwhile gets neither a tree node nor rows.
    QList<qint32> spare = fullYear1998(true);
    spare.removeAll(s_entity);
    const QString deleted = QString::number(spare.front());
    const QString deleteSql = u"UPDATE ident SET inac_ind = %1 WHERE subj_id = %2\rUPDATE name SET inac_ind = %1 WHERE subj_id = %2"_s;
    ASSERT_TRUE(s_db->execute(deleteSql.arg(2).arg(deleted)).ok);
    const auto restore = qScopeGuard([&] { EXPECT_TRUE(s_db->execute(deleteSql.arg(0).arg(deleted)).ok); });

    auto plain = open();
    ASSERT_TRUE(onTree(plain.get(), u"/*/%1_%2"_s.arg(deleted, entity())));
    EXPECT_EQ(control<analysis::EntityTree>(plain.get(), u"tvwData"_s)->entities(), QList<qint32>{s_entity});
    for (const QString &node : {u"@&@SU"_s, u"@&@SY1998_"_s, u"@&@SQ1998_1_"_s})
        ASSERT_TRUE(onGrid(plain.get(), node + deleted));
    EXPECT_EQ(plain->model().dataRowCount(), 0);
}

// Reads outside a fill (the ROE tab, an indicator's description, the peer tab's groups) let events
// through too: the window refuses to close beneath them.
TEST_F(AnalysisWindowTest, ReadsOutsideAFillKeepTheWindowOpenBeneathThem)
{
    ui::ScriptedUser user;
    auto main = mainWindow();
    QPointer<frmAnalyzaSubj> w = qobject_cast<frmAnalyzaSubj *>(main->open(shell::WindowKind::Analysis));
    ASSERT_TRUE(w);
    ASSERT_TRUE(onGrid(w, u"@&@FS0_1_"_s));
    ASSERT_TRUE(onGrid(w, u"@&@SQ1998_4_"_s + entity()));
    int idles = 0;
    bool refused = true;
    s_db->setIdleHook([&] {
        if (w && idles++ == 0)
            refused &= !w->parentWidget()->close();
    });
    const auto stayedOpenThrough = [&](const std::function<void()> &action) {
        idles = 0;
        action();
        return idles > 0 && refused && w;
    };
    auto *tabs = control<QTabBar>(w, u"TabStrip1"_s);
    EXPECT_TRUE(stayedOpenThrough([&] { tabs->setCurrentIndex(3); }));
    ASSERT_TRUE(w);
    EXPECT_TRUE(stayedOpenThrough([&] {
        control<QListWidget>(w, u"lstFunkce"_s)->setCurrentRow(0);
        w->lstFunkce_Click();
    }));
    ASSERT_TRUE(w);
    EXPECT_TRUE(stayedOpenThrough([&] { tabs->setCurrentIndex(4); }));
    s_db->setIdleHook({});
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->parentWidget()->close());
}

// A fill whose reads fail tells it once per operation and leaves the table as it was.
TEST_F(AnalysisWindowTest, AFailedReadIsToldOnceAndLeavesRowsAndCells)
{
    ui::ScriptedUser user;
    auto w = open();
    ASSERT_TRUE(onGrid(w.get(), u"@&@SQ1998_1_"_s + entity()));
    ASSERT_TRUE(onGrid(w.get(), u"@&@FS0_1_"_s));

    ASSERT_TRUE(s_db->execute(u"ALTER TABLE finl_stmt RENAME TO finl_stmt_pryc"_s).ok);
    const auto restore = qScopeGuard([] { EXPECT_TRUE(s_db->execute(u"ALTER TABLE finl_stmt_pryc RENAME TO finl_stmt"_s).ok); });
    ASSERT_TRUE(onGrid(w.get(), u"@&@SY1998_"_s + entity()));
    ASSERT_EQ(user.messages().size(), 1);
    const ui::ShownMessage &message = user.messages().front();
    EXPECT_EQ(message.icon, ui::MessageIcon::Critical);
    EXPECT_EQ(message.title, u"Analýza 1"_s);
    EXPECT_EQ(message.text, u"Hodnoty analýzy nelze spočítat, databáze ohlásila chybu."_s);
    EXPECT_TRUE(message.detail.contains(u"finl_stmt"_s)) << message.detail.toStdString();

    ASSERT_TRUE(onTree(w.get(), u"*/*"_s + entity()));
    EXPECT_EQ(user.messages().size(), 2);
    EXPECT_EQ(rows(*w), QStringList{u"1998_1_"_s + entity()});
    EXPECT_EQ(w->model().indicatorCount(), 2);
    EXPECT_EQ(control<QTreeWidget>(w.get(), u"tvwData"_s)->topLevelItemCount(), 0);
    EXPECT_EQ(w->windowTitle(), u"Analýza 1"_s);

    // Lists that cannot be read at opening: one message for the load.
    ASSERT_TRUE(s_db->execute(u"ALTER TABLE func_for RENAME TO func_for_pryc"_s).ok);
    const auto restoreList = qScopeGuard([] { EXPECT_TRUE(s_db->execute(u"ALTER TABLE func_for_pryc RENAME TO func_for"_s).ok); });
    auto second = open();
    EXPECT_EQ(user.messages().size(), 3);
}

} // namespace

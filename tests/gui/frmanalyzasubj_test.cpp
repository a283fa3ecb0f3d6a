#include "sqlitefixture.h"

#include "analysis/aggregategrid.h"
#include "analysis/analysisdata.h"
#include "analysis/analysismodel.h"
#include "analysis/chartpanel.h"
#include "analysis/entitytree.h"
#include "analysis/frmanalyzasubj.h"
#include "analysis/gridselection.h"
#include "analysis/twodecimals.h"
#include "db/database.h"
#include "indicators/evaluator.h"
#include "shell/appstate.h"
#include "shell/demodata.h"
#include "shell/frmhlavni.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/scripteduser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace verna;
using analysis::frmAnalyzaSubj;

namespace {

// One demo database for the whole suite: the window only reads it.
class AnalysisWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_fixture = new test::SqliteFixture;
        s_db = new db::Database;
        ASSERT_EQ(s_fixture->open(*s_db, test::SqliteFixture::Content::ReferenceData), QString());
        shell::DemoOptions options;
        options.entities = 12;
        options.firstYear = 1998;
        options.lastYear = 1999;
        ASSERT_TRUE(shell::generateDemoData(*s_db, options).ok);
        s_state = new shell::AppState(*s_db);
    }

    static void TearDownTestSuite()
    {
        delete s_state;
        delete s_db;
        delete s_fixture;
    }

    void SetUp() override { s_db->setIdleHook({}); }
    void TearDown() override { s_db->setIdleHook({}); }

    std::unique_ptr<frmAnalyzaSubj> open()
    {
        auto window = std::make_unique<frmAnalyzaSubj>(*s_state);
        window->setWindowTitle(QStringLiteral("Analýza 1"));
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    template <typename T = QWidget>
    static T *control(QWidget *window, const QString &name)
    {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

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

    static QList<qint32> ids(const QString &sql)
    {
        QList<qint32> out;
        for (const QStringList &row : s_db->queryRows(sql).rows)
            out << row.front().toInt();
        return out;
    }

    // A demo entity with statements in every quarter of 1998.
    static qint32 someEntity()
    {
        return ids(QStringLiteral("SELECT subj_id FROM finl_stmt WHERE inac_ind = 0 AND year_dt = 1998 AND subj_id <> 3366 "
                                  "GROUP BY subj_id HAVING count(*) = 8 ORDER BY subj_id"))
            .front();
    }

    static qint32 someGroup()
    {
        return ids(QStringLiteral("SELECT subj_id FROM ident WHERE form_type_cd = 215 AND inac_ind = 0 ORDER BY subj_id")).front();
    }

    static int listIndexOf(QListWidget *list, int indicatorId)
    {
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->data(Qt::UserRole).toInt() == indicatorId)
                return i;
        }
        return -1;
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

    static QString expectedCell(int indicator, const analysis::RowKey &key)
    {
        indicators::Evaluator evaluator(*s_db);
        return analysis::formatValue(evaluator.indicatorValue(indicator, key.entityText(), key.yearText(), key.quarterText()),
                                     QLocale());
    }

    static test::SqliteFixture *s_fixture;
    static db::Database *s_db;
    static shell::AppState *s_state;
};

test::SqliteFixture *AnalysisWindowTest::s_fixture = nullptr;
db::Database *AnalysisWindowTest::s_db = nullptr;
shell::AppState *AnalysisWindowTest::s_state = nullptr;

TEST_F(AnalysisWindowTest, LoadsGroupsIndicatorsAggregatesAndShowsTheComputationTab)
{
    auto w = open();
    auto *groups = control<QComboBox>(w.get(), QStringLiteral("cboFceSkupina"));
    auto *functions = control<QListWidget>(w.get(), QStringLiteral("lstFunkce"));
    auto *aggregates = control<QListWidget>(w.get(), QStringLiteral("lstAgregacni"));
    auto *tabs = control<QTabBar>(w.get(), QStringLiteral("TabStrip1"));
    ASSERT_GE(groups->count(), 2);
    EXPECT_EQ(groups->itemText(0), QStringLiteral("Vše"));
    EXPECT_EQ(functions->count(), s_db->singleValue(QStringLiteral("SELECT count(*) FROM func_for WHERE inac_ind = 0")).toInt());
    EXPECT_EQ(aggregates->count(), 3);
    EXPECT_EQ(aggregates->item(0)->text(), QStringLiteral("Průměr aritmetický"));
    EXPECT_EQ(aggregates->item(2)->text(), QStringLiteral("Medián"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Výpočet"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Report"));
    EXPECT_TRUE(control(w.get(), QStringLiteral("Frame0"))->isVisible());
    EXPECT_FALSE(control(w.get(), QStringLiteral("Frame1"))->isVisible());
    EXPECT_FALSE(control(w.get(), QStringLiteral("cmdStop"))->isVisible());
    auto *grid = control<QTableView>(w.get(), QStringLiteral("grdData"));
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Subjekt"));
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Období"));

    // A group refills the list with its members; a click shows the description.
    groups->setCurrentIndex(1);
    const int members = s_db->singleValue(QStringLiteral("SELECT count(*) FROM func_mem WHERE inac_ind = 0 AND func_mem_grp = ")
                                          + groups->itemData(1).toString())
                            .toInt();
    EXPECT_EQ(functions->count(), members);
    functions->setCurrentRow(0);
    w->lstFunkce_Click();
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("lblPopisFunkce"))->text(),
              s_db->singleValue(QStringLiteral("SELECT RTRIM(LTRIM(func_for_txt)) FROM func_for WHERE func_for_id = ")
                                + functions->item(0)->data(Qt::UserRole).toString()));
}

TEST_F(AnalysisWindowTest, EntityDropsBuildTheTreeOnceAndGroupsBringTheirMembers)
{
    auto w = open();
    auto *tree = control<analysis::EntityTree>(w.get(), QStringLiteral("tvwData"));
    const qint32 entity = someEntity();
    const QString id = QString::number(entity);
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*") + id));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("#&#SU") + id));
    ASSERT_EQ(tree->topLevelItemCount(), 1);

    analysis::AnalysisData data(*s_db);
    const auto identity = data.entityIdentity(entity);
    ASSERT_TRUE(identity);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), identity->first + QLatin1Char(' ') + identity->second);
    EXPECT_EQ(root->data(0, analysis::EntityTree::kKeyRole).toString(), QStringLiteral("SU") + id);
    QTreeWidgetItem *year = tree->findKey(QStringLiteral("SY1998_") + id);
    ASSERT_NE(year, nullptr);
    EXPECT_EQ(year->text(0), QStringLiteral("1998"));
    ASSERT_EQ(year->childCount(), 4);
    EXPECT_EQ(year->child(1)->text(0), QStringLiteral("2. Q"));
    EXPECT_EQ(year->child(1)->data(0, analysis::EntityTree::kKeyRole).toString(), QStringLiteral("SQ1998_2_") + id);

    // A group dropped as one entity adds its active members, each once.
    const qint32 group = someGroup();
    const QList<qint32> members = data.groupMembers(group);
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*") + QString::number(group)));
    QList<qint32> expected{entity};
    for (qint32 m : members) {
        if (!expected.contains(m))
            expected << m;
    }
    EXPECT_EQ(tree->entities(), expected);

    // A list: each id as a single drop would; 3366 is new, the others are there already.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("/*/3366_") + id));
    EXPECT_EQ(tree->entities(), expected + QList<qint32>{3366});

    // An id that names no live entity adds no node.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*987654")));
    EXPECT_EQ(tree->topLevelItemCount(), expected.size() + 1);
}

TEST_F(AnalysisWindowTest, ADeletedEntityOrADuplicateStatementLeavesTreeAndGridSound)
{
    // Two entities nobody else here uses: one deleted, one with its income statement twice.
    QList<qint32> spare = ids(QStringLiteral("SELECT subj_id FROM finl_stmt WHERE inac_ind = 0 AND year_dt = 1998 AND subj_id <> 3366 "
                                             "GROUP BY subj_id HAVING count(*) = 8 ORDER BY subj_id DESC"));
    spare.removeAll(someEntity());
    for (qint32 member : analysis::AnalysisData(*s_db).groupMembers(someGroup()))
        spare.removeAll(member);
    ASSERT_GE(spare.size(), 2);
    const QString deleted = QString::number(spare.at(0));
    const QString doubled = QString::number(spare.at(1));
    struct Restore {
        QString deleted;
        ~Restore()
        {
            s_db->execute(QStringLiteral("UPDATE ident SET inac_ind = 0 WHERE subj_id = ") + deleted + QStringLiteral("\r")
                          + QStringLiteral("UPDATE name SET inac_ind = 0 WHERE subj_id = ") + deleted + QStringLiteral("\r")
                          + QStringLiteral("DELETE FROM finl_stmt WHERE finl_stmt_id = 987654321"));
        }
    } restore{deleted};
    ASSERT_TRUE(s_db->execute(QStringLiteral("UPDATE ident SET inac_ind = 2 WHERE subj_id = ") + deleted + QStringLiteral("\r")
                              + QStringLiteral("UPDATE name SET inac_ind = 2 WHERE subj_id = ") + deleted + QStringLiteral("\r")
                              + QStringLiteral("INSERT INTO finl_stmt (row_id, crt_dt, inac_ind, finl_stmt_id, subj_id, stmt_type_cd, "
                                               "fill_lvl_ind, year_dt, quarter_dt) SELECT 987654321, crt_dt, 0, 987654321, subj_id, "
                                               "stmt_type_cd, fill_lvl_ind, year_dt, quarter_dt FROM finl_stmt WHERE inac_ind = 0 "
                                               "AND subj_id = ")
                              + doubled + QStringLiteral(" AND year_dt = 1998 AND quarter_dt = 4 AND stmt_type_cd = 28"))
                    .ok);

    auto w = open();
    auto *tree = control<analysis::EntityTree>(w.get(), QStringLiteral("tvwData"));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("/*/") + deleted + QLatin1Char('_') + doubled));
    EXPECT_EQ(tree->entities(), QList<qint32>{doubled.toInt()});
    QTreeWidgetItem *year = tree->findKey(QStringLiteral("SY1998_") + doubled);
    ASSERT_NE(year, nullptr);
    EXPECT_EQ(year->childCount(), 4);

    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SU") + deleted));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_1_") + deleted));
    EXPECT_EQ(w->model().dataRowCount(), 0);
    // Three statements in a quarter are not "both statements": a Ctrl-drop skips the entity.
    const QString other = QString::number(someEntity());
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*") + other));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_4_3366"), {}, Qt::ControlModifier));
    EXPECT_EQ(rows(*w), QStringList{QStringLiteral("1998_4_") + other});
    // A year still gives each quarter once.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SY1998_") + doubled));
    EXPECT_EQ(rows(*w).mid(1), (QStringList{QStringLiteral("1998_1_") + doubled, QStringLiteral("1998_2_") + doubled,
                                            QStringLiteral("1998_3_") + doubled, QStringLiteral("1998_4_") + doubled}));
}

TEST_F(AnalysisWindowTest, YearDropAndTwoIndicatorsGiveTheEvaluatorsValues)
{
    auto w = open();
    const qint32 entity = someEntity();
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SY1998_") + QString::number(entity)));
    ASSERT_EQ(w->model().dataRowCount(), 4);
    // The same year again adds nothing.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SY1998_") + QString::number(entity)));
    ASSERT_EQ(w->model().dataRowCount(), 4);

    auto *functions = control<QListWidget>(w.get(), QStringLiteral("lstFunkce"));
    doubleClick(functions, 0);
    doubleClick(functions, 2);
    ASSERT_EQ(w->model().indicatorCount(), 2);
    EXPECT_EQ(w->model().indicatorName(1), functions->item(2)->text());
    auto *grid = control<QTableView>(w.get(), QStringLiteral("grdData"));
    int numbers = 0;
    for (int r = 0; r < 4; ++r) {
        const analysis::RowKey key = w->model().rowKey(r);
        EXPECT_EQ(grid->model()->index(r, 1).data().toString(), QStringLiteral("1998/") + key.quarterText());
        for (int c = 0; c < 2; ++c) {
            const QString cell = grid->model()->index(r, 2 + c).data().toString();
            EXPECT_EQ(cell, expectedCell(w->model().indicatorId(c), key)) << r << "," << c;
            numbers += cell.isEmpty() ? 0 : 1;
        }
    }
    EXPECT_GT(numbers, 0);

    // The reference entity's known value, through a quarter drop and an "FC" drop.
    const int index30 = listIndexOf(functions, 30);
    ASSERT_GE(index30, 0);
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366")));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FC") + QString::number(index30)));
    EXPECT_EQ(w->model().cell(4, 2), QStringLiteral("2.56"));
}

TEST_F(AnalysisWindowTest, CtrlDropOfAQuarterAddsItForEveryEntityWithBothStatements)
{
    auto w = open();
    const qint32 group = someGroup();
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*") + QString::number(group)));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*3366")));
    const QList<qint32> entities = control<analysis::EntityTree>(w.get(), QStringLiteral("tvwData"))->entities();

    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_3_3366"), {}, Qt::ControlModifier));
    analysis::AnalysisData data(*s_db);
    QStringList expected;
    for (qint32 e : entities) {
        if (data.statementCount(e, 1998, 3) == 2)
            expected << QStringLiteral("1998_3_") + QString::number(e);
    }
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(rows(*w), expected); // 3366 has no 1998 statements

    // Without Ctrl only the dragged period of the dragged entity.
    auto plain = open();
    ASSERT_TRUE(ui::deliverDrop(plain.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_3_") + QString::number(entities.front())));
    EXPECT_EQ(rows(*plain), QStringList{QStringLiteral("1998_3_") + QString::number(entities.front())});
}

TEST_F(AnalysisWindowTest, IndicatorDragsAndDropsKeepTheListsOrder)
{
    ui::ScriptedUser user;
    auto w = open();
    auto *functions = control<QListWidget>(w.get(), QStringLiteral("lstFunkce"));
    auto *aggregates = control<QListWidget>(w.get(), QStringLiteral("lstAgregacni"));

    // An empty table takes the columns and computes nothing.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FS0_3_")));
    EXPECT_EQ(columnIds(*w), (QList<int>{functions->item(0)->data(Qt::UserRole).toInt(), functions->item(3)->data(Qt::UserRole).toInt()}));
    EXPECT_EQ(w->model().dataRowCount(), 0);

    w->lstFunkce_OLEStartDrag(); // nothing selected: no drag
    functions->item(4)->setSelected(true);
    w->lstFunkce_OLEStartDrag();
    functions->item(0)->setSelected(true);
    functions->item(3)->setSelected(true);
    w->lstFunkce_OLEStartDrag();
    aggregates->setCurrentRow(2);
    w->lstAgregacni_OLEStartDrag();
    auto *tree = control<analysis::EntityTree>(w.get(), QStringLiteral("tvwData"));
    w->tvwData_OLEStartDrag(); // empty tree: no drag
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*3366")));
    tree->findKey(QStringLiteral("SY1996_3366"))->setSelected(true);
    w->tvwData_OLEStartDrag();
    EXPECT_EQ(user.drags(), (QStringList{QStringLiteral("@&@FC4"), QStringLiteral("@&@FS0_3_4_"), QStringLiteral("@&@AF2"),
                                         QStringLiteral("@&@SY1996_3366")}));

    // What the tree drags, the grid takes.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), user.drags().last()));
    EXPECT_EQ(rows(*w), QStringList{QStringLiteral("1996_4_3366")});
}

TEST_F(AnalysisWindowTest, HostilePayloadsRunNoSqlAndChangeNothing)
{
    auto w = open();
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366")));
    int calls = 0;
    s_db->setIdleHook([&calls] { ++calls; });
    const QStringList hostile{
        QStringLiteral("@&@SU1-2"),     QStringLiteral("@&@FS1__2"),      QStringLiteral("@&@SQ1999_2_12'"),
        QStringLiteral("*/*12'"),       QStringLiteral("/*/1_2;DROP"),    QStringLiteral("#&#SU5 OR 1=1"),
        QStringLiteral("@&@FC99999"),   QStringLiteral("@&@AF7"),         QStringLiteral("@&@SY98_3366"),
        QStringLiteral("@&@SQ1999_5_1"), QStringLiteral("@&@XX1"),        QStringLiteral("/*"),
        QStringLiteral("@&@FS0_99999_"), QStringLiteral("@&@AF-1"),       QString(),
    };
    for (const QString &text : hostile) {
        for (const QString &target : {QStringLiteral("tvwData"), QStringLiteral("grdData"), QStringLiteral("grdAgreg")})
            ui::deliverDrop(w.get(), target, text);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(rows(*w), QStringList{QStringLiteral("1996_4_3366")});
    EXPECT_EQ(w->model().indicatorCount(), 0);
    EXPECT_FALSE(w->model().currentAggregate());
    EXPECT_EQ(control<QTreeWidget>(w.get(), QStringLiteral("tvwData"))->topLevelItemCount(), 0);
}

class DeletionTest : public AnalysisWindowTest
{
protected:
    // Four quarters of one entity and three indicator columns.
    void SetUp() override
    {
        AnalysisWindowTest::SetUp();
        m_window = open();
        m_entity = QString::number(someEntity());
        ASSERT_TRUE(ui::deliverDrop(m_window.get(), QStringLiteral("grdData"), QStringLiteral("@&@SY1998_") + m_entity));
        ASSERT_TRUE(ui::deliverDrop(m_window.get(), QStringLiteral("grdData"), QStringLiteral("@&@FS0_1_2_")));
        m_grid = control<QTableView>(m_window.get(), QStringLiteral("grdData"));
    }

    void pressDelete() { QTest::keyClick(m_grid, Qt::Key_Delete); }

    QString key(int quarter) const { return QStringLiteral("1998_%1_").arg(quarter) + m_entity; }

    std::unique_ptr<frmAnalyzaSubj> m_window;
    QString m_entity;
    QTableView *m_grid = nullptr;
};

TEST_F(DeletionTest, WholeRowsGoAfterYesAndStayAfterNoWhicheverWayTheyWereSelected)
{
    ui::ScriptedUser user;
    // Dragged upwards from the last column of row 3 to the first indicator of row 2.
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(m_grid->model()->index(2, 4)).center());
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, m_grid->visualRect(m_grid->model()->index(1, 2)).center());
    user.willAnswer(QStringLiteral("Ne"));
    pressDelete();
    ASSERT_EQ(user.messages().size(), 1);
    const ui::ShownMessage &question = user.messages().front();
    EXPECT_EQ(question.title, QStringLiteral("Odstranění řádků"));
    EXPECT_EQ(question.text, QStringLiteral("Opravdu chcete vybrané řádky odstranit?"));
    EXPECT_EQ(question.icon, ui::MessageIcon::Question);
    EXPECT_EQ(question.buttons, (QStringList{QStringLiteral("Ano"), QStringLiteral("Ne")}));
    EXPECT_EQ(m_window->model().dataRowCount(), 4);

    user.willAnswer(QStringLiteral("Ano"));
    pressDelete();
    EXPECT_EQ(rows(*m_window), (QStringList{key(1), key(4)}));
    EXPECT_EQ(m_window->model().indicatorCount(), 3);
}

TEST_F(DeletionTest, WholeColumnsAndTheWholeValueAreaGoAndTheAggregateFollows)
{
    ui::ScriptedUser user;
    const QList<int> before = columnIds(*m_window);
    m_window->lstAgregacni_DblClick(); // no current item: nothing
    EXPECT_FALSE(m_window->model().currentAggregate());
    ASSERT_TRUE(ui::deliverDrop(m_window.get(), QStringLiteral("grdAgreg"), QStringLiteral("@&@AF1")));
    auto *aggregate = control<analysis::AggregateGrid>(m_window.get(), QStringLiteral("grdAgreg"));
    const int rowsLeft = m_window->model().dataRowCount();
    ASSERT_EQ(aggregate->columnCount(), 4);

    // Header clicks from the third indicator back to the second: both columns, all rows.
    QHeaderView *header = m_grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(4) + 5, 5));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(header->sectionViewportPosition(3) + 5, 5));
    user.willAnswer(QStringLiteral("Ano"));
    pressDelete();
    ASSERT_EQ(user.messages().size(), 1);
    EXPECT_EQ(user.messages().back().text, QStringLiteral("Opravdu chcete vybrané sloupce odstranit?"));
    EXPECT_EQ(columnIds(*m_window), QList<int>{before.front()});
    EXPECT_EQ(aggregate->columnCount(), 2);
    EXPECT_EQ(aggregate->cellText(1), m_window->model().aggregateRow().value(0));
    EXPECT_EQ(m_window->model().dataRowCount(), rowsLeft);

    // Everything: the columns go, the rows stay, and the aggregate row is left empty.
    m_grid->selectAll();
    user.willAnswer(QStringLiteral("Ano"));
    pressDelete();
    EXPECT_EQ(user.messages().back().text, QStringLiteral("Opravdu chcete vybrané sloupce odstranit?"));
    EXPECT_EQ(m_window->model().indicatorCount(), 0);
    EXPECT_EQ(m_window->model().columnCount(), 2);
    EXPECT_EQ(m_window->model().dataRowCount(), rowsLeft);
    EXPECT_EQ(aggregate->columnCount(), 1);
    EXPECT_EQ(aggregate->cellText(0), QString());

    // A lone cell is no shape: nothing is asked.
    ASSERT_GT(rowsLeft, 1);
    selectCells(m_grid, 0, 1, 0, 1);
    const qsizetype asked = user.messages().size();
    pressDelete();
    EXPECT_EQ(user.messages().size(), asked);
}

TEST(GridSelection, ShapesOfTheDeleteKey)
{
    using analysis::CellRange;
    using analysis::DeleteRequest;
    using analysis::deleteRequest;
    // 4 data rows, 3 indicators: columns 2..4.
    EXPECT_EQ(deleteRequest(CellRange{0, 2, 3, 4}, 4, 3).kind, DeleteRequest::AllIndicators);
    EXPECT_EQ(deleteRequest(CellRange{3, 4, 0, 0}, 4, 3).kind, DeleteRequest::AllIndicators); // select all, reversed
    const DeleteRequest rows = deleteRequest(CellRange{2, 4, 1, 0}, 4, 3);
    EXPECT_EQ(rows.kind, DeleteRequest::Rows);
    EXPECT_EQ(std::pair(rows.first, rows.last), std::pair(1, 2));
    const DeleteRequest columns = deleteRequest(CellRange{3, 3, 0, 0}, 4, 3);
    EXPECT_EQ(columns.kind, DeleteRequest::Indicators); // name and period never go
    EXPECT_EQ(std::pair(columns.first, columns.last), std::pair(0, 1));
    EXPECT_EQ(deleteRequest(CellRange{0, 0, 3, 1}, 4, 3).kind, DeleteRequest::None);
    EXPECT_EQ(deleteRequest(CellRange{1, 3, 2, 3}, 4, 3).kind, DeleteRequest::None);
    EXPECT_EQ(deleteRequest(CellRange{0, 2, 9, 4}, 4, 3).kind, DeleteRequest::None); // outside the table
    // Without indicators a row from name to period is whole.
    EXPECT_EQ(deleteRequest(CellRange{1, 0, 1, 1}, 4, 0).kind, DeleteRequest::Rows);
    EXPECT_EQ(deleteRequest(CellRange{1, 1, 1, 1}, 4, 0).kind, DeleteRequest::None);
}

TEST_F(AnalysisWindowTest, AggregateByDoubleClickAndByDropIsTheSameRowLinedUpUnderTheGrid)
{
    auto w = open();
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SU") + QString::number(someEntity())));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FS0_1_2_")));
    auto *aggregates = control<QListWidget>(w.get(), QStringLiteral("lstAgregacni"));
    auto *aggregate = control<analysis::AggregateGrid>(w.get(), QStringLiteral("grdAgreg"));
    auto *grid = control<QTableView>(w.get(), QStringLiteral("grdData"));

    doubleClick(aggregates, 2);
    ASSERT_EQ(w->model().currentAggregate(), analysis::Aggregate::Median);
    QStringList byClick;
    for (int c = 0; c < aggregate->columnCount(); ++c)
        byClick << aggregate->cellText(c);
    EXPECT_EQ(byClick.front(), QStringLiteral("Medián"));
    EXPECT_EQ(byClick.mid(1), w->model().aggregateRow());
    EXPECT_EQ(byClick.size(), 4);

    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@AF1")));
    EXPECT_EQ(aggregate->cellText(0), QStringLiteral("Suma"));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdAgreg"), QStringLiteral("@&@AF2")));
    QStringList byDrop;
    for (int c = 0; c < aggregate->columnCount(); ++c)
        byDrop << aggregate->cellText(c);
    EXPECT_EQ(byDrop, byClick);

    // A row added later is in the aggregate at once.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366")));
    EXPECT_EQ(aggregate->cellText(1), w->model().aggregateRow().value(0));

    // Widths follow the grid, also a border the user drags; scrolling goes together.
    EXPECT_EQ(aggregate->columnWidth(0), grid->columnWidth(0) + grid->columnWidth(1));
    grid->horizontalHeader()->resizeSection(3, 333);
    EXPECT_EQ(aggregate->columnWidth(2), 333);
    w->resize(300, w->height());
    QCoreApplication::processEvents();
    ASSERT_GT(grid->horizontalScrollBar()->maximum(), 0);
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    EXPECT_EQ(aggregate->horizontalScrollBar()->value(), grid->horizontalScrollBar()->value());
    EXPECT_EQ(aggregate->columnViewportPosition(2), grid->columnViewportPosition(3));
}

TEST_F(AnalysisWindowTest, CzechCellsAreWrittenAndAggregatedWithTheDecimalComma)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
    auto w = open();
    QLocale::setDefault(before);
    const int index30 = listIndexOf(control<QListWidget>(w.get(), QStringLiteral("lstFunkce")), 30);
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366")));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FC") + QString::number(index30)));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@AF1")));
    EXPECT_EQ(w->model().cell(0, 0), QStringLiteral("2,56"));
    EXPECT_EQ(control<analysis::AggregateGrid>(w.get(), QStringLiteral("grdAgreg"))->cellText(1), QStringLiteral("2,56"));
}

TEST_F(AnalysisWindowTest, CtrlCCopiesTheSelectedRectangleAndTheMenuExportsTheTable)
{
    ui::ScriptedUser user;
    auto w = open();
    const int index30 = listIndexOf(control<QListWidget>(w.get(), QStringLiteral("lstFunkce")), 30);
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366")));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FC") + QString::number(index30)));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@AF0")));
    auto *grid = control<QTableView>(w.get(), QStringLiteral("grdData"));
    selectCells(grid, 0, 1, 0, 2);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("1996/4\t2.56\n"));

    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("tabulka")); // the suffix is added
    user.willChooseFile(csv);
    control<QAction>(w.get(), QStringLiteral("miExportCsv"))->trigger();
    QFile written(csv + QStringLiteral(".csv"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(written.readAll());
    EXPECT_TRUE(text.endsWith(QStringLiteral("Průměr aritmetický,,2.56\n"))) << text.toStdString();

    user.willChooseFile(dir.filePath(QStringLiteral("tabulka.xlsx")));
    control<QAction>(w.get(), QStringLiteral("miExportXlsx"))->trigger();
    QFile xlsx(dir.filePath(QStringLiteral("tabulka.xlsx")));
    ASSERT_TRUE(xlsx.open(QIODevice::ReadOnly));
    EXPECT_TRUE(xlsx.read(2) == "PK");
    EXPECT_TRUE(user.messages().isEmpty());

    // A folder that is not there: the user is told, in Czech, with the reason.
    user.willChooseFile(dir.filePath(QStringLiteral("neni/tabulka.csv")));
    control<QAction>(w.get(), QStringLiteral("miExportCsv"))->trigger();
    ASSERT_EQ(user.messages().size(), 1);
    EXPECT_EQ(user.messages().front().icon, ui::MessageIcon::Critical);
    EXPECT_EQ(user.messages().front().text, QStringLiteral("Tabulku se nepodařilo uložit."));
    EXPECT_FALSE(user.messages().front().detail.isEmpty());
}

TEST_F(AnalysisWindowTest, TheChartTabChartsTheSelection)
{
    auto w = open();
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SY1998_") + QString::number(someEntity())));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FS0_1_")));
    auto *grid = control<QTableView>(w.get(), QStringLiteral("grdData"));
    auto *panel = w->findChild<analysis::ChartPanel *>();
    ASSERT_NE(panel, nullptr);
    auto *tabs = control<QTabBar>(w.get(), QStringLiteral("TabStrip1"));

    // Rows 2 and 3 whole: after the first rotation the indicators are the series.
    selectCells(grid, 1, 0, 2, 3);
    tabs->setCurrentIndex(1);
    EXPECT_TRUE(control(w.get(), QStringLiteral("Frame1"))->isVisible());
    EXPECT_EQ(panel->data().series.size(), 2);
    EXPECT_EQ(panel->data().categories.size(), 2);
    EXPECT_TRUE(panel->data().wholeRows);

    // Back, and with nothing selected the whole table.
    tabs->setCurrentIndex(0);
    grid->clearSelection();
    tabs->setCurrentIndex(1);
    EXPECT_EQ(panel->data().categories.size(), 4);
}

TEST_F(AnalysisWindowTest, InTheMainWindowItSizesItselfAndTagsTheFileItems)
{
    shell::WindowRegistry registry;
    registry.add(shell::commands::kAnalyza, [](shell::AppState &state) { return new frmAnalyzaSubj(state); });
    shell::frmHlavni main(*s_state, std::move(registry));
    main.resize(1000, 700);
    main.show();
    QApplication::setActiveWindow(&main);
    QWidget *w = main.openWindow(shell::commands::kAnalyza);
    ASSERT_NE(w, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Analýza 1"));
    EXPECT_EQ(w->size(), QSize(700, 280));

    auto *save = main.findChild<QAction *>(QStringLiteral("miUlozit"));
    auto *openItem = main.findChild<QAction *>(QStringLiteral("miOtevrit"));
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(main.saveItemTag(), QStringLiteral("vykaz"));
    auto *tabs = control<QTabBar>(w, QStringLiteral("TabStrip1"));
    tabs->setCurrentIndex(2);
    EXPECT_EQ(main.saveItemTag(), QStringLiteral("report"));
    EXPECT_TRUE(openItem->isEnabled());
    EXPECT_TRUE(control(w, QStringLiteral("Frame2"))->isVisible());
    tabs->setCurrentIndex(1);
    EXPECT_EQ(main.saveItemTag(), QStringLiteral("vykaz"));
    EXPECT_FALSE(openItem->isEnabled());
    qobject_cast<frmAnalyzaSubj *>(w)->Form_Deactivate();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(main.saveItemTag(), QString());
}

TEST_F(AnalysisWindowTest, EscStopsAFillLikeTheStopButton)
{
    auto w = open();
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("tvwData"), QStringLiteral("*/*") + QString::number(someGroup())));
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@FS0_1_")));
    auto *grid = control<QTableView>(w.get(), QStringLiteral("grdData"));
    QApplication::setActiveWindow(w.get());
    grid->setFocus();
    int calls = 0;
    s_db->setIdleHook([&] {
        if (++calls == 3)
            QTest::keyClick(grid, Qt::Key_Escape);
    });
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_4_3366"), {}, Qt::ControlModifier));
    s_db->setIdleHook({});
    EXPECT_LE(w->model().dataRowCount(), 1);
    EXPECT_FALSE(w->isFilling());

    // The next fill starts afresh.
    ASSERT_TRUE(ui::deliverDrop(w.get(), QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_4_3366"), {}, Qt::ControlModifier));
    EXPECT_GT(w->model().dataRowCount(), 1);
}

// A fill interrupted by everything a user can do meanwhile: every change is refused, Stop ends
// it, and the window survives; closing it for good while a fill runs does not crash either.
TEST_F(AnalysisWindowTest, WhileFillingEverythingThatWouldChangeTheTableIsRefused)
{
    ui::ScriptedUser user;
    shell::WindowRegistry registry;
    registry.add(shell::commands::kAnalyza, [](shell::AppState &state) { return new frmAnalyzaSubj(state); });
    shell::frmHlavni main(*s_state, std::move(registry));
    main.show();
    QPointer<frmAnalyzaSubj> w = qobject_cast<frmAnalyzaSubj *>(main.openWindow(shell::commands::kAnalyza));
    ASSERT_TRUE(w);
    const QString group = QString::number(someGroup());
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("tvwData"), QStringLiteral("*/*") + group));
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("tvwData"), QStringLiteral("*/*3366")));
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@FS0_1_")));
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366")));
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@AF0")));
    auto *grid = control<QTableView>(w, QStringLiteral("grdData"));
    auto *tabs = control<QTabBar>(w, QStringLiteral("TabStrip1"));
    auto *stop = control<QPushButton>(w, QStringLiteral("cmdStop"));
    const QString caption = w->windowTitle();

    int calls = 0;
    bool sawStop = false;
    bool refusedAll = true;
    s_db->setIdleHook([&] {
        if (++calls != 3)
            return;
        sawStop = stop->isVisible() && stop->isEnabled();
        EXPECT_EQ(w->windowTitle(), ui::kBusyCaption);
        const QStringList before = rows(*w);
        grid->selectAll();
        QTest::keyClick(grid, Qt::Key_Delete);
        refusedAll &= !ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@SQ1996_4_3366"));
        refusedAll &= !ui::deliverDrop(w, QStringLiteral("tvwData"), QStringLiteral("*/*3366"));
        control<QListWidget>(w, QStringLiteral("lstFunkce"))->setCurrentRow(0);
        w->lstFunkce_DblClick();
        tabs->setCurrentIndex(2);
        refusedAll &= tabs->currentIndex() == 0;
        w->parentWidget()->close();
        refusedAll &= !w.isNull() && w->isVisible() && rows(*w) == before;
        QTest::mouseClick(stop, Qt::LeftButton);
    });
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_4_3366"), {}, Qt::ControlModifier));
    s_db->setIdleHook({});
    EXPECT_GE(calls, 3);
    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(refusedAll);
    EXPECT_TRUE(user.messages().isEmpty()); // the Delete key asked nothing
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), caption);
    EXPECT_FALSE(stop->isVisible());
    EXPECT_EQ(w->model().indicatorCount(), 2);
    // Stopped early: fewer new rows than entities with both statements (at most one came).
    EXPECT_LE(w->model().dataRowCount(), 2);

    // A window deleted outright in the middle of a fill: the fill stops, nothing crashes.
    ASSERT_TRUE(ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@SQ1998_3_") + QString::number(someEntity())));
    QPointer<QWidget> frame = w->parentWidget();
    s_db->setIdleHook([&] {
        if (frame)
            delete frame.data();
    });
    ui::deliverDrop(w, QStringLiteral("grdData"), QStringLiteral("@&@SY1999_") + QString::number(someEntity()));
    s_db->setIdleHook({});
    EXPECT_TRUE(w.isNull());
}

} // namespace

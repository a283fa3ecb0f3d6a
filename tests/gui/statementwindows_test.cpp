#include "demofixture.h"
#include "dropdelivery.h"

#include "selection/datatree.h"
#include "selection/frmvyberdat.h"
#include "shell/frmhlavni.h"
#include "shell/standardwindows.h"
#include "statements/frmtabulka.h"
#include "statements/statementtable.h"
#include "ui/busyguard.h"
#include "ui/scripteduser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using selection::DataTree;
using selection::frmVyberDat;
using statements::frmTabulka;

namespace {

class StatementWindowsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_db = &test::DemoFixture::get().db();
        s_state = &test::DemoFixture::get().state();
        // A demo company with statements in 1998, and a demo group.
        s_entity = s_db->singleValue(u"SELECT min(subj_id) FROM finl_stmt WHERE inac_ind = 0 AND year_dt = 1998 AND subj_id <> 3366"_s).toInt();
        s_group = s_db->singleValue(u"SELECT min(m.subj_id) FROM mem m WHERE m.inac_ind = 0 AND m.subj_id > 0"_s).toInt();
    }

    void TearDown() override { s_db->setIdleHook({}); }

    static std::unique_ptr<shell::frmHlavni> mainWindow()
    {
        auto main = std::make_unique<shell::frmHlavni>(*s_state, shell::standardWindows());
        main->show();
        return main;
    }

    static QString entity() { return QString::number(s_entity); }
    static bool onTree(QWidget *w, const QString &payload) { return test::deliverDrop(w, u"tvwData"_s, payload); }
    static bool onGrid(QWidget *w, const QString &payload) { return test::deliverDrop(w, u"grdData"_s, payload); }

    static QStringList childKeys(const QTreeWidgetItem *item)
    {
        QStringList keys;
        for (int i = 0; item && i < item->childCount(); ++i)
            keys << DataTree::key(item->child(i));
        return keys;
    }

    inline static db::Database *s_db = nullptr;
    inline static shell::AppState *s_state = nullptr;
    inline static qint32 s_entity = 0;
    inline static qint32 s_group = 0;
};

} // namespace

TEST_F(StatementWindowsTest, TreeTakesEntitiesOnceLoadsViewsAndMembersOnClickAndEscEndsAnInsertion)
{
    auto main = mainWindow();
    auto *w = qobject_cast<frmVyberDat *>(main->openDataSelection(std::nullopt));
    ASSERT_TRUE(w);
    DataTree *tree = w->tree();
    ASSERT_TRUE(onTree(w, u"*/*"_s + entity()));
    ASSERT_TRUE(onTree(w, u"/*/"_s + entity() + u"_3366"_s));
    onTree(w, u"*/*1;DROP"_s);
    ASSERT_TRUE(onTree(w, u"@&@SU3366"_s));
    EXPECT_EQ(tree->entities(), (QList<qint32>{s_entity, 3366}));
    EXPECT_EQ(w->windowTitle(), u"Výběr dat"_s);

    // The full income statement of the reference pair: its abbreviated view lists 27 lines once.
    const QString stmt = s_db->singleValue(u"SELECT finl_stmt_id FROM finl_stmt WHERE subj_id = 3366 AND stmt_type_cd = 28"_s);
    QTreeWidgetItem *quarter = tree->findKey(u"Q"_s + stmt);
    ASSERT_TRUE(quarter);
    EXPECT_EQ(childKeys(quarter), (QStringList{u"QF"_s + stmt, u"QG"_s + stmt}));
    w->tvwData_NodeClick(quarter->child(0));
    EXPECT_EQ(DataTree::key(quarter->child(0)), u"NF"_s + stmt);
    EXPECT_EQ(quarter->child(0)->childCount(), 27);
    w->tvwData_NodeClick(quarter->child(0));
    EXPECT_EQ(quarter->child(0)->childCount(), 27);

    // A group of the entity's memberships lists its members on click.
    ASSERT_TRUE(onTree(w, u"*/*"_s + s_db->singleValue(u"SELECT min(mem_id) FROM mem WHERE inac_ind = 0 AND subj_id = "_s + QString::number(s_group))));
    QTreeWidgetItemIterator it(tree);
    QTreeWidgetItem *group = nullptr;
    for (; *it && !group; ++it) {
        if (DataTree::tag(*it) == u"SK"_s + QString::number(s_group))
            group = *it;
    }
    ASSERT_TRUE(group);
    w->tvwData_NodeClick(group);
    EXPECT_EQ(DataTree::tag(group), u"NK"_s + QString::number(s_group));
    EXPECT_EQ(group->childCount(), s_db->singleValue(u"SELECT count(*) FROM mem m, name n WHERE m.subj_id = "_s + QString::number(s_group)
                                                     + u" AND m.inac_ind IN(0,1) AND n.subj_id = m.mem_id AND n.inac_ind = 0"_s).toInt());

    // A node drags out as its key; nodes without one do not drag.
    ui::ScriptedUser user;
    tree->setCurrentItem(quarter->child(1));
    w->tvwData_OLEStartDrag();
    tree->setCurrentItem(group);
    w->tvwData_OLEStartDrag();
    EXPECT_EQ(user.drags(), QStringList{u"#&#QG"_s + stmt});

    // Esc ends an insertion before its entity is added; a drop meanwhile is refused; the next drop works.
    auto second = mainWindow();
    auto *selection = qobject_cast<frmVyberDat *>(second->openDataSelection(std::nullopt));
    ASSERT_TRUE(selection);
    QApplication::setActiveWindow(second.get());
    selection->tree()->setFocus();
    int calls = 0;
    bool refused = true;
    s_db->setIdleHook([&] {
        if (++calls != 2)
            return;
        refused &= !onTree(selection, u"*/*3366"_s);
        QTest::keyClick(selection->tree(), Qt::Key_Escape);
    });
    onTree(selection, u"*/*"_s + entity());
    s_db->setIdleHook({});
    EXPECT_GE(calls, 2);
    EXPECT_TRUE(refused);
    EXPECT_TRUE(selection->tree()->entities().isEmpty());
    EXPECT_FALSE(ui::isBusy(selection));
    ASSERT_TRUE(onTree(selection, u"*/*"_s + entity()));
    EXPECT_EQ(selection->tree()->entities(), QList<qint32>{s_entity});
    EXPECT_EQ(selection->tree()->topLevelItemCount(), 1);
}

TEST_F(StatementWindowsTest, TheTableShowsDroppedAndDraggedStatementsAndAWindowOpensOnTheHandedOverEntity)
{
    ui::ScriptedUser user;
    auto main = mainWindow();
    auto *w = qobject_cast<frmTabulka *>(main->open(shell::WindowKind::StatementTable));
    ASSERT_TRUE(w);
    EXPECT_EQ(main->saveItemTag(), u"vykaz"_s);
    ASSERT_TRUE(onGrid(w, u"#&#YR1998_"_s + entity()));
    const statements::StatementTable &table = w->table();
    const int quarters = s_db->singleValue(u"SELECT count(*) FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 27 AND year_dt = 1998 AND subj_id = "_s + entity()).toInt();
    ASSERT_EQ(table.statementCount(), quarters);
    EXPECT_EQ(w->windowTitle(), u"Zkrácená rozvaha"_s);
    EXPECT_EQ(table.headerLines(1).value(1), u"1998/1"_s);
    // Amounts are those stored.
    const QString stmt = s_db->singleValue(u"SELECT min(finl_stmt_id) FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 27 AND year_dt = 1998 AND quarter_dt = 1 AND subj_id = "_s + entity());
    EXPECT_EQ(table.data(table.index(0, 1)).toString(), s_db->singleValue(u"SELECT amt_val FROM finl_item WHERE inac_ind = 0 AND item_type_cd = 92 AND finl_stmt_id = "_s + stmt));

    // Another kind is refused with the message and changes nothing.
    ASSERT_TRUE(onGrid(w, u"#&#YV1998_"_s + entity()));
    ASSERT_EQ(user.messages().size(), 1);
    EXPECT_EQ(user.messages().front().title, u"Informace"_s);
    EXPECT_EQ(user.messages().front().text, u"Neslučitelné typy výkazů.\r\nOtevřete si nové okno \"Finanční data\"."_s);
    EXPECT_EQ(table.statementCount(), quarters);

    // Ctrl+C copies the selected cells, tab-separated.
    auto *grid = w->findChild<QTableView *>(u"grdData"_s);
    grid->selectionModel()->select(QItemSelection(table.index(0, 0), table.index(0, 1)), QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), table.data(table.index(0, 0)).toString() + u"\t"_s + table.data(table.index(0, 1)).toString() + u"\n"_s);

    // Delete on whole columns asks, then removes; all gone, the next drop starts a clean table.
    grid->selectionModel()->select(QItemSelection(table.index(0, 1), table.index(table.rowCount() - 1, table.columnCount() - 1)),
                                   QItemSelectionModel::ClearAndSelect);
    user.willAnswer(ui::kYes);
    QTest::keyClick(grid, Qt::Key_Delete);
    ASSERT_EQ(user.messages().size(), 2);
    EXPECT_EQ(user.messages().back().text, u"Opravdu chcete vybrané sloupce odstranit?"_s);
    EXPECT_EQ(user.messages().back().title, u"Odstranění řádků"_s);
    EXPECT_EQ(table.columnCount(), 1);
    ASSERT_TRUE(onGrid(w, u"#&#QW"_s + stmt));
    EXPECT_EQ(table.statementCount(), 1);
    EXPECT_EQ(table.rowCount(), s_db->singleValue(u"SELECT count(*) FROM finl_item fi, cd_val c WHERE fi.inac_ind = 0 AND c.val_agn = fi.item_type_cd AND fi.finl_stmt_id = "_s + stmt).toInt());
    EXPECT_EQ(table.kind(), u"QW"_s);

    main->mdiArea()->closeAllSubWindows();
    EXPECT_TRUE(main->saveItemTag().isEmpty());

    // The user's way: a balance-sheet year dragged from the tree onto the table; a data selection opened on an entity shows it.
    ui::ScriptedUser dragUser;
    auto second = mainWindow();
    auto *tree = qobject_cast<frmVyberDat *>(second->openDataSelection(std::nullopt));
    ASSERT_TRUE(onTree(tree, u"*/*"_s + entity()));
    auto *target = qobject_cast<frmTabulka *>(second->open(shell::WindowKind::StatementTable));
    for (const QString &year : {u"1998"_s, u"1999"_s}) {
        QTreeWidgetItem *node = tree->tree()->findKey(u"YR"_s + year + u"_"_s + entity());
        ASSERT_TRUE(node);
        tree->tree()->setCurrentItem(node);
        tree->tvwData_OLEStartDrag();
        ASSERT_TRUE(onGrid(target, dragUser.drags().back()));
    }
    EXPECT_EQ(target->table().statementCount(), s_db->singleValue(u"SELECT count(*) FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 27 AND subj_id = "_s + entity()).toInt());
    EXPECT_TRUE(dragUser.messages().isEmpty());

    // The window opens on the entity handed over.
    EXPECT_TRUE(second->findChild<QAction *>(u"miVyber"_s)->isEnabled() && second->findChild<QAction *>(u"miVykaz"_s)->isEnabled());
    auto *selection = qobject_cast<frmVyberDat *>(second->openDataSelection(3366));
    ASSERT_TRUE(selection);
    QTRY_COMPARE(selection->tree()->entities(), QList<qint32>{3366});
}


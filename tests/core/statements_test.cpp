#include "indicators/evaluator.h"
#include "selection/nodekey.h"
#include "selection/treedata.h"
#include "shell/modhlavni.h"
#include "statements/statementdata.h"
#include "statements/statementtable.h"
#include "statements/statementvalues.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::statements;
using namespace verna::test;

namespace {

constexpr qint32 kEntity = 3366;

class StatementsTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_evaluator = std::make_unique<indicators::Evaluator>(db());
        m_data = std::make_unique<StatementData>(db(), *m_evaluator);
        m_tree = std::make_unique<selection::TreeData>(db(), *m_evaluator);
        m_balance = statementId(27);
        m_income = statementId(28);
        ASSERT_NE(m_balance, 0);
    }

    qint32 statementId(int type)
    {
        return db().singleValue(QStringLiteral("SELECT finl_stmt_id FROM finl_stmt WHERE subj_id = 3366 AND stmt_type_cd = %1").arg(type)).toInt();
    }

    // An abbreviated statement of 3366 with the given lines.
    void addStatement(qint32 id, int type, int year, int fill, const QList<std::pair<int, QString>> &items)
    {
        QStringList sql{QStringLiteral("INSERT INTO finl_stmt VALUES(%1,getdate(),0,%5,3366,%2,null,0,null,0,0,null,null,1,%3,%4,4)")
                            .arg(id * 1000)
                            .arg(type)
                            .arg(fill)
                            .arg(year)
                            .arg(id)};
        int row = id * 1000;
        for (const auto &[code, amount] : items)
            sql << QStringLiteral("INSERT INTO finl_item VALUES(%1,getdate(),0,%2,3366,%3,%4)").arg(--row).arg(id).arg(code).arg(amount);
        ASSERT_TRUE(db().execute(sql.join(QLatin1Char('\r'))).ok);
    }

    StatementColumn column(qint32 id, Layout layout)
    {
        const auto read = m_data->column(id, layout);
        EXPECT_TRUE(read.ok()) << read.error.toStdString();
        return read.value.value_or(StatementColumn{});
    }

    std::unique_ptr<indicators::Evaluator> m_evaluator;
    std::unique_ptr<StatementData> m_data;
    std::unique_ptr<selection::TreeData> m_tree;
    qint32 m_balance = 0;
    qint32 m_income = 0;
};

QStringList texts(const QList<selection::TreeNode> &nodes)
{
    QStringList out;
    for (const auto &n : nodes)
        out << n.text;
    return out;
}

} // namespace

TEST(StatementLine, NameIsCutOrPaddedAndValueRightAligned)
{
    QString name = QStringLiteral("A");
    EXPECT_EQ(formatRadekPolozky(name, QString()), QStringLiteral("A").leftJustified(55));
    EXPECT_EQ(name.size(), 40);
    QString exact(40, QLatin1Char('x'));
    EXPECT_EQ(formatRadekPolozky(exact, QStringLiteral("5")), QString(40, QLatin1Char('x')) + QString(14, QLatin1Char(' ')) + QLatin1Char('5'));
    QString longer = QString(40, QLatin1Char('y')) + QLatin1Char('z');
    formatRadekPolozky(longer, {});
    EXPECT_EQ(longer, QString(40, QLatin1Char('y')));
    QString any = QStringLiteral("B");
    EXPECT_EQ(formatRadekPolozky(any, QStringLiteral("1234567890123456")).size(), 56); // a long value is kept whole
}

TEST(StatementTableRules, DropKindsAndIncompatibility)
{
    EXPECT_EQ(dropRule(QStringLiteral("NP"))->kind, QStringLiteral("QP"));
    EXPECT_EQ(dropRule(QStringLiteral("QZ"))->title, QStringLiteral("Zkrácená rozvaha"));
    EXPECT_EQ(dropRule(QStringLiteral("NF"))->kind, QStringLiteral("QV"));
    EXPECT_EQ(dropRule(QStringLiteral("CV"))->title, QStringLiteral("Zkrácená výsledovka"));
    EXPECT_FALSE(dropRule(QStringLiteral("SU")));
    EXPECT_FALSE(dropRule(QStringLiteral("AC")));
    StatementTable table;
    EXPECT_TRUE(table.accepts(*dropRule(QStringLiteral("QP"))));
    table.setKind(*dropRule(QStringLiteral("YR")));
    EXPECT_TRUE(table.accepts(*dropRule(QStringLiteral("QW"))));
    EXPECT_FALSE(table.accepts(*dropRule(QStringLiteral("QP"))));
    EXPECT_FALSE(table.accepts(*dropRule(QStringLiteral("YV"))));
}

TEST(StatementTableRules, ColumnsAlignByCodeAndAnEmptiedTableStartsAfresh)
{
    const auto statement = [](qint32 id, const QList<std::pair<int, QString>> &items) {
        StatementColumn c;
        c.statementId = id;
        c.entity = 1;
        c.year = 1999;
        c.quarter = 4;
        for (const auto &[code, value] : items) {
            c.codes << code;
            c.titles.insert(code, QStringLiteral("r") + QString::number(code));
            c.values.insert(code, value);
        }
        return c;
    };
    StatementTable table;
    table.appendColumn(statement(1, {{10, QStringLiteral("100")}, {30, QStringLiteral("300")}}));
    table.appendColumn(statement(2, {{20, QStringLiteral("2")}, {30, QStringLiteral("350.5")}, {40, QStringLiteral("4")}}));
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.cells(0, 0, 3, 2), (QList<QStringList>{{QStringLiteral("r10"), QStringLiteral("100"), QString()},
                                                           {QStringLiteral("r20"), QString(), QStringLiteral("2")},
                                                           {QStringLiteral("r30"), QStringLiteral("300"), QStringLiteral("350.5")},
                                                           {QStringLiteral("r40"), QString(), QStringLiteral("4")}}));
    // The change between two statements of one entity, absolute and in per cent of the first.
    ASSERT_TRUE(table.canInsertChange(1));
    table.insertChange(1);
    EXPECT_EQ(table.headerLines(2).front(), QStringLiteral("Změna"));
    EXPECT_EQ(table.cells(2, 2, 2, 4), (QList<QStringList>{{QStringLiteral("50.5"), QStringLiteral("16.83"), QStringLiteral("350.5")}}));
    EXPECT_EQ(table.cells(0, 2, 0, 3), (QList<QStringList>{{QString(), QString()}}));
    EXPECT_TRUE(analysis::tableAsCsv(table.exportTable()).startsWith(QStringLiteral(",,Změna,Změna,\n,1999/4,absolutně,v %,1999/4\nr10,100,,,\n")));
    EXPECT_EQ(changePercent(QStringLiteral("-200"), QStringLiteral("-100")), QStringLiteral("50"));
    EXPECT_EQ(changePercent(QStringLiteral("0"), QStringLiteral("5")), QString());
    // Removing a compared statement takes its change columns along.
    table.removeColumns(4, 4);
    EXPECT_EQ(table.columnCount(), 2);
    table.removeColumns(1, 1);
    EXPECT_EQ(table.rowCount(), 0);
    table.appendColumn(statement(3, {{50, QStringLiteral("5")}}));
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.columnCount(), 2);
    EXPECT_EQ(table.exportTable().header.size(), 2);
}

TEST_P(StatementsTest, ValuesOfItemsAndComputedRows)
{
    const QString id = QString::number(m_balance);
    EXPECT_EQ(getHodnotaPolozky(db(), 92, id).value, QStringLiteral("809550"));
    EXPECT_EQ(db().sharedSql(), QStringLiteral("SELECT amt_val FROM finl_item WHERE inac_ind = 0 AND finl_stmt_id = ") + id + QStringLiteral(" AND item_type_cd = 92"));
    EXPECT_EQ(getHodnotaPolozky(db(), 9999, id).value, QString());
    EXPECT_EQ(getHodnotaPolozky(db(), 92, QStringLiteral("1; DROP TABLE finl_item")).value, QString());
    ASSERT_TRUE(db().execute(QStringLiteral("UPDATE finl_item SET inac_ind = 2 WHERE finl_stmt_id = ") + id + QStringLiteral(" AND item_type_cd = 93")).ok);
    EXPECT_EQ(getHodnotaPolozky(db(), 93, id).value, QString());

    const auto computed = getHodnotaUkazatele(db(), *m_evaluator, 17, QString::number(m_income));
    ASSERT_TRUE(computed.ok());
    EXPECT_EQ(computed.value, m_evaluator->indicatorValue(17, {1996, 4, kEntity}).value);
    EXPECT_FALSE(computed.value.isEmpty());
    EXPECT_EQ(getHodnotaUkazatele(db(), *m_evaluator, 17, QStringLiteral("-424242")).value, QString());

    // Amounts come back as plain decimal text on every backend.
    addStatement(-50, 27, 1997, 2, {{92, QStringLiteral("1234.50")}, {93, QStringLiteral("-0.25")}});
    EXPECT_EQ(getHodnotaPolozky(db(), 92, QStringLiteral("-50")).value, QStringLiteral("1234.5"));
    EXPECT_EQ(column(-50, Layout::Items).values.value(93), QStringLiteral("-0.25"));
}

TEST_P(StatementsTest, TreeShowsViewsByFormAndLoadsTheirLines)
{
    addStatement(-50, 28, 1997, 2, {{202, QStringLiteral("7")}, {36, QStringLiteral("11")}});
    const auto entity = m_tree->entity(kEntity);
    ASSERT_TRUE(entity.ok()) << entity.error.toStdString();
    ASSERT_TRUE(entity.value);
    const selection::TreeNode &root = *entity.value;
    EXPECT_EQ(root.key, QStringLiteral("SU3366"));
    EXPECT_TRUE(root.text.endsWith(QStringLiteral("Strojírny Dolní Lhota, a.s.")));
    const auto child = [](const selection::TreeNode &n, const QString &key) {
        const auto it = std::find_if(n.children.cbegin(), n.children.cend(), [&key](const auto &c) { return c.key == key; });
        return it == n.children.cend() ? selection::TreeNode{} : *it;
    };
    const selection::TreeNode incomes = child(root, QStringLiteral("CV3366"));
    ASSERT_EQ(incomes.children.size(), 2);
    EXPECT_EQ(incomes.children.at(0).key, QStringLiteral("YV1996_3366"));
    const selection::TreeNode fullQuarter = incomes.children.at(0).children.value(0);
    EXPECT_EQ(fullQuarter.text, QStringLiteral("4. Q"));
    EXPECT_EQ(texts(fullQuarter.children), (QStringList{QStringLiteral("Zkrácený"), QStringLiteral("Plný")}));
    EXPECT_EQ(fullQuarter.children.at(0).key, QStringLiteral("QF") + QString::number(m_income));
    const selection::TreeNode abbreviated = incomes.children.at(1).children.value(0);
    ASSERT_EQ(abbreviated.children.size(), 1);
    EXPECT_EQ(abbreviated.children.at(0).key, QStringLiteral("QV-50"));
    EXPECT_EQ(abbreviated.children.at(0).text, QStringLiteral("* Zkrácený"));
    const selection::TreeNode balanceQuarter = child(root, QStringLiteral("CR3366")).children.value(0).children.value(0);
    EXPECT_EQ(balanceQuarter.children.value(0).key, QStringLiteral("QZ") + QString::number(m_balance));
    EXPECT_EQ(balanceQuarter.children.value(1).key, QStringLiteral("QP") + QString::number(m_balance));

    // A full income statement abbreviated: all 27 lines, computed ones evaluated.
    const auto qf = m_tree->viewItems(*selection::NodeKey::parseTreeKey(fullQuarter.children.at(0).key));
    ASSERT_TRUE(qf.ok());
    ASSERT_EQ(qf.value.size(), 27);
    EXPECT_EQ(qf.value.at(0).key, QStringLiteral("IZ%1_202").arg(m_income));
    EXPECT_TRUE(qf.value.at(0).text.endsWith(m_evaluator->indicatorValue(17, {1996, 4, kEntity}).value.rightJustified(15)));
    for (const auto &line : qf.value)
        EXPECT_GE(line.text.size(), 55);
    // An abbreviated one shows only what it stores, in list order.
    const auto qv = m_tree->viewItems(*selection::NodeKey::parseTreeKey(QStringLiteral("QV-50")));
    ASSERT_EQ(qv.value.size(), 2);
    EXPECT_TRUE(qv.value.at(0).text.endsWith(QStringLiteral("7")));
    EXPECT_TRUE(qv.value.at(1).key.startsWith(QStringLiteral("IZ")));
    const auto qp = m_tree->viewItems(*selection::NodeKey::parseTreeKey(QStringLiteral("QP") + QString::number(m_balance)));
    EXPECT_GT(qp.value.size(), 27);
    EXPECT_TRUE(qp.value.at(0).key.startsWith(QStringLiteral("IP")));
    EXPECT_EQ(selection::TreeData::loadedKey(QStringLiteral("QP12")), QStringLiteral("NP12"));
}

TEST_P(StatementsTest, RenamedEntitiesAndMembersShowTheirCurrentNameOnce)
{
    ASSERT_TRUE(db().execute(QStringLiteral("UPDATE name SET inac_ind = 1 WHERE subj_id = 3366\r"
                                            "INSERT INTO name VALUES(-90,getdate(),0,3366,22,'Nové jméno',null,0,null,0,'novejmeno')\r"
                                            "INSERT INTO ident VALUES(-91,getdate(),0,-5,23,'skup',null,0,null,0,215)\r"
                                            "INSERT INTO name VALUES(-92,getdate(),0,-5,22,'Skupina',null,0,null,0,'skupina')\r"
                                            "INSERT INTO mem VALUES(-93,getdate(),0,-5,3366)"))
                    .ok);
    const auto entity = m_tree->entity(kEntity);
    ASSERT_TRUE(entity.value);
    EXPECT_TRUE(entity.value->text.endsWith(QStringLiteral(" Nové jméno")));
    const auto groups = std::find_if(entity.value->children.cbegin(), entity.value->children.cend(),
                                     [](const auto &c) { return c.text == QStringLiteral("Členství ve skupinách"); });
    ASSERT_NE(groups, entity.value->children.cend());
    ASSERT_EQ(groups->children.size(), 1);
    EXPECT_EQ(groups->children.front().tag, QStringLiteral("SK-5"));
    EXPECT_EQ(m_tree->memberNames(-5).value, QStringList{QStringLiteral("Nové jméno")});
    EXPECT_EQ(shell::modHlavni::entitiesToAdd(db(), -5, true).value, QList<qint32>{kEntity});
    EXPECT_EQ(column(m_balance, Layout::Items).entityName, QStringLiteral("Nové jméno"));
    EXPECT_FALSE(m_tree->entity(-424242).value);
}

TEST_P(StatementsTest, DropsGiveColumnsInTheirLayouts)
{
    // 1997 holds a full and an abbreviated balance sheet.
    addStatement(-60, 27, 1997, 4, {{92, QStringLiteral("10")}, {1, QStringLiteral("1")}});
    addStatement(-61, 27, 1997, 2, {{92, QStringLiteral("20")}, {93, QStringLiteral("5")}});
    StatementTable table;
    const auto add = [&table](const StatementColumn &c) { table.appendColumn(c); };
    ASSERT_TRUE(m_data->dropColumns(*selection::NodeKey::parseTreeKey(QStringLiteral("YR1997_3366")), add).ok);
    ASSERT_EQ(table.statementCount(), 2);
    EXPECT_EQ(table.rowCount(), 26); // the abbreviated one's lines, then the full one's abbreviated list; item 1 is on neither
    EXPECT_EQ(table.itemCode(0), 92);
    EXPECT_EQ(table.cells(0, 1, 1, 2), (QList<QStringList>{{QStringLiteral("20"), QStringLiteral("10")}, {QStringLiteral("5"), QString()}}));
    EXPECT_EQ(table.headerLines(1), (QStringList{QStringLiteral("Strojírny Dolní Lhota, a.s."), QStringLiteral("1997/4")}));

    StatementTable entity;
    const auto addEntity = [&entity](const StatementColumn &c) { entity.appendColumn(c); };
    ASSERT_TRUE(m_data->dropColumns(*selection::NodeKey::parseTreeKey(QStringLiteral("CV3366")), addEntity).ok);
    ASSERT_EQ(entity.statementCount(), 1);
    EXPECT_EQ(entity.rowCount(), 27);
    EXPECT_TRUE(entity.isComputed(0, 1));
    EXPECT_FALSE(entity.isComputed(2, 1));

    // A statement that no longer exists gives no column.
    const auto gone = m_data->column(-424242, Layout::Items);
    EXPECT_TRUE(gone.ok());
    EXPECT_FALSE(gone.value);
}

TEST_P(StatementsTest, CommandPrintsAStatementAsTheTableShowsIt)
{
    const QStringList env = testDatabase().childEnvironment();
    const QString dbOption = testDatabase().dbOption();
    const ToolRun run = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("statement"), QStringLiteral("--entity"), QStringLiteral("3366"),
                                    QStringLiteral("--year"), QStringLiteral("1996"), QStringLiteral("--quarter"), QStringLiteral("4"),
                                    QStringLiteral("--type"), QStringLiteral("vysledovka")},
                                   env);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 28);
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("# Zkrácená výsledovka 1996/4")));
    EXPECT_TRUE(lines.at(1).startsWith(QStringLiteral("202\t")));
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral("\tvypočteno")));
    EXPECT_FALSE(lines.at(3).endsWith(QStringLiteral("\tvypočteno")));

    const ToolRun bad = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("statement"), QStringLiteral("--entity"), QStringLiteral("3366"),
                                    QStringLiteral("--year"), QStringLiteral("96"), QStringLiteral("--quarter"), QStringLiteral("4")},
                                   env);
    EXPECT_EQ(bad.exitCode, 2);
    const ToolRun none = runVernaDb({QStringLiteral("--db"), dbOption, QStringLiteral("statement"), QStringLiteral("--entity"), QStringLiteral("3366"),
                                     QStringLiteral("--year"), QStringLiteral("1990"), QStringLiteral("--quarter"), QStringLiteral("4")},
                                    env);
    EXPECT_EQ(none.exitCode, 1);
}

VERNA_ALL_BACKENDS(StatementsTest);

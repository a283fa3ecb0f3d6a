#include "entities/groupmembers.h"
#include "indicators/evaluator.h"
#include "selection/nodekey.h"
#include "selection/treedata.h"
#include "statements/statementdata.h"
#include "statements/statementtable.h"
#include "statements/statementvalues.h"
#include "statements/sumrules.h"
#include "support/testdatabase.h"

using namespace verna;
using namespace verna::statements;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kEntity = 3366;

class StatementsTest : public ReferenceTest
{
protected:
    void prepare() override
    {
        m_evaluator = std::make_unique<indicators::Evaluator>(db());
        m_data = std::make_unique<StatementData>(db(), *m_evaluator);
        m_tree = std::make_unique<selection::TreeData>(db(), *m_evaluator);
        m_balance = statementId(27);
        m_income = statementId(28);
        ASSERT_NE(m_balance, 0);
    }

    qint32 statementId(int type)
    {
        return db().singleValue(u"SELECT finl_stmt_id FROM finl_stmt WHERE subj_id = 3366 AND stmt_type_cd = %1"_s.arg(type)).toInt();
    }

    // An abbreviated statement of 3366 with the given lines.
    void addStatement(qint32 id, int type, int year, int fill, const QList<std::pair<int, QString>> &items)
    {
        QStringList sql{u"INSERT INTO finl_stmt VALUES(%1,getdate(),0,%5,3366,%2,null,0,null,0,0,null,null,1,%3,%4,4)"_s.arg(id * 1000)
                            .arg(type).arg(fill).arg(year).arg(id)};
        int row = id * 1000;
        for (const auto &[code, amount] : items)
            sql << u"INSERT INTO finl_item VALUES(%1,getdate(),0,%2,3366,%3,%4)"_s.arg(--row).arg(id).arg(code).arg(amount);
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

} // namespace

TEST(StatementTableRules, LinesDropKindsColumnsAndStructureOfTheTable)
{
    QString name = u"A"_s;
    EXPECT_EQ(formatRadekPolozky(name, QString()), u"A"_s.leftJustified(55));
    EXPECT_EQ(name.size(), 40);
    QString exact(40, QLatin1Char('x'));
    EXPECT_EQ(formatRadekPolozky(exact, u"5"_s), QString(40, QLatin1Char('x')) + QString(14, QLatin1Char(' ')) + QLatin1Char('5'));
    QString longer = QString(40, QLatin1Char('y')) + QLatin1Char('z');
    formatRadekPolozky(longer, {});
    EXPECT_EQ(longer, QString(40, QLatin1Char('y')));
    QString any = u"B"_s;
    EXPECT_EQ(formatRadekPolozky(any, u"1234567890123456"_s).size(), 56); // a long value is kept whole

    // Drop kinds, and which the table accepts.
    EXPECT_EQ(dropRule(u"NP"_s)->kind, u"QP"_s);
    EXPECT_EQ(dropRule(u"QZ"_s)->title, u"Zkrácená rozvaha"_s);
    EXPECT_EQ(dropRule(u"NF"_s)->kind, u"QV"_s);
    EXPECT_EQ(dropRule(u"CV"_s)->title, u"Zkrácená výsledovka"_s);
    EXPECT_FALSE(dropRule(u"SU"_s) || dropRule(u"AC"_s));
    StatementTable table;
    EXPECT_TRUE(table.accepts(*dropRule(u"QP"_s)));
    table.setKind(*dropRule(u"YR"_s));
    EXPECT_TRUE(table.accepts(*dropRule(u"QW"_s)));
    EXPECT_FALSE(table.accepts(*dropRule(u"QP"_s)));
    EXPECT_FALSE(table.accepts(*dropRule(u"YV"_s)));

    // Columns align by code; an emptied table starts afresh.
    const auto column = [](qint32 id, const QList<std::pair<int, QString>> &items) {
        StatementColumn c;
        c.statementId = id;
        c.entity = 1;
        c.year = 1999;
        c.quarter = 4;
        for (const auto &[code, value] : items) {
            c.codes << code;
            c.titles.insert(code, u"r"_s + QString::number(code));
            c.values.insert(code, value);
        }
        return c;
    };
    StatementTable aligned;
    aligned.appendColumn(column(1, {{10, u"100"_s}, {30, u"300"_s}}));
    aligned.appendColumn(column(2, {{20, u"2"_s}, {30, u"350.5"_s}, {40, u"4"_s}}));
    ASSERT_EQ(aligned.rowCount(), 4);
    EXPECT_EQ(aligned.cells(0, 0, 3, 2), (QList<QStringList>{{u"r10"_s, u"100"_s, QString()},
                                                           {u"r20"_s, QString(), u"2"_s},
                                                           {u"r30"_s, u"300"_s, u"350.5"_s},
                                                           {u"r40"_s, QString(), u"4"_s}}));
    // The change between two statements of one entity, absolute and in per cent of the first.
    ASSERT_TRUE(aligned.canInsertChange(1));
    aligned.insertChange(1);
    EXPECT_EQ(aligned.headerLines(2).front(), u"Změna"_s);
    EXPECT_EQ(aligned.cells(2, 2, 2, 4), (QList<QStringList>{{u"50.5"_s, u"16.83"_s, u"350.5"_s}}));
    EXPECT_EQ(aligned.cells(0, 2, 0, 3), (QList<QStringList>{{QString(), QString()}}));
    EXPECT_TRUE(analysis::tableAsCsv(aligned.exportTable()).startsWith(u",,Změna,Změna,\n,1999/4,absolutně,v %,1999/4\nr10,100,,,\n"_s));
    EXPECT_EQ(changePercent(u"-200"_s, u"-100"_s), u"50"_s);
    EXPECT_EQ(changePercent(u"0"_s, u"5"_s), QString());
    // Removing a compared column takes its change columns along.
    aligned.removeColumns(4, 4);
    EXPECT_EQ(aligned.columnCount(), 2);
    aligned.removeColumns(1, 1);
    EXPECT_EQ(aligned.rowCount(), 0);
    aligned.appendColumn(column(3, {{50, u"5"_s}}));
    EXPECT_EQ(aligned.rowCount(), 1);
    EXPECT_EQ(aligned.columnCount(), 2);
    EXPECT_EQ(aligned.exportTable().header.size(), 2);

    // The structure is empty without a base and goes with its statement.
    const auto shares = [](int type, const QString &total, const QString &revenues) {
        StatementColumn c;
        c.entity = 1;
        c.year = 1999;
        c.quarter = 4;
        c.type = type;
        c.revenues = revenues;
        c.codes = {92, 119, 152, 153};
        c.values = {{92, total}, {119, u"30"_s}, {152, u"120"_s}, {153, u"-45"_s}};
        return c;
    };
    StatementTable structure;
    structure.appendColumn(shares(kBalanceSheet, u"0"_s, {}));
    structure.setStructureShown(true);
    structure.appendColumn(shares(kBalanceSheet, u"200"_s, {}));
    structure.appendColumn(shares(kBalanceSheet, QString(), {}));
    structure.appendColumn(shares(kIncomeStatement, u"200"_s, {}));
    ASSERT_EQ(structure.columnCount(), 9);
    EXPECT_EQ(structure.headerLines(2), (QStringList{u"Struktura"_s, u"v %"_s}));
    // Assets of total assets, liabilities of total liabilities; a zero or missing base (or an
    // income shares without revenues) gives no share, never 0.
    EXPECT_EQ(structure.cells(0, 1, 3, 8), (QList<QStringList>{{u"0"_s, QString(), u"200"_s, u"100"_s, QString(), QString(), u"200"_s, QString()},
                                                           {u"30"_s, QString(), u"30"_s, u"15"_s, u"30"_s, QString(), u"30"_s, QString()},
                                                           {u"120"_s, u"100"_s, u"120"_s, u"100"_s, u"120"_s, u"100"_s, u"120"_s, QString()},
                                                           {u"-45"_s, u"-37.5"_s, u"-45"_s, u"-37.5"_s, u"-45"_s, u"-37.5"_s, u"-45"_s, QString()}}));
    // The change of two statements passes over the first one's structure.
    ASSERT_TRUE(structure.canInsertChange(1));
    structure.insertChange(2);
    EXPECT_EQ(structure.headerLines(3).front(), u"Změna"_s);
    EXPECT_EQ(structure.cells(0, 3, 0, 5), (QList<QStringList>{{u"200"_s, QString(), u"200"_s}}));
    structure.removeColumns(1, 1);
    EXPECT_EQ(structure.columnCount(), 7);
    structure.setStructureShown(false);
    EXPECT_EQ(structure.columnCount(), 4);
}

TEST_P(StatementsTest, ValuesOfItemsAndComputedRowsAndTheTreeOfViewsByForm)
{
    const QString id = QString::number(m_balance);
    EXPECT_EQ(getHodnotaPolozky(db(), 92, id).value, u"809550"_s);
    EXPECT_EQ(db().sharedSql(), u"SELECT amt_val FROM finl_item WHERE inac_ind = 0 AND finl_stmt_id = "_s + id + u" AND item_type_cd = 92"_s);
    EXPECT_EQ(getHodnotaPolozky(db(), 9999, id).value, QString());
    EXPECT_EQ(getHodnotaPolozky(db(), 92, u"1; DROP TABLE finl_item"_s).value, QString());
    ASSERT_TRUE(db().execute(u"UPDATE finl_item SET inac_ind = 2 WHERE finl_stmt_id = "_s + id + u" AND item_type_cd = 93"_s).ok);
    EXPECT_EQ(getHodnotaPolozky(db(), 93, id).value, QString());

    const auto computed = getHodnotaUkazatele(db(), *m_evaluator, 17, QString::number(m_income));
    ASSERT_TRUE(computed.ok());
    EXPECT_EQ(computed.value, m_evaluator->indicatorValue(17, {1996, 4, kEntity}).value);
    EXPECT_FALSE(computed.value.isEmpty());
    EXPECT_EQ(getHodnotaUkazatele(db(), *m_evaluator, 17, u"-424242"_s).value, QString());

    // Amounts come back as plain decimal text on every backend.
    addStatement(-50, 27, 1997, 2, {{92, u"1234.50"_s}, {93, u"-0.25"_s}});
    EXPECT_EQ(getHodnotaPolozky(db(), 92, u"-50"_s).value, u"1234.5"_s);
    EXPECT_EQ(column(-50, Layout::Items).values.value(93), u"-0.25"_s);

    // The tree shows views by form and loads their lines.
    addStatement(-51, 28, 1997, 2, {{202, u"7"_s}, {36, u"11"_s}});
    const auto entity = m_tree->entity(kEntity);
    ASSERT_TRUE(entity.ok() && entity.value) << entity.error.toStdString();
    const selection::TreeNode &root = *entity.value;
    EXPECT_EQ(root.key, u"SU3366"_s);
    EXPECT_TRUE(root.text.endsWith(u"Strojírny Dolní Lhota, a.s."_s));
    const auto child = [](const selection::TreeNode &n, const QString &key) {
        const auto it = std::find_if(n.children.cbegin(), n.children.cend(), [&key](const auto &c) { return c.key == key; });
        return it == n.children.cend() ? selection::TreeNode{} : *it;
    };
    const selection::TreeNode incomes = child(root, u"CV3366"_s);
    ASSERT_EQ(incomes.children.size(), 2);
    EXPECT_EQ(incomes.children.at(0).key, u"YV1996_3366"_s);
    const selection::TreeNode fullQuarter = incomes.children.at(0).children.value(0);
    EXPECT_EQ(fullQuarter.text, u"4. Q"_s);
    ASSERT_EQ(fullQuarter.children.size(), 2);
    EXPECT_EQ(fullQuarter.children.at(0).text + u'|' + fullQuarter.children.at(1).text, u"Zkrácený|Plný"_s);
    EXPECT_EQ(fullQuarter.children.at(0).key, u"QF"_s + QString::number(m_income));
    const selection::TreeNode abbreviated = incomes.children.at(1).children.value(0);
    ASSERT_EQ(abbreviated.children.size(), 1);
    EXPECT_EQ(abbreviated.children.at(0).key, u"QV-51"_s);
    EXPECT_EQ(abbreviated.children.at(0).text, u"* Zkrácený"_s);
    const selection::TreeNode balanceQuarter = child(root, u"CR3366"_s).children.value(0).children.value(0);
    EXPECT_EQ(balanceQuarter.children.value(0).key, u"QZ"_s + QString::number(m_balance));
    EXPECT_EQ(balanceQuarter.children.value(1).key, u"QP"_s + QString::number(m_balance));

    // A full income statement abbreviated: all 27 lines, computed ones evaluated.
    const auto qf = m_tree->viewItems(*selection::NodeKey::parseTreeKey(fullQuarter.children.at(0).key));
    ASSERT_TRUE(qf.ok());
    ASSERT_EQ(qf.value.size(), 27);
    EXPECT_EQ(qf.value.at(0).key, u"IZ%1_202"_s.arg(m_income));
    EXPECT_TRUE(qf.value.at(0).text.endsWith(m_evaluator->indicatorValue(17, {1996, 4, kEntity}).value.rightJustified(15)));
    for (const auto &line : qf.value)
        EXPECT_GE(line.text.size(), 55);
    // An abbreviated one shows only what it stores, in list order.
    const auto qv = m_tree->viewItems(*selection::NodeKey::parseTreeKey(u"QV-51"_s));
    ASSERT_EQ(qv.value.size(), 2);
    EXPECT_TRUE(qv.value.at(0).text.endsWith(u"7"_s));
    EXPECT_TRUE(qv.value.at(1).key.startsWith(u"IZ"_s));
    const auto qp = m_tree->viewItems(*selection::NodeKey::parseTreeKey(u"QP"_s + QString::number(m_balance)));
    EXPECT_GT(qp.value.size(), 27);
    EXPECT_TRUE(qp.value.at(0).key.startsWith(u"IP"_s));
    EXPECT_EQ(selection::TreeData::loadedKey(u"QP12"_s), u"NP12"_s);
}

TEST_P(StatementsTest, StructureSharesAddUpDropsGiveColumnsTheCommandPrintsThemAndRenamesShowOnce)
{
    const auto rules = SumRules::load(db());
    ASSERT_TRUE(rules.ok()) << rules.error.toStdString();
    for (const auto &[type, id] : {std::pair{kBalanceSheet, m_balance}, std::pair{kIncomeStatement, m_income}}) {
        StatementTable table;
        table.setStructureShown(true);
        table.appendColumn(column(id, Layout::Items));
        ASSERT_EQ(table.columnCount(), 3);
        QHash<int, double> share;
        for (int r = 0; r < table.rowCount(); ++r) {
            const QString text = table.cells(r, 2, r, 2).front().front();
            if (!text.isEmpty())
                share.insert(table.itemCode(r), text.toDouble());
        }
        if (type == kBalanceSheet) {
            EXPECT_TRUE(share.value(92) == 100.0 && share.value(152) == 100.0);
        }
        const QList<SumRule> ofType = rules.value.rules(type, 4);
        ASSERT_FALSE(ofType.isEmpty());
        for (const SumRule &rule : ofType) {
            ASSERT_TRUE(share.contains(rule.left)) << rule.text().toStdString();
            double sum = 0;
            for (const auto &[sign, code] : rule.terms)
                sum += sign * share.value(code);
            // Each share is rounded to hundredths of a per cent.
            EXPECT_NEAR(sum, share.value(rule.left), 0.005 * (rule.terms.size() + 1) + 1e-9) << rule.text().toStdString();
        }
    }

    // Drops give columns in their layouts.
    // 1997 holds a full and an abbreviated balance sheet.
    addStatement(-60, 27, 1997, 4, {{92, u"10"_s}, {1, u"1"_s}});
    addStatement(-61, 27, 1997, 2, {{92, u"20"_s}, {93, u"5"_s}});
    StatementTable table;
    const auto year = selection::NodeKey::parseTreeKey(u"YR1997_3366"_s);
    ASSERT_TRUE(m_data->dropColumns(year->kind, year->id, year->year, [&table](const StatementColumn &c) { table.appendColumn(c); }).ok);
    ASSERT_EQ(table.statementCount(), 2);
    EXPECT_EQ(table.rowCount(), 26); // the abbreviated one's lines, then the full one's abbreviated list; item 1 is on neither
    EXPECT_EQ(table.itemCode(0), 92);
    EXPECT_EQ(table.cells(0, 1, 1, 2), (QList<QStringList>{{u"20"_s, u"10"_s}, {u"5"_s, QString()}}));
    EXPECT_EQ(table.headerLines(1), (QStringList{u"Strojírny Dolní Lhota, a.s."_s, u"1997/4"_s}));

    StatementTable entity;
    const auto incomes = selection::NodeKey::parseTreeKey(u"CV3366"_s);
    ASSERT_TRUE(m_data->dropColumns(incomes->kind, incomes->id, incomes->year, [&entity](const StatementColumn &c) { entity.appendColumn(c); }).ok);
    ASSERT_EQ(entity.statementCount(), 1);
    EXPECT_EQ(entity.rowCount(), 27);
    EXPECT_TRUE(entity.isComputed(0, 1));
    EXPECT_FALSE(entity.isComputed(2, 1));

    // A statement that no longer exists gives no column.
    const auto gone = m_data->column(-424242, Layout::Items);
    EXPECT_TRUE(gone.ok() && !gone.value);

    // The command prints a statement as the table shows it.
    const auto statement = [this](const QString &year, const QStringList &more = {}) {
        return vernaDb(QStringList{u"statement"_s, u"--entity"_s, u"3366"_s, u"--year"_s, year, u"--quarter"_s, u"4"_s} + more);
    };
    const ToolRun run = statement(u"1996"_s, {u"--type"_s, u"vysledovka"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 28);
    EXPECT_TRUE(lines.at(0).startsWith(u"# Zkrácená výsledovka 1996/4"_s));
    EXPECT_TRUE(lines.at(1).startsWith(u"202\t"_s) && lines.at(1).endsWith(u"\tvypočteno"_s)) << lines.at(1).toStdString();
    EXPECT_FALSE(lines.at(3).endsWith(u"\tvypočteno"_s));
    EXPECT_EQ(statement(u"96"_s).exitCode, 2);
    EXPECT_EQ(statement(u"1990"_s).exitCode, 1);

    // Renamed entities and members show their current name once.
    ASSERT_TRUE(db().execute(u"UPDATE name SET inac_ind = 1 WHERE subj_id = 3366\r"
                              "INSERT INTO name VALUES(-90,getdate(),0,3366,22,'Nové jméno',null,0,null,0,'novejmeno')\r"
                              "INSERT INTO ident VALUES(-91,getdate(),0,-5,23,'skup',null,0,null,0,215)\r"
                              "INSERT INTO name VALUES(-92,getdate(),0,-5,22,'Skupina',null,0,null,0,'skupina')\r"
                              "INSERT INTO mem VALUES(-93,getdate(),0,-5,3366)"_s).ok);
    const auto node = m_tree->entity(kEntity);
    ASSERT_TRUE(node.value);
    EXPECT_TRUE(node.value->text.endsWith(u" Nové jméno"_s));
    const auto groups = std::find_if(node.value->children.cbegin(), node.value->children.cend(),
                                     [](const auto &c) { return c.text == u"Členství ve skupinách"_s; });
    ASSERT_NE(groups, node.value->children.cend());
    ASSERT_EQ(groups->children.size(), 1);
    EXPECT_EQ(groups->children.front().tag, u"SK-5"_s);
    EXPECT_EQ(m_tree->memberNames(-5).value, QStringList{u"Nové jméno"_s});
    EXPECT_EQ(entities::entitiesToAdd(db(), -5, true).value, QList<qint32>{kEntity});
    EXPECT_EQ(column(m_balance, Layout::Items).entityName, u"Nové jméno"_s);
    EXPECT_FALSE(m_tree->entity(-424242).value);
}

VERNA_ALL_BACKENDS(StatementsTest);

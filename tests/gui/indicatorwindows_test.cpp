#include "dropdelivery.h"
#include "windowtest.h"

#include "analysis/analysismodel.h"
#include "analysis/frmanalyzasubj.h"
#include "indicators/evaluator.h"
#include "indicators/frmnovafunkce.h"
#include "indicators/frmskupinafunkci.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using indicators::frmNovaFunkce;
using indicators::frmSkupinaFunkci;

namespace {

class IndicatorWindowsTest : public test::WindowTest
{
protected:
    QString indicatorColumn(const QString &column, const QString &name)
    {
        return value(u"SELECT %1 FROM func_for WHERE inac_ind = 0 AND func_for_name = '%2'"_s.arg(column, QString(name).replace(u"'"_s, u"''"_s)));
    }

    // The editor's text for a statement line.
    static QString itemText(QWidget *editor, int code)
    {
        for (const QString &list : {u"lstRozvaha"_s, u"lstVysledovka"_s}) {
            auto *l = control<QListWidget>(editor, list);
            for (int i = 0; i < l->count(); ++i) {
                if (l->item(i)->data(Qt::UserRole).toInt() == code)
                    return l->item(i)->text();
            }
        }
        ADD_FAILURE() << "no line " << code;
        return {};
    }

    static void type(QWidget *editor, const QString &name, const QString &description, const QString &formula)
    {
        control<QComboBox>(editor, u"cboNazev"_s)->setEditText(name);
        control<QPlainTextEdit>(editor, u"txtPopis"_s)->setPlainText(description);
        control<QLineEdit>(editor, u"txtFunkce"_s)->setText(formula);
    }

    static int rowOf(QListWidget *list, qint32 id) { return int(ids(list).indexOf(id)); }
    static QList<qint32> ids(QListWidget *list)
    {
        QList<qint32> out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->data(Qt::UserRole).toInt();
        return out;
    }
    static void chooseGroup(frmSkupinaFunkci &w, const QString &name)
    {
        auto *combo = control<QComboBox>(&w, u"cboFceSkupina"_s);
        const int index = combo->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        w.cboFceSkupina_Click(index);
    }
};

// A new user's way: a shipped indicator deleted and written anew from line texts, proved and
// stored, put into a new group and found with its value in a new analysis window.
TEST_F(IndicatorWindowsTest, IndicatorFromLineTextsReachesANewGroupAndANewAnalysisWindow)
{
    const QString roe = u"Rentabilita vlastního kapitálu (ROE)"_s;
    frmNovaFunkce editor(*m_state);
    auto *names = control<QComboBox>(&editor, u"cboNazev"_s);
    EXPECT_EQ(control<QListWidget>(&editor, u"lstVysledovka"_s)->count(), 34);
    EXPECT_EQ(itemText(&editor, indicators::Evaluator::kDaysElapsedItem), u"Počet dní od začátku roku"_s);
    EXPECT_EQ(itemText(&editor, 220), u"EBIT – zisk před úroky a zdaněním"_s);

    click(&editor, u"cmdNova"_s);
    EXPECT_EQ(control<QPushButton>(&editor, u"cmdOK"_s)->text(), u"Vytvořit"_s);
    // The shipped name typed, Enter and Tab: the new one stays on display, the window says
    // the name is taken and offers to open that indicator.
    auto *description = control<QPlainTextEdit>(&editor, u"txtPopis"_s);
    description->setPlainText(u"Čistý zisk / vlastní kapitál"_s);
    names->lineEdit()->insert(roe + u' ');
    QTest::keyClick(names->lineEdit(), Qt::Key_Backspace);
    QTest::keyClick(names, Qt::Key_Return);
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);  // nor Tab out of the box
    QCoreApplication::sendEvent(names, &leave);
    EXPECT_EQ(control<QPushButton>(&editor, u"cmdOK"_s)->text(), u"Vytvořit"_s);
    EXPECT_EQ(description->toPlainText(), u"Čistý zisk / vlastní kapitál"_s);
    EXPECT_FALSE(control<QLabel>(&editor, u"lblNazevObsazen"_s)->isHidden());
    EXPECT_FALSE(control<QPushButton>(&editor, u"cmdOtevritObsazeny"_s)->isHidden());
    const QString formula = itemText(&editor, 90) + u" / "_s + itemText(&editor, 153) + u" * 100"_s;
    type(&editor, roe, u"Čistý zisk / vlastní kapitál"_s, formula);
    click(&editor, u"cmdOK"_s);
    expectMessage(0, ui::MessageIcon::Exclamation, u"Zadejte jiný název ukazatele.\r\nUkazatel "_s + roe + u" již existuje."_s);
    // The test on the reference company is shown, though nothing was stored.
    indicators::Evaluator evaluator(m_db);
    const QString tested = evaluator.formulaValue(u"[90]/[153]*100"_s, {1996, 4, 3366}).value;
    ASSERT_FALSE(tested.isEmpty());
    EXPECT_EQ(control<QLabel>(&editor, u"lblHodnota"_s)->text(),
              u"Hodnota pro referenční subjekt 3366 za 4. čtvrtletí 1996: "_s + QString(tested).replace(u'.', u','));

    // Deleting the shipped one, opened from the offer, frees the name.
    click(&editor, u"cmdOtevritObsazeny"_s);
    EXPECT_EQ(names->currentText(), roe);
    EXPECT_EQ(control<QPushButton>(&editor, u"cmdOK"_s)->text(), u"Změnit"_s);
    EXPECT_TRUE(control<QLabel>(&editor, u"lblNazevObsazen"_s)->isHidden());
    EXPECT_EQ(control<QComboBox>(&editor, u"cboJednotka"_s)->currentText(), u"%"_s);
    EXPECT_EQ(control<QComboBox>(&editor, u"cboSmer"_s)->currentText(), u"vyšší je lepší"_s);
    m_user.willAnswer(ui::kYes);
    click(&editor, u"cmdOdstranit"_s);
    EXPECT_EQ(m_user.messages()[1].text, u"Ukazatel "_s + roe + u" bude odstraněn ze všech skupin.\r\nChcete pokračovat?"_s);
    EXPECT_EQ(names->findText(roe), -1);

    click(&editor, u"cmdNova"_s);
    type(&editor, roe, u"Čistý zisk / vlastní kapitál"_s, formula);
    // The unit and a target range are saved with the new indicator.
    EXPECT_EQ(control<QComboBox>(&editor, u"cboJednotka"_s)->currentText(), u""_s);
    control<QComboBox>(&editor, u"cboJednotka"_s)->setEditText(u"%"_s);
    control<QComboBox>(&editor, u"cboSmer"_s)->setCurrentIndex(3);
    control<QLineEdit>(&editor, u"txtOd"_s)->setText(u"5"_s);
    control<QLineEdit>(&editor, u"txtDo"_s)->setText(u"15,5"_s);
    click(&editor, u"cmdOK"_s);
    expectMessage(2, ui::MessageIcon::Information, u"Ukazatel "_s + roe + u" byl vytvořen."_s);
    EXPECT_EQ(indicatorColumn(u"func_for_val"_s, roe), u"[90]/[153]*100"_s);
    const qint32 id = indicatorColumn(u"func_for_id"_s, roe).toInt();
    EXPECT_LT(id, 0);
    const QString unitRow = u" FROM func_unit WHERE func_for_id = %1"_s.arg(id);
    EXPECT_EQ(value(u"SELECT unit_txt"_s + unitRow), u"%"_s);
    EXPECT_EQ(value(u"SELECT dir_cd"_s + unitRow), u"3"_s);
    EXPECT_EQ(value(u"SELECT high_val"_s + unitRow).toDouble(), 15.5);
    // The new indicator is selected and shown as it is stored.
    EXPECT_EQ(names->currentText(), roe);
    EXPECT_EQ(control<QLineEdit>(&editor, u"txtFunkce"_s)->text(), itemText(&editor, 90) + u"/"_s + itemText(&editor, 153) + u"*100"_s);
    // A change to a taken name stores nothing and keeps every edit on display to correct it.
    const QString taken = names->itemText(names->currentIndex() == 0 ? 1 : 0);
    type(&editor, taken, u"Jiný popis"_s, itemText(&editor, 90) + u"*2"_s);
    click(&editor, u"cmdOK"_s);
    expectMessage(3, ui::MessageIcon::Exclamation, u"Zadejte jiný název ukazatele.\r\nUkazatel "_s + taken + u" již existuje."_s);
    EXPECT_EQ(control<QLineEdit>(&editor, u"txtFunkce"_s)->text(), itemText(&editor, 90) + u"*2"_s);
    EXPECT_EQ(description->toPlainText(), u"Jiný popis"_s);
    EXPECT_EQ(indicatorColumn(u"func_for_val"_s, roe), u"[90]/[153]*100"_s);

    frmSkupinaFunkci groups(*m_state);
    click(&groups, u"cmdNova"_s);
    EXPECT_EQ(groups.mode(), frmSkupinaFunkci::Mode::NewGroup);
    control<QComboBox>(&groups, u"cboFceSkupina"_s)->setEditText(u"Moje ukazatele"_s);
    auto *all = control<QListWidget>(&groups, u"lstVse"_s);
    all->setCurrentRow(rowOf(all, id));
    click(&groups, u"cmdPridat"_s);
    click(&groups, u"cmdPridat"_s); // already there: nothing
    EXPECT_EQ(ids(control<QListWidget>(&groups, u"lstVybrane"_s)), QList<qint32>{id});
    click(&groups, u"cmdVytvorit"_s);
    EXPECT_EQ(m_user.messages().last().text, u"Skupina Moje ukazatele byla vytvořena."_s);
    EXPECT_EQ(groups.mode(), frmSkupinaFunkci::Mode::Group);
    EXPECT_EQ(control<QComboBox>(&groups, u"cboFceSkupina"_s)->currentText(), u"Moje ukazatele"_s);

    analysis::frmAnalyzaSubj analysis(*m_state);
    analysis.show();
    auto *filter = control<QComboBox>(&analysis, u"cboFceSkupina"_s);
    ASSERT_GE(filter->findText(u"Moje ukazatele"_s), 0);
    filter->setCurrentIndex(filter->findText(u"Moje ukazatele"_s));
    auto *functions = control<QListWidget>(&analysis, u"lstFunkce"_s);
    ASSERT_EQ(functions->count(), 1);
    EXPECT_EQ(functions->item(0)->text(), roe);
    ASSERT_TRUE(test::deliverDrop(&analysis, u"grdData"_s, u"@&@SQ1996_4_3366"_s));
    ASSERT_TRUE(test::deliverDrop(&analysis, u"grdData"_s, u"@&@FC0"_s));
    const double expected = value(u"SELECT amt_val FROM finl_item WHERE subj_id = 3366 AND item_type_cd = 90"_s).toDouble()
        / value(u"SELECT amt_val FROM finl_item WHERE subj_id = 3366 AND item_type_cd = 153"_s).toDouble() * 100;
    ASSERT_EQ(analysis.model().dataRowCount(), 1);
    EXPECT_NEAR(analysis.model().cell(0, 0).toDouble(), expected, 0.006);
}

// Texts are stored as typed, a rename to the own name is no duplicate, a decimal constant
// is kept, a character outside the formula language is refused, a name inside a longer one
// stays whole.
TEST_F(IndicatorWindowsTest, EditorStoresTextsExactlyKeepsTheFormulasMeaningAndFailedSavesChangeNothing)
{
    const QString equity = value(u"SELECT RTRIM(LTRIM(value_txt)) FROM cd_val WHERE val_agn = 153"_s);
    ASSERT_TRUE(m_db.execute(u"UPDATE cd_val SET value_txt = '%1 a jeho část' WHERE val_agn = 154"_s.arg(equity)).ok);
    frmNovaFunkce editor(*m_state);
    const QString name = u"Marže 'hrubá'; DROP TABLE func_for; --"_s;
    const QString description = u"Popis s ' apostrofem a \"uvozovkami\""_s;
    click(&editor, u"cmdNova"_s);
    type(&editor, name, description, u"0.5*"_s + itemText(&editor, 36));
    click(&editor, u"cmdOK"_s);
    expectMessage(0, ui::MessageIcon::Information, u"Ukazatel "_s + name + u" byl vytvořen."_s);
    EXPECT_EQ(indicatorColumn(u"func_for_val"_s, name), u"0.5*[36]"_s);
    EXPECT_EQ(indicatorColumn(u"func_for_txt"_s, name), description);
    EXPECT_EQ(control<QPlainTextEdit>(&editor, u"txtPopis"_s)->toPlainText(), description);
    const qint32 id = indicatorColumn(u"func_for_id"_s, name).toInt();
    indicators::Evaluator evaluator(m_db);
    const QString item36 = evaluator.formulaValue(u"[36]"_s, {1996, 4, 3366}).value;
    EXPECT_DOUBLE_EQ(evaluator.indicatorValue(id, {1996, 4, 3366}).value.toDouble(), item36.toDouble() / 2);

    // The own name, other case: accepted, and the formula change goes with it.
    control<QComboBox>(&editor, u"cboNazev"_s)->setEditText(name.toUpper());
    control<QLineEdit>(&editor, u"txtFunkce"_s)->setText(itemText(&editor, 36) + u" / 2"_s);
    click(&editor, u"cmdOK"_s);
    expectMessage(1, ui::MessageIcon::Information, u"Ukazatel "_s + name.toUpper() + u" byl změněn."_s);
    EXPECT_EQ(indicatorColumn(u"func_for_val"_s, name), u"[36]/2"_s);

    // "x" is no part of the language: refused, not dropped.
    control<QLineEdit>(&editor, u"txtFunkce"_s)->setText(itemText(&editor, 36) + u" x 2"_s);
    click(&editor, u"cmdOK"_s);
    expectMessage(2, ui::MessageIcon::Critical, u"Ve vzorci je chyba!\r\nZkontrolujte počet závorek a operátorů."_s);
    EXPECT_EQ(indicatorColumn(u"func_for_val"_s, name), u"[36]/2"_s);

    // The formula box is labelled; a formula without a value on the reference company shows why.
    auto *formula = control<QLineEdit>(&editor, u"txtFunkce"_s);
    const QList<QLabel *> labels = editor.findChildren<QLabel *>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [formula](QLabel *l) { return l->buddy() == formula && l->text() == u"Vzorec:"_s; }));
    formula->setText(itemText(&editor, 36) + u" / 0"_s);
    click(&editor, u"cmdOK"_s);
    EXPECT_EQ(control<QLabel>(&editor, u"lblHodnota"_s)->text(), u"Hodnota pro referenční subjekt 3366 za 4. čtvrtletí 1996: žádná. Dělení nulou."_s);

    // A line text inside a longer one that follows it in the lists: the longer one wins.
    control<QLineEdit>(&editor, u"txtFunkce"_s)->setText(itemText(&editor, 153) + u"+"_s + itemText(&editor, 154));
    click(&editor, u"cmdOK"_s);
    EXPECT_EQ(m_user.messages().last().icon, ui::MessageIcon::Information);
    EXPECT_EQ(indicatorColumn(u"func_for_val"_s, name), u"[153]+[154]"_s);

    // A save that fails part-way is told with its reason and leaves the database as it was.
    m_user.clear();
    frmNovaFunkce failing(*m_state);
    const QString before = value(u"SELECT func_for_name FROM func_for WHERE func_for_id = 1"_s);
    auto *names = control<QComboBox>(&failing, u"cboNazev"_s);
    failing.cboNazev_Click(names->findText(before));
    ASSERT_TRUE(m_db.executeNative(u"CREATE TRIGGER no_formula BEFORE UPDATE OF func_for_val ON func_for "
                                    "BEGIN SELECT RAISE(ABORT, 'vzorec nelze zapsat'); END"_s).ok);
    type(&failing, u"Nový název"_s, u"Nový popis"_s, itemText(&failing, 119) + u"/"_s + itemText(&failing, 182));
    click(&failing, u"cmdOK"_s);
    expectMessage(0, ui::MessageIcon::Critical, u"Ukazatel nelze změnit, nic nebylo uloženo."_s);
    EXPECT_TRUE(m_user.messages()[0].detail.contains(u"vzorec nelze zapsat"_s)) << m_user.messages()[0].detail.toStdString();
    EXPECT_EQ(value(u"SELECT func_for_name FROM func_for WHERE func_for_id = 1"_s), before);
    EXPECT_EQ(value(u"SELECT count(*) FROM func_for WHERE func_for_txt = 'Nový popis'"_s), u"0"_s);

    frmSkupinaFunkci groups(*m_state);
    const QString groupCount = value(u"SELECT count(*) FROM func_grp"_s);
    ASSERT_TRUE(m_db.executeNative(u"ALTER TABLE func_mem RENAME TO func_mem_gone"_s).ok);
    click(&groups, u"cmdNova"_s);
    control<QComboBox>(&groups, u"cboFceSkupina"_s)->setEditText(u"Nezapsaná"_s);
    auto *all = control<QListWidget>(&groups, u"lstVse"_s);
    all->setCurrentRow(0);
    click(&groups, u"cmdPridat"_s);
    click(&groups, u"cmdVytvorit"_s);
    expectMessage(1, ui::MessageIcon::Critical, u"Skupinu ukazatelů nelze vytvořit, nic nebylo uloženo."_s);
    EXPECT_EQ(value(u"SELECT count(*) FROM func_grp"_s), groupCount);
    // The window stays usable with what was typed.
    EXPECT_EQ(groups.mode(), frmSkupinaFunkci::Mode::NewGroup);
    EXPECT_EQ(control<QListWidget>(&groups, u"lstVybrane"_s)->count(), 1);
}

// Group ids 0 (delivered data may have it) and -1 (the first group the application creates)
// are groups like any other, never "Vše" or a new group.
TEST_F(IndicatorWindowsTest, GroupsWithIdsZeroAndMinusOneAreGroupsAndVseDeletesIndicators)
{
    const QString zero = u"Nulová 'skupina'"_s;
    const QString minusOne = u"Záporná skupina"_s;
    ASSERT_TRUE(m_db.execute(u"INSERT INTO func_grp VALUES(-100,getdate(),0,0,'Nulová ''skupina''','popis ''Nulová ''skupina''')\r"
                              "INSERT INTO func_mem VALUES(-100,getdate(),0,0,1)"_s).ok);
    frmSkupinaFunkci w(*m_state);
    auto *combo = control<QComboBox>(&w, u"cboFceSkupina"_s);
    auto *chosen = control<QListWidget>(&w, u"lstVybrane"_s);
    auto *all = control<QListWidget>(&w, u"lstVse"_s);
    EXPECT_EQ(w.mode(), frmSkupinaFunkci::Mode::All);
    EXPECT_FALSE(control<QPushButton>(&w, u"cmdOK"_s)->isEnabled());
    for (qint32 hidden = 17; hidden <= 28; ++hidden)
        EXPECT_EQ(rowOf(chosen, hidden), -1) << hidden;

    click(&w, u"cmdNova"_s);
    combo->setEditText(minusOne);
    control<QPlainTextEdit>(&w, u"txtPopis"_s)->setPlainText(u"popis '"_s + minusOne);
    all->setCurrentRow(rowOf(all, 2));
    click(&w, u"cmdPridat"_s);
    click(&w, u"cmdVytvorit"_s);
    EXPECT_EQ(value(u"SELECT func_grp_text FROM func_grp WHERE func_grp_id = -1"_s), u"popis 'Záporná skupina"_s);

    chooseGroup(w, zero);
    EXPECT_EQ(w.mode(), frmSkupinaFunkci::Mode::Group);
    EXPECT_TRUE(control<QPushButton>(&w, u"cmdOK"_s)->isEnabled());
    EXPECT_EQ(ids(chosen), QList<qint32>{1});
    EXPECT_EQ(control<QPlainTextEdit>(&w, u"txtPopis"_s)->toPlainText(), u"popis '"_s + zero);

    // Group -1: renamed, described and given a member in one save.
    chooseGroup(w, minusOne);
    combo->setEditText(u"Přejmenovaná 'skupina'"_s);
    control<QPlainTextEdit>(&w, u"txtPopis"_s)->setPlainText(u"nový 'popis'"_s);
    all->setCurrentRow(rowOf(all, 3));
    click(&w, u"cmdPridat"_s);
    m_user.clear();
    for (int i = 0; i < 3; ++i)
        m_user.willAnswer(ui::kYes);
    click(&w, u"cmdOK"_s);
    ASSERT_EQ(m_user.messages().size(), 6);
    EXPECT_EQ(m_user.messages()[2].text, u"Chcete přidat 1 ukazatelů\r\ndo skupiny Přejmenovaná 'skupina'?"_s);
    EXPECT_EQ(m_user.messages()[5].text, u"Přidáno 1 ukazatelů.\r\ndo skupiny Přejmenovaná 'skupina'."_s);
    EXPECT_EQ(value(u"SELECT func_grp_text FROM func_grp WHERE func_grp_id = -1"_s), u"nový 'popis'"_s);
    EXPECT_EQ(combo->currentText(), u"Přejmenovaná 'skupina'"_s);
    EXPECT_EQ(ids(chosen), (QList<qint32>{2, 3}));

    // Removing a member touches group -1 only; group 0 keeps its own; a description typed
    // meanwhile stays.
    control<QPlainTextEdit>(&w, u"txtPopis"_s)->setPlainText(u"ještě nezapsaný popis"_s);
    chosen->setCurrentRow(rowOf(chosen, 2));
    m_user.willAnswer(ui::kYes);
    click(&w, u"cmdOdstranit"_s);
    EXPECT_EQ(ids(chosen), QList<qint32>{3});
    EXPECT_EQ(control<QPlainTextEdit>(&w, u"txtPopis"_s)->toPlainText(), u"ještě nezapsaný popis"_s);
    EXPECT_EQ(value(u"SELECT count(*) FROM func_mem WHERE func_mem_grp = 0 AND inac_ind = 0"_s), u"1"_s);

    // Renaming to another group's name is refused; the rest of the save is still offered.
    combo->setEditText(zero);
    m_user.clear();
    click(&w, u"cmdOK"_s);
    ASSERT_FALSE(m_user.messages().isEmpty());
    EXPECT_EQ(m_user.messages()[0].text, u"Skupina "_s + zero + u" již existuje.\r\nZadejte jiný název."_s);
    EXPECT_EQ(value(u"SELECT count(*) FROM func_grp WHERE func_grp_id = -1 AND func_grp_name = 'Přejmenovaná ''skupina'''"_s), u"1"_s);

    // From "Vše" "Odstranit" deletes the indicator itself.
    w.cboFceSkupina_Click(0);
    EXPECT_EQ(w.mode(), frmSkupinaFunkci::Mode::All);
    chosen->setCurrentRow(rowOf(chosen, 1));
    m_user.willAnswer(ui::kYes);
    click(&w, u"cmdOdstranit"_s);
    EXPECT_EQ(value(u"SELECT inac_ind FROM func_for WHERE func_for_id = 1"_s), u"2"_s);
    EXPECT_EQ(rowOf(chosen, 1), -1);
    EXPECT_EQ(rowOf(all, 1), -1);

    // Deleting group 0 leaves "Vše" and its memberships alone.
    chooseGroup(w, zero);
    m_user.willAnswer(ui::kYes);
    click(&w, u"cmdOdstranitSkupinu"_s);
    EXPECT_EQ(m_user.messages().last().text, u"Skupina ukazatelů byla odstraněna"_s);
    EXPECT_EQ(combo->findText(zero), -1);
    EXPECT_EQ(w.mode(), frmSkupinaFunkci::Mode::All);
    EXPECT_EQ(value(u"SELECT count(*) FROM func_mem WHERE func_mem_grp = 0 AND inac_ind = 0"_s), u"1"_s);
}

} // namespace

#include "dropdelivery.h"
#include "windowtest.h"

#include "entities/entitystore.h"
#include "entities/frmeditacesubjektu.h"
#include "entities/frmhistoriezmen.h"
#include "entities/frmnovysubjekt.h"
#include "entities/frmulozitskupinu.h"
#include "entities/frmvyhledavani.h"
#include "entities/notes.h"
#include "statements/frmvykazhistorie.h"
#include "statements/statementlinesview.h"
#include "statements/statementstore.h"
#include "support/statementpair.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using shell::WindowKind;

namespace {

constexpr qint32 kReference = 3366;

class EntityWindowsTest : public test::FrameTest
{
protected:
    qint32 company(const QString &ico, const QString &name)
    {
        const entities::Written w = entities::EntityStore(m_db).create({ico, name, 2, 1112, {}, {}});
        EXPECT_TRUE(w.ok()) << w.refusal.toStdString() << w.error.toStdString();
        return w.id;
    }

    QStringList searchFor(const QString &name)
    {
        auto *w = m_main->open(WindowKind::Search);
        control<QLineEdit>(w, u"txtJmeno"_s)->setText(name);
        click(w, u"cmdHledat"_s);
        return texts(control<QAbstractItemView>(w, u"lstNalezeno"_s));
    }
};

} // namespace

TEST_F(EntityWindowsTest, ANewCompanyIsFoundEditedGroupedDeletedAndItsHistoryOpensAReplacedStatement)
{
    QWidget *form = m_main->open(WindowKind::NewEntity);
    ASSERT_NE(qobject_cast<entities::frmNovySubjekt *>(form), nullptr);
    EXPECT_EQ(form->windowTitle(), u"Nový subjekt"_s);
    auto *ico = control<QLineEdit>(form, u"txtICO"_s);
    ico->setText(u"1234"_s);
    static_cast<entities::frmNovySubjekt *>(form)->txtICO_LostFocus();
    EXPECT_EQ(ico->text(), u"00001234"_s);
    EXPECT_EQ(lastMessage(), u"Zadejte platné IČO!"_s);
    ico->setText(u"27074358"_s);
    control<QLineEdit>(form, u"txtNazev"_s)->setText(u"Pekárna U Nováků, s.r.o."_s);
    control<QComboBox>(form, u"cboPravniForma"_s)->setCurrentIndex(0);
    control<QComboBox>(form, u"cboOKEC_0"_s)->setCurrentIndex(1);
    control<QComboBox>(form, u"cboOKEC_1"_s)->setCurrentIndex(2);
    control<QPlainTextEdit>(form, u"txtPoznamka"_s)->setPlainText(u"Rohlíky od pátku"_s);
    click(form, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Nový subjekt byl vytvořen."_s);
    click(form, u"cmdOK"_s); // the window stays with its contents: the same IČO again
    EXPECT_EQ(lastMessage(), u"IČO 27074358 má přiřazen subjekt Pekárna U Nováků, s.r.o."_s);
    const qint32 id = value(u"SELECT subj_id FROM ident WHERE ident_txt = '27074358'"_s).toInt();
    EXPECT_EQ(value(u"SELECT count(*) FROM actv WHERE subj_id = %1"_s.arg(id)), u"2"_s);

    EXPECT_EQ(searchFor(u"pekarna u novaku"_s), QStringList{u"* 27074358 Pekárna U Nováků, s.r.o."_s});
    // The option beside the prefix search: anywhere in the name.
    control<QCheckBox>(m_main->activeChild(), u"chkKdekoli"_s)->setChecked(true);
    control<QLineEdit>(m_main->activeChild(), u"txtJmeno"_s)->setText(u"novaku"_s);
    click(m_main->activeChild(), u"cmdHledat"_s);
    EXPECT_EQ(control<QAbstractItemView>(m_main->activeChild(), u"lstNalezeno"_s)->model()->rowCount(), 1);

    // "Editace" from the search window hands the entity over; the note is saved on OK.
    auto *search = m_main->activeChild();
    auto *found = control<QAbstractItemView>(search, u"lstNalezeno"_s);
    found->setCurrentIndex(found->model()->index(0, 0));
    click(search, u"cmdEditace"_s);
    auto *editing = qobject_cast<entities::frmEditaceSubjektu *>(m_main->activeChild());
    ASSERT_NE(editing, nullptr);
    EXPECT_EQ(editing->windowTitle(), u"Editace Pekárna U Nováků, s.r.o."_s);
    EXPECT_EQ(control<QPlainTextEdit>(editing, u"txtPoznamka"_s)->toPlainText(), u"Rohlíky od pátku"_s);
    EXPECT_EQ(control<QListWidget>(editing, u"lstOkec"_s)->count(), 2);
    control<QPlainTextEdit>(editing, u"txtPoznamka"_s)->setPlainText(u"Rohlíky i v sobotu"_s);
    m_user.willAnswer(ui::kYes);
    click(editing, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Změna byla uložena."_s);
    EXPECT_EQ(entities::loadNote(m_db, QString::number(id)).value, u"Rohlíky i v sobotu"_s);
    // Closed by its frame with a changed note: asked; Storno keeps it open, Ano saves.
    editing = qobject_cast<entities::frmEditaceSubjektu *>(m_main->openEntityEditing(id));
    ASSERT_NE(editing, nullptr);
    control<QPlainTextEdit>(editing, u"txtPoznamka"_s)->setPlainText(u"Rohlíky denně"_s);
    m_user.willAnswer(u"Storno"_s);
    EXPECT_FALSE(editing->parentWidget()->close());
    EXPECT_EQ(lastMessage(), u"Chcete provedené změny uložit?"_s);
    // "Ne" to closing all windows that another window then stops keeps the change to be asked about.
    m_user.willAnswer(ui::kNo);
    EXPECT_TRUE(static_cast<shell::ChildWindow *>(editing)->canClose());
    m_user.willAnswer(ui::kYes);
    EXPECT_TRUE(editing->parentWidget()->close());
    EXPECT_EQ(entities::loadNote(m_db, QString::number(id)).value, u"Rohlíky denně"_s);

    // A group of it and two other companies; a group dropped on it and a repeat add nothing.
    const qint32 b = company(u"25596641"_s, u"Mlýn"_s);
    QWidget *groups = m_main->openEntityGroups(std::nullopt);
    EXPECT_EQ(control<QPushButton>(groups, u"cmdZmenitSk"_s)->text(), u"Vytvořit"_s);
    ASSERT_TRUE(test::deliverDrop(groups, u"lstSkupina"_s, u"/*/%1_%2_%3"_s.arg(id).arg(b).arg(kReference)));
    ASSERT_TRUE(test::deliverDrop(groups, u"lstSkupina"_s, u"*/*%1"_s.arg(id)));
    EXPECT_EQ(control<QLabel>(groups, u"Label2"_s)->text(), u"Seznam členů skupiny (3):"_s);
    click(groups, u"cmdZmenitSk"_s);
    EXPECT_EQ(lastMessage(), u"Zadejte název pro skupinu."_s);
    control<QLineEdit>(groups, u"txtNazevSkupiny"_s)->setText(u"Pekaři"_s);
    click(groups, u"cmdZmenitSk"_s);
    EXPECT_EQ(lastMessage(), u"Skupina Pekaři byla uložena."_s);
    const auto group = static_cast<entities::frmUlozitSkupinu *>(groups)->group();
    ASSERT_TRUE(group.has_value());
    EXPECT_EQ(groups->windowTitle(), u"Editace skupiny subjektů"_s);
    ASSERT_TRUE(test::deliverDrop(groups, u"lstSkupina"_s, u"*/*%1"_s.arg(*group)));
    EXPECT_EQ(control<QListWidget>(groups, u"lstSkupina"_s)->count(), 3);
    // Removing a stored member keeps a name typed meanwhile.
    control<QLineEdit>(groups, u"txtNazevSkupiny"_s)->setText(u"Pekaři a mlynáři"_s);
    auto *members = control<QListWidget>(groups, u"lstSkupina"_s);
    members->item(members->count() - 1)->setSelected(true);
    m_user.willAnswer(ui::kYes);
    click(groups, u"cmdOdebrat"_s);
    EXPECT_EQ(members->count(), 2);
    EXPECT_EQ(control<QLineEdit>(groups, u"txtNazevSkupiny"_s)->text(), u"Pekaři a mlynáři"_s);
    EXPECT_EQ(control<QLabel>(groups, u"Label2"_s)->text(), u"Seznam členů skupiny (2):"_s);

    EXPECT_EQ(searchFor(u"pekari"_s), QStringList{u"skupina_ Pekaři"_s});

    // Deleted: gone from the search, its rows kept as deleted ones.
    editing = qobject_cast<entities::frmEditaceSubjektu *>(m_main->openEntityEditing(id));
    ASSERT_NE(editing, nullptr);
    m_user.willAnswer(ui::kYes);
    click(editing, u"cmdOdstranit"_s);
    EXPECT_EQ(lastMessage(), u"Všechny informace o subjektu jsou odstraněny."_s);
    EXPECT_TRUE(searchFor(u"pekarna"_s).isEmpty());
    EXPECT_EQ(value(u"SELECT inac_ind FROM ident WHERE subj_id = %1"_s.arg(id)), u"2"_s);

    // "Historie změn" lists the entity's changes newest first; the statement a change replaced opens as it was.
    const qint32 dejiny = company(u"27074358"_s, u"Dějiny s.r.o."_s);
    statements::StatementStore store(m_db);
    const statements::SavedPair first = store.save(test::markedPair(store, dejiny, 2010, 1, 5));
    ASSERT_TRUE(first.ok()) << first.reason().toStdString();
    ASSERT_TRUE(store.save(test::markedPair(store, dejiny, 2010, 1, 7), statements::SaveOptions{first.ids, false}).ok());

    auto *historyOwner = m_main->openEntityEditing(dejiny);
    click(historyOwner, u"cmdHistorie"_s);
    auto *history = historyOwner->findChild<entities::frmHistorieZmen *>();
    ASSERT_NE(history, nullptr);
    auto *rows = control<QTreeWidget>(history, u"lstHistorie"_s);
    ASSERT_EQ(rows->topLevelItemCount(), 5);
    EXPECT_EQ(rows->topLevelItem(4)->text(3) + u' ' + rows->topLevelItem(4)->text(2), u"vložení subjekt: Dějiny s.r.o."_s);
    QTreeWidgetItem *changed = rows->findItems(u"nahrazuje výkaz %1"_s.arg(first.ids.balance), Qt::MatchContains, 2).value(0);
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(changed->text(3), u"změna"_s);
    EXPECT_LT(rows->indexOfTopLevelItem(changed), 2);
    rows->setCurrentItem(changed);
    click(history, u"cmdOtevritVykaz"_s);
    auto *statement = history->findChild<statements::frmVykazHistorie *>();
    ASSERT_NE(statement, nullptr);
    EXPECT_TRUE(statement->windowTitle().startsWith(u"Rozvaha 2010/1 (neplatná"_s)) << statement->windowTitle().toStdString();
    const statements::StatementLinesView *lines = statement->lines();
    QStringList line193;
    for (int row = 0; row < lines->rowCount(); ++row) {
        if (lines->code(row) == 193)
            line193 << lines->amount(row);
    }
    EXPECT_EQ(line193, QStringList{u"5"_s});
}

// Removing a stored member beside a pending one: the pending one stays pending and listed.
TEST_F(EntityWindowsTest, RemovingAStoredMemberKeepsThePendingOnes)
{
    const qint32 a = company(u"27074358"_s, u"Alfa"_s);
    const qint32 b = company(u"25596641"_s, u"Beta"_s);
    const entities::Written group = entities::GroupStore(m_db).create(u"Skupina"_s, {}, {a});
    ASSERT_TRUE(group.ok());
    auto *window = static_cast<entities::frmUlozitSkupinu *>(m_main->openEntityGroups(group.id));
    ASSERT_TRUE(test::deliverDrop(window, u"lstSkupina"_s, u"*/*%1"_s.arg(b)));
    auto *members = control<QListWidget>(window, u"lstSkupina"_s);
    members->setCurrentRow(0);
    m_user.willAnswer(ui::kYes);
    click(window, u"cmdOdebrat"_s);
    EXPECT_EQ(lastMessage(), u"Chcete odstranit subjekt ze skupiny subjektů?"_s);
    EXPECT_EQ(window->pending(), QList<qint32>{b});
    ASSERT_EQ(members->count(), 1);
    EXPECT_EQ(members->item(0)->data(Qt::UserRole).toInt(), b);
    EXPECT_EQ(value(u"SELECT count(*) FROM mem WHERE inac_ind = 0 AND subj_id = %1"_s.arg(group.id)), u"0"_s);
}

TEST_F(EntityWindowsTest, MembersOfAnExistingGroupAreSwitchedAtOnceAndAddedOnRequest)
{
    const qint32 a = company(u"27074358"_s, u"Alfa"_s);
    const qint32 b = company(u"25596641"_s, u"Beta"_s);
    const entities::Written group = entities::GroupStore(m_db).create(u"Skupina"_s, {}, {a});
    ASSERT_TRUE(group.ok());

    // The entity's window switches its membership at once, even when closed with Storno.
    auto *editing = m_main->openEntityEditing(a);
    auto *memberships = control<QListWidget>(editing, u"lstSkupiny"_s);
    ASSERT_EQ(texts(memberships), QStringList{u"Skupina"_s});
    memberships->item(0)->setCheckState(Qt::Unchecked);
    click(editing, u"cmdStorno"_s);
    EXPECT_EQ(value(u"SELECT inac_ind FROM mem WHERE mem_id = %1"_s.arg(a)), u"1"_s);
    editing = m_main->openEntityEditing(a);
    const int asked = m_user.messages().size();
    click(editing, u"cmdOK"_s); // nothing typed: nothing asked
    EXPECT_EQ(m_user.messages().size(), asked);

    auto *window = static_cast<entities::frmUlozitSkupinu *>(m_main->openEntityGroups(group.id));
    auto *list = control<QListWidget>(window, u"lstSkupina"_s);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
    ASSERT_TRUE(test::deliverDrop(window, u"lstSkupina"_s, u"*/*%1"_s.arg(b)));
    EXPECT_EQ(window->pending(), QList<qint32>{b});
    EXPECT_EQ(value(u"SELECT count(*) FROM mem"_s), u"1"_s);
    // Removing a written member reloads the list; the pending one stays pending.
    list->setCurrentRow(0);
    m_user.willAnswer(ui::kYes);
    click(window, u"cmdOdebrat"_s);
    EXPECT_EQ(value(u"SELECT inac_ind FROM mem WHERE mem_id = %1"_s.arg(a)), u"2"_s);
    EXPECT_EQ(texts(list), QStringList{u"25596641 Beta"_s});
    m_user.willAnswer(u"Storno"_s);
    EXPECT_FALSE(window->canClose());
    m_user.willAnswer(ui::kYes);
    EXPECT_TRUE(window->canClose());
    EXPECT_EQ(lastMessage(), u"Přidáno 1 položek."_s);
    EXPECT_EQ(value(u"SELECT inac_ind FROM mem WHERE mem_id = %1"_s.arg(b)), u"0"_s);

    // The name changes with its search form; deleting the group closes the window.
    control<QLineEdit>(window, u"txtNazevSkupiny"_s)->setText(u"Nová skupina"_s);
    Q_EMIT control<QLineEdit>(window, u"txtNazevSkupiny"_s)->textEdited(u"Nová skupina"_s);
    m_user.willAnswer(ui::kYes);
    click(window, u"cmdZmenitSk"_s);
    EXPECT_EQ(lastMessage(), u"Název změněn."_s);
    EXPECT_EQ(searchFor(u"nova sk"_s), QStringList{u"skupina_ Nová skupina"_s});
    m_user.willAnswer(ui::kYes);
    click(window, u"cmdOdebratSk"_s);
    EXPECT_EQ(lastMessage(), u"Skupinu se smazána."_s);
    EXPECT_TRUE(searchFor(u"nova"_s).isEmpty());
}


#include "dropdelivery.h"
#include "windowtest.h"

#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "statements/frmeditace.h"
#include "statements/frmnovyvykaz.h"
#include "statements/statementlinesview.h"
#include "ui/busyguard.h"
#include "support/files.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using shell::WindowKind;
using statements::frmNovyVykaz;
using statements::StatementLinesView;

namespace {

class StatementEntryWindowTest : public test::FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        const entities::Written company = entities::EntityStore(m_db).create({u"27074358"_s, u"Pekárna, s.r.o."_s, 2, 1112, {}, {}});
        ASSERT_TRUE(company.ok());
        m_company = company.id;
    }

    frmNovyVykaz *open()
    {
        auto *w = qobject_cast<frmNovyVykaz *>(m_main->open(WindowKind::NewStatement));
        EXPECT_NE(w, nullptr);
        return w;
    }
    QString activePeriods()
    {
        QStringList out;
        for (const QStringList &row : m_db.queryRows(u"SELECT year_dt, quarter_dt, stmt_type_cd FROM finl_stmt WHERE inac_ind = 0 AND subj_id = "_s
                                                     + QString::number(m_company) + u" ORDER BY year_dt, stmt_type_cd"_s).rows)
            out << row.join(QLatin1Char('/'));
        return out.join(QLatin1Char(' '));
    }

    // Presses a key on the list; the value dialog it opens gets typed (after clearing it when
    // asked) and closed with OK or Storno.
    static void key(StatementLinesView *list, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString &typed = {},
                    bool clear = false, bool ok = true)
    {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            statements::frmEditace *dialog = nullptr;
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->isVisible() && qobject_cast<statements::frmEditace *>(top))
                    dialog = static_cast<statements::frmEditace *>(top);
            }
            if (!dialog)
                return;
            auto *text = dialog->findChild<QLineEdit *>(u"txtHodnota"_s);
            if (clear)
                text->clear();
            QTest::keyClicks(text, typed);
            dialog->findChild<QPushButton *>(ok ? u"cmdOK"_s : u"cmdStorno"_s)->click();
            answered = true;
        });
        QTest::keyClick(list, key, modifiers);
        if (key == Qt::Key_Return)
            QApplication::processEvents();
        else
            EXPECT_TRUE(answered);
    }
    static void keypad(StatementLinesView *list, Qt::Key digit, const QString &typed = {}, bool ok = true)
    {
        key(list, digit, Qt::KeypadModifier, typed, false, ok);
    }
    static void enter(StatementLinesView *list, int times)
    {
        for (int i = 0; i < times; ++i)
            key(list, Qt::Key_Return, Qt::NoModifier);
    }

    qint32 m_company = 0;
};

} // namespace

TEST_F(StatementEntryWindowTest, AnAbbreviatedPairIsTypedCheckedSavedChangedAndDeleted)
{
    frmNovyVykaz *w = open();
    ASSERT_TRUE(w);
    const qint32 group = entities::GroupStore(m_db).create(u"Skupina pekáren"_s, {}, {m_company}).id;
    ASSERT_TRUE(test::deliverDrop(w, u"lblSubjekt"_s, u"*/*"_s + QString::number(group)));
    EXPECT_EQ(lastMessage(), u"Skupině subjektů nelze přiřadit výkaz."_s);
    EXPECT_FALSE(control<QPushButton>(w, u"cmdOK"_s)->isEnabled());
    ASSERT_TRUE(test::deliverDrop(w, u"lblSubjekt"_s, u"*/*"_s + QString::number(m_company)));
    EXPECT_EQ(control<QLabel>(w, u"lblSubjekt"_s)->text(), u"27074358 Pekárna, s.r.o."_s);
    EXPECT_EQ(w->windowTitle(), u"Nový výkaz: 27074358 Pekárna, s.r.o."_s);
    auto *year = control<QLineEdit>(w, u"txtRok"_s);
    year->setText(u"199"_s);
    EXPECT_FALSE(w->txtRok_LostFocus());
    EXPECT_EQ(lastMessage(), u"Zadejte platný rok!"_s);
    year->setText(u"2024"_s);

    // Balance sheet lines 92, 93, 94, 95, 103, 113, 119, 120, 127, 133, 142, 146, 152, 153, 154, ..., 193, 196
    auto *balance = control<StatementLinesView>(w, u"lvwRozvaha"_s);
    keypad(balance, Qt::Key_1, u"0"_s);
    enter(balance, 1);
    keypad(balance, Qt::Key_4);
    keypad(balance, Qt::Key_4);
    enter(balance, 2);
    keypad(balance, Qt::Key_6);
    keypad(balance, Qt::Key_6);
    keypad(balance, Qt::Key_9, {}, false); // Storno keeps the amount
    enter(balance, 3);
    keypad(balance, Qt::Key_1, u"0,0"_s);
    keypad(balance, Qt::Key_Minus, u"10"_s);
    keypad(balance, Qt::Key_1, u"0"_s);
    EXPECT_EQ((QStringList{balance->amount(0), balance->amount(8), balance->amount(12), balance->amount(13)}),
              (QStringList{u"10"_s, u"0"_s, u"10"_s, u"-10"_s}));

    // The broken rules are named with both sides; not saving leaves nothing written.
    click(w, u"cmdOK"_s);
    ASSERT_GE(m_user.messages().size(), 2);
    const ui::ShownMessage check = m_user.messages().at(m_user.messages().size() - 2);
    EXPECT_EQ(check.title, u"Součtová kontrola"_s);
    EXPECT_TRUE(check.text.contains(u"(153 = 154 + 157 + 162 + 166 + 169): levá strana -10, pravá strana 10"_s)) << check.text.toStdString();
    EXPECT_TRUE(check.text.contains(u"(152 = 153 + 170 + 196): levá strana 10, pravá strana -10"_s)) << check.text.toStdString();
    EXPECT_EQ(lastMessage(), u"Nesouhlasí některé součtové kontroly. Chcete výkaz uložit?"_s);
    EXPECT_EQ(activePeriods(), QString());

    balance->setCurrentItem(balance->topLevelItem(13));
    key(balance, Qt::Key_F2, Qt::NoModifier, u"10"_s, true);
    click(w, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Výkaz byl uložen."_s);
    EXPECT_EQ(activePeriods(), u"2024/1/27 2024/1/28"_s);
    auto *listed = control<QListWidget>(w, u"lstVykazy"_s);
    ASSERT_EQ(listed->count(), 1);
    EXPECT_EQ(listed->item(0)->text(), u"2024/1 * zkrácený"_s);
    EXPECT_EQ(balance->amount(0), u"0"_s);

    // Loaded again, one amount changed: the pair is replaced by a new one.
    listed->setCurrentRow(0);
    EXPECT_EQ(balance->amount(0), u"10"_s);
    EXPECT_EQ(balance->amount(13), u"10"_s);
    EXPECT_FALSE(year->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w, u"cmdOdstranit"_s)->isVisibleTo(w));
    const QString first = value(u"SELECT finl_stmt_id FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 27 AND subj_id = "_s
                                + QString::number(m_company));
    balance->setCurrentItem(balance->topLevelItem(24));
    keypad(balance, Qt::Key_7);
    m_user.willAnswer(ui::kYes);
    click(w, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Výkaz byl uložen."_s);
    EXPECT_EQ(activePeriods(), u"2024/1/27 2024/1/28"_s);
    const QString second = value(u"SELECT finl_stmt_id FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 27 AND subj_id = "_s
                                 + QString::number(m_company));
    EXPECT_NE(second, first);
    EXPECT_EQ(value(u"SELECT amt_val FROM finl_item WHERE inac_ind = 0 AND item_type_cd = 193 AND finl_stmt_id = "_s + second), u"7"_s);

    // "Nový" after a load: saving another period keeps the loaded pair.
    listed->setCurrentRow(0);
    click(w, u"cmdVycistit"_s);
    year->setText(u"2025"_s);
    m_user.willAnswer(ui::kYes); // were a change of the loaded pair asked, it would be confirmed
    click(w, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Výkaz byl uložen."_s);
    m_user.clear();
    EXPECT_EQ(activePeriods(), u"2024/1/27 2024/1/28 2025/1/27 2025/1/28"_s);

    // A fresh window refuses a period that is taken.
    frmNovyVykaz *other = open();
    ASSERT_TRUE(test::deliverDrop(other, u"lblSubjekt"_s, u"*/*"_s + QString::number(m_company)));
    control<QLineEdit>(other, u"txtRok"_s)->setText(u"2024"_s);
    click(other, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Výkaz již existuje! Nebude vytvořen nový."_s);
    other->close();

    // Deleting the loaded 2025 pair.
    ASSERT_EQ(listed->count(), 2);
    listed->setCurrentRow(1);
    m_user.willAnswer(ui::kYes);
    click(w, u"cmdOdstranit"_s);
    EXPECT_EQ(activePeriods(), u"2024/1/27 2024/1/28"_s);
    EXPECT_EQ(listed->count(), 1);
    EXPECT_EQ(control<QLabel>(w, u"lblVykazy"_s)->text(), u"Výkazy subjektu (1):"_s);

    // Amounts typed and not saved: closing asks first.
    EXPECT_TRUE(w->canClose());
    balance->setCurrentItem(balance->topLevelItem(0));
    keypad(balance, Qt::Key_5);
    m_user.willAnswer(ui::kNo);
    EXPECT_FALSE(w->canClose());
    EXPECT_EQ(lastMessage(), u"Zadané částky výkazu nebyly uloženy. Chcete okno přesto zavřít?"_s);
    m_user.willAnswer(ui::kYes);
    EXPECT_TRUE(w->canClose());
}

// "Importovat výkazy…": a refused file offers to create the unknown entity and imports then; a
// second import of the same file offers replacing and, declined, writes nothing.
// A save the connection breaks under: one box, saying what was not done and that the connection
// was lost, with the driver's words only in its details; the next save works.
TEST_F(StatementEntryWindowTest, ASaveCutByALostConnectionIsToldInOneBox)
{
    frmNovyVykaz *w = open();
    ASSERT_TRUE(w);
    ASSERT_TRUE(test::deliverDrop(w, u"lblSubjekt"_s, u"*/*"_s + QString::number(m_company)));
    control<QLineEdit>(w, u"txtRok"_s)->setText(u"2024"_s);
    control<QCheckBox>(w, u"chkKontrola"_s)->setChecked(false);
    const qsizetype before = m_user.messages().size();
    m_db.failStatementForTesting(2, true);
    click(w, u"cmdOK"_s);
    m_db.failStatementForTesting(0);
    QCoreApplication::processEvents(); // a box queued behind the save would show now
    ASSERT_EQ(m_user.messages().size(), before + 1);
    const ui::ShownMessage failed = m_user.messages().last();
    EXPECT_EQ(failed.icon, ui::MessageIcon::Critical);
    EXPECT_EQ(failed.text, u"Výkaz nelze uložit, nic nebylo zapsáno. Spojení s databází bylo přerušeno. Až bude databáze opět "
                           "dostupná, akci opakujte."_s);
    EXPECT_TRUE(failed.detail.contains(u"zkušební porucha příkazu 2"_s)) << failed.detail.toStdString();
    EXPECT_EQ(activePeriods(), QString());
    click(w, u"cmdOK"_s);
    EXPECT_EQ(lastMessage(), u"Výkaz byl uložen."_s);
}

TEST_F(StatementEntryWindowTest, ImportOffersWhatTheFileNeedsAndReportsTheSummary)
{
    frmNovyVykaz *w = open();
    ASSERT_TRUE(w);
    ASSERT_TRUE(test::deliverDrop(w, u"lblSubjekt"_s, u"*/*"_s + QString::number(m_company)));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"vykazy.csv"_s);
    // Lines left out are 0, so a few lines make pairs that pass every rule.
    ASSERT_TRUE(test::writeFile(path, "ico;nazev;rok;ctvrtleti;vykaz;rozsah;radek;castka\n"
                                      "27074358;;2005;4;rozvaha;zkraceny;92;10\n27074358;;2005;4;rozvaha;zkraceny;93;10\n"
                                      "27074358;;2005;4;rozvaha;zkraceny;152;10\n27074358;;2005;4;rozvaha;zkraceny;153;10\n"
                                      "27074358;;2005;4;rozvaha;zkraceny;154;10\n27074358;;2005;4;vysledovka;zkraceny;90;0\n"
                                      "25596641;Nová, a.s.;2005;4;rozvaha;2;92;0\n25596641;Nová, a.s.;2005;4;vysledovka;2;90;0\n"));

    m_user.willChooseFile(path);
    m_user.willAnswer(ui::kYes);
    click(w, u"cmdImport"_s);
    EXPECT_TRUE(m_user.messages().at(m_user.messages().size() - 2).text.contains(u"Založit pro ně subjekty?"_s));
    EXPECT_TRUE(lastMessage().startsWith(u"Výkazů v souboru: 4, uloženo: 4"_s)) << lastMessage().toStdString();
    EXPECT_EQ(activePeriods(), u"2005/4/27 2005/4/28"_s);
    EXPECT_EQ(control<QListWidget>(w, u"lstVykazy"_s)->count(), 1);
    EXPECT_EQ(value(u"SELECT count(*) FROM ident WHERE ident_txt = '25596641'"_s), u"1"_s);

    m_user.willChooseFile(path);
    click(w, u"cmdImport"_s);
    EXPECT_TRUE(lastMessage().contains(u"Nic nebylo uloženo."_s)) << lastMessage().toStdString();
    EXPECT_EQ(value(u"SELECT count(*) FROM finl_stmt WHERE inac_ind = 0 AND year_dt = 2005"_s), u"4"_s);
    EXPECT_EQ(control<QPushButton>(w, u"cmdImport"_s)->text(), u"Importovat výkazy…"_s);
}

// A long import shows its passes in the caption; Stop pressed while it writes ends it with
// nothing written, and a database call from elsewhere meanwhile is refused, not joined.
TEST_F(StatementEntryWindowTest, StopWhileTheImportWritesRollsItAllBack)
{
    frmNovyVykaz *w = open();
    ASSERT_TRUE(w);
    const QString caption = w->windowTitle();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"vykazy.csv"_s);
    QByteArray csv = "ico;nazev;rok;ctvrtleti;vykaz;rozsah;radek;castka\n";
    constexpr int kPairs = 300;
    for (int i = 0; i < kPairs; ++i) {
        const QByteArray period = QByteArray::number(1993 + i / 4) + ';' + QByteArray::number(i % 4 + 1);
        csv += "27074358;;" + period + ";rozvaha;zkraceny;92;0\n27074358;;" + period + ";vysledovka;zkraceny;90;0\n";
    }
    ASSERT_TRUE(test::writeFile(path, csv));

    auto *stop = control<QPushButton>(w, u"cmdImport"_s);
    QString checking;
    QString writing;
    Outcome guest;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (checking.isEmpty() && w->windowTitle().contains(u"Kontroluji"_s))
            checking = w->windowTitle();
        if (!w->windowTitle().contains(u"Ukládám"_s))
            return;
        watch.stop();
        writing = w->windowTitle();
        guest = m_db.execute(u"DELETE FROM mem"_s);
        stop->click();
    });
    watch.start(0);
    m_user.willChooseFile(path);
    click(w, u"cmdImport"_s);

    EXPECT_EQ(checking, ui::kBusyCaption + u" Kontroluji výkazy: 1 z 300"_s);
    EXPECT_EQ(writing, ui::kBusyCaption + u" Ukládám výkazy: 1 z 300"_s);
    EXPECT_EQ(guest.error, db::Database::kBusyText);
    EXPECT_EQ(lastMessage(), u"Import byl přerušen, nic nebylo uloženo."_s);
    EXPECT_EQ(value(u"SELECT count(*) FROM finl_stmt WHERE subj_id = "_s + QString::number(m_company)), u"0"_s);
    EXPECT_FALSE(m_db.inTransaction());
    EXPECT_FALSE(ui::isBusy(w));
    EXPECT_EQ(w->windowTitle(), caption);
    EXPECT_EQ(stop->text(), u"Importovat výkazy…"_s);
}

#include "demofixture.h"
#include "dropdelivery.h"
#include "windowtest.h"

#include "entities/foundlist.h"
#include "entities/frmvyhledavani.h"
#include "shell/frmhlavni.h"
#include "ui/idlehook.h"
#include "ui/scripteduser.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace verna;
using namespace Qt::StringLiterals;
using entities::frmVyhledavani;
using shell::WindowKind;

namespace {

class SearchWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_demo = &test::DemoFixture::get();
        ui::installIdleHook(db(), std::chrono::milliseconds(0));
    }
    void TearDown() override { db().setIdleHook({}); }

    db::Database &db() { return m_demo->db(); }
    shell::AppState &state() { return m_demo->state(); }
    void run(const QString &sql) { ASSERT_EQ(m_demo->run(sql), QString()) << sql.toStdString(); }

    // The search window alone, or started by the main window with the given windows built.
    void openStandalone()
    {
        m_window = std::make_unique<frmVyhledavani>(state());
        m_window->setWindowTitle(u"Vyhledávací obrazovka 1"_s);
        m_window->show();
    }
    frmVyhledavani *openInMainWindow(shell::WindowRegistry registry)
    {
        registry.add(WindowKind::Search, [](shell::AppState &s) { return new frmVyhledavani(s); });
        m_main = std::make_unique<shell::frmHlavni>(state(), std::move(registry));
        m_main->show();
        m_main->Form_Load();
        return qobject_cast<frmVyhledavani *>(m_main->childWindows().value(0));
    }

    template <typename T>
    T *control(const char *name) const
    {
        QWidget *root = m_main ? static_cast<QWidget *>(m_main.get()) : m_window.get();
        T *c = root->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QAbstractItemView *results() const { return control<QAbstractItemView>("lstNalezeno"); }
    int lines() const { return results()->model()->rowCount(); }
    QModelIndex line(int row) const { return results()->model()->index(row, 0); }
    QListWidget *modeList() const { return control<QListWidget>("lstPravniForma"); }
    QPushButton *button(const char *name) const { return control<QPushButton>(name); }
    QString count() const { return control<QLabel>("lblNalezeno")->text(); }

    void type(const char *box, const QString &text) { control<QLineEdit>(box)->setText(text); }
    void search(const QString &name)
    {
        type("txtJmeno", name);
        button("cmdHledat")->click();
    }

    void selectLine(const QString &text)
    {
        const QModelIndexList found = results()->model()->match(line(0), Qt::DisplayRole, text, -1, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << text.toStdString();
        results()->selectionModel()->setCurrentIndex(found.front(), QItemSelectionModel::ClearAndSelect);
    }

    // Clicks the button as soon as the running listing processes events.
    void clickDuringListing(const char *name)
    {
        QPointer<QPushButton> b = button(name);
        QTimer::singleShot(0, b, [b] { b->click(); });
    }

    test::DemoFixture *m_demo = nullptr;
    ui::ScriptedUser m_user;
    std::unique_ptr<frmVyhledavani> m_window;
    std::unique_ptr<shell::frmHlavni> m_main;
};

const QStringList kQx = {"11111111 Cihelna Qx a.s.", "00000123 Čepice Qx s.r.o.", "* 44444444 Novákova Qx s.r.o.",
                         "skupina_ Skupina Qx"};

} // namespace

TEST_F(SearchWindowTest, NameAndBranchModesFindDragsCarryEntitiesStopReallyStopsAndAFailedReadIsTold)
{
    openStandalone();
    EXPECT_EQ(modeList()->selectedItems().size(), modeList()->count());
    // No events let through while the rows are read: every line still shows when the listing ends.
    ui::installIdleHook(db(), std::chrono::hours(1));
    search(u"%qx"_s);
    ui::installIdleHook(db(), std::chrono::milliseconds(0));
    EXPECT_EQ(test::texts(results()), kQx);
    EXPECT_EQ(count(), u"Počet nalezených subjektů: 4"_s);

    // Enter in the IČO box searches; the padded IČO wins over the name.
    type("txtICO", u"123"_s);
    QTest::keyClick(control<QLineEdit>("txtICO"), Qt::Key_Return);
    EXPECT_EQ(test::texts(results()), QStringList{"00000123 Čepice Qx s.r.o."});
    button("cmdSmazat")->click();
    button("cmdNic")->click();
    modeList()->findItems(u"Společnost s ručením omezeným"_s, Qt::MatchExactly).front()->setSelected(true);
    search(u"%qx"_s);
    EXPECT_EQ(test::texts(results()), (QStringList{"00000123 Čepice Qx s.r.o.", "* 44444444 Novákova Qx s.r.o."}));

    // Branch search finds branches, lists their entities and can be repeated.
    openStandalone();
    control<QAbstractButton>("optTypHledani_1")->click();
    type("txtJmeno", u"50% podíl 'Qx'"_s);
    button("cmdHledat")->click();
    ASSERT_EQ(test::texts(modeList()), QStringList{"ZZ1 50% podíl 'Qx'"});

    control<QCheckBox>("chkHlavniOkec")->setChecked(true);
    QListWidgetItem *branch = modeList()->item(0);
    QTest::mouseClick(modeList()->viewport(), Qt::LeftButton, {}, modeList()->visualItemRect(branch).center());
    EXPECT_EQ(test::texts(results()), (QStringList{"Cihelna Qx a.s. 11111111", "Čepice Qx s.r.o. 00000123", "Novákova Qx s.r.o. 44444444"}));
    EXPECT_EQ(count(), u"Nalezeno 3 subjektů"_s);

    // A second search while the list shows branches looks in the classification lists again.
    type("txtJmeno", QString());
    type("txtICO", u"zz"_s);
    button("cmdHledat")->click();
    EXPECT_EQ(test::texts(modeList()), (QStringList{"ZZ1 50% podíl 'Qx'", "ZZ2 500 Qx"}));
    EXPECT_TRUE(lines() == 0);

    // Only CZ-NACE chosen: the OKEČ branches are not found, now or on a repeated search.
    control<QAbstractButton>("optTypHledani_1")->click();
    ASSERT_EQ(test::texts(modeList()), (QStringList{"OKEČ", "CZ-NACE"}));
    button("cmdNic")->click();
    modeList()->item(1)->setSelected(true);
    button("cmdHledat")->click();
    EXPECT_EQ(modeList()->count(), 0);
    button("cmdHledat")->click();
    EXPECT_EQ(modeList()->count(), 0);

    // Drags carry the selected entities; only branch node drops are taken.
    openStandalone();
    search(u"%qx"_s);
    // A real press and move on a selected line starts the drag.
    selectLine(u"* 44444444 Novákova Qx s.r.o."_s);
    QWidget *viewport = results()->viewport();
    const QPoint at = results()->visualRect(line(2)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    for (int step = 1; step <= 2; ++step) {
        const QPoint to = at + QPoint(step * (QApplication::startDragDistance() + 5), 0);
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(m_user.drags(), QStringList{"*/*-7"});

    results()->selectionModel()->select(line(0), QItemSelectionModel::Select);
    results()->selectionModel()->select(line(3), QItemSelectionModel::Select);
    m_window->lstNalezeno_OLEStartDrag();
    results()->clearSelection();
    m_window->lstNalezeno_OLEStartDrag();
    EXPECT_EQ(m_user.drags(), (QStringList{"*/*-7", "/*/900001_-7_-8"}));

    // A branch node dropped from elsewhere lists its entities; other texts run nothing.
    ASSERT_TRUE(test::deliverDrop(m_window.get(), u"lstNalezeno"_s, u"#&#AC99001_3366"_s));
    EXPECT_EQ(lines(), 9);
    EXPECT_EQ(count(), u"Nalezeno 9 subjektů"_s);

    int calls = 0;
    db().setIdleHook([&calls] { ++calls; });
    for (const char *text : {"#&#AC99001", "#&#AC99001;DROP TABLE actv", "#&#ACx_1", "#&#AC-5_1", "#&#AC99999999999_1",
                             "#&#SU900001", "*/*900001", "/*/1_2", "@&@SU1", ""}) {
        test::deliverDrop(m_window.get(), u"lstNalezeno"_s, QString::fromLatin1(text));
        EXPECT_EQ(lines(), 9) << text;
    }
    EXPECT_EQ(calls, 0);

    // Stop really stops Najít and V oboru; V oboru refuses entities without branches.
    openStandalone();
    clickDuringListing("cmdHledat");
    button("cmdHledat")->click();
    const int listed = lines();
    EXPECT_TRUE(listed >= 1 && listed < 10) << listed;
    EXPECT_EQ(count(), u"Počet nalezených subjektů: %1"_s.arg(listed));
    EXPECT_EQ(button("cmdHledat")->text(), u"&Najít"_s);
    EXPECT_FALSE(m_window->isSearching());
    EXPECT_EQ(m_window->windowTitle(), u"Vyhledávací obrazovka 1"_s);

    search(u"čep"_s);
    selectLine(u"00000123 Čepice Qx s.r.o."_s);
    button("cmdHledatVOboru")->click();
    EXPECT_EQ(count(), u"Nalezeno 9 subjektů"_s);
    EXPECT_EQ(lines(), 9);

    selectLine(u"Čepice Qx s.r.o. 00000123"_s);
    clickDuringListing("cmdHledatVOboru");
    button("cmdHledatVOboru")->click();
    EXPECT_TRUE(lines() >= 1 && lines() < 9) << lines();
    EXPECT_EQ(count(), u"Nalezeno %1 subjektů"_s.arg(lines()));
    EXPECT_EQ(button("cmdHledatVOboru")->text(), u"V oboru"_s);
    EXPECT_TRUE(button("cmdHledat")->isEnabled());

    // Main branches only; a group has none, nor has an entity whose branches are gone.
    control<QCheckBox>("chkHlavniOkec")->setChecked(true);
    search(u"%qx"_s);
    selectLine(u"skupina_ Skupina Qx"_s);
    EXPECT_FALSE(button("cmdHledatVOboru")->isEnabled());

    selectLine(u"11111111 Cihelna Qx a.s."_s);
    button("cmdHledatVOboru")->click();
    EXPECT_EQ(test::texts(results()), (QStringList{"Cihelna Qx a.s. 11111111", "Čepice Qx s.r.o. 00000123", "Novákova Qx s.r.o. 44444444"}));

    run(u"UPDATE actv SET inac_ind = 2 WHERE subj_id = 900001"_s);
    const auto restore = qScopeGuard([this] { m_demo->run(u"UPDATE actv SET inac_ind = 0 WHERE subj_id = 900001"_s); });
    selectLine(u"Cihelna Qx a.s. 11111111"_s);
    button("cmdHledatVOboru")->click();
    ASSERT_EQ(m_user.messages().size(), 1);
    EXPECT_EQ(m_user.messages()[0].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(m_user.messages()[0].text, u"Subjekt nemá přiřazen obor činnosti."_s);
    EXPECT_EQ(m_user.messages()[0].title, u"Vyhledávací obrazovka 1"_s);
    EXPECT_EQ(button("cmdHledatVOboru")->text(), u"V oboru"_s);

    // A read that fails is told once; the count says the list is not the whole answer.
    openStandalone();
    run(u"ALTER TABLE name RENAME TO name_pryc"_s);
    const auto restoreName = qScopeGuard([this] { m_demo->run(u"ALTER TABLE name_pryc RENAME TO name"_s); });
    search(u"%qx"_s);
    ASSERT_EQ(m_user.messages().size(), 2);
    const ui::ShownMessage &message = m_user.messages().last();
    EXPECT_EQ(message.icon, ui::MessageIcon::Critical);
    EXPECT_EQ(message.title, u"Vyhledávací obrazovka 1"_s);
    EXPECT_TRUE(message.text.startsWith(u"Hledání nelze dokončit"_s));
    EXPECT_TRUE(message.detail.contains(u"name"_s)) << message.detail.toStdString();
    EXPECT_EQ(count(), u"Počet nalezených subjektů: 0 (neúplné)"_s);
    EXPECT_EQ(lines(), 0);
}

// The hand-overs reach stand-ins of the windows they open, on the right entity.
TEST_F(SearchWindowTest, DoubleClickAndEditaceHandOverTheEntityAndAListingRefusesDropsAndStopsOnClose)
{
    QStringList opened;
    const auto standIn = [&opened](const QString &name, auto slot) {
        return [&opened, name, slot](shell::AppState &s) {
            const std::optional<qint32> id = slot(s);
            opened << name + u' ' + (id ? QString::number(*id) : u"-"_s);
            return new QWidget;
        };
    };
    const auto entitySlot = [](shell::AppState &s) { return s.entityToOpen(); };
    shell::WindowRegistry registry;
    registry.add(WindowKind::DataSelection, standIn(u"frmVyberDat"_s, entitySlot));
    registry.add(WindowKind::EntityEditing, standIn(u"frmEditaceSubjektu"_s, entitySlot));
    registry.add(WindowKind::EntityGroups, standIn(u"frmUlozitSkupinu"_s, [](shell::AppState &s) { return s.takeGroupToEdit(); }));
    frmVyhledavani *w = openInMainWindow(std::move(registry));
    ASSERT_NE(w, nullptr);
    search(u"%qx"_s);

    selectLine(u"11111111 Cihelna Qx a.s."_s);
    const QPoint at = results()->visualRect(line(0)).center();
    QTest::mouseClick(results()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(results()->viewport(), Qt::LeftButton, {}, at);
    selectLine(u"* 44444444 Novákova Qx s.r.o."_s);
    QTest::keyClick(results(), Qt::Key_Return);
    // Home and End go to the first and the last line, as in a list box.
    QTest::keyClick(results(), Qt::Key_End);
    EXPECT_EQ(results()->currentIndex().row(), lines() - 1);
    QTest::keyClick(results(), Qt::Key_Home);
    EXPECT_EQ(results()->currentIndex().row(), 0);
    selectLine(u"00000123 Čepice Qx s.r.o."_s);
    ASSERT_TRUE(button("cmdEditace")->isEnabled());
    button("cmdEditace")->click();
    selectLine(u"skupina_ Skupina Qx"_s);
    button("cmdEditace")->click();
    // The menu command opens the data selection on everything.
    m_main->findChild<QAction *>(u"miVyber"_s)->trigger();
    EXPECT_EQ(opened, (QStringList{u"frmVyberDat 900001"_s, u"frmVyberDat -7"_s, u"frmEditaceSubjektu 900002"_s,
                                   u"frmUlozitSkupinu -8"_s, u"frmVyberDat -"_s}));
    EXPECT_EQ(m_main->childWindows().size(), 6);

    // A listing is the window's long task: drops are ignored and a close is refused but stops it; Editace waits
    // for its window to exist.
    frmVyhledavani *search = openInMainWindow({});
    ASSERT_NE(search, nullptr);
    QPointer<QMdiSubWindow> frame = m_main->mdiArea()->subWindowList().front();
    bool dropped = true;
    bool closed = true;
    QTimer::singleShot(0, search, [&] {
        dropped = test::deliverDrop(search, u"lstNalezeno"_s, u"#&#AC99001_1"_s);
        closed = frame->close();
    });
    button("cmdHledat")->click();
    EXPECT_FALSE(dropped);
    EXPECT_FALSE(closed);
    EXPECT_FALSE(search->isSearching());
    EXPECT_LT(lines(), 10);
    EXPECT_FALSE(test::texts(results()).contains(u"Obor Qz 900010 99990010"_s));

    search->findChild<QLineEdit *>(u"txtJmeno"_s)->setText(u"%qx"_s);
    button("cmdHledat")->click();
    selectLine(u"00000123 Čepice Qx s.r.o."_s);
    EXPECT_FALSE(button("cmdEditace")->isEnabled());
    EXPECT_TRUE(frame->close());
}


// The found lines kept compactly come back whole; the views hear of the first line at once and of
// the lines after it in one step when events run, so a million lines cost them few steps.
TEST(FoundListTest, LinesComeBackWholeAndReachTheViewsFirstAtOnceThenInBatches)
{
    entities::FoundList list;
    QList<std::pair<int, int>> inserted;
    QObject::connect(&list, &QAbstractItemModel::rowsInserted, [&inserted](const QModelIndex &, int first, int last) {
        inserted.append({first, last});
    });
    list.append({u"* 44444444 Novákova Qx s.r.o."_s, -7});
    EXPECT_EQ(list.rowCount(), 1);
    list.append({QString(), 0});
    list.append({u"Žluťoučký kůň 00000123"_s, 900002});
    EXPECT_EQ(list.rowCount(), 1);
    QCoreApplication::processEvents();
    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(inserted, (QList<std::pair<int, int>>{{0, 0}, {1, 2}}));
    EXPECT_EQ(list.index(0).data().toString(), u"* 44444444 Novákova Qx s.r.o."_s);
    EXPECT_EQ(list.index(1).data().toString(), QString());
    EXPECT_EQ(list.index(2).data().toString(), u"Žluťoučký kůň 00000123"_s);
    EXPECT_EQ(list.index(2).data(Qt::ToolTipRole).toString(), u"Žluťoučký kůň 00000123"_s);
    EXPECT_EQ(list.index(0).data(Qt::UserRole).toInt(), -7);
    EXPECT_EQ(list.id(2), 900002);

    // Emptied for the next listing, whose first line shows at once again.
    list.clear();
    EXPECT_EQ(list.rowCount(), 0);
    list.append({u"skupina_ Skupina Qx"_s, -8});
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.text(0), u"skupina_ Skupina Qx"_s);
}

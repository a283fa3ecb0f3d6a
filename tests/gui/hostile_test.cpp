#include "base/textforms.h"
#include "dropdelivery.h"
#include "entities/frmnovysubjekt.h"
#include "entities/notes.h"
#include "support/hostile.h"
#include "windowtest.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using shell::WindowKind;

namespace {

class HostileWindowsTest : public test::FrameTest
{
protected:
    // Messages since the mark that tell of a database failure rather than refuse the input.
    std::string failures(qsizetype from) const
    {
        QString out;
        for (qsizetype i = from; i < m_user.messages().size(); ++i) {
            const ui::ShownMessage &m = m_user.messages().at(i);
            const QString text = m.text + u" | "_s + m.detail;
            // A text with NUL is refused by the database layer itself, with its own reason.
            if (text.contains(u"SQL"_s) || (text.contains(u"databáz"_s, Qt::CaseInsensitive) && !text.contains(u"znak NUL"_s)))
                out += text + u'\n';
        }
        return out.toStdString();
    }
};

QString validIco(int k)
{
    const QString first = QString::number(8200000 + k);
    return first + QString::number(base::icoCheckDigit(first));
}

} // namespace

// Each hostile text typed into the search, the new entity, the group and the indicator editor
// windows: stored exactly as typed or refused with a message; never a database failure.
TEST_F(HostileWindowsTest, TypedAndDroppedTextsAreTakenOrRefusedAndAFailedWriteIsToldInCzech)
{
    const QStringList corpus = test::hostileInputs();
    ASSERT_GT(corpus.size(), 30);
    int stored = 0;
    for (int k = 0; k < corpus.size(); ++k) {
        const QString s = corpus.at(k);
        const std::string shown = s.left(40).toStdString();
        const qsizetype mark = m_user.messages().size();

        QWidget *search = m_main->open(WindowKind::Search);
        control<QLineEdit>(search, u"txtJmeno"_s)->setText(s);
        click(search, u"cmdHledat"_s);

        QWidget *form = m_main->open(WindowKind::NewEntity);
        control<QLineEdit>(form, u"txtICO"_s)->setText(validIco(k));
        control<QLineEdit>(form, u"txtNazev"_s)->setText(s);
        control<QComboBox>(form, u"cboPravniForma"_s)->setCurrentIndex(0);
        control<QComboBox>(form, u"cboOKEC_0"_s)->setCurrentIndex(1);
        control<QPlainTextEdit>(form, u"txtPoznamka"_s)->setPlainText(s);
        click(form, u"cmdOK"_s);
        const QString id = value(u"SELECT subj_id FROM ident WHERE ident_txt = '%1'"_s.arg(validIco(k)));
        if (!id.isEmpty()) {
            ++stored;
            // A line edit drops line breaks and NUL as the user types them: what it shows is stored.
            EXPECT_EQ(value(u"SELECT name_txt FROM name WHERE subj_id = "_s + id), control<QLineEdit>(form, u"txtNazev"_s)->text()) << shown;
            EXPECT_EQ(entities::loadNote(m_db, id).value, control<QPlainTextEdit>(form, u"txtPoznamka"_s)->toPlainText()) << shown;
        }
        form->close();

        QWidget *groups = m_main->openEntityGroups(std::nullopt);
        if (!id.isEmpty())
            test::deliverDrop(groups, u"lstSkupina"_s, u"*/*"_s + id);
        control<QLineEdit>(groups, u"txtNazevSkupiny"_s)->setText(s);
        click(groups, u"cmdZmenitSk"_s);
        groups->close();

        QWidget *editor = m_main->open(WindowKind::IndicatorEditor);
        click(editor, u"cmdNova"_s);
        control<QComboBox>(editor, u"cboNazev"_s)->setEditText(s);
        control<QPlainTextEdit>(editor, u"txtPopis"_s)->setPlainText(s);
        control<QLineEdit>(editor, u"txtFunkce"_s)->setText(s);
        m_user.willAnswer(ui::kYes);
        click(editor, u"cmdOK"_s);
        editor->close();

        EXPECT_EQ(failures(mark), "") << shown;
    }
    std::cout << "[ figures  ] " << corpus.size() << " hostile texts typed into 4 windows, " << stored << " new entities stored\n";

    // A name that looks like markup shows as typed in the found list's tooltip too.
    const QString markup = u"<b>Tučně</b> & <img src=\"x\"> s.r.o."_s;
    ASSERT_TRUE(corpus.contains(markup));
    QWidget *search = m_main->open(WindowKind::Search);
    control<QLineEdit>(search, u"txtJmeno"_s)->setText(markup);
    click(search, u"cmdHledat"_s);
    const QAbstractItemModel *found = control<QAbstractItemView>(search, u"lstNalezeno"_s)->model();
    ASSERT_GT(found->rowCount(), 0);
    const QString tip = found->index(0, 0).data(Qt::ToolTipRole).toString();
    QTextDocument shown;
    shown.setHtml(tip);
    EXPECT_EQ(Qt::mightBeRichText(tip) ? shown.toPlainText() : tip, found->index(0, 0).data().toString());
    EXPECT_TRUE(found->index(0, 0).data().toString().contains(markup));
    search->close();

    // Each hostile text, bare and behind every payload marker, dropped on every drop target of every window:
    // ignored or taken, never a database failure or a crash.
    QList<QWidget *> windows;
    for (WindowKind kind : {WindowKind::Search, WindowKind::DataSelection, WindowKind::StatementTable, WindowKind::Analysis,
                            WindowKind::EntityGroups, WindowKind::IndicatorGroups, WindowKind::IndicatorEditor, WindowKind::NewEntity}) {
        if (QWidget *w = m_main->open(kind))
            windows << w;
    }
    const QStringList markers = {u""_s, u"*/*"_s, u"/*/"_s, u"#&#"_s, u"#&#AC"_s, u"@&@"_s, u"@&@SU"_s, u"@&@SY"_s,
                                 u"@&@SQ"_s, u"@&@AF"_s, u"@&@FS"_s, u"@&@FC"_s};
    int drops = 0, taken = 0;
    for (QWidget *window : windows) {
        QList<QWidget *> targets = window->findChildren<QWidget *>();
        targets << window;
        for (QWidget *target : targets) {
            // The windows' own drop targets; text boxes take dropped text as typed text (above).
            const auto isTextBox = [](QWidget *w) {
                return qobject_cast<QPlainTextEdit *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w);
            };
            if (!target->acceptDrops() || isTextBox(target) || isTextBox(target->parentWidget()))
                continue;
            for (const QString &s : test::hostileInputs()) {
                for (const QString &marker : markers) {
                    ++drops;
                    taken += test::deliverDrop(target, marker + s);
                }
            }
        }
    }
    EXPECT_GT(drops, 1000);
    EXPECT_EQ(failures(0), "");
    std::cout << "[ figures  ] " << drops << " hostile drops on " << windows.size() << " windows, " << taken << " accepted by the widget, none a database failure\n";

    // A write that fails in the middle shows a Czech error, leaves nothing behind, and the window takes the same
    // input again.
    QWidget *form = m_main->open(WindowKind::NewEntity);
    control<QLineEdit>(form, u"txtICO"_s)->setText(u"27074358"_s);
    control<QLineEdit>(form, u"txtNazev"_s)->setText(u"Porucha s.r.o."_s);
    control<QComboBox>(form, u"cboPravniForma"_s)->setCurrentIndex(0);
    control<QComboBox>(form, u"cboOKEC_0"_s)->setCurrentIndex(1);
    control<QPlainTextEdit>(form, u"txtPoznamka"_s)->setPlainText(u"poznámka"_s);
    const QString before = value(u"SELECT count(*) FROM subj"_s) + value(u"SELECT count(*) FROM text"_s);
    m_db.failStatementForTesting(4);
    click(form, u"cmdOK"_s);
    m_db.failStatementForTesting(0);
    ASSERT_FALSE(m_user.messages().isEmpty());
    const ui::ShownMessage failed = m_user.messages().last();
    EXPECT_EQ(failed.icon, ui::MessageIcon::Critical);
    EXPECT_TRUE(failed.text.contains(u"subjekt"_s, Qt::CaseInsensitive)) << failed.text.toStdString();
    EXPECT_EQ(value(u"SELECT count(*) FROM subj"_s) + value(u"SELECT count(*) FROM text"_s), before);
    EXPECT_FALSE(m_db.inTransaction());
    click(form, u"cmdOK"_s);
    EXPECT_EQ(m_user.messages().last().text, u"Nový subjekt byl vytvořen."_s);
}


#include "analysis/reportpanel.h"
#include "report/stylesheets.h"
#include "ui/scripteduser.h"
#include "support/files.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using analysis::ReportPanel;

namespace {

// Sections as the core would hold them for one row; the computation carries a script that
// must never run in the view.
report::ReportSections oneRow()
{
    report::ReportSections s;
    s.title = u"Finanční report"_s;
    s.singleRow = true;
    s.computation = u"<!-- VYPOCET_START -->\r\n<SCRIPT>document.title = 'skript';</SCRIPT>\r\n<!-- VYPOCET_END -->\r\n"_s;
    s.chart = u"<!-- GRAF_START -->\r\n<!-- GRAF_END -->\r\n"_s;
    s.balanceAbbreviated = u"<!-- ROZVAHA_START -->\r\n<!-- ROZVAHA_END -->\r\n"_s;
    return s;
}

ReportPanel::Builder builds(const report::ReportSections &sections)
{
    return [sections](const QString &) { return Result<report::ReportSections>{sections, {}}; };
}

QString readReport(const QString &path)
{
    QString text = QString::fromUtf8(test::readFile(path));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// Style folders of the test; the CSS folder setting points at the first, and goes after.
class ReportPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (QTemporaryDir *dir : {&m_styles, &m_other}) {
            ASSERT_TRUE(test::writeFile(dir->filePath(u"a.css"_s), "/* NAZEV: Modrý */\nbody { color: navy; }\n"));
            ASSERT_TRUE(test::writeFile(dir->filePath(u"b.CSS"_s), "body { color: green; }\n"));
        }
        setFolder(m_styles.path());
    }
    void TearDown() override { QSettings().remove(u"Report"_s); }

    static void setFolder(const QString &folder) { report::ReportSettings::setCssFolder(folder); }
    template <class T> static T *find(const ReportPanel &panel, const char *name)
    {
        return panel.findChild<T *>(QString::fromLatin1(name));
    }

    QTemporaryDir m_styles;
    QTemporaryDir m_other;
    ui::ScriptedUser m_user;
};

} // namespace

// Each window's files stay where they were fixed when it opened, and each deletes only its own.
TEST_F(ReportPanelTest, TwoWindowsKeepAndDeleteOnlyTheirOwnFiles)
{
    auto first = std::make_unique<ReportPanel>();
    first->fixFiles(u"Analýza 1"_s);
    ASSERT_EQ(first->subReport(builds(oneRow())), QString());
    const QString firstFile = QDir(m_styles.path()).filePath(u"~Analýza 1.htm"_s);
    EXPECT_EQ(first->reportFile(), firstFile);
    EXPECT_EQ(readReport(firstFile), first->html());

    // The second window opens after the folder changed; the first keeps its path.
    setFolder(m_other.path());
    auto second = std::make_unique<ReportPanel>();
    second->fixFiles(u"Analýza 2"_s);
    ASSERT_EQ(second->subReport(builds(oneRow())), QString());
    const QString secondFile = QDir(m_other.path()).filePath(u"~Analýza 2.htm"_s);
    EXPECT_TRUE(QFile::exists(secondFile));
    ASSERT_EQ(first->subReport(builds(oneRow())), QString());
    EXPECT_EQ(first->reportFile(), firstFile);
    EXPECT_TRUE(first->html().contains(QUrl::fromLocalFile(m_other.filePath(u"a.css"_s)).toString()))
        << "the styles follow the new folder";

    // A "Paprsky" page, and a report of another program's window of the same caption.
    ASSERT_TRUE(second->writeProfilePage(u"<HTML></HTML>"_s));
    const QString theirs = QDir(m_other.path()).filePath(u"~Analýza 1.htm"_s);
    ASSERT_TRUE(test::writeFile(theirs, "jejich"));

    first.reset();
    EXPECT_FALSE(QFile::exists(firstFile));
    EXPECT_TRUE(QFile::exists(secondFile));
    EXPECT_TRUE(QFile::exists(theirs));
    second.reset();
    EXPECT_FALSE(QFile::exists(secondFile));
    EXPECT_FALSE(QFile::exists(QDir(m_other.path()).filePath(u"~_Analýza 2.htm"_s)));
    EXPECT_TRUE(QFile::exists(theirs));
}

TEST_F(ReportPanelTest, StylesAndBoxesReassembleTheHeldSections)
{
    QWidget window;
    ReportPanel panel(&window);
    panel.fixFiles(u"Analýza 1"_s);
    int runs = 0;
    ASSERT_EQ(panel.subReport([&runs](const QString &) {
        ++runs;
        return Result<report::ReportSections>{oneRow(), {}};
    }), QString());
    // A short panel scrolls its controls rather than squash the section boxes.
    panel.resize(700, 120);
    window.show();
    auto *boxes = panel.findChild<QWidget *>(u"fraZobrazit"_s);
    EXPECT_GE(boxes->height(), boxes->minimumSizeHint().height());
    auto *styles = find<QListWidget>(panel, "lstStyl");
    ASSERT_EQ(styles->count(), 2);
    EXPECT_EQ(styles->currentItem()->text(), u"Modrý"_s);

    // Another style changes only the link, in the file too.
    const QString before = panel.html();
    styles->setCurrentRow(1);
    EXPECT_NE(panel.html(), before);
    EXPECT_EQ(QString(panel.html()).replace(u"b.CSS"_s, u"a.css"_s), before);
    EXPECT_EQ(readReport(panel.reportFile()), panel.html());

    // An abbreviated statement: the "Plná" boxes are off; a box leaves its section out.
    EXPECT_FALSE(find<QCheckBox>(panel, "chkRozvahaPlna")->isEnabled());
    EXPECT_TRUE(find<QCheckBox>(panel, "chkRozvaha")->isEnabled());
    find<QCheckBox>(panel, "chkGraf")->click();
    EXPECT_FALSE(panel.html().contains(u"GRAF_START"_s));
    EXPECT_TRUE(panel.html().contains(u"ROZVAHA_START"_s));
    EXPECT_EQ(runs, 1);

    // A failed read keeps the report as it was; a too small table empties it, with a note.
    EXPECT_EQ(panel.subReport([](const QString &) { return Result<report::ReportSections>::failure(u"spojení ztraceno"_s); }),
              u"spojení ztraceno"_s);
    EXPECT_EQ(readReport(panel.reportFile()), panel.html());
    EXPECT_TRUE(panel.html().contains(u"VYPOCET_START"_s));
    report::ReportSections tooSmall;
    tooSmall.tooSmall = true;
    tooSmall.title = u"Finanční report"_s;
    ASSERT_EQ(panel.subReport(builds(tooSmall)), QString());
    EXPECT_FALSE(panel.html().contains(u"VYPOCET_START"_s));
    EXPECT_FALSE(find<QCheckBox>(panel, "chkRozvaha")->isEnabled());
}

TEST_F(ReportPanelTest, NoStylesGiveAnUnstyledReportAndAMissingFolderIsAskedForOnce)
{
    QFile::remove(m_styles.filePath(u"a.css"_s));
    QFile::remove(m_styles.filePath(u"b.CSS"_s));
    ReportPanel panel;
    panel.fixFiles(u"Analýza 1"_s);
    ASSERT_EQ(panel.subReport(builds(oneRow())), QString());
    EXPECT_FALSE(panel.html().contains(u"<LINK"_s));
    EXPECT_FALSE(find<QLabel>(panel, "lblReportPoznamka")->text().isEmpty());
    EXPECT_TRUE(m_user.fileDialogs().isEmpty());

    setFolder(m_styles.filePath(u"chybi"_s));
    m_user.willChooseFile(QString()); // cancelled
    ASSERT_EQ(panel.subReport(builds(oneRow())), QString());
    ASSERT_EQ(panel.subReport(builds(oneRow())), QString());
    EXPECT_EQ(m_user.fileDialogs(), QStringList{u"Složka stylů reportu"_s});
    EXPECT_FALSE(panel.html().contains(u"<LINK"_s));

    // Picking a style sheet chooses its folder.
    m_user.willChooseFile(m_other.filePath(u"a.css"_s));
    find<QPushButton>(panel, "cmdCssSlozka")->click();
    EXPECT_EQ(report::ReportSettings::cssFolder(), m_other.path());
    EXPECT_TRUE(panel.html().contains(u"<LINK"_s));

    // Saving: the report as shown, to the file the user names, its style inside it: with the
    // style folder gone it keeps its look, and it points at no file of this machine.
    QTemporaryDir saved;
    m_user.willChooseFile(saved.filePath(u"muj report"_s));
    find<QPushButton>(panel, "cmdReportUlozit")->click();
    ASSERT_TRUE(QDir(m_other.path()).removeRecursively());
    const QString kept = readReport(saved.filePath(u"muj report.htm"_s));
    EXPECT_TRUE(kept.contains(u"<STYLE>\r\n/* NAZEV: Modrý */\nbody { color: navy; }\r\n</STYLE>"_s)) << kept.toStdString();
    EXPECT_FALSE(kept.contains(u"file:"_s, Qt::CaseInsensitive)) << kept.toStdString();
    EXPECT_EQ(kept.section(u"<BODY>"_s, 1), panel.html().section(u"<BODY>"_s, 1));
    EXPECT_FALSE(panel.subReportUlozit(saved.filePath(u"chybi/r.htm"_s)));
    ASSERT_EQ(m_user.messages().size(), 1);
    EXPECT_EQ(m_user.messages().front().text, u"Report se nepodařilo uložit."_s);
}

// The one test of the real web view: under a display (xvfb-run), skipped offscreen.
TEST_F(ReportPanelTest, WebViewShowsTheReportWithoutScriptsAndPrintsAPdf)
{
    if (!ReportPanel::canShowWebView())
        GTEST_SKIP() << "the web view needs a display";
    ReportPanel panel;
    panel.resize(900, 600);
    panel.show();
    panel.fixFiles(u"Analýza 1"_s);
    ASSERT_EQ(panel.subReport(builds(oneRow())), QString());
    ASSERT_NE(panel.view(), nullptr);
    QSignalSpy loaded(panel.view(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(loaded.wait(60000));
    EXPECT_TRUE(loaded.back().at(0).toBool());
    EXPECT_EQ(panel.view()->page()->title(), u"Finanční report"_s);

    QSignalSpy written(&panel, &ReportPanel::pdfWritten);
    m_user.willChooseFile(m_other.filePath(u"report"_s));
    find<QPushButton>(panel, "cmdReportPdf")->click();
    ASSERT_TRUE(written.wait(60000));
    EXPECT_TRUE(written.back().at(1).toBool());
    EXPECT_TRUE(test::readFile(m_other.filePath(u"report.pdf"_s)).startsWith("%PDF-"));
}

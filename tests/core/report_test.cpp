#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/analysismodel.h"
#include "analysis/evaluatorsource.h"
#include "base/itemcodes.h"
#include "indicators/evaluator.h"
#include "report/chartsection.h"
#include "report/reportbuilder.h"
#include "report/statementsections.h"
#include "report/stylesheets.h"
#include "support/files.h"
#include "support/testdatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

using namespace Qt::StringLiterals;
using namespace verna;
using namespace verna::report;
using namespace verna::test;

namespace {

const QString kName = u"A & B <s.r.o.> \"X\""_s;
const QString kStyle = u"/styly/modry.css"_s;
const QString kClasses = u"/program/class/"_s;
const analysis::RowKey kRow{1996, 4, 3366};

// The report against its stored copy; VERNA_UPDATE_GOLDEN=1 writes the copy anew.
void expectGolden(const QString &name, const QString &html)
{
    const QString path = QStringLiteral(VERNA_GOLDEN_DIR) + u'/' + name;
    if (qEnvironmentVariableIsSet("VERNA_UPDATE_GOLDEN")) {
        ASSERT_TRUE(writeReportFile(path, html).ok);
    }
    QString text = QString::fromUtf8(readFile(path));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList expected = text.split(u"\r\n"_s);
    const QStringList actual = html.split(u"\r\n"_s);
    for (int i = 0; i < std::min(expected.size(), actual.size()); ++i)
        ASSERT_EQ(actual.at(i), expected.at(i)) << name.toStdString() << " line " << i + 1;
    EXPECT_EQ(actual.size(), expected.size());
}

class ReportTest : public ReferenceTest
{
protected:
    void prepare() override
    {
        m_evaluator = std::make_unique<indicators::Evaluator>(db());
        m_builder = std::make_unique<ReportBuilder>(db(), *m_evaluator);
        m_statements = std::make_unique<StatementSections>(db(), *m_evaluator);
        ASSERT_TRUE(db().execute(u"UPDATE name SET name_txt = '%1' WHERE subj_id = 3366"_s.arg(kName)).ok);
        m_model.appendIndicator(1, u"Běžná likvidita"_s);
        m_model.appendIndicator(33, u"Zisk, \"čistý\" & <hrubý>"_s);
        addRow(kRow, kName, u"1.5"_s, u"-1234.5"_s);
    }

    void addRow(const analysis::RowKey &key, const QString &name, const QString &a, const QString &b)
    {
        const int row = m_model.appendRow(key, name);
        m_model.setValue(row, 0, a);
        m_model.setValue(row, 1, b);
    }

    ReportSections build(const analysis::CellRange &selection = {})
    {
        const auto built = m_builder->build(m_model, selection, kClasses);
        EXPECT_TRUE(built.ok()) << built.error.toStdString();
        return built.value;
    }

    QString section(Result<QString> read)
    {
        EXPECT_TRUE(read.ok()) << read.error.toStdString();
        return read.value;
    }

    analysis::AnalysisModel m_model{QLocale::c()};
    std::unique_ptr<indicators::Evaluator> m_evaluator;
    std::unique_ptr<ReportBuilder> m_builder;
    std::unique_ptr<StatementSections> m_statements;
};

// The rules of a style sheet by selector, for the screen or (its print rules over them) print.
QMap<QString, QMap<QString, QString>> cssRules(const QString &css, bool print)
{
    QString text = css;
    text.remove(QRegularExpression(u"/\\*.*?\\*/"_s, QRegularExpression::DotMatchesEverythingOption));
    const qsizetype media = text.indexOf(u"@media print"_s);
    QString printRules;
    if (media >= 0) {
        const qsizetype open = text.indexOf(u'{', media);
        qsizetype end = open + 1;
        for (int depth = 1; depth > 0 && end < text.size(); ++end)
            depth += text.at(end) == u'{' ? 1 : text.at(end) == u'}' ? -1 : 0;
        printRules = text.mid(open + 1, end - open - 2);
        text.remove(media, end - media);
    }
    QMap<QString, QMap<QString, QString>> rules;
    static const QRegularExpression rule(u"([^{}]+)\\{([^{}]*)\\}"_s);
    for (const QString &part : print ? QStringList{text, printRules} : QStringList{text}) {
        for (const QRegularExpressionMatch &m : rule.globalMatch(part)) {
            for (const QString &selector : m.captured(1).split(u',')) {
                for (const QString &declaration : m.captured(2).split(u';')) {
                    const qsizetype colon = declaration.indexOf(u':');
                    if (colon > 0)
                        rules[selector.simplified()][declaration.left(colon).trimmed()] = declaration.mid(colon + 1).trimmed();
                }
            }
        }
    }
    return rules;
}

double luminance(const QString &hex)
{
    double sum = 0;
    const double weights[] = {0.2126, 0.7152, 0.0722};
    for (int i = 0; i < 3; ++i) {
        const double c = hex.mid(1 + 2 * i, 2).toInt(nullptr, 16) / 255.0;
        sum += weights[i] * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
}

QStringList hexColours(const QString &value)
{
    QStringList out;
    static const QRegularExpression hex(u"#[0-9a-fA-F]{6}\\b"_s);
    for (const QRegularExpressionMatch &m : hex.globalMatch(value))
        out << m.captured();
    return out;
}

} // namespace

TEST(ReportStyles, TitlesListsReadableShippedStylesAndReportFileNames)
{
    EXPECT_EQ(styleTitle(u"a.css"_s, "/* NAZEV: Modrý */\nbody {}"), u"Modrý"_s);
    EXPECT_EQ(styleTitle(u"a.css"_s, "\xEF\xBB\xBF/* NAZEV:  Dva  slova */  \r\n"), u"Dva  slova"_s);
    EXPECT_EQ(styleTitle(u"a.css"_s, "body {}\n/* NAZEV: Pozdě */"), u"a.css"_s);
    EXPECT_EQ(styleTitle(u"a.css"_s, "/* NAZEV: */"), u"a.css"_s);

    QTemporaryDir dir;
    for (const auto &[file, text] : {std::pair{"b.CSS", "/* NAZEV: Velká přípona */\n"}, std::pair{"a.css", "h1 {}\n"}, std::pair{"c.txt", "/* NAZEV: Ne */"}}) {
        ASSERT_TRUE(writeFile(dir.filePath(QString::fromLatin1(file)), text));
    }
    EXPECT_EQ(listStyleSheets(dir.path()), (QList<StyleSheet>{{dir.filePath(u"a.css"_s), u"a.css"_s}, {dir.filePath(u"b.CSS"_s), u"Velká přípona"_s}}));
    EXPECT_TRUE(listStyleSheets(dir.filePath(u"chybi"_s)).isEmpty());

    // The shipped styles are found from the build tree, each with a title of its own.
    const QList<StyleSheet> shipped = listStyleSheets(defaultCssFolder());
    ASSERT_GE(shipped.size(), 3);
    for (const StyleSheet &style : shipped)
        EXPECT_NE(style.title, QFileInfo(style.path).fileName());

    // Every text of the shipped styles, on screen and in print (the PDF), stands out from its background at
    // least 4.5 : 1; a rule without its own background lies on the page's.
    const QList<StyleSheet> styles = listStyleSheets(defaultCssFolder());
    ASSERT_GE(styles.size(), 3);
    for (const StyleSheet &style : styles) {
        const QString css = QString::fromUtf8(readFile(style.path));
        for (const bool print : {false, true}) {
            const auto rules = cssRules(css, print);
            const QString pageText = hexColours(rules[u"body"_s][u"color"_s]).value(0, u"#000000"_s);
            const QString page = hexColours(rules[u"body"_s][u"background"_s]).value(0, u"#ffffff"_s);
            for (auto it = rules.cbegin(); it != rules.cend(); ++it) {
                const QStringList own = hexColours(it.value().value(u"background"_s) + u' ' + it.value().value(u"background-color"_s));
                const QStringList texts = hexColours(it.value().value(u"color"_s));
                if (texts.isEmpty() && own.isEmpty())
                    continue;
                const QString text = texts.value(0, pageText);
                for (const QString &background : own.isEmpty() ? QStringList{page} : own) {
                    const double a = luminance(text) + 0.05, b = luminance(background) + 0.05;
                    EXPECT_GE(std::max(a, b) / std::min(a, b), 4.5) << QFileInfo(style.path).fileName().toStdString() << (print ? " print " : " screen ")
                                                                   << it.key().toStdString() << ": " << text.toStdString() << " on "
                                                                   << background.toStdString();
                }
            }
        }
    }

    // Report file names follow the caption and writes are whole.
    EXPECT_EQ(reportFilePath(u"/css"_s, u"Analýza 1"_s), u"/css/~Analýza 1.htm"_s);
    EXPECT_EQ(profileFilePath(u"/css"_s, u"A/B"_s), u"/css/~_A_B.htm"_s);
    QTemporaryDir files;
    const QString file = files.filePath(u"r.htm"_s);
    ASSERT_TRUE(writeReportFile(file, u"Č"_s).ok);
    EXPECT_EQ(readFile(file), QByteArray("\xEF\xBB\xBF\xC4\x8C"));
    EXPECT_FALSE(writeReportFile(files.filePath(u"chybi/r.htm"_s), u"x"_s).ok);
}

TEST_P(ReportTest, OneRowReportTheStoredAbbreviatedIncomeAndTheCommandLineReportAreTheCoresOwn)
{
    const ReportSections sections = build();
    ASSERT_TRUE(sections.singleRow);
    EXPECT_TRUE(sections.fullStatements);
    SectionChoice choice{.incomeFull = false};
    const QString html = assembleReport(sections, choice, kStyle);
    expectGolden(u"report-one.htm"_s, html);

    // Another style changes the link line and nothing else; no style leaves it out with a note.
    const QStringList first = html.split(u"\r\n"_s);
    const QStringList other = assembleReport(sections, choice, u"/jiné styly/a&b.css"_s).split(u"\r\n"_s);
    ASSERT_EQ(first.size(), other.size());
    for (int i = 0; i < first.size(); ++i) {
        if (i == 3)
            EXPECT_EQ(other.at(i), u"<LINK REL=\"STYLESHEET\" HREF=\"file:///jin%C3%A9%20styly/a&amp;b.css\">"_s);
        else
            EXPECT_EQ(other.at(i), first.at(i));
    }
    const QString plain = assembleReport(sections, choice, {});
    EXPECT_FALSE(plain.contains(u"<LINK"_s));
    EXPECT_TRUE(plain.contains(u"<P CLASS=poznamka>"_s));

    // On request the row's ROE decomposition follows the statements; a year before there is none.
    choice.roe = true;
    const QString withRoe = assembleReport(sections, choice, kStyle);
    const qsizetype footer = html.indexOf(u"<P CLASS=paticka>"_s);
    EXPECT_TRUE(withRoe.startsWith(html.left(footer)));
    EXPECT_TRUE(withRoe.mid(footer).startsWith(u"<!-- ROZKLAD_ROE_START -->\r\n<H2 CLASS=vykaz>Rozklad ROE 1995/4 → 1996/4</H2>"_s));
    EXPECT_TRUE(withRoe.contains(u"nemá za období 1995/4 hodnotu"_s));
    // Asked for, the row against its peers follows: names escaped in the table and the boxes.
    EXPECT_TRUE(sections.peers.isEmpty());
    m_builder->setPeerChoice(analysis::PeerChoice{analysis::PeerChoice::Kind::All});
    choice.roe = false;
    choice.peers = true;
    const QString withPeers = assembleReport(build(), choice, kStyle);
    EXPECT_TRUE(withPeers.mid(footer).startsWith(u"<!-- ODVETVI_START -->\r\n<H2 CLASS=vykaz>Srovnání s odvětvím 1996/4</H2>"_s));
    const QString peers = withPeers.section(u"<!-- ODVETVI_START -->"_s, 1).section(u"<!-- ODVETVI_END -->"_s, 0, 0);
    EXPECT_EQ(peers.count(u"Zisk, &quot;čistý&quot; &amp; &lt;hrubý&gt;"_s), 2);
    EXPECT_FALSE(peers.contains(u"<hrubý>"_s));
    EXPECT_TRUE(peers.contains(u"<svg"_s));
    // Kept as one file, neither the style nor the applets point at this machine's files.
    const QString style = defaultCssFolder() + u"/modry.css"_s;
    const Result<QString> whole = selfContainedReport(assembleReport(sections, choice, style), style);
    ASSERT_TRUE(whole.ok()) << whole.error.toStdString();
    EXPECT_FALSE(whole.value.contains(u"file:"_s, Qt::CaseInsensitive));
    EXPECT_TRUE(whole.value.contains(u"<STYLE>\r\n/* NAZEV: Modrý */"_s));
    EXPECT_TRUE(whole.value.contains(u"<svg"_s));

    // An abbreviated income statement stored in list order equals the derived one.
    const QString derived = section(m_statements->abbreviatedIncomeDerived(kRow));
    const QList<int> &codes = base::ItemCodes::abbreviatedIncomeStatement();
    ASSERT_EQ(derived.count(u"<TD CLASS=castka>"_s), codes.size());
    // The same lines stored as an abbreviated statement of 1997, added in list order so their
    // keys fall, one amount NULL.
    QStringList sql{u"INSERT INTO finl_stmt VALUES(-9000,getdate(),0,-9,3366,28,null,0,null,0,0,null,null,1,2,1997,4)"_s};
    const QStringList amounts = derived.split(u"<TD CLASS=castka>"_s).mid(1);
    for (int i = 0; i < codes.size(); ++i) {
        const QString amount = amounts.at(i).section(u'<', 0, 0);
        sql << u"INSERT INTO finl_item VALUES(%1,getdate(),0,-9,3366,%2,%3)"_s.arg(-9001 - i).arg(codes.at(i)).arg(amount.isEmpty() ? u"null"_s : amount);
    }
    ASSERT_TRUE(db().execute(sql.join(u'\r')).ok);
    EXPECT_EQ(section(m_statements->abbreviatedIncomeStored({1997, 4, 3366})), derived);
    EXPECT_EQ(section(m_statements->incomeStatementForm({1997, 4, 3366})), u"2"_s);

    ASSERT_TRUE(db().execute(u"UPDATE finl_item SET amt_val = NULL WHERE finl_stmt_id = -9 AND item_type_cd = 36"_s).ok);
    const QString withNull = section(m_statements->abbreviatedIncomeStored({1997, 4, 3366}));
    EXPECT_TRUE(withNull.contains(u"</TD>\r\n<TD CLASS=castka></TD>\r\n"_s));
    EXPECT_TRUE(section(m_statements->fullIncomeStatement({1997, 4, 3366})).contains(u"Výsledovka plná"_s));

    // The command line writes the report the core writes.
    QTemporaryDir dir;
    const QString css = defaultCssFolder() + u"/modry.css"_s;
    const ToolRun run = vernaDb({u"report"_s, u"--entities"_s, u"3366"_s, u"--periods"_s, u"1996/4"_s,
                                    u"--indicators"_s, u"1,33"_s, u"--out"_s, dir.path(), u"--css"_s, css, u"--plna-rozvaha"_s,
                                    u"--sections"_s, u"vypocet,rozvaha,vysledovka"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    analysis::AnalysisModel model{QLocale::c()};
    analysis::AnalysisData data(db());
    analysis::EvaluatorSource source(db());
    analysis::AnalysisEngine engine(model, data, source);
    ASSERT_TRUE(engine.addRow(kRow).ok());
    for (const auto &[id, name] : {std::pair{1, u"Běžná likvidita"_s}, std::pair{33, u"EBITDA"_s}})
        ASSERT_TRUE(engine.addIndicator(id, name).ok);
    const auto built = m_builder->build(model, {}, QFileInfo(QStringLiteral(VERNA_DB_TOOL)).absolutePath() + u"/class/"_s);
    ASSERT_TRUE(built.ok());
    const SectionChoice coreChoice{.chart = false, .incomeFull = false};
    const QString core = dir.filePath(u"core.htm"_s);
    ASSERT_TRUE(writeReportFile(core, assembleReport(built.value, coreChoice, css)).ok);
    EXPECT_EQ(readFile(reportFilePath(dir.path(), u"Analýza 1"_s)), readFile(core));

    EXPECT_EQ(vernaDb({u"report"_s, u"--entities"_s, u"3366"_s, u"--periods"_s, u"1996/4"_s,
                          u"--indicators"_s, u"1"_s, u"--out"_s, dir.path(), u"--sections"_s, u"tabulka"_s}).exitCode, 2);
    // A period without statements makes no report: the last one stays and the command fails.
    const QByteArray last = readFile(reportFilePath(dir.path(), u"Analýza 1"_s));
    EXPECT_EQ(vernaDb({u"report"_s, u"--entities"_s, u"3366"_s, u"--periods"_s, u"2005/4"_s, u"--indicators"_s, u"1"_s, u"--out"_s,
                       dir.path()}).exitCode, 1);
    EXPECT_EQ(readFile(reportFilePath(dir.path(), u"Analýza 1"_s)), last);
}

TEST_P(ReportTest, GroupReportProfilesTheSelectedRowsAndLeavesOutTheEntity)
{
    addRow({1996, 4, -5}, u"Beta, s.r.o."_s, u"3"_s, u"100"_s);
    addRow({1997, 1, -6}, u"Gama"_s, u"0"_s, u"-50"_s);
    m_model.appendIndicator(5, u"Celková zadluženost"_s);
    for (int row = 0; row < 3; ++row)
        m_model.setValue(row, 2, QString::number(0.4 + row * 0.1));
    const ReportSections sections = build({0, 2, 1, 4});
    EXPECT_FALSE(sections.singleRow);
    const QString html = assembleReport(sections, SectionChoice{}, kStyle);
    expectGolden(u"report-group.htm"_s, html);
    EXPECT_TRUE(profilePage(m_model, {0, 2, 1, 4}, kClasses).contains(sections.chart));

    // A rectangle: its rows and columns, no heading, no aggregate, the column chart.
    const QString rectangle = build({0, 3, 1, 3}).computation + build({0, 3, 1, 3}).chart;
    EXPECT_EQ(rectangle.count(u"<TD  CLASS=zahlavi  ALIGN=center>"_s), 1);
    EXPECT_FALSE(rectangle.contains(u"Výpočet"_s) || rectangle.contains(u"Skupina("_s));
    EXPECT_TRUE(rectangle.contains(u"<PARAM NAME=dataset1yValues VALUE=\"100.00\">\r\n"_s));

    analysis::AnalysisModel empty;
    const auto small = m_builder->build(empty, {}, kClasses);
    ASSERT_TRUE(small.ok() && small.value.tooSmall);
    const QString note = assembleReport(small.value, SectionChoice{}, kStyle);
    EXPECT_TRUE(note.contains(u"<P CLASS=poznamka>"_s));
    EXPECT_FALSE(note.contains(u"VYPOCET"_s));
}

VERNA_ALL_BACKENDS(ReportTest);

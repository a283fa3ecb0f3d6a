#include "analysis/analysismodel.h"
#include "analysis/chartdata.h"
#include "analysis/chartpanel.h"
#include "ui/scripteduser.h"
#include "support/files.h"

#include <QApplication>
#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPolarChart>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QValueAxis>
#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;
using analysis::ChartData;
using analysis::ChartPanel;

namespace {

const QLocale kCzech(QLocale::Czech, QLocale::CzechRepublic);
const QString kLongName = u"Severočeské strojírny a slévárny, akciová společnost v likvidaci"_s;

// Three periods of one entity and two indicators; wholeRows picks the first two rows whole,
// scale makes the second indicator that many times larger.
ChartData threeByTwo(bool wholeRows = false, int scale = 1)
{
    analysis::AnalysisModel model(kCzech);
    model.appendIndicator(30, u"Běžná likvidita"_s);
    model.appendIndicator(31, u"Rentabilita"_s);
    model.appendRow({1996, 4, 3366}, kLongName);
    model.appendRow({1997, 1, 3366}, kLongName);
    model.appendRow({1997, 2, 3366}, kLongName);
    for (int r = 0; r < 3; ++r) {
        model.setValue(r, 0, QString::number(r + 1) + u".5"_s);
        model.setValue(r, 1, QString::number(-r * scale));
    }
    return analysis::chartData(model, wholeRows ? analysis::CellRange{0, 2, 1, 3} : analysis::CellRange{});
}

template <class T> QList<T *> seriesOf(const ChartPanel &panel)
{
    QList<T *> out;
    for (QAbstractSeries *s : panel.chart()->series())
        if (auto *t = qobject_cast<T *>(s))
            out << t;
    return out;
}

// One page of 842 × 595 points; page dictionaries and media boxes stay uncompressed in the PDFs Qt writes.
void expectOneLandscapeA4(const QString &path)
{
    const QString text = QString::fromLatin1(test::readFile(path));
    static const QRegularExpression page(u"/Type\\s*/Page(?![a-zA-Z])"_s);
    EXPECT_EQ(text.count(page), 1) << path.toStdString();
    static const QRegularExpression box(u"/MediaBox\\s*\\[\\s*([-\\d.]+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s*\\]"_s);
    const auto m = box.match(text);
    EXPECT_NEAR(m.captured(3).toDouble() - m.captured(1).toDouble(), 842, 1);
    EXPECT_NEAR(m.captured(4).toDouble() - m.captured(2).toDouble(), 595, 1);
}

class ChartPanelTest : public ::testing::Test
{
protected:
    template <class T> T *find(const char *name) const
    {
        return panel.findChild<T *>(QString::fromLatin1(name));
    }
    QComboBox *types() const { return find<QComboBox>("cboTypGrafu"); }
    void click(const char *name) const { find<QPushButton>(name)->click(); }
    void choose(ChartPanel::ChartType type) const { types()->setCurrentIndex(type); }

    ChartPanel panel;
    QTemporaryDir dir;
};

} // namespace

TEST_F(ChartPanelTest, DrawsEachTypeOnItsAxesClearsForATooSmallTableAndGivesThePictureWhereAsked)
{
    panel.setData(threeByTwo());
    EXPECT_EQ(types()->currentIndex(), ChartPanel::Bars);

    // Two series (the indicators) over three categories (the periods).
    const auto bars = seriesOf<QBarSeries>(panel);
    ASSERT_EQ(bars.size(), 1);
    ASSERT_EQ(bars.front()->count(), 2);
    EXPECT_EQ(bars.front()->barSets().at(0)->label(), u"Běžná likvidita"_s);
    EXPECT_DOUBLE_EQ(bars.front()->barSets().at(0)->at(2), 3.5);
    EXPECT_DOUBLE_EQ(bars.front()->barSets().at(1)->at(2), -2.0);
    auto *axis = qobject_cast<QBarCategoryAxis *>(panel.chart()->axes(Qt::Horizontal).value(0));
    ASSERT_TRUE(axis);
    EXPECT_EQ(axis->count(), 3);
    EXPECT_EQ(axis->titleText(), analysis::kRowsAxisTitle);
    EXPECT_TRUE(panel.chart()->legend()->isVisible());

    const ChartData shown = panel.data();
    click("cmdOtocit");
    EXPECT_EQ(panel.data().series.size(), 3);
    EXPECT_EQ(seriesOf<QBarSeries>(panel).front()->count(), 3);
    click("cmdOtocit");
    EXPECT_EQ(panel.data(), shown);
    EXPECT_EQ(seriesOf<QBarSeries>(panel).front()->count(), 2);

    // Each type draws its series; rays only for whole rows.
    panel.setData(threeByTwo());
    choose(ChartPanel::Lines);
    ASSERT_EQ(seriesOf<QLineSeries>(panel).size(), 2);
    EXPECT_EQ(seriesOf<QLineSeries>(panel).front()->count(), 3);

    // Steps hold each value across its category: two points per value.
    choose(ChartPanel::Steps);
    const auto steps = seriesOf<QLineSeries>(panel);
    ASSERT_EQ(steps.size(), 2);
    ASSERT_EQ(steps.front()->count(), 6);
    EXPECT_EQ(steps.front()->at(0), QPointF(-0.5, 1.5));
    EXPECT_EQ(steps.front()->at(1), QPointF(0.5, 1.5));
    EXPECT_EQ(steps.front()->at(2), QPointF(0.5, 2.5));

    choose(ChartPanel::Areas);
    EXPECT_EQ(seriesOf<QAreaSeries>(panel).size(), 2);

    panel.setData(threeByTwo(true));
    EXPECT_EQ(types()->count(), 5);
    EXPECT_EQ(types()->currentIndex(), ChartPanel::Bars);
    choose(ChartPanel::Rays);
    // The profile: the reference circle at 100 and one closed line of scores per row.
    auto *polar = qobject_cast<QPolarChart *>(panel.chart());
    ASSERT_TRUE(polar);
    const auto rays = seriesOf<QLineSeries>(panel);
    ASSERT_EQ(rays.size(), 3);
    EXPECT_EQ(rays.at(0)->name(), u"Průměr aritmetický = 100"_s);
    EXPECT_EQ(rays.at(1)->name(), u"1996/4"_s);
    // 1.5 against the mean 2.5, 0 against the mean -1; the line closes at the first spoke.
    EXPECT_EQ(rays.at(1)->points(), (QList<QPointF>{{0, 60}, {1, 100}, {2, 60}}));
    auto *radial = qobject_cast<QValueAxis *>(polar->axes(QPolarChart::PolarOrientationRadial).value(0));
    ASSERT_TRUE(radial);
    EXPECT_EQ(radial->max(), 200);
    EXPECT_TRUE(find<QPushButton>("cmdGrafTisk")->isEnabled());

    // Back to whole columns: the fifth type goes and the chart is shown again.
    panel.setData(threeByTwo());
    EXPECT_EQ(types()->count(), 4);
    EXPECT_FALSE(qobject_cast<QPolarChart *>(panel.chart()));
    EXPECT_EQ(find<QStackedWidget>("fraGraf")->currentWidget(), find<QChartView>("Chart"));

    // Indicators of a larger order get a right axis or a hint to rotate.
    panel.setData(threeByTwo(false, 1000000));
    const auto large = seriesOf<QBarSeries>(panel);
    ASSERT_EQ(large.size(), 2);
    EXPECT_EQ(panel.chart()->axes(Qt::Vertical).size(), 2);
    EXPECT_EQ(large.at(1)->attachedAxes().back()->alignment(), Qt::AlignRight);
    EXPECT_DOUBLE_EQ(large.at(1)->barSets().at(1)->at(2), -2000000);
    EXPECT_DOUBLE_EQ(large.at(0)->barSets().at(1)->at(2), 0); // its slot on the left stays empty
    QStringList legend;
    for (QLegendMarker *marker : panel.chart()->legend()->markers())
        if (marker->isVisible())
            legend << marker->label();
    EXPECT_EQ(legend, (QStringList{u"Běžná likvidita"_s, u"Rentabilita (pravá osa)"_s}));
    EXPECT_TRUE(find<QLabel>("lblGrafPoznamka")->isHidden());

    choose(ChartPanel::Lines);
    EXPECT_EQ(seriesOf<QLineSeries>(panel).at(1)->attachedAxes().back()->alignment(), Qt::AlignRight);

    // Turned, the indicators are categories: one axis, and the user is told how to part them.
    click("cmdOtocit");
    EXPECT_EQ(panel.chart()->axes(Qt::Vertical).size(), 1);
    EXPECT_FALSE(find<QLabel>("lblGrafPoznamka")->isHidden());

    // A table too small clears the old chart.
    panel.setData(threeByTwo());
    ASSERT_FALSE(panel.chart()->series().isEmpty());

    panel.setData(analysis::chartData(analysis::AnalysisModel(kCzech)));
    EXPECT_TRUE(panel.chart()->series().isEmpty());
    EXPECT_TRUE(panel.data().isEmpty());
    EXPECT_EQ(types()->currentText(), u"Sloupce"_s);
    for (const char *name : {"cmdOtocit", "cmdGrafTisk", "cmdGrafPdf", "cmdCopy"})
        EXPECT_FALSE(find<QPushButton>(name)->isEnabled()) << name;

    // Nothing to rotate or print: the buttons' slots do nothing either.
    ui::ScriptedUser user;
    panel.cmdOtocit_Click();
    panel.cmdGrafTisk_Click();
    EXPECT_TRUE(panel.data().isEmpty());
    EXPECT_TRUE(user.fileDialogs().isEmpty());

    // PDF and print (here through the print dialog to a PDF file) give one landscape A4 page, the clipboard only
    // gets the picture Copy puts there, and failures are told in Czech.
    panel.resize(800, 500);
    panel.setData(threeByTwo());
    QGuiApplication::clipboard()->setText(u"uživatelův text"_s);
    ui::ScriptedUser pdfUser;
    const QString pdf = dir.filePath(u"graf.pdf"_s);
    pdfUser.willChooseFile(dir.filePath(u"graf"_s));
    click("cmdGrafPdf");
    expectOneLandscapeA4(pdf);
    // Overwriting gives one page again, not a second one appended.
    ASSERT_TRUE(panel.writePdf(pdf));
    expectOneLandscapeA4(pdf);
    const QString printed = dir.filePath(u"tisk.pdf"_s);
    pdfUser.willChooseFile(printed);
    click("cmdGrafTisk");
    expectOneLandscapeA4(printed);
    pdfUser.willChooseFile(QString()); // cancelled: nothing printed, nothing told
    click("cmdGrafTisk");
    EXPECT_EQ(pdfUser.fileDialogs(), (QStringList{u"Uložit graf jako PDF"_s, u"Tisk grafu"_s, u"Tisk grafu"_s}));
    EXPECT_TRUE(pdfUser.messages().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"uživatelův text"_s);

    click("cmdCopy");
    const QImage image = QGuiApplication::clipboard()->image();
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), find<QChartView>("Chart")->size() * find<QChartView>("Chart")->devicePixelRatio());

    const QString missing = dir.filePath(u"chybi/graf.pdf"_s);
    EXPECT_FALSE(panel.writePdf(missing));
    EXPECT_FALSE(QFile::exists(missing));
    pdfUser.willChooseFile(dir.filePath(u"chybi/tisk.pdf"_s));
    click("cmdGrafTisk");
    ASSERT_EQ(pdfUser.messages().size(), 2);
    EXPECT_EQ(pdfUser.messages()[0].icon, ui::MessageIcon::Critical);
    EXPECT_TRUE(pdfUser.messages()[0].text.startsWith(u"Graf se nepodařilo uložit do souboru"_s));
    EXPECT_EQ(pdfUser.messages()[1].icon, ui::MessageIcon::Critical);
    EXPECT_EQ(pdfUser.messages()[1].text, u"Graf se nepodařilo vytisknout: tiskárna úlohu nepřijala."_s);

    // Long entity names are shortened on the names and whole in the tooltip.
    panel.resize(900, 600);
    panel.show();
    panel.setData(threeByTwo());
    QApplication::processEvents();

    auto *names = qobject_cast<QBarCategoryAxis *>(panel.chart()->axes(Qt::Horizontal).value(0));
    ASSERT_TRUE(names);
    const QString label = names->at(0);
    EXPECT_LT(label.size(), (kLongName + u" 1996/4"_s).size());
    EXPECT_TRUE(label.endsWith(u"1996/4"_s)) << label.toStdString();
    EXPECT_EQ(names->categories().size(), 3); // still one label per period
    EXPECT_EQ(panel.chart()->title(), kLongName);

    const auto *view = find<QChartView>("Chart");
    const QRectF plot = panel.chart()->plotArea();
    const QPoint belowFirst = view->mapFromScene(panel.chart()->mapToScene(QPointF(plot.left() + plot.width() / 6, plot.bottom() + 8)));
    EXPECT_EQ(panel.toolTipAt(belowFirst), kLongName + u" 1996/4"_s);

    const QPoint insideLast = view->mapFromScene(panel.chart()->mapToScene(QPointF(plot.right() - plot.width() / 6, plot.center().y())));
    EXPECT_EQ(panel.toolTipAt(insideLast), kLongName + u" 1997/2\nBěžná likvidita: 3,50\nRentabilita: -2,00"_s);

    // Turned, the periods are the legend: three entries, not three alike cut names.
    click("cmdOtocit");
    QStringList rotatedLegend;
    for (QLegendMarker *marker : panel.chart()->legend()->markers())
        rotatedLegend << marker->label();
    EXPECT_EQ(rotatedLegend, (QStringList{u"1996/4"_s, u"1997/1"_s, u"1997/2"_s}));
}


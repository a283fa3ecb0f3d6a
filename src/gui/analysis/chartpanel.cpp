#include "analysis/chartpanel.h"

#include "analysis/chartfactory.h"

#include "ui/messages.h"
#include "ui/scripteduser.h"

#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

namespace verna::analysis {

namespace {

const QStringList kTypeNames = {QStringLiteral("Čáry"), QStringLiteral("Sloupce"), QStringLiteral("Plochy"),
                                QStringLiteral("Schody"), QStringLiteral("Paprsky")};
const QString kTooSmall =
    QStringLiteral("Graf potřebuje v tabulce alespoň jeden ukazatel a jedno období. Vyberte v tabulce "
                   "sloupce, řádky nebo oblast hodnot a otevřete znovu záložku Graf.");
const QString kScalesHint = QStringLiteral("Ukazatele mají hodnoty velmi rozdílných řádů. Po stisku „Otočit“ "
                                           "bude každý ukazatel samostatnou řadou a velké hodnoty dostanou "
                                           "vlastní osu.");
const QString kPrintTitle = QStringLiteral("Tisk grafu");
const QString kPdfTitle = QStringLiteral("Uložit graf jako PDF");

// The page geometry in millimetres on a landscape sheet.
const QRectF kPageTarget(10, 10, 277, 190);
// Scale at which the chart is laid out before it is scaled onto the page: screen-sized fonts.
constexpr double kLayoutDotsPerMm = 96 / 25.4;

// The system print dialog. While a scripted user stands in (tests), the file it chooses
// becomes the printer's PDF output and "" cancels, so no dialog blocks.
bool askPrinter(QWidget *parent, QPrinter &printer)
{
    if (ui::ScriptedUser *user = ui::ScriptedUser::current()) {
        const QString path = user->replyFile(kPrintTitle);
        if (path.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        return true;
    }
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(kPrintTitle);
    return dialog.exec() == QDialog::Accepted;
}

QPageLayout landscapeA4()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(), QPageLayout::Millimeter);
}

} // namespace

ChartPanel::ChartPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ChartPanel"));

    auto *typeLabel = new QLabel(QStringLiteral("Typ grafu:"), this);
    m_types = new QComboBox(this);
    m_types->setObjectName(QStringLiteral("cboTypGrafu"));
    typeLabel->setBuddy(m_types);
    auto button = [this](const QString &name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        return b;
    };
    m_rotate = button(QStringLiteral("cmdOtocit"), QStringLiteral("Otočit"));
    m_print = button(QStringLiteral("cmdGrafTisk"), QStringLiteral("Tisk"));
    m_pdf = button(QStringLiteral("cmdGrafPdf"), QStringLiteral("Uložit jako PDF…"));
    m_copy = button(QStringLiteral("cmdCopy"), QStringLiteral("Kopírovat"));

    m_view = new QChartView(this);
    m_view->setObjectName(QStringLiteral("Chart"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setChart(makeChart({}, Bars));
    m_view->viewport()->installEventFilter(this);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lblGrafZprava"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_hint = new QLabel(kScalesHint, this);
    m_hint->setObjectName(QStringLiteral("lblGrafPoznamka"));
    m_hint->setWordWrap(true);
    m_hint->setVisible(false);
    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("fraGraf"));
    m_pages->addWidget(m_view);
    m_pages->addWidget(m_message);

    auto *bar = new QHBoxLayout;
    bar->addWidget(typeLabel);
    bar->addWidget(m_types);
    bar->addWidget(m_rotate);
    bar->addStretch();
    bar->addWidget(m_print);
    bar->addWidget(m_pdf);
    bar->addWidget(m_copy);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_hint);
    layout->addWidget(m_pages, 1);

    connect(m_types, &QComboBox::currentIndexChanged, this, &ChartPanel::cboTypGrafu_Click);
    connect(m_rotate, &QPushButton::clicked, this, &ChartPanel::cmdOtocit_Click);
    connect(m_print, &QPushButton::clicked, this, &ChartPanel::cmdGrafTisk_Click);
    connect(m_pdf, &QPushButton::clicked, this, &ChartPanel::cmdPdf_Click);
    connect(m_copy, &QPushButton::clicked, this, &ChartPanel::cmdCopy_Click);

    clear();
}

ChartPanel::~ChartPanel() = default;

void ChartPanel::setData(const ChartData &data)
{
    if (data.isEmpty()) {
        clear();
        return;
    }
    fillTypes(data.wholeRows);
    m_data = data;
    // The table's rows come in as series; turned once, the indicators are the series.
    cmdOtocit_Click();
}

void ChartPanel::clear()
{
    fillTypes(false);
    m_data = {};
    redraw();
}

ChartPanel::ChartType ChartPanel::chartType() const
{
    return static_cast<ChartType>(std::max(m_types->currentIndex(), 0));
}

QChart *ChartPanel::chart() const
{
    return m_view->chart();
}

void ChartPanel::fillTypes(bool withRays)
{
    // Refilling is no choice of the user's; the caller redraws once at the end.
    const QSignalBlocker quiet(m_types);
    m_types->clear();
    m_types->addItems(kTypeNames.mid(0, withRays ? 5 : 4));
    m_types->setCurrentIndex(Bars);
}

void ChartPanel::cboTypGrafu_Click()
{
    redraw();
}

void ChartPanel::cmdOtocit_Click()
{
    m_data = m_data.rotated();
    redraw();
}

void ChartPanel::redraw()
{
    QChart *old = m_view->chart();
    m_view->setChart(makeChart(m_data, chartType()));
    delete old;
    if (m_data.isEmpty()) {
        m_message->setText(kTooSmall);
        m_pages->setCurrentWidget(m_message);
    } else {
        m_pages->setCurrentWidget(m_view);
    }
    updateButtons();
    if (!m_data.isEmpty() && chartType() == Rays)
        emit profileShown();
}

void ChartPanel::updateButtons()
{
    const bool chartShown = !m_data.isEmpty();
    m_hint->setVisible(chartType() != Rays && scalesNeedRotation(m_data));
    m_types->setEnabled(!m_data.isEmpty());
    m_rotate->setEnabled(!m_data.isEmpty());
    m_print->setEnabled(chartShown);
    m_pdf->setEnabled(chartShown);
    m_copy->setEnabled(chartShown);
}

void ChartPanel::setCaption(const QString &caption)
{
    m_caption = caption;
}

QString ChartPanel::caption() const
{
    return m_caption.isEmpty() ? QStringLiteral("Graf") : m_caption;
}

QString ChartPanel::pageTitle() const
{
    return chartTitle(m_caption, m_data, QDate::currentDate());
}

void ChartPanel::paintPage(QPainter &painter)
{
    const double dotsPerMmX = painter.device()->logicalDpiX() / 25.4;
    const double dotsPerMmY = painter.device()->logicalDpiY() / 25.4;
    const QRectF target(kPageTarget.x() * dotsPerMmX, kPageTarget.y() * dotsPerMmY,
                        kPageTarget.width() * dotsPerMmX, kPageTarget.height() * dotsPerMmY);
    // A chart of its own, laid out in the page's proportions; the one on screen stays as it is.
    const QRectF source(0, 0, kPageTarget.width() * kLayoutDotsPerMm, kPageTarget.height() * kLayoutDotsPerMm);
    QGraphicsScene scene;
    QChart *chart = makeChart(m_data, chartType());
    // On paper the chart says what it is: the analysis, its companies, the day.
    QFont font = chart->titleFont();
    font.setBold(true);
    chart->setTitleFont(font);
    chart->setTitle(pageTitle() + (chart->title().isEmpty() ? QString() : QStringLiteral("\n") + chart->title()));
    scene.addItem(chart);
    chart->setGeometry(source);
    chart->layout()->activate();
    scene.setSceneRect(source);
    scene.render(&painter, target, source);
}

bool ChartPanel::printTo(QPrinter &printer)
{
    printer.setFullPage(true);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    bool printed = painter.begin(&printer);
    if (printed) {
        paintPage(painter);
        printed = painter.end();
    }
    if (!printed) {
        const QString where =
            printer.outputFileName().isEmpty() ? printer.printerName() : QDir::toNativeSeparators(printer.outputFileName());
        ui::critical(this, caption(), QStringLiteral("Graf se nepodařilo vytisknout: tiskárna úlohu nepřijala."),
                     where.isEmpty() ? QString() : QStringLiteral("Tiskárna: ") + where);
        return false;
    }
    return true;
}

bool ChartPanel::writePdf(const QString &path)
{
    // Written beside the target and renamed at the end: a failure leaves no half file.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("VERNA"));
        writer.setTitle(pageTitle());
        writer.setPageLayout(landscapeA4());
        QPainter painter;
        written = painter.begin(&writer);
        if (written) {
            paintPage(painter);
            written = painter.end();
        }
    }
    if (!written || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        ui::critical(this, caption(),
                     QStringLiteral("Graf se nepodařilo uložit do souboru ") + QDir::toNativeSeparators(path)
                         + QLatin1Char('.'),
                     reason);
        return false;
    }
    return true;
}

void ChartPanel::cmdGrafTisk_Click()
{
    if (m_data.isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(landscapeA4());
    printer.setDocName(pageTitle());
    if (askPrinter(this, printer))
        printTo(printer);
}

void ChartPanel::cmdPdf_Click()
{
    if (m_data.isEmpty())
        return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = ui::saveFileName(this, kPdfTitle, QDir(folder).filePath(QStringLiteral("graf.pdf")),
                                    QStringLiteral("Dokumenty PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    writePdf(path);
}

void ChartPanel::cmdCopy_Click()
{
    if (m_data.isEmpty())
        return;
    QGuiApplication::clipboard()->setImage(m_view->grab().toImage());
}

QString ChartPanel::toolTipAt(const QPoint &viewPos) const
{
    const QChart *c = m_view->chart();
    if (m_data.isEmpty() || !c)
        return {};
    const QPointF at = c->mapFromScene(m_view->mapToScene(viewPos));
    const QRectF plot = c->plotArea();
    if (chartType() == Rays)
        return profileToolTip(at - plot.center());
    if (plot.width() <= 0 || at.x() < plot.left() || at.x() >= plot.right() || at.y() < plot.top())
        return {};
    const int category = std::clamp(static_cast<int>((at.x() - plot.left()) / plot.width() * m_data.categories.size()),
                                    0, int(m_data.categories.size()) - 1);
    QStringList lines{m_data.categories.at(category)};
    // Inside the plot the values of the category come along, below it only the label.
    if (at.y() <= plot.bottom()) {
        for (int s = 0; s < m_data.series.size(); ++s) {
            const std::optional<double> v = m_data.value(s, category);
            lines << m_data.series.at(s) + QStringLiteral(": ")
                    + (v ? m_data.locale.toString(*v, 'f', 2) : QStringLiteral("–"));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString ChartPanel::profileToolTip(const QPointF &fromCentre) const
{
    // The spoke nearest to the point; spokes go clockwise from the top.
    const int n = m_data.indicatorCount();
    const double turn = std::atan2(fromCentre.x(), -fromCentre.y()) / (2 * M_PI);
    const int spoke = int(std::lround((turn < 0 ? turn + 1 : turn) * n)) % n;
    const QList<QList<std::optional<int>>> scores = profileScores(m_data);
    QStringList lines{(m_data.rowsAreSeries ? m_data.categories : m_data.series).at(spoke)};
    for (int r = 0; r < scores.size(); ++r) {
        const std::optional<int> score = scores.at(r).at(spoke);
        lines << m_data.rowNames.at(r) + QLatin1Char(' ') + m_data.rowPeriods.at(r) + QStringLiteral(": ")
                + (score ? QString::number(*score) : QStringLiteral("–"));
    }
    return lines.join(QLatin1Char('\n'));
}

bool ChartPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), ui::plainToolTip(text), m_view->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace verna::analysis

#include "analysis/chartpanel.h"

#include "ui/messages.h"
#include "ui/scripteduser.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineSeries>
#include <QRegularExpression>
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
#include <QValueAxis>
#include <cmath>

namespace verna::analysis {

namespace {

const QStringList kTypeNames = {QStringLiteral("Čáry"), QStringLiteral("Sloupce"), QStringLiteral("Plochy"),
                                QStringLiteral("Schody"), QStringLiteral("Paprsky")};
const QString kRaysPlaceholder = QStringLiteral("Paprskový graf bude součástí reportu.");
const QString kTooSmall =
    QStringLiteral("Graf potřebuje v tabulce alespoň jeden ukazatel a jedno období. Vyberte v tabulce "
                   "sloupce, řádky nebo oblast hodnot a otevřete znovu záložku Graf.");
const QString kValueAxisTitle = QStringLiteral("Hodnota");
const QString kPrintTitle = QStringLiteral("Tisk grafu");
const QString kPdfTitle = QStringLiteral("Uložit graf jako PDF");

// The page geometry in millimetres on a landscape sheet.
const QRectF kPageTarget(10, 10, 277, 190);
// Scale at which the chart is laid out before it is scaled onto the page: screen-sized fonts.
constexpr double kLayoutDotsPerMm = 96 / 25.4;
constexpr int kLabelWidth = 150;

// Category labels short enough to read on an axis. "Name period" labels keep the period whole
// and shorten the name; when every label has the same name, the period alone says it all.
// The axis needs unique labels, and the same indicator may be a column twice.
QStringList shortLabels(const QStringList &labels, const QFont &font)
{
    static const QRegularExpression namePeriod(QStringLiteral("^(.*) (\\d{4}/[1-4])$"));
    const QFontMetrics metrics(font);
    QStringList names;
    bool allPeriods = !labels.isEmpty();
    for (const QString &label : labels) {
        const auto m = namePeriod.match(label);
        allPeriods = allPeriods && m.hasMatch();
        names << m.captured(1);
    }
    const bool oneName = allPeriods && names.count(names.front()) == names.size();
    QStringList out;
    for (const QString &label : labels) {
        QString text;
        const auto m = namePeriod.match(label);
        if (oneName)
            text = m.captured(2);
        else if (m.hasMatch())
            text = metrics.elidedText(m.captured(1), Qt::ElideRight, kLabelWidth / 2) + QLatin1Char(' ') + m.captured(2);
        else
            text = metrics.elidedText(label, Qt::ElideMiddle, kLabelWidth);
        const QString base = text;
        for (int n = 2; out.contains(text); ++n)
            text = base + QStringLiteral(" (%1)").arg(n);
        out << text;
    }
    return out;
}

struct Range {
    double low = 0;
    double high = 0;
    bool any = false;
};

Range valueRange(const ChartData &data, bool withZero)
{
    Range r;
    for (const auto &line : data.values) {
        for (const std::optional<double> &v : line) {
            if (!v)
                continue;
            r.low = r.any ? std::min(r.low, *v) : *v;
            r.high = r.any ? std::max(r.high, *v) : *v;
            r.any = true;
        }
    }
    if (!r.any || withZero) {
        r.low = std::min(r.low, 0.0);
        r.high = std::max(r.high, 0.0);
    }
    if (r.high - r.low < 1e-9) {
        const double pad = std::max(std::abs(r.high) * 0.1, 1.0);
        r.low -= pad;
        r.high += pad;
    }
    return r;
}

QAbstractSeries *barSeries(const ChartData &data)
{
    auto *bars = new QBarSeries;
    for (int s = 0; s < data.series.size(); ++s) {
        auto *set = new QBarSet(data.series.at(s));
        for (int c = 0; c < data.categories.size(); ++c)
            *set << data.value(s, c).value_or(0.0);
        bars->append(set);
    }
    return bars;
}

// A cell without a number leaves a gap in bars and is skipped by lines.
QLineSeries *lineSeries(const ChartData &data, int s, bool steps, QObject *parent = nullptr)
{
    auto *line = new QLineSeries(parent);
    line->setName(data.series.at(s));
    for (int c = 0; c < data.categories.size(); ++c) {
        const std::optional<double> v = data.value(s, c);
        if (!v)
            continue;
        // A step holds its value across the whole category.
        if (steps)
            *line << QPointF(c - 0.5, *v) << QPointF(c + 0.5, *v);
        else
            *line << QPointF(c, *v);
    }
    return line;
}

QList<QAbstractSeries *> xySeries(const ChartData &data, ChartPanel::ChartType type)
{
    QList<QAbstractSeries *> out;
    for (int s = 0; s < data.series.size(); ++s) {
        if (type == ChartPanel::Areas) {
            auto *area = new QAreaSeries;
            area->setName(data.series.at(s));
            area->setUpperSeries(lineSeries(data, s, false, area));
            area->setOpacity(0.6);
            out << area;
        } else {
            QLineSeries *line = lineSeries(data, s, type == ChartPanel::Steps);
            line->setPointsVisible(type == ChartPanel::Lines);
            out << line;
        }
    }
    return out;
}

// A new chart of the data (the caller owns it). Numbers follow the table's locale.
QChart *makeChart(const ChartData &data, ChartPanel::ChartType type)
{
    auto *chart = new QChart;
    chart->setLocalizeNumbers(true);
    chart->setLocale(data.locale);
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setShowToolTips(true);
    if (data.isEmpty() || type == ChartPanel::Rays)
        return chart;

    auto *categories = new QBarCategoryAxis;
    const QStringList labels = shortLabels(data.categories, categories->labelsFont());
    categories->append(labels);
    categories->setTitleText(data.categoryTitle);
    const bool crowded = labels.size() > 6
        || std::any_of(labels.begin(), labels.end(), [](const QString &l) { return l.size() > 14; });
    if (crowded)
        categories->setLabelsAngle(-40);

    auto *values = new QValueAxis;
    values->setTitleText(kValueAxisTitle);
    values->setLabelFormat(QStringLiteral("%.2f"));
    const Range range = valueRange(data, type == ChartPanel::Bars || type == ChartPanel::Areas);
    values->setRange(range.low, range.high);
    values->applyNiceNumbers();

    chart->addAxis(categories, Qt::AlignBottom);
    chart->addAxis(values, Qt::AlignLeft);
    const QList<QAbstractSeries *> series = type == ChartPanel::Bars ? QList{barSeries(data)} : xySeries(data, type);
    for (QAbstractSeries *s : series) {
        chart->addSeries(s);
        s->attachAxis(categories);
        s->attachAxis(values);
    }
    return chart;
}

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
    } else if (chartType() == Rays) {
        m_message->setText(kRaysPlaceholder);
        m_pages->setCurrentWidget(m_message);
    } else {
        m_pages->setCurrentWidget(m_view);
    }
    updateButtons();
}

void ChartPanel::updateButtons()
{
    const bool chartShown = !m_data.isEmpty() && chartType() != Rays;
    m_types->setEnabled(!m_data.isEmpty());
    m_rotate->setEnabled(!m_data.isEmpty());
    m_print->setEnabled(chartShown);
    m_pdf->setEnabled(chartShown);
    m_copy->setEnabled(chartShown);
}

QString ChartPanel::caption() const
{
    const QString title = window()->windowTitle();
    return title.isEmpty() ? QStringLiteral("Graf") : title;
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
        writer.setTitle(caption());
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
    printer.setDocName(caption());
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
    if (m_data.isEmpty() || chartType() == Rays || !c)
        return {};
    const QPointF at = c->mapFromScene(m_view->mapToScene(viewPos));
    const QRectF plot = c->plotArea();
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

bool ChartPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, m_view->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace verna::analysis

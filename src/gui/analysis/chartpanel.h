#pragma once

#include "analysis/chartdata.h"

#include <QWidget>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPainter;
class QPrinter;
class QPushButton;
class QStackedWidget;

namespace verna::analysis {

// The "Graf" tab of the analysis window: a chart of the selected part of the result table,
// its chart types (for whole rows also the profile, "Paprsky"), rotation, printing, PDF
// output and copying as a picture.
class ChartPanel : public QWidget
{
    Q_OBJECT
public:
    // Indexes in cboTypGrafu.
    enum ChartType { Lines = 0, Bars = 1, Areas = 2, Steps = 3, Rays = 4 };

    explicit ChartPanel(QWidget *parent = nullptr);
    ~ChartPanel() override;

    // Shows new data as the tab does when it opens: the chart types refilled ("Paprsky" only
    // for whole rows), "Sloupce" selected, then rotated once so that the indicators are the
    // series. Empty data (a table too small to chart) clears the chart.
    void setData(const ChartData &data);
    void clear();
    // The analysis caption that printouts and PDFs carry in their title.
    void setCaption(const QString &caption);

    // The data as shown now (after rotations).
    const ChartData &data() const { return m_data; }
    ChartType chartType() const;
    QChart *chart() const;

    // Paints the chart on one landscape page at 10, 10 mm, 277 × 190 mm; a Czech message
    // tells why when the printer or the file does not start. True when the page was written.
    bool printTo(QPrinter &printer);
    bool writePdf(const QString &path);
    // The page on any device: the chart at 10, 10 mm, 277 × 190 mm at the device's resolution.
    void paintPage(QPainter &painter);

    // The full texts behind the shortened labels, for the tooltip at a point of the view: the
    // category and its values, or on the profile the nearest indicator and its scores.
    QString toolTipAt(const QPoint &viewPos) const;

public slots:
    void cboTypGrafu_Click();
    void cmdOtocit_Click();
    void cmdGrafTisk_Click();
    void cmdPdf_Click();
    void cmdCopy_Click();

signals:
    // The profile ("Paprsky") is drawn now: the window writes its page beside the report.
    void profileShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void redraw();
    void fillTypes(bool withRays);
    void updateButtons();
    QString caption() const;
    QString pageTitle() const;
    QString profileToolTip(const QPointF &fromCentre) const;

    ChartData m_data;
    QComboBox *m_types = nullptr;
    QStackedWidget *m_pages = nullptr;
    QChartView *m_view = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_hint = nullptr;
    QString m_caption;
    QPushButton *m_rotate = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
    QPushButton *m_copy = nullptr;
};

} // namespace verna::analysis

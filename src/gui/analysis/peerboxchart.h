#pragma once

#include "analysis/peerbenchmark.h"

#include <QLocale>
#include <QStringList>
#include <QWidget>

namespace verna::analysis {

// The peers' spread drawn per indicator: a horizontal box from Q1 to Q3 with the median,
// whiskers from D1 to D9 labelled with their values, the company's value as a red diamond,
// the indicator's name at the left. Each box has its own scale, as the indicators' units differ.
class PeerBoxChart : public QWidget
{
    Q_OBJECT
public:
    explicit PeerBoxChart(QWidget *parent = nullptr);

    // names follow row.figures.
    void setRow(const PeerBenchmarkRow &row, const QStringList &names, const QLocale &locale);
    void clear();
    // The names of the indicators drawn with a box, in order (for tests and tips).
    QStringList boxNames() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int rowHeight() const;

    QList<PeerFigures> m_figures;
    QStringList m_names;
    QLocale m_locale;
};

} // namespace verna::analysis

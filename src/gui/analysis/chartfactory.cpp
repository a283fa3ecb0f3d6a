#include "analysis/chartfactory.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarLegendMarker>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QPolarChart>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace verna::analysis {

namespace {

const QString kValueAxisTitle = QStringLiteral("Hodnota");
const QString kRightAxisNote = QStringLiteral(" (pravá osa)");
// Characters of an axis label and of a legend entry; the tooltip has the whole text.
constexpr int kAxisChars = 22;
constexpr int kLegendChars = 30;

struct Range {
    double low = 0;
    double high = 0;
    bool any = false;
};

Range valueRange(const ChartData &data, const QList<bool> &onRight, bool right, bool withZero)
{
    Range r;
    for (int s = 0; s < data.values.size(); ++s) {
        if (onRight.value(s, false) != right)
            continue;
        for (const std::optional<double> &v : data.values.at(s)) {
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

QValueAxis *valueAxis(const Range &range, const QString &title)
{
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%.2f"));
    axis->setRange(range.low, range.high);
    axis->applyNiceNumbers();
    return axis;
}

// With two axes the zero lines meet: the right axis takes the left one's ticks, each a round
// step of its own (1, 2, 2.5 or 5 times a power of ten), so bars of both stand on one line.
void alignZero(const QValueAxis *left, QValueAxis *right)
{
    const int ticks = left->tickCount();
    const double step = ticks > 1 ? (left->max() - left->min()) / (ticks - 1) : 0;
    if (step <= 0 || left->min() > 0 || left->max() < 0)
        return;
    const int below = int(std::lround(-left->min() / step));
    const int above = ticks - 1 - below;
    if ((below == 0 && right->min() < 0) || (above == 0 && right->max() > 0))
        return;
    double need = 0;
    if (above > 0)
        need = std::max(need, right->max() / above);
    if (below > 0)
        need = std::max(need, -right->min() / below);
    if (need <= 0)
        return;
    const double power = std::pow(10.0, std::floor(std::log10(need)));
    double round = 10 * power;
    for (double factor : {1.0, 2.0, 2.5, 5.0})
        if (factor * power >= need * (1 - 1e-9)) {
            round = factor * power;
            break;
        }
    right->setTickCount(ticks);
    right->setRange(-below * round, above * round);
}

// Bars of two axes are two bar series; each keeps a slot for every set, so the bars stand
// side by side, and fills the other axis's slots with invisible empty sets.
QList<QBarSeries *> barSeries(const ChartData &data, const QStringList &names, const QList<bool> &onRight)
{
    QList<QBarSeries *> out{new QBarSeries};
    if (!onRight.isEmpty())
        out << new QBarSeries;
    for (int part = 0; part < out.size(); ++part) {
        for (int s = 0; s < data.series.size(); ++s) {
            const bool mine = onRight.isEmpty() || onRight.at(s) == (part == 1);
            auto *set = new QBarSet(names.at(s));
            for (int c = 0; c < data.categories.size(); ++c)
                *set << (mine ? data.value(s, c).value_or(0.0) : 0.0);
            set->setProperty("padding", !mine);
            out.at(part)->append(set);
        }
    }
    return out;
}

// A cell without a number leaves a gap in bars and is skipped by lines.
QLineSeries *lineSeries(const ChartData &data, int s, bool steps, QObject *parent = nullptr)
{
    auto *line = new QLineSeries(parent);
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

QAbstractSeries *xySeries(const ChartData &data, int s, ChartPanel::ChartType type, const QString &name)
{
    if (type == ChartPanel::Areas) {
        auto *area = new QAreaSeries;
        area->setName(name);
        area->setUpperSeries(lineSeries(data, s, false, area));
        area->setOpacity(0.6);
        return area;
    }
    QLineSeries *line = lineSeries(data, s, type == ChartPanel::Steps);
    line->setName(name);
    line->setPointsVisible(type == ChartPanel::Lines);
    return line;
}

// The padding sets take the colour their slot has in the other series and hide.
void colourBars(QChart *chart, const QList<QBarSeries *> &parts)
{
    if (parts.size() < 2)
        return;
    const QList<QBarSet *> left = parts.at(0)->barSets();
    const QList<QBarSet *> right = parts.at(1)->barSets();
    for (int s = 0; s < left.size(); ++s) {
        QBarSet *shown = left.at(s)->property("padding").toBool() ? right.at(s) : left.at(s);
        QBarSet *hidden = shown == left.at(s) ? right.at(s) : left.at(s);
        shown->setColor(left.at(s)->color());
        shown->setBorderColor(left.at(s)->borderColor());
        hidden->setColor(Qt::transparent);
        hidden->setBorderColor(Qt::transparent);
    }
    for (QBarSeries *part : parts)
        for (QLegendMarker *marker : chart->legend()->markers(part))
            if (auto *bar = qobject_cast<QBarLegendMarker *>(marker))
                marker->setVisible(!bar->barset()->property("padding").toBool());
}

QString titleOf(const ShortLabels &a, const ShortLabels &b)
{
    QStringList parts;
    for (const QString &t : {a.shared, b.shared})
        if (!t.isEmpty())
            parts << t;
    return parts.join(QStringLiteral(", "));
}

QChart *profileChart(const ChartData &data)
{
    auto *chart = new QPolarChart;
    const QStringList indicators = data.rowsAreSeries ? data.categories : data.series;
    const QStringList axisLabels = shortNames(indicators, kAxisChars).labels;
    const ShortLabels rows = shortRowLabels(data.rowNames, data.rowPeriods, kLegendChars);
    const int n = int(indicators.size());

    auto *angular = new QCategoryAxis;
    angular->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    angular->setStartValue(-1);
    for (int c = 0; c < n; ++c)
        angular->append(axisLabels.at(c), c);
    angular->setRange(0, n);
    auto *radial = new QValueAxis;
    radial->setRange(0, 200);
    radial->setTickCount(5);
    radial->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(angular, QPolarChart::PolarOrientationAngular);
    chart->addAxis(radial, QPolarChart::PolarOrientationRadial);

    auto add = [&](QLineSeries *series) {
        chart->addSeries(series);
        series->attachAxis(angular);
        series->attachAxis(radial);
    };
    // The reference itself scores 100 everywhere: the circle the rows are read against.
    auto *reference = new QLineSeries;
    reference->setName(data.referenceName + QStringLiteral(" = 100"));
    for (int c = 0; c <= n; ++c)
        *reference << QPointF(c, 100);
    add(reference);
    QPen dashed = reference->pen();
    dashed.setStyle(Qt::DashLine);
    dashed.setColor(Qt::gray);
    reference->setPen(dashed);

    const QList<QList<std::optional<int>>> scores = profileScores(data);
    for (int r = 0; r < scores.size(); ++r) {
        auto *line = new QLineSeries;
        line->setName(rows.labels.at(r));
        line->setPointsVisible(true);
        for (int c = 0; c <= n; ++c)
            if (const std::optional<int> score = scores.at(r).at(c % std::max(n, 1)))
                *line << QPointF(c, *score);
        add(line);
    }
    chart->setTitle(rows.shared);
    return chart;
}

} // namespace

QChart *makeChart(const ChartData &data, ChartPanel::ChartType type)
{
    QChart *chart = !data.isEmpty() && type == ChartPanel::Rays ? profileChart(data) : new QChart;
    chart->setLocalizeNumbers(true);
    chart->setLocale(data.locale);
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setShowToolTips(true);
    if (data.isEmpty() || type == ChartPanel::Rays)
        return chart;

    const ShortLabels categoryLabels = shortCategoryLabels(data, kAxisChars);
    const ShortLabels seriesLabels = shortSeriesLabels(data, kLegendChars);
    chart->setTitle(titleOf(seriesLabels, categoryLabels));

    auto *categories = new QBarCategoryAxis;
    categories->append(categoryLabels.labels);
    categories->setTitleText(data.categoryTitle);
    const bool crowded = categoryLabels.labels.size() > 6
        || std::any_of(categoryLabels.labels.begin(), categoryLabels.labels.end(),
                       [](const QString &l) { return l.size() > 14; });
    if (crowded)
        categories->setLabelsAngle(-40);
    chart->addAxis(categories, Qt::AlignBottom);

    const QList<bool> onRight = secondAxisSeries(data);
    QStringList names = seriesLabels.labels;
    for (int s = 0; s < onRight.size(); ++s)
        if (onRight.at(s))
            names[s] += kRightAxisNote;
    const bool withZero = type == ChartPanel::Bars || type == ChartPanel::Areas;
    QValueAxis *left = valueAxis(valueRange(data, onRight, false, withZero), kValueAxisTitle);
    chart->addAxis(left, Qt::AlignLeft);
    QValueAxis *right = nullptr;
    if (!onRight.isEmpty()) {
        right = valueAxis(valueRange(data, onRight, true, withZero), kValueAxisTitle + kRightAxisNote);
        alignZero(left, right);
        chart->addAxis(right, Qt::AlignRight);
    }
    auto attach = [&](QAbstractSeries *series, bool toRight) {
        chart->addSeries(series);
        series->attachAxis(categories);
        series->attachAxis(toRight ? right : left);
    };
    if (type == ChartPanel::Bars) {
        const QList<QBarSeries *> parts = barSeries(data, names, onRight);
        for (int part = 0; part < parts.size(); ++part)
            attach(parts.at(part), part == 1);
        colourBars(chart, parts);
    } else {
        for (int s = 0; s < data.series.size(); ++s)
            attach(xySeries(data, s, type, names.at(s)), onRight.value(s, false));
    }
    return chart;
}

bool scalesNeedRotation(const ChartData &data)
{
    return !data.isEmpty() && data.rowsAreSeries && !secondAxisSeries(data.rotated()).isEmpty();
}

} // namespace verna::analysis

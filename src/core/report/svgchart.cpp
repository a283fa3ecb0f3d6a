#include "report/svgchart.h"

#include "analysis/chartdata.h"
#include "report/html.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace verna::report {

namespace {

const char *const kColours[] = {"#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f", "#edc948", "#b07aa1", "#ff9da7", "#9c755f", "#bab0ac"};

QString colour(int i)
{
    return QString::fromLatin1(kColours[i % int(std::size(kColours))]);
}

QString num(double v)
{
    // Plain C-locale numbers: a Czech decimal comma would break the coordinates.
    QString text = QString::number(v, 'f', 1);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

constexpr double kCharWidth = 6.5; // average width of a 11px sans-serif character

// A label cut to the room it has, its suffix kept whole; the whole text goes into a tooltip.
QString label(const QString &text, double room, const QString &attributes, const QString &suffix = {})
{
    const int fits = std::max(3, int(room / kCharWidth) - int(suffix.size()));
    const QString shown = (text.size() > fits ? text.left(fits - 1) + QChar(0x2026) : text) + suffix;
    return QStringLiteral("<text %1>%2<title>%3</title></text>").arg(attributes, escaped(shown), escaped(text + suffix));
}

// The legend under the chart: entries in rows that wrap at the width. Returns its lines and
// its height.
QStringList legend(const QStringList &series, int width, int top, int &height)
{
    QStringList out;
    double x = 10;
    double y = top;
    const double room = width - 20;
    for (int i = 0; i < series.size(); ++i) {
        const double entry = std::min(room, 18 + kCharWidth * series.at(i).size() + 12);
        if (x > 10 && x + entry > room + 10) {
            x = 10;
            y += 16;
        }
        out << QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"10\" height=\"10\" fill=\"%3\"/>").arg(num(x), num(y), colour(i))
            << label(series.at(i), entry - 30, QStringLiteral("x=\"%1\" y=\"%2\" font-size=\"11\"").arg(num(x + 14), num(y + 9)));
        x += entry;
    }
    height = series.isEmpty() ? 0 : int(y - top) + 16;
    return out;
}

int legendHeight(const QStringList &series, int width)
{
    int height = 0;
    legend(series, width, 0, height);
    return height;
}

QString open(int width, int height)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"graf\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                          "font-family=\"sans-serif\" role=\"img\">")
        .arg(width)
        .arg(height);
}

// A step of 1, 2 or 5 times a power of ten that splits the span into about five parts.
double niceStep(double span)
{
    const double raw = span / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10.0 * power;
}

} // namespace

namespace {

// A value axis: its ends and step, and where a value stands on it.
struct Scale {
    double low = 0;
    double high = 1;
    double step = 1;
};

// A column chart; a fixed range (the profile's 0…200) also marks its middle, the aggregate.
// Indicators of a much larger order than the rest are read against a right axis whose zero
// and grid lines meet the left one's.
QString columnChart(const SvgChartData &data, int width, int height, std::optional<std::pair<double, double>> range)
{
    const int legendRows = legendHeight(data.series, width);
    QList<double> largest(data.categories.size(), 0.0);
    for (const auto &line : data.values) {
        for (int c = 0; c < line.size() && c < largest.size(); ++c) {
            if (line.at(c) && std::isfinite(*line.at(c)))
                largest[c] = std::max(largest.at(c), std::abs(*line.at(c)));
        }
    }
    const QList<bool> onRight = range ? QList<bool>() : analysis::largerOrder(largest);
    const bool twoAxes = !onRight.isEmpty();
    const double left = 60;
    const double right = width - (twoAxes ? 60 : 10);
    const double top = 10;
    const double bottom = height - 26;
    Scale scales[2];
    int below = 0;
    int above = 0;
    for (int axis = 0; axis < (twoAxes ? 2 : 1); ++axis) {
        double low = 0;
        double high = 0;
        for (const auto &line : data.values) {
            for (int c = 0; c < line.size(); ++c) {
                const auto &v = line.at(c);
                if (v && std::isfinite(*v) && onRight.value(c, false) == (axis == 1)) {
                    low = std::min(low, *v);
                    high = std::max(high, *v);
                }
            }
        }
        if (range) {
            low = range->first;
            high = range->second;
        }
        if (high - low < 1e-9)
            high = low + 1;
        Scale &scale = scales[axis];
        scale.step = range ? (high - low) / 4 : niceStep(high - low);
        below = std::max(below, int(std::ceil(-low / scale.step - 1e-9)));
        above = std::max(above, int(std::ceil(high / scale.step - 1e-9)));
    }
    // Both axes get as many steps below and above zero, so their lines coincide.
    for (Scale &scale : scales) {
        scale.low = -below * scale.step;
        scale.high = above * scale.step;
    }
    if (range) {
        scales[0].low = range->first;
        scales[0].high = range->second;
    }
    const auto yOn = [&](const Scale &scale, double v) { return bottom - (v - scale.low) / (scale.high - scale.low) * (bottom - top); };
    const auto y = [&](double v) { return yOn(scales[0], v); };

    // The legend adds to the height: many rows never squeeze the plot.
    QStringList out{open(width, height + legendRows), QStringLiteral("<rect width=\"%1\" height=\"%2\" fill=\"white\"/>").arg(width).arg(height + legendRows)};
    const int steps = int(std::lround((scales[0].high - scales[0].low) / scales[0].step));
    for (int k = 0; k <= steps; ++k) {
        const double v = scales[0].low + k * scales[0].step;
        const QString at = num(y(v));
        out << QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#ccc\"/>").arg(num(left), at, num(right))
            << QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\" text-anchor=\"end\">%3</text>")
                   .arg(num(left - 4), num(y(v) + 3), QString::number(v, 'g', 10));
        if (twoAxes) {
            out << QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\">%3</text>")
                       .arg(num(right + 4), num(y(v) + 3), QString::number(scales[1].low + k * scales[1].step, 'g', 10));
        }
    }
    const int groups = std::max<int>(1, data.categories.size());
    const double group = (right - left) / groups;
    const int seriesCount = std::max<int>(1, data.series.size());
    const double bar = group * 0.8 / seriesCount;
    for (int c = 0; c < data.categories.size(); ++c) {
        const double x0 = left + c * group + group * 0.1;
        for (int s = 0; s < data.series.size(); ++s) {
            const auto v = data.values.value(s).value(c);
            if (!v || !std::isfinite(*v))
                continue;
            const Scale &scale = scales[onRight.value(c, false) ? 1 : 0];
            const double a = yOn(scale, std::max(0.0, *v));
            const double b = yOn(scale, std::min(0.0, *v));
            out << QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"><title>%6: %7</title></rect>")
                       .arg(num(x0 + s * bar), num(a), num(std::max(0.5, bar - 1)), num(b - a), colour(s),
                            escaped(data.series.at(s) + QStringLiteral(", ") + data.categories.at(c)), QString::number(*v, 'g', 12));
        }
        out << label(data.categories.at(c), group,
                     QStringLiteral("x=\"%1\" y=\"%2\" font-size=\"11\" text-anchor=\"middle\"").arg(num(left + (c + 0.5) * group), num(bottom + 15)),
                     onRight.value(c, false) ? QStringLiteral(" (pravá osa)") : QString());
    }
    if (range) {
        const double middle = (range->first + range->second) / 2;
        out << QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#555\" stroke-dasharray=\"4 3\"/>").arg(num(left), num(y(middle)), num(right));
    }
    out << QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"black\"/>").arg(num(left), num(y(0)), num(right))
        << QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"black\"/>").arg(num(left), num(top), num(bottom));
    if (twoAxes)
        out << QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"black\"/>").arg(num(right), num(top), num(bottom));
    int unused = 0;
    out << legend(data.series, width, int(bottom) + 22, unused) << QStringLiteral("</svg>");
    return lines(out);
}

} // namespace

QString columnChartSvg(const SvgChartData &data, int width, int height)
{
    return columnChart(data, width, height, std::nullopt);
}

QString radarChartSvg(const SvgChartData &data, int width, int height)
{
    // Fewer than three axes make no area: the scores stand as columns on the same scale.
    if (data.categories.size() < 3)
        return columnChart(data, width, height, std::pair{0.0, 200.0});
    const int legendRows = legendHeight(data.series, width);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    const double radius = std::max(20.0, std::min(width / 2.0 - 90, cy - 24));
    const int axes = std::max<int>(1, data.categories.size());
    const auto point = [&](int axis, double score) {
        const double angle = -M_PI / 2 + 2 * M_PI * axis / axes;
        const double r = std::clamp(score, 0.0, 200.0) / 200.0 * radius;
        return QStringLiteral("%1,%2").arg(num(cx + r * std::cos(angle)), num(cy + r * std::sin(angle)));
    };
    QStringList out{open(width, height + legendRows), QStringLiteral("<rect width=\"%1\" height=\"%2\" fill=\"white\"/>").arg(width).arg(height + legendRows)};
    // Rings every 50 points; 100 is the aggregate, drawn stronger.
    for (int ring = 50; ring <= 200; ring += 50) {
        QStringList points;
        for (int a = 0; a < axes; ++a)
            points << point(a, ring);
        out << QStringLiteral("<polygon points=\"%1\" fill=\"none\" stroke=\"%2\"/>")
                   .arg(points.join(QLatin1Char(' ')), ring == 100 ? QStringLiteral("#555") : QStringLiteral("#ccc"))
            << QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"9\" fill=\"#666\">%3</text>")
                   .arg(num(cx + 3), num(cy - ring / 200.0 * radius + 10))
                   .arg(ring);
    }
    for (int a = 0; a < data.categories.size(); ++a) {
        const double angle = -M_PI / 2 + 2 * M_PI * a / axes;
        const double lx = cx + (radius + 8) * std::cos(angle);
        const double ly = cy + (radius + 8) * std::sin(angle) + 4;
        const QString anchor = std::cos(angle) > 0.3 ? QStringLiteral("start") : std::cos(angle) < -0.3 ? QStringLiteral("end") : QStringLiteral("middle");
        out << QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"#ccc\"/>")
                   .arg(num(cx), num(cy), num(cx + radius * std::cos(angle)), num(cy + radius * std::sin(angle)))
            << label(data.categories.at(a), anchor == QLatin1String("middle") ? 220 : width / 2.0 - radius - 14, QStringLiteral("x=\"%1\" y=\"%2\" font-size=\"11\" text-anchor=\"%3\"").arg(num(lx), num(ly), anchor));
    }
    for (int s = 0; s < data.series.size(); ++s) {
        QStringList points;
        for (int a = 0; a < data.categories.size(); ++a)
            points << point(a, data.values.value(s).value(a).value_or(0));
        out << QStringLiteral("<polygon points=\"%1\" fill=\"%2\" fill-opacity=\"0.15\" stroke=\"%2\" stroke-width=\"2\"><title>%3</title></polygon>")
                   .arg(points.join(QLatin1Char(' ')), colour(s), escaped(data.series.at(s)));
    }
    int unused = 0;
    out << legend(data.series, width, height - 4, unused) << QStringLiteral("</svg>");
    return lines(out);
}

} // namespace verna::report

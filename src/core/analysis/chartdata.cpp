#include "analysis/chartdata.h"

#include "analysis/analysismodel.h"
#include "analysis/twodecimals.h"

#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace verna::analysis {

namespace {

// Series whose largest values differ by this factor or more do not share an axis.
constexpr double kScaleGap = 25;
// A printed title names this many companies, then only how many there are.
constexpr int kTitleCompanies = 4;

std::optional<double> number(const QString &cell, const QLocale &locale)
{
    // Cells hold hundredths exactly; the chart only needs them as numbers.
    const std::optional<Cents> cents = parseCell(cell, locale);
    return cents ? std::optional<double>(static_cast<double>(*cents) / 100.0) : std::nullopt;
}

QStringList distinct(const QStringList &texts)
{
    QStringList out;
    for (const QString &t : texts)
        if (!out.contains(t))
            out << t;
    return out;
}

// The same label twice (an indicator may be a column twice) stays apart on an axis.
QStringList numbered(QStringList labels)
{
    for (int i = 0; i < labels.size(); ++i) {
        const QString base = labels.at(i);
        QString text = base;
        for (int n = 2; labels.mid(0, i).contains(text); ++n)
            text = base + QStringLiteral(" (%1)").arg(n);
        labels[i] = text;
    }
    return labels;
}

QString cutEnd(const QString &text, int maxChars)
{
    if (text.size() <= maxChars)
        return text;
    return text.left(std::max(maxChars - 1, 1)).trimmed() + QChar(0x2026);
}

QString withoutLegalForm(const QString &name)
{
    static const QRegularExpression legalForm(
        QStringLiteral("[,\\s]+(a\\.\\s?s\\.|s\\.\\s?r\\.\\s?o\\.|spol\\.\\s?s\\s?r\\.\\s?o\\.|v\\.\\s?o\\.\\s?s\\.|"
                       "k\\.\\s?s\\.|akciová společnost|společnost s ručením omezeným)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString stripped = QString(name).remove(legalForm).trimmed();
    return stripped.isEmpty() ? name : stripped;
}

int sharedLeadingWords(const QStringList &a, const QStringList &b)
{
    int n = 0;
    while (n < a.size() && n < b.size() && a.at(n).compare(b.at(n), Qt::CaseInsensitive) == 0)
        ++n;
    return n;
}

} // namespace

ChartData ChartData::rotated() const
{
    ChartData out = *this;
    out.series = categories;
    out.categories = series;
    out.seriesTitle = categoryTitle;
    out.categoryTitle = seriesTitle;
    out.rowsAreSeries = !rowsAreSeries;
    out.values.clear();
    for (int c = 0; c < categories.size(); ++c) {
        QList<std::optional<double>> line;
        line.reserve(series.size());
        for (int s = 0; s < series.size(); ++s)
            line << values.at(s).at(c);
        out.values << line;
    }
    return out;
}

ChartData chartData(const AnalysisModel &model, const CellRange &selection)
{
    const int rows = model.dataRowCount();
    const int first = AnalysisModel::kFixedColumns;
    const int last = model.columnCount() - 1;
    if (rows == 0 || last < first)
        return {};

    int top = std::min(selection.top, selection.bottom);
    int bottom = std::min(std::max(selection.top, selection.bottom), rows - 1);
    int left = std::min(selection.left, selection.right);
    int right = std::min(std::max(selection.left, selection.right), last);
    if (top < 0 || left < 0 || top > bottom || left > right) {
        top = 0;
        bottom = rows - 1;
        left = first;
        right = last;
    }
    const bool wholeColumns = top == 0 && bottom == rows - 1;
    // Name and period are no values; a selection in them only stands for its rows.
    if (right < first)
        right = last;
    left = std::max(left, first);
    const bool wholeRows = !wholeColumns && left == first && right == last;

    ChartData data;
    data.seriesTitle = kRowsAxisTitle;
    data.categoryTitle = kIndicatorsAxisTitle;
    data.wholeRows = wholeRows;
    data.locale = model.locale();
    for (int c = left; c <= right; ++c)
        data.categories << model.indicatorName(c - first);
    for (int r = top; r <= bottom; ++r) {
        data.rowNames << model.entityName(r);
        data.rowPeriods << model.rowKey(r).periodText();
        data.series << data.rowNames.back() + QLatin1Char(' ') + data.rowPeriods.back();
        QList<std::optional<double>> line;
        for (int c = left; c <= right; ++c)
            line << number(model.cell(r, c - first), model.locale());
        data.values << line;
    }
    if (wholeRows) {
        // The same reference as the report's profile: the aggregate shown, else the mean.
        const AggregateRow aggregate = reportAggregate(model);
        data.referenceName = aggregate.name;
        for (const QString &cell : aggregate.cells)
            data.reference << number(cell, model.locale());
    }
    return data;
}

namespace {

// Each distinct name shortened, in the order of `unique`.
QStringList abbreviated(const QStringList &unique, int maxChars)
{
    QList<QStringList> words;
    for (const QString &n : unique)
        words << withoutLegalForm(n).split(QLatin1Char(' '), Qt::SkipEmptyParts);

    QStringList shortened;
    for (int i = 0; i < unique.size(); ++i) {
        QString text = unique.at(i);
        if (text.size() > maxChars) {
            const QStringList &w = words.at(i);
            int shared = 0;
            for (int j = 0; j < unique.size(); ++j)
                if (j != i)
                    shared = std::max(shared, sharedLeadingWords(w, words.at(j)));
            shared = std::min(shared, int(w.size()) - 1);
            QStringList parts;
            for (int k = 0; k < shared; ++k)
                parts << w.at(k).left(1) + QLatin1Char('.');
            parts << w.mid(shared);
            text = cutEnd(parts.join(QLatin1Char(' ')), maxChars);
        }
        shortened << text;
    }
    // Two names cut to the same text keep their ends apart instead.
    const QStringList cut = shortened;
    for (int i = 0; i < shortened.size(); ++i) {
        if (cut.count(cut.at(i)) < 2 || unique.at(i).size() <= maxChars)
            continue;
        const QString &full = unique.at(i);
        const int head = std::max((maxChars - 1) / 2, 1);
        shortened[i] = full.left(head).trimmed() + QChar(0x2026) + full.right(std::max(maxChars - 1 - head, 1)).trimmed();
    }
    return shortened;
}

} // namespace

ShortLabels shortNames(const QStringList &names, int maxChars)
{
    const QStringList unique = distinct(names);
    const QStringList shortened = abbreviated(unique, maxChars);
    ShortLabels out;
    for (const QString &n : names)
        out.labels << shortened.at(unique.indexOf(n));
    out.labels = numbered(out.labels);
    if (unique.size() == 1 && names.size() > 1)
        out.shared = unique.front();
    return out;
}

ShortLabels shortRowLabels(const QStringList &names, const QStringList &periods, int maxChars)
{
    const QStringList entities = distinct(names);
    const QStringList dates = distinct(periods);
    ShortLabels out;
    if (entities.size() == 1) {
        out.labels = numbered(periods);
        out.shared = entities.front();
    } else if (dates.size() == 1) {
        out.labels = shortNames(names, maxChars).labels;
        out.shared = dates.front();
    } else {
        // The period first: where an axis cuts a label further, the name gives way.
        const int periodChars = periods.isEmpty() ? 0 : int(periods.front().size()) + 1;
        const QStringList shortened = abbreviated(entities, std::max(maxChars - periodChars, 6));
        for (int i = 0; i < names.size(); ++i)
            out.labels << periods.at(i) + QLatin1Char(' ') + shortened.at(entities.indexOf(names.at(i)));
        out.labels = numbered(out.labels);
    }
    return out;
}

ShortLabels shortSeriesLabels(const ChartData &data, int maxChars)
{
    return data.rowsAreSeries ? shortRowLabels(data.rowNames, data.rowPeriods, maxChars)
                              : shortNames(data.series, maxChars);
}

ShortLabels shortCategoryLabels(const ChartData &data, int maxChars)
{
    return data.rowsAreSeries ? shortNames(data.categories, maxChars)
                              : shortRowLabels(data.rowNames, data.rowPeriods, maxChars);
}

QList<bool> secondAxisSeries(const ChartData &data)
{
    if (data.rowsAreSeries)
        return {};
    QList<double> largest;
    for (const auto &line : data.values) {
        double m = 0;
        for (const std::optional<double> &v : line)
            if (v)
                m = std::max(m, std::abs(*v));
        largest << m;
    }
    return largerOrder(largest);
}

QList<bool> largerOrder(const QList<double> &largest)
{
    QList<double> sorted;
    for (double m : largest)
        if (m > 0)
            sorted << m;
    std::sort(sorted.begin(), sorted.end());
    // The widest gap between neighbouring orders splits them, if it is wide enough.
    double gap = 1;
    double threshold = 0;
    for (int i = 1; i < sorted.size(); ++i) {
        const double ratio = sorted.at(i) / sorted.at(i - 1);
        if (ratio > gap) {
            gap = ratio;
            threshold = sorted.at(i);
        }
    }
    if (gap < kScaleGap)
        return {};
    QList<bool> out;
    for (double m : largest)
        out << (m >= threshold);
    return out;
}

QString chartTitle(const QString &caption, const ChartData &data, const QDate &date)
{
    const QStringList companies = distinct(data.rowNames);
    QString names = companies.mid(0, kTitleCompanies).join(QStringLiteral(", "));
    if (companies.size() > kTitleCompanies)
        names = companies.mid(0, kTitleCompanies - 1).join(QStringLiteral(", "))
            + QStringLiteral("… (%1 subjektů)").arg(companies.size());
    QStringList parts;
    for (const QString &part : {caption, names, date.toString(QStringLiteral("d. M. yyyy"))})
        if (!part.isEmpty())
            parts << part;
    return parts.join(QStringLiteral(" – "));
}

QList<QList<std::optional<int>>> profileScores(const ChartData &data)
{
    QList<QList<std::optional<int>>> out;
    for (int r = 0; r < data.rowCount(); ++r) {
        QList<std::optional<int>> line;
        for (int c = 0; c < data.indicatorCount(); ++c) {
            const std::optional<double> x = data.rowValue(r, c);
            const std::optional<double> b = c < data.reference.size() ? data.reference.at(c) : std::nullopt;
            line << (x && b ? std::optional<int>(profileScore(*x, *b)) : std::nullopt);
        }
        out << line;
    }
    return out;
}

int profileScore(double x, double b)
{
    double score = 0;
    if (b > 0)
        score = x > 0 ? 100 * x / b : x == 0 ? 0 : 100 / (std::abs(x) * b);
    else if (b == 0)
        score = x > 0 ? 200 : x == 0 ? 100 : 0;
    else
        score = x > 0 ? 100 * x * std::abs(b) : x == 0 ? 100 * std::abs(b) : 100 * std::abs(b) / std::abs(x);
    return static_cast<int>(std::round(std::clamp(score, 0.0, 200.0)));
}

} // namespace verna::analysis

#include "analysis/peerboxchart.h"

#include "analysis/peertable.h"

#include <QPainter>
#include <QPainterPath>

namespace verna::analysis {

namespace {
constexpr int kMargin = 10;
constexpr int kNameWidth = 230;
const QColor kBox(0xdd, 0xe6, 0xf3);
const QColor kBoxLine(0x4a, 0x6a, 0x9a);
const QColor kMedian(0x1d, 0x35, 0x57);
const QColor kValue(0xd6, 0x28, 0x28);
} // namespace

PeerBoxChart::PeerBoxChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("picOdvetvi"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setToolTip(QStringLiteral("Rámeček: Q1 až Q3 se svislou čarou mediánu; vousy: D1 až D9; kosočtverec: hodnota podniku."));
}

void PeerBoxChart::setRow(const PeerBenchmarkRow &row, const QStringList &names, const QLocale &locale)
{
    m_figures = row.figures;
    m_names = names;
    m_locale = locale;
    updateGeometry();
    update();
}

void PeerBoxChart::clear()
{
    m_figures.clear();
    m_names.clear();
    updateGeometry();
    update();
}

QStringList PeerBoxChart::boxNames() const
{
    QStringList out;
    for (qsizetype i = 0; i < m_figures.size(); ++i) {
        if (m_figures.at(i).hasFigures)
            out << m_names.value(i);
    }
    return out;
}

int PeerBoxChart::rowHeight() const
{
    return fontMetrics().height() * 3 + 6;
}

QSize PeerBoxChart::sizeHint() const
{
    return {kNameWidth + 480, 2 * kMargin + std::max<int>(1, static_cast<int>(m_figures.size())) * rowHeight()};
}

QSize PeerBoxChart::minimumSizeHint() const
{
    return {kNameWidth + 240, sizeHint().height()};
}

void PeerBoxChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    QFont small = font();
    small.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.85));
    const QFontMetrics smallMetrics(small);
    const int plotLeft = kMargin + kNameWidth;
    // The D1 and D9 labels sit under the whisker ends, inside the plot.
    const int labelRoom = smallMetrics.horizontalAdvance(QStringLiteral("-000000,00"));
    const int plotWidth = std::max(40, width() - plotLeft - kMargin - labelRoom / 2);
    const int boxHeight = metrics.height();
    const QColor text = palette().color(QPalette::Text);

    for (qsizetype i = 0; i < m_figures.size(); ++i) {
        const PeerFigures &f = m_figures.at(i);
        const int top = kMargin + static_cast<int>(i) * rowHeight();
        const int mid = top + boxHeight;
        if (i % 2 == 1)
            painter.fillRect(QRect(0, top - 2, width(), rowHeight()), palette().color(QPalette::AlternateBase));
        painter.setPen(text);
        painter.setFont(font());
        const QRect nameRect(kMargin, mid - boxHeight, kNameWidth - kMargin, 2 * boxHeight);
        painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(m_names.value(i), Qt::ElideRight, nameRect.width()));
        if (!f.hasFigures) {
            painter.setPen(palette().color(QPalette::PlaceholderText));
            painter.drawText(QRect(plotLeft, mid - boxHeight, plotWidth, 2 * boxHeight), Qt::AlignLeft | Qt::AlignVCenter, f.reason);
            continue;
        }
        const std::optional<double> value = peertable::value(f, m_locale);
        const peertable::Scale scale = peertable::scale(f, value);
        const auto x = [&](double v) { return plotLeft + scale.at(v) * plotWidth; };

        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.drawLine(QPointF(x(f.d1), mid), QPointF(x(f.d9), mid));
        for (double end : {f.d1, f.d9})
            painter.drawLine(QPointF(x(end), mid - boxHeight / 3.0), QPointF(x(end), mid + boxHeight / 3.0));
        painter.setPen(QPen(kBoxLine, 1));
        painter.setBrush(kBox);
        painter.drawRect(QRectF(QPointF(x(f.q1), mid - boxHeight / 2.0), QPointF(std::max(x(f.q3), x(f.q1) + 1), mid + boxHeight / 2.0)));
        painter.setPen(QPen(kMedian, 2));
        painter.drawLine(QPointF(x(f.median), mid - boxHeight / 2.0), QPointF(x(f.median), mid + boxHeight / 2.0));

        painter.setFont(small);
        painter.setPen(palette().color(QPalette::PlaceholderText));
        const int labelTop = mid + boxHeight / 2 + 1;
        const QString d1 = QStringLiteral("D1 ") + peertable::number(f.d1, m_locale);
        const QString d9 = QStringLiteral("D9 ") + peertable::number(f.d9, m_locale);
        // Each label under its whisker end, kept inside the plot and clear of the other.
        const int w1 = smallMetrics.horizontalAdvance(d1);
        const int w9 = smallMetrics.horizontalAdvance(d9);
        const double left1 = std::max<double>(plotLeft, x(f.d1) - w1 / 2.0);
        const double left9 = std::max(left1 + w1 + 6, std::min<double>(x(f.d9) - w9 / 2.0, width() - kMargin - w9));
        painter.drawText(QPointF(left1, labelTop + smallMetrics.ascent()), d1);
        painter.drawText(QPointF(left9, labelTop + smallMetrics.ascent()), d9);
        if (value) {
            const double cx = x(*value);
            const double r = boxHeight / 2.0 + 1;
            QPainterPath diamond;
            diamond.moveTo(cx, mid - r);
            diamond.lineTo(cx + r, mid);
            diamond.lineTo(cx, mid + r);
            diamond.lineTo(cx - r, mid);
            diamond.closeSubpath();
            painter.setPen(QPen(Qt::white, 1));
            painter.setBrush(kValue);
            painter.drawPath(diamond);
        }
        painter.setBrush(Qt::NoBrush);
    }
}

} // namespace verna::analysis

#include "analysis/roepyramid.h"

#include <QPainter>
#include <QPainterPath>

namespace verna::analysis {

namespace {
constexpr int kFactors = 5;
constexpr int kGap = 10;
} // namespace

RoePyramid::RoePyramid(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("picRozklad"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void RoePyramid::setTable(const QList<QStringList> &table)
{
    m_table = table;
    setToolTip(boxTexts().join(QStringLiteral("\n\n")));
    update();
}

QStringList RoePyramid::boxLines(int row) const
{
    const QStringList header = m_table.value(0);
    const QStringList cells = m_table.value(row);
    // The box shows the short name; the table beside it has the whole.
    const QString name = cells.value(0).section(QStringLiteral(" ("), 0, 0);
    const bool roe = row == kFactors + 1;
    return {name, header.value(1) + QStringLiteral(": ") + cells.value(1), header.value(2) + QStringLiteral(": ") + cells.value(2),
            (roe ? QStringLiteral("Změna: ") : QStringLiteral("Příspěvek: ")) + cells.value(3) + QStringLiteral(" p. b.")};
}

QStringList RoePyramid::boxTexts() const
{
    QStringList out;
    if (m_table.size() < kFactors + 2)
        return out;
    out << boxLines(kFactors + 1).join(QLatin1Char('\n'));
    for (int i = 1; i <= kFactors; ++i)
        out << boxLines(i).join(QLatin1Char('\n'));
    return out;
}

QSize RoePyramid::sizeHint() const
{
    return {760, 260};
}

QSize RoePyramid::minimumSizeHint() const
{
    return {520, 200};
}

void RoePyramid::paintEvent(QPaintEvent *)
{
    if (m_table.size() < kFactors + 2)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.height();
    const int boxHeight = lineHeight * 4 + 12;
    const int boxWidth = std::max(80, (width() - kGap * (kFactors + 1)) / kFactors);
    const QRect top((width() - boxWidth * 3 / 2) / 2, kGap, boxWidth * 3 / 2, boxHeight);
    // The factors stay near their ROE in a tall window.
    const int bottomTop = std::min(height() - boxHeight - kGap, top.bottom() + boxHeight * 2);

    const auto drawBox = [&](const QRect &box, const QStringList &lines, bool isRoe) {
        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.setBrush(isRoe ? palette().color(QPalette::AlternateBase) : palette().color(QPalette::Base));
        painter.drawRoundedRect(box, 6, 6);
        painter.setPen(palette().color(QPalette::Text));
        QFont bold = font();
        bold.setBold(true);
        for (int i = 0; i < lines.size(); ++i) {
            painter.setFont(i == 0 ? bold : font());
            const QRect line(box.left() + 4, box.top() + 6 + i * lineHeight, box.width() - 8, lineHeight);
            painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter, QFontMetrics(painter.font()).elidedText(lines.at(i), Qt::ElideRight, line.width()));
        }
        painter.setFont(font());
    };

    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    for (int i = 0; i < kFactors; ++i) {
        const QRect box(kGap + i * (boxWidth + kGap), bottomTop, boxWidth, boxHeight);
        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.drawLine(QPoint(top.center().x(), top.bottom()), QPoint(box.center().x(), box.top()));
        drawBox(box, boxLines(i + 1), false);
    }
    drawBox(top, boxLines(kFactors + 1), true);
}

} // namespace verna::analysis

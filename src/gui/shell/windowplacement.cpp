#include "shell/windowplacement.h"

#include <algorithm>

namespace verna::shell {

namespace {

// The size within the workspace from `corner` on, but never under the window's minimum.
QSize fitted(QSize size, QSize minimum, QSize workspace, QPoint corner)
{
    const QSize room(workspace.width() - corner.x(), workspace.height() - corner.y());
    return size.boundedTo(room).expandedTo(minimum);
}

// The corner that keeps a window of `size` inside the workspace, as near `corner` as it can.
QPoint pulledIn(QPoint corner, QSize size, QSize workspace)
{
    return {std::clamp(corner.x(), 0, std::max(0, workspace.width() - size.width())),
            std::clamp(corner.y(), 0, std::max(0, workspace.height() - size.height()))};
}

} // namespace

QRect placeChild(QSize wanted, QSize minimum, QSize workspace, const std::optional<QRect> &remembered,
                 const QList<QPoint> &taken, int step)
{
    const QRect area(QPoint(0, 0), workspace);
    if (remembered && remembered->isValid() && area.contains(*remembered) && !taken.contains(remembered->topLeft()))
        return *remembered;

    QSize size = (remembered && remembered->isValid() ? remembered->size() : wanted).expandedTo(minimum);
    size = fitted(size, minimum, workspace, QPoint(0, 0));
    const QPoint start = remembered && remembered->isValid() ? pulledIn(remembered->topLeft(), size, workspace) : QPoint(0, 0);

    // Cascade from the start while the corner is taken; past half the workspace the cascade
    // goes on from the top left.
    const auto within = [workspace](QPoint p) { return p.x() <= workspace.width() / 2 && p.y() <= workspace.height() / 2; };
    QPoint corner = start;
    QPoint next = start;
    for (int i = 0; taken.contains(corner) && i <= int(taken.size()) + 1; ++i) {
        next += QPoint(step, step);
        if (!within(next))
            next = QPoint(0, 0);
        corner = next;
    }
    size = fitted(size, minimum, workspace, corner);
    return {pulledIn(corner, size, workspace), size};
}

} // namespace verna::shell

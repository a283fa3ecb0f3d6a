#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

namespace verna::shell {

// Where a new child window goes in the frame's workspace (origin at 0,0). The window asks
// for `wanted`; it is never made smaller than `minimum`. A remembered place is taken as it
// is when it lies inside the workspace, else it is shrunk and moved until it does. A window
// whose top-left corner another open window already takes is cascaded by `step`.
QRect placeChild(QSize wanted, QSize minimum, QSize workspace, const std::optional<QRect> &remembered,
                 const QList<QPoint> &taken, int step);

} // namespace verna::shell

#pragma once

#include <QIcon>
#include <QString>

namespace verna::ui {

// An icon of the application's own set by name ("search" for icons/search.svg). Drawn from
// the SVG here, so it does not depend on an icon plugin being installed.
QIcon svgIcon(const QString &name);

// The application's icon, for the main window and its boxes.
QIcon appIcon();

} // namespace verna::ui

#include "ui/icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in a static library: they must be registered by hand.
static void registerIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace verna::ui {

QIcon svgIcon(const QString &name)
{
    static const bool registered = (registerIconResources(), true);
    Q_UNUSED(registered);
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon appIcon()
{
    return svgIcon(QStringLiteral("verna"));
}

} // namespace verna::ui

#pragma once

#include <QPoint>
#include <QString>
#include <Qt>
#include <functional>

class QWidget;

namespace verna::ui {

// Starts a drag that carries payload as plain text. Under a ScriptedUser the payload is
// recorded and no drag loop runs.
void startTextDrag(QWidget *source, const QString &payload);

// Handles a dropped text; pos is in the coordinates of the widget that took the drop (the
// viewport for lists, trees and grids).
using TextDropHandler = std::function<void(const QString &text, const QPoint &pos)>;
// The same, with the keyboard modifiers held at the drop (a Ctrl-drop means something else).
using ModifiedTextDropHandler = std::function<void(const QString &text, const QPoint &pos, Qt::KeyboardModifiers modifiers)>;

// Lets control take plain-text drops from any program. While the control's window is busy,
// drops are refused and the handler does not run.
void acceptTextDrops(QWidget *control, TextDropHandler handler);
void acceptTextDrops(QWidget *control, ModifiedTextDropHandler handler);

} // namespace verna::ui

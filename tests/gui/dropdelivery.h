#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

class QWidget;

namespace verna::test {

// Drops text on the control named controlName inside root (or on root itself) through the
// same drag-enter, drag-move and drop events a real drop sends, with modifiers held down.
// True when the drop was taken.
bool deliverDrop(QWidget *root, const QString &controlName, const QString &text, const QPoint &pos = {},
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier);
bool deliverDrop(QWidget *control, const QString &text, const QPoint &pos = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace verna::test

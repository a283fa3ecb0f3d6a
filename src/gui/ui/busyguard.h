#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace verna::ui {

// What the caption shows while a window works. Shown only: busy is the window's flag below.
inline const QString kBusyCaption = QStringLiteral("Čekejte, prosím, pracuji...");

// Whether the window is working (it then ignores drops and changes and refuses to close).
bool isBusy(const QWidget *window);

// Makes the window refuse to close while it is busy. Safe to call twice.
void refuseCloseWhileBusy(QWidget *window);

// The window a control belongs to: its child window inside the frame, or its top-level window.
QWidget *ownerWindow(QWidget *control);

// Marks the window busy for its lifetime, with the busy caption and the wait cursor, and
// restores all three when it ends, also when an exception passes through. Guards nest: the
// window stays busy until the outermost one ends. The caption afterwards is the one before,
// or captionAfter when given.
class BusyGuard
{
public:
    explicit BusyGuard(QWidget *window, const QString &captionAfter = {});
    ~BusyGuard();
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;

    void setCaptionAfter(const QString &caption) { m_captionAfter = caption; }

private:
    QPointer<QWidget> m_window;
    QString m_captionAfter;
};

} // namespace verna::ui

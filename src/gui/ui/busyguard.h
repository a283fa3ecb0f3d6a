#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace verna::ui {

inline const QString kBusyCaption = QStringLiteral("Čekejte, prosím, pracuji...");

// Whether the window's caption says it is working (it then ignores drops and refuses to close).
bool isBusy(const QWidget *window);

// Makes the window refuse to close while its caption says it is busy. Safe to call twice.
void refuseCloseWhileBusy(QWidget *window);

// The window a control belongs to: its child window inside the frame, or its top-level window.
QWidget *ownerWindow(QWidget *control);

// Shows the busy caption and the wait cursor for its lifetime and restores both when it
// ends, also when an exception passes through. The caption afterwards is the one before,
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

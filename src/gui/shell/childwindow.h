#pragma once

namespace verna::shell {

// What the frame asks of a child window that cares: a window implements this next to
// QWidget, and the frame finds it with dynamic_cast. A busy window never closes, whatever
// canClose says.
class ChildWindow
{
public:
    virtual ~ChildWindow() = default;

    // The window became the frame's active child, or stopped being it.
    virtual void activated() {}
    virtual void deactivated() {}
    // Asked before the window or the frame closes; false keeps everything open.
    virtual bool canClose() { return true; }
};

} // namespace verna::shell

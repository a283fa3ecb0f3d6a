#pragma once

#include <QListWidget>
#include <functional>

namespace verna::ui {

// A list box whose drags carry a text payload that its window builds.
class DragSourceList : public QListWidget
{
    Q_OBJECT
public:
    explicit DragSourceList(QWidget *parent = nullptr);

    // Called when the user starts dragging from the list.
    void setDragStarter(std::function<void()> starter) { m_starter = std::move(starter); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::function<void()> m_starter;
};

} // namespace verna::ui

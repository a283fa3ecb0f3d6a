#pragma once

#include <QTableView>
#include <functional>

namespace verna::ui {

// A list box for lists of a million lines whose drags carry a text payload that its window
// builds. It looks and behaves as a list (one column, no headers, no grid, Home and End go to
// the first and last line) but stands on fixed-height rows: lines appended to its model cost
// the view a few steps, where a list view lays every line out again after each batch.
class LongListView : public QTableView
{
    Q_OBJECT
public:
    explicit LongListView(QWidget *parent = nullptr);

    // Called when the user starts dragging from the list.
    void setDragStarter(std::function<void()> starter) { m_starter = std::move(starter); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void changeEvent(QEvent *event) override;

private:
    // One line's height as the style draws a line of text.
    void fitLineHeight();

    std::function<void()> m_starter;
};

} // namespace verna::ui

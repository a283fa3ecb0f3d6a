#pragma once

#include "analysis/yearchange.h"

#include <QObject>
#include <functional>

class QAction;
class QPoint;
class QTableView;
class QWidget;

namespace verna::ui {
class GridCommands;
}

namespace verna::analysis {

class AnalysisModel;

// The year-on-year change commands of the analysis grid: "Meziroční změna" and "Meziroční
// změna v %" (actions miMezirocniZmena and miMezirocniZmenaProcent) in the grid's context
// menu, for the current cell's column, and in the context menu of a column header. Each
// toggles the change of that indicator column: shows it, switches its kind or hides it.
class YearChangeCommands : public QObject
{
public:
    // Sets what an indicator column shows beside it (None hides it); the window runs it.
    using Toggle = std::function<void(int indicatorColumn, YearChange kind)>;

    YearChangeCommands(QWidget *window, QTableView *grid, ui::GridCommands &commands, const AnalysisModel &model, Toggle toggle);

private:
    // The indicator column the commands work on, -1 for none.
    int target() const;
    // The change shown beside the target's indicator column (given by it or by its change).
    int baseOf(int column) const;
    YearChange shownFor(int base) const;
    void toggle(YearChange kind);
    // Enables and checks the actions for the target; false when there is none.
    bool update();
    void showHeaderMenu(const QPoint &pos);

    QWidget *m_window;
    QTableView *m_grid;
    const AnalysisModel &m_model;
    Toggle m_toggle;
    QAction *m_absolute;
    QAction *m_percent;
    int m_headerColumn = -1; // while the header's menu is open
};

} // namespace verna::analysis

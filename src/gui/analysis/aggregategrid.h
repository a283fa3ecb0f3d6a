#pragma once

#include <QTableWidget>

class QTableView;

namespace verna::analysis {

class AnalysisModel;

// grdAgreg: the one-row table under the result grid with the current aggregate of each
// indicator column. Column 0 (the aggregate's name) is as wide as the grid's name and period
// columns together, every other column as wide as its indicator column, also while the user
// drags a border, and both scroll sideways together.
class AggregateGrid : public QTableWidget
{
    Q_OBJECT
public:
    AggregateGrid(QTableView *dataGrid, const AnalysisModel *model, QWidget *parent = nullptr);

    // Texts from the model's current aggregate; empty cells when there is none or no indicator.
    void refresh();
    void alignColumns();

    QString cellText(int column) const;

private:
    void scheduleRefresh();
    void followVerticalScrollBar();

    QTableView *m_dataGrid;
    const AnalysisModel *m_model;
    bool m_refreshPending = false;
};

} // namespace verna::analysis

#pragma once

#include "analysis/rowkey.h"
#include "analysis/tableexport.h"
#include "analysis/yearchange.h"
#include "indicators/indicatorunit.h"
#include "shell/childwindow.h"

#include <QHash>
#include <QWidget>
#include <memory>
#include <optional>

class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTableView;

namespace verna::ui {
class FrozenTableView;
class DragSourceList;
}

namespace verna::shell {
class AppState;
}

namespace verna::analysis {

class AggregateGrid;
class AnalysisModel;
class ChartPanel;
class EntityTree;
class PeerPanel;
class PeerZoneModel;
class ReportPanel;
class RoePanel;
struct PeerBenchmarkRow;

// The analysis window: entities dropped on its tree, periods and indicators dropped on or
// double-clicked into the result grid, aggregates under it, a chart of the selection and a
// report of the table. The table, its computation, aggregates and report live in the core;
// the window collects input and shows the result. While it fills the table it is busy: Stop
// and Esc end the fill, and drops, deletions, double-clicks, tab changes and closing are
// refused. The "Odvětví" tab and the grid's colouring compare rows with their peers.
class frmAnalyzaSubj : public QWidget, public shell::ChildWindow
{
    Q_OBJECT
public:
    explicit frmAnalyzaSubj(shell::AppState &state, QWidget *parent = nullptr);
    ~frmAnalyzaSubj() override;

    const AnalysisModel &model() const;
    bool isFilling() const;

    // Control events, as the controls raise them.
    void tvwData_OLEDragDrop(const QString &text);
    void grdData_OLEDragDrop(const QString &text, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void grdAgreg_OLEDragDrop(const QString &text);
    void tvwData_OLEStartDrag();
    void lstFunkce_OLEStartDrag();
    void lstAgregacni_OLEStartDrag();
    void lstFunkce_Click();
    void lstFunkce_DblClick();
    void lstAgregacni_DblClick();
    void cboFceSkupina_Click();
    void grdData_Delete();
    void TabStrip1_Click();
    // Builds the report of the table and shows it on the "Report" tab.
    void subReport();
    // Shows the ROE decomposition of the current row's entity on the "Rozklad ROE" tab.
    void showRoeDecomposition();
    // Shows the current row against its peers on the "Odvětví" tab, computed afresh.
    void showPeers();
    // Colours every indicator cell by its zone among the peers ("Obarvit podle odvětví"),
    // computed afresh for all rows; switched off when that fails or is stopped.
    void colourByPeers();

    // The frame's "Uložit" (and "Otevřít" on the report tab) follow the active window.
    void Form_Activate();
    void Form_Deactivate();
    void activated() override { Form_Activate(); }
    void deactivated() override { Form_Deactivate(); }
    // On the report tab: "Uložit" saves the report as "Uložit report…" does, "Otevřít" picks
    // the style sheet folder as "Složka stylů…" does.

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Session;

    void buildControls();
    QWidget *buildComputationPanel();
    void Form_Load();
    // Fills lstFunkce with the indicators of the chosen group; the reason when the read failed.
    QString fillIndicatorList();
    void updateFileItems();
    std::optional<CellRange> gridSelection() const;

    // Runs a fill of the table or tree as the window's long task (Stop, Esc; busy meanwhile).
    // Work returns the outcome; a failure is told in one message and the table keeps what
    // it had. False when the window was busy already or is gone by the end.
    template <typename Work>
    bool fill(Work &&work);
    // One message for a failed action: what did not happen, the database's reason under it.
    void showFailure(const QString &what, const QString &reason);
    void addEntities(const QList<qint32> &ids, bool expandGroups);
    void addIndicators(const QList<int> &indices);
    void applyAggregate(int index);
    // The peer figures of rows for the table's indicator columns, as a long task with the
    // given Stop button; nullopt when it did not run to its end (a failure is told).
    std::optional<QList<PeerBenchmarkRow>> benchmark(const QList<RowKey> &rows, QAbstractButton *stop,
                                                     QHash<qint32, indicators::Direction> &directions);
    void peerChoiceChanged();

    shell::AppState &m_state;
    std::shared_ptr<Session> m_session;
    int m_tab = 0;
    // The selection the chart tab shows, for its profile page.
    CellRange m_chartSelection{-1, -1, -1, -1};

    QTabBar *m_tabStrip = nullptr;
    QStackedWidget *m_frames = nullptr;
    EntityTree *m_tvwData = nullptr;
    QComboBox *m_cboFceSkupina = nullptr;
    ui::DragSourceList *m_lstFunkce = nullptr;
    QLabel *m_lblPopisFunkce = nullptr;
    ui::DragSourceList *m_lstAgregacni = nullptr;
    ui::FrozenTableView *m_grdData = nullptr;
    AggregateGrid *m_grdAgreg = nullptr;
    QPushButton *m_cmdStop = nullptr;
    ChartPanel *m_chart = nullptr;
    ReportPanel *m_report = nullptr;
    RoePanel *m_roe = nullptr;
    PeerPanel *m_peers = nullptr;
    PeerZoneModel *m_zones = nullptr;
    QAction *m_miObarvitOdvetvi = nullptr;
};

} // namespace verna::analysis

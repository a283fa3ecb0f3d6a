#include "analysis/frmanalyzasubj.h"

#include "analysis/aggregategrid.h"
#include "analysis/aggregates.h"
#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/analysismodel.h"
#include "analysis/chartdata.h"
#include "analysis/chartpanel.h"
#include "analysis/entitytree.h"
#include "analysis/evaluatorsource.h"
#include "analysis/gridselection.h"
#include "analysis/peerpanel.h"
#include "analysis/peertable.h"
#include "analysis/peerzonemodel.h"
#include "analysis/reportpanel.h"
#include "analysis/roepanel.h"
#include "analysis/yearchangecommands.h"
#include "entities/groupmembers.h"
#include "indicators/evaluator.h"
#include "indicators/indicatorstore.h"
#include "report/chartsection.h"
#include "report/reportbuilder.h"
#include "selection/payload.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/dragsourcelist.h"
#include "ui/frozentableview.h"
#include "ui/gridcommands.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

namespace verna::analysis {

using selection::Payload;

namespace {

const QString kDeleteTitle = QStringLiteral("Odstranění řádků");
const QString kDeleteColumns = QStringLiteral("Opravdu chcete vybrané sloupce odstranit?");
const QString kDeleteRows = QStringLiteral("Opravdu chcete vybrané řádky odstranit?");
const QString kListFailed = QStringLiteral("Seznam ukazatelů nelze načíst, databáze ohlásila chybu.");
const QString kRoeFailed = QStringLiteral("Rozklad ROE nelze zobrazit, databáze ohlásila chybu.");
constexpr int kIdRole = Qt::UserRole;
constexpr int kChartTab = 1;
constexpr int kReportTab = 2;
constexpr int kRoeTab = 3;
constexpr int kPeerTab = 4;
const QString kPeersFailed = QStringLiteral("Srovnání s odvětvím nelze spočítat, databáze ohlásila chybu.");
// The peer choice a new window starts with: the last one used in any window.
const QString kPeerChoiceKey = QStringLiteral("Analyza/Srovnani");

// The main window the new window will live in (the active one when there are several).
} // namespace

// Everything a fill works on. A fill holds its own reference, so a window that is gone when
// events have been processed leaves the fill a live table to finish on (it then stops).
struct frmAnalyzaSubj::Session {
    explicit Session(db::Database &database)
        : db(database)
        , model(QLocale())
        , data(database)
        , source(database)
        , engine(model, data, source)
    {
    }

    db::Database &db;
    AnalysisModel model;
    AnalysisData data;
    EvaluatorSource source;
    AnalysisEngine engine;
};

frmAnalyzaSubj::frmAnalyzaSubj(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_session(std::make_shared<Session>(state.database()))
{
    setObjectName(QStringLiteral("frmAnalyzaSubj"));
    buildControls();
    Form_Load();
}

frmAnalyzaSubj::~frmAnalyzaSubj() = default;

const AnalysisModel &frmAnalyzaSubj::model() const
{
    return m_session->model;
}

bool frmAnalyzaSubj::isFilling() const
{
    return ui::isBusy(this);
}

template <typename Work>
bool frmAnalyzaSubj::fill(Work &&work)
{
    const std::shared_ptr<Session> session = m_session;
    Outcome outcome;
    const ui::TaskEnd end = ui::runLongTask(this, m_cmdStop, [&](ui::LongTask &task) {
        session->engine.setStopCheck(task.stopCheck());
        outcome = work(*session, task);
        session->engine.setStopCheck({});
    });
    if (end == ui::TaskEnd::Refused || end == ui::TaskEnd::WindowGone)
        return false;
    // A statement that Stop cancelled needs no message: the user asked for the end.
    if (!outcome && end != ui::TaskEnd::Stopped)
        showFailure(QStringLiteral("Hodnoty analýzy nelze spočítat, databáze ohlásila chybu."), outcome.error);
    m_grdAgreg->refresh();
    // Coloured cells follow the table's new rows, columns and values.
    if (m_miObarvitOdvetvi->isChecked())
        colourByPeers();
    return true;
}

void frmAnalyzaSubj::showFailure(const QString &what, const QString &reason)
{
    ui::databaseFailure(this, windowTitle(), what, reason);
}

void frmAnalyzaSubj::buildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);

    m_tabStrip = new QTabBar(this);
    m_tabStrip->setObjectName(QStringLiteral("TabStrip1"));
    m_tabStrip->addTab(QStringLiteral("Výpočet"));
    m_tabStrip->addTab(QStringLiteral("Graf"));
    m_tabStrip->addTab(QStringLiteral("Report"));
    m_tabStrip->addTab(QStringLiteral("Rozklad ROE"));
    m_tabStrip->addTab(QStringLiteral("Odvětví"));
    m_tabStrip->setExpanding(false);
    layout->addWidget(m_tabStrip);

    // Exactly the panel of the selected tab is visible.
    m_frames = new QStackedWidget(this);
    QWidget *computation = buildComputationPanel();
    computation->setObjectName(QStringLiteral("Frame0"));
    m_frames->addWidget(computation);

    auto *chartFrame = new QWidget;
    chartFrame->setObjectName(QStringLiteral("Frame1"));
    auto *chartLayout = new QVBoxLayout(chartFrame);
    chartLayout->setContentsMargins(0, 4, 0, 0);
    m_chart = new ChartPanel(chartFrame);
    chartLayout->addWidget(m_chart);
    m_frames->addWidget(chartFrame);

    m_report = new ReportPanel;
    m_report->setObjectName(QStringLiteral("Frame2"));
    m_frames->addWidget(m_report);
    m_roe = new RoePanel(m_session->db);
    m_roe->setObjectName(QStringLiteral("Frame3"));
    m_frames->addWidget(m_roe);
    connect(m_report, &ReportPanel::peersWanted, this, [this] { subReport(); });
    connect(m_roe, &RoePanel::failed, this, [this](const QString &reason) { showFailure(kRoeFailed, reason); });
    m_peers = new PeerPanel;
    m_peers->setObjectName(QStringLiteral("Frame4"));
    m_frames->addWidget(m_peers);
    connect(m_peers, &PeerPanel::choiceChanged, this, [this] { peerChoiceChanged(); });
    layout->addWidget(m_frames, 1);

    // The profile's page, as the report would draw it, is the window's second temporary file.
    connect(m_chart, &ChartPanel::profileShown, this, [this] {
        m_report->writeProfilePage(report::profilePage(m_session->model, m_chartSelection, report::defaultClassFolder()));
    });
    connect(m_tabStrip, &QTabBar::currentChanged, this, [this] { TabStrip1_Click(); });
}

QWidget *frmAnalyzaSubj::buildComputationPanel()
{
    auto *panel = new QWidget;
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 4, 0, 0);
    auto *splitter = new QSplitter(Qt::Vertical, panel);
    splitter->setChildrenCollapsible(false);
    panelLayout->addWidget(splitter);

    auto *top = new QWidget(splitter);
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);

    m_tvwData = new EntityTree(top);
    m_tvwData->setObjectName(QStringLiteral("tvwData"));
    m_tvwData->setDragStarter([this] { tvwData_OLEStartDrag(); });
    ui::acceptTextDrops(m_tvwData, [this](const QString &text, const QPoint &) { tvwData_OLEDragDrop(text); });
    topLayout->addWidget(m_tvwData, 3);

    auto *functions = new QVBoxLayout;
    m_cboFceSkupina = new QComboBox(top);
    m_cboFceSkupina->setObjectName(QStringLiteral("cboFceSkupina"));
    connect(m_cboFceSkupina, &QComboBox::currentIndexChanged, this, [this] { cboFceSkupina_Click(); });
    m_lstFunkce = new ui::DragSourceList(top);
    m_lstFunkce->setObjectName(QStringLiteral("lstFunkce"));
    m_lstFunkce->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lstFunkce->setDragStarter([this] { lstFunkce_OLEStartDrag(); });
    connect(m_lstFunkce, &QListWidget::itemClicked, this, [this] { lstFunkce_Click(); });
    connect(m_lstFunkce, &QListWidget::itemDoubleClicked, this, [this] { lstFunkce_DblClick(); });
    functions->addWidget(m_cboFceSkupina);
    functions->addWidget(m_lstFunkce, 1);
    topLayout->addLayout(functions, 3);

    auto *aggregates = new QVBoxLayout;
    m_lblPopisFunkce = new QLabel(top);
    m_lblPopisFunkce->setTextFormat(Qt::PlainText); // a description as typed
    m_lblPopisFunkce->setObjectName(QStringLiteral("lblPopisFunkce"));
    m_lblPopisFunkce->setWordWrap(true);
    m_lblPopisFunkce->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblPopisFunkce->setFrameShape(QFrame::StyledPanel);
    m_lstAgregacni = new ui::DragSourceList(top);
    m_lstAgregacni->setObjectName(QStringLiteral("lstAgregacni"));
    m_lstAgregacni->setDragStarter([this] { lstAgregacni_OLEStartDrag(); });
    connect(m_lstAgregacni, &QListWidget::itemDoubleClicked, this, [this] { lstAgregacni_DblClick(); });
    m_cmdStop = new QPushButton(QStringLiteral("Stop"), top);
    m_cmdStop->setObjectName(QStringLiteral("cmdStop"));
    m_cmdStop->setVisible(false);
    m_cmdStop->setEnabled(false);
    aggregates->addWidget(m_lblPopisFunkce, 1);
    aggregates->addWidget(m_lstAgregacni);
    aggregates->addWidget(m_cmdStop);
    topLayout->addLayout(aggregates, 2);

    auto *bottom = new QWidget(splitter);
    auto *bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);
    // "Subjekt" and "Období" stay in view while the indicator columns scroll.
    m_grdData = new ui::FrozenTableView(2, bottom);
    m_grdData->setObjectName(QStringLiteral("grdData"));
    // One rectangle, as the grid's selection always is.
    m_grdData->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grdData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdData->horizontalHeader()->setHighlightSections(false);
    m_grdData->verticalHeader()->setDefaultSectionSize(m_grdData->fontMetrics().height() + 8);
    m_zones = new PeerZoneModel(m_session->model, this);
    m_grdData->setModel(m_zones);
    m_grdData->setColumnWidth(0, 220);
    // A double click on a header sorts the rows by its column, the next one the other way
    // round (a click selects the column); not while a fill writes into the rows.
    const auto sortBy = [this](int column, std::optional<Qt::SortOrder> order) {
        if (column < 0 || ui::isBusy(this))
            return;
        if (!order)
            order = m_grdData->sortColumn() == column && m_grdData->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        m_grdData->sortRows(column, *order);
    };
    for (QHeaderView *header : {m_grdData->horizontalHeader(), m_grdData->frozenView()->horizontalHeader()})
        connect(header, &QHeaderView::sectionDoubleClicked, this, [sortBy](int column) { sortBy(column, std::nullopt); });
    connect(m_zones, &QAbstractItemModel::rowsInserted, m_grdData, &ui::FrozenTableView::clearSortIndicator);
    // A new indicator column is as wide as its name, within reason; the user can drag it wider.
    connect(m_zones, &QAbstractItemModel::columnsInserted, this, [this](const QModelIndex &, int first, int last) {
        QHeaderView *header = m_grdData->horizontalHeader();
        for (int c = first; c <= last; ++c)
            header->resizeSection(c, std::clamp(header->sectionSizeHint(c), 80, 240));
    });
    // Copying takes the selected cells as tab-separated text; the exports write the whole
    // table with its aggregate row.
    auto *commands = new ui::GridCommands(this, m_grdData,
                                          {[this] { grdData_Delete(); },
                                           [this] {
                                               const auto range = gridSelection();
                                               return range ? rangeAsTsv(m_session->model, *range) : QString();
                                           },
                                           [this] { return analysis::exportTable(m_session->model); }});
    for (const auto &[name, text, order] : {std::tuple{"miSeraditVzestupne", "Seřadit vzestupně", Qt::AscendingOrder},
                                            std::tuple{"miSeraditSestupne", "Seřadit sestupně", Qt::DescendingOrder}}) {
        auto *sort = new QAction(QString::fromUtf8(text), this);
        sort->setObjectName(QString::fromLatin1(name));
        connect(sort, &QAction::triggered, this, [this, sortBy, order] { sortBy(m_grdData->currentIndex().column(), order); });
        commands->addMenuAction(sort, [this] { return m_grdData->currentIndex().isValid() && !ui::isBusy(this); });
    }
    m_miObarvitOdvetvi = new QAction(QStringLiteral("Obarvit podle odvětví"), this);
    m_miObarvitOdvetvi->setObjectName(QStringLiteral("miObarvitOdvetvi"));
    m_miObarvitOdvetvi->setCheckable(true);
    connect(m_miObarvitOdvetvi, &QAction::triggered, this, [this](bool on) {
        if (on)
            colourByPeers();
        else
            m_zones->clearZones();
    });
    commands->addMenuAction(m_miObarvitOdvetvi, [this] { return m_session->model.dataRowCount() > 0 && m_session->model.indicatorCount() > 0; });
    new YearChangeCommands(this, m_grdData, *commands, m_session->model, [this](int column, YearChange kind) {
        fill([column, kind](Session &s, ui::LongTask &) { return s.engine.setYearChange(column, kind); });
    });
    // An empty change cell tells why; no query runs in the middle of a fill.
    m_session->model.setMissingReason([window = QPointer<frmAnalyzaSubj>(this), reasons = evaluatorReasons(m_session->db)](int id, const RowKey &period) {
        return window && !ui::isBusy(window) ? reasons(id, period) : Result<QString>{};
    });
    ui::acceptTextDrops(m_grdData, ui::ModifiedTextDropHandler([this](const QString &text, const QPoint &, Qt::KeyboardModifiers modifiers) {
                            grdData_OLEDragDrop(text, modifiers);
                        }));
    m_grdAgreg = new AggregateGrid(m_grdData, &m_session->model, bottom);
    ui::acceptTextDrops(m_grdAgreg, [this](const QString &text, const QPoint &) { grdAgreg_OLEDragDrop(text); });
    bottomLayout->addWidget(m_grdData, 1);
    bottomLayout->addWidget(m_grdAgreg);

    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    return panel;
}

void frmAnalyzaSubj::Form_Load()
{
    shell::frmHlavni::sizeChild(this, 0.7, 0.4, QSize(900, 560));

    {
        const QSignalBlocker blocker(m_cboFceSkupina);
        m_cboFceSkupina->clear();
        m_cboFceSkupina->addItem(QStringLiteral("Vše"), 0);
        const auto groups = m_session->data.indicatorGroups();
        for (const NamedId &group : groups.value)
            m_cboFceSkupina->addItem(group.name, group.id);
        m_cboFceSkupina->setCurrentIndex(0);
        const QString listFailure = fillIndicatorList();
        // One message for the load, once the window is in its frame and carries its caption.
        if (const QString reason = groups.ok() ? listFailure : groups.error; !reason.isEmpty())
            QTimer::singleShot(0, this, [this, reason] { showFailure(kListFailed, reason); });
    }
    const auto groups = m_session->data.entityGroups();
    m_peers->setGroups(groups.value);
    m_peers->setChoice(PeerChoice::parse(QSettings().value(kPeerChoiceKey).toString()).value_or(PeerChoice{}));
    if (!groups.ok())
        QTimer::singleShot(0, this, [this, reason = groups.error] { showFailure(QStringLiteral("Skupiny subjektů nelze načíst, databáze ohlásila chybu."), reason); });
    m_lblPopisFunkce->clear();
    m_lstAgregacni->clear();
    m_lstAgregacni->addItems(aggregateNames());
    m_tab = 0;
    m_frames->setCurrentIndex(0);
}

void frmAnalyzaSubj::Form_Activate()
{
    if (shell::frmHlavni *main = shell::frmHlavni::of(this))
        main->setSaveItem(true, QStringLiteral("vykaz"));
}

void frmAnalyzaSubj::Form_Deactivate()
{
    if (shell::frmHlavni *main = shell::frmHlavni::of(this)) {
        main->setSaveItem(false);
        main->setOpenItemEnabled(false);
    }
}

void frmAnalyzaSubj::updateFileItems()
{
    shell::frmHlavni *main = shell::frmHlavni::of(this);
    if (!main)
        return;
    const bool report = m_tab == kReportTab;
    main->setSaveItem(true, report ? QStringLiteral("report") : QStringLiteral("vykaz"));
    main->setOpenItemEnabled(report);
}

void frmAnalyzaSubj::TabStrip1_Click()
{
    const int index = m_tabStrip->currentIndex();
    if (index == m_tab)
        return;
    // The chart and the report read the table that a fill is still changing.
    if (ui::isBusy(this)) {
        const QSignalBlocker blocker(m_tabStrip);
        m_tabStrip->setCurrentIndex(m_tab);
        return;
    }
    m_tab = index;
    m_frames->setCurrentIndex(index);
    updateFileItems();
    if (index == kChartTab) {
        // Nothing selected charts the whole table.
        m_chartSelection = gridSelection().value_or(CellRange{-1, -1, -1, -1});
        m_chart->setCaption(windowTitle());
        m_chart->setData(chartData(m_session->model, m_chartSelection));
    } else if (index == kReportTab) {
        subReport();
    } else if (index == kRoeTab) {
        showRoeDecomposition();
    } else if (index == kPeerTab) {
        showPeers();
    }
}

std::optional<QList<PeerBenchmarkRow>> frmAnalyzaSubj::benchmark(const QList<RowKey> &rows, QAbstractButton *stop,
                                                                 QHash<qint32, indicators::Direction> &directions)
{
    const std::shared_ptr<Session> session = m_session;
    const QList<int> ids = peertable::columns(session->model).ids;
    const PeerChoice choice = m_peers->choice();
    Result<QList<PeerBenchmarkRow>> figures;
    Result<QHash<qint32, indicators::IndicatorUnit>> units;
    // Other peers chosen meanwhile would be shown the figures of these.
    m_peers->setChoiceEnabled(false);
    const ui::TaskEnd end = ui::runLongTask(this, stop, [&](ui::LongTask &task) {
        units = indicators::IndicatorStore(session->db).units();
        if (!units.ok() || task.stopped())
            return;
        PeerBenchmark peers(session->db, session->source);
        peers.setStopCheck(task.stopCheck());
        figures = peers.compute(rows, ids, choice);
    });
    if (end == ui::TaskEnd::WindowGone)
        return std::nullopt;
    m_peers->setChoiceEnabled(true);
    if (end != ui::TaskEnd::Finished)
        return std::nullopt;
    if (const QString error = units.ok() ? figures.error : units.error; !error.isEmpty()) {
        showFailure(kPeersFailed, error);
        return std::nullopt;
    }
    directions.clear();
    for (auto it = units.value.cbegin(); it != units.value.cend(); ++it)
        directions.insert(it.key(), it.value().direction);
    return figures.value;
}

void frmAnalyzaSubj::showPeers()
{
    const AnalysisModel &model = m_session->model;
    // Groups made since the window opened are offered too.
    {
        const ui::BusyGuard busy(this);
        if (const auto groups = m_session->data.entityGroups(); groups.ok())
            m_peers->setGroups(groups.value);
    }
    m_peers->setWindowTitle(windowTitle() + QStringLiteral(" – odvětví"));
    if (model.dataRowCount() == 0 || peertable::columns(model).ids.isEmpty()) {
        m_peers->showNote(QStringLiteral("Přidejte do tabulky analýzy řádek a ukazatel; zde se pak zobrazí srovnání aktuálního řádku "
                                         "s podniky odvětví."));
        return;
    }
    const QModelIndex current = m_grdData->currentIndex();
    const int row = current.isValid() && current.row() < model.dataRowCount() ? current.row() : 0;
    const RowKey key = model.rowKey(row);
    const QString name = model.entityName(row);
    const peertable::Columns columns = peertable::columns(model);
    QHash<qint32, indicators::Direction> directions;
    const QPointer<frmAnalyzaSubj> alive(this);
    const std::optional<QList<PeerBenchmarkRow>> figures = benchmark({key}, m_peers->stopButton(), directions);
    if (!alive)
        return;
    if (!figures || figures->isEmpty()) {
        m_peers->showNote(QStringLiteral("Srovnání nebylo spočítáno."));
        return;
    }
    m_peers->showRow(name, figures->front(), columns.names, directions, model.locale());
}

void frmAnalyzaSubj::colourByPeers()
{
    const QPointer<frmAnalyzaSubj> alive(this);
    QHash<qint32, indicators::Direction> directions;
    const std::optional<QList<PeerBenchmarkRow>> figures = benchmark(m_session->model.rowKeys(), m_cmdStop, directions);
    if (!alive)
        return;
    if (!figures) {
        m_miObarvitOdvetvi->setChecked(false);
        m_zones->clearZones();
        return;
    }
    m_zones->setZones(*figures, directions);
}

void frmAnalyzaSubj::peerChoiceChanged()
{
    QSettings().setValue(kPeerChoiceKey, m_peers->choice().toString());
    if (m_tab == kPeerTab)
        showPeers();
    if (m_miObarvitOdvetvi->isChecked())
        colourByPeers();
}

void frmAnalyzaSubj::showRoeDecomposition()
{
    // Its reads let events through: the window must not close, nor its rows change, beneath them.
    const ui::BusyGuard busy(this);
    const AnalysisModel &model = m_session->model;
    const QModelIndex current = m_grdData->currentIndex();
    const int row = current.isValid() && current.row() < model.dataRowCount() ? current.row() : 0;
    if (row >= model.dataRowCount())
        return;
    const RowKey key = model.rowKey(row);
    // Two selected rows of one entity are the pair; else the current row and a year before.
    auto [a, b] = defaultRoePeriods(key);
    if (const auto range = gridSelection(); range && range->bottom - range->top == 1 && range->bottom < model.dataRowCount()) {
        const RowKey first = model.rowKey(range->top);
        const RowKey second = model.rowKey(range->bottom);
        if (first.entity == second.entity && first.entity == key.entity) {
            const bool ordered = std::pair(first.year, first.quarter) < std::pair(second.year, second.quarter);
            a = ordered ? first : second;
            b = ordered ? second : first;
        }
    }
    const Result<QList<RowKey>> periods = m_session->data.rowPeriods({key.entity}, 1000, 9999);
    if (!periods.ok()) {
        showFailure(kRoeFailed, periods.error);
        return;
    }
    if (const QString reason = m_roe->showEntity(model.entityName(row), periods.value, a, b); !reason.isEmpty())
        showFailure(kRoeFailed, reason);
}

void frmAnalyzaSubj::subReport()
{
    if (ui::isBusy(this))
        return;
    // Rows the evaluator left empty are no part of a report, as no part of an aggregate.
    if (m_session->model.purgeIncompleteRows() > 0) {
        m_session->engine.reapplyAggregate(false);
        m_grdAgreg->refresh();
    }
    const CellRange selection = gridSelection().value_or(CellRange{-1, -1, -1, -1});
    const QModelIndex current = m_grdData->currentIndex();
    const int currentRow = current.isValid() ? current.row() : -1;
    const std::shared_ptr<Session> session = m_session;
    const std::optional<PeerChoice> peers = m_report->wantsPeers() ? std::optional(m_peers->choice()) : std::nullopt;
    const QString failure = m_report->subReport([session, selection, currentRow, peers](const QString &classFolder) {
        indicators::Evaluator evaluator(session->db);
        report::ReportBuilder builder(session->db, evaluator);
        builder.setPeerChoice(peers);
        return builder.build(session->model, selection, classFolder, currentRow);
    });
    if (!failure.isEmpty())
        showFailure(QStringLiteral("Report nelze sestavit, databáze ohlásila chybu."), failure);
}

void frmAnalyzaSubj::showEvent(QShowEvent *event)
{
    // The report's files are named after the caption the window opened with, for good.
    m_report->fixFiles(windowTitle());
    QWidget::showEvent(event);
}

void frmAnalyzaSubj::cboFceSkupina_Click()
{
    const ui::BusyGuard busy(this);
    if (const QString reason = fillIndicatorList(); !reason.isEmpty())
        showFailure(kListFailed, reason);
}

QString frmAnalyzaSubj::fillIndicatorList()
{
    m_lstFunkce->clear();
    const auto indicators = m_session->data.indicators(m_cboFceSkupina->currentData().toInt());
    for (const NamedId &indicator : indicators.value) {
        auto *item = new QListWidgetItem(indicator.name);
        item->setData(kIdRole, indicator.id);
        m_lstFunkce->addItem(item);
    }
    return indicators.error;
}

void frmAnalyzaSubj::lstFunkce_Click()
{
    const QListWidgetItem *item = m_lstFunkce->currentItem();
    if (!item)
        return;
    const ui::BusyGuard busy(this);
    const auto description = m_session->data.indicatorDescription(item->data(kIdRole).toInt());
    m_lblPopisFunkce->setText(description.value);
    if (!description.ok())
        showFailure(QStringLiteral("Popis ukazatele nelze načíst, databáze ohlásila chybu."), description.error);
}

void frmAnalyzaSubj::lstFunkce_DblClick()
{
    if (ui::isBusy(this) || m_lstFunkce->currentRow() < 0)
        return;
    addIndicators({m_lstFunkce->currentRow()});
}

void frmAnalyzaSubj::lstAgregacni_DblClick()
{
    if (ui::isBusy(this) || m_lstAgregacni->currentRow() < 0)
        return;
    applyAggregate(m_lstAgregacni->currentRow());
}

void frmAnalyzaSubj::tvwData_OLEStartDrag()
{
    if (ui::isBusy(this))
        return;
    const QString payload = Payload::analysisNode(m_tvwData->selectedKey());
    if (!payload.isEmpty())
        ui::startTextDrag(m_tvwData, payload);
}

void frmAnalyzaSubj::lstFunkce_OLEStartDrag()
{
    if (ui::isBusy(this))
        return;
    QList<int> selected;
    for (const QListWidgetItem *item : m_lstFunkce->selectedItems())
        selected << m_lstFunkce->row(item);
    std::sort(selected.begin(), selected.end());
    const QString payload = selected.size() > 1 ? Payload::indicatorsSeveral(selected)
                                                : Payload::indicatorOne(selected.isEmpty() ? -1 : selected.front());
    if (!payload.isEmpty())
        ui::startTextDrag(m_lstFunkce, payload);
}

void frmAnalyzaSubj::lstAgregacni_OLEStartDrag()
{
    if (ui::isBusy(this))
        return;
    const QString payload = Payload::aggregate(m_lstAgregacni->currentRow());
    if (!payload.isEmpty())
        ui::startTextDrag(m_lstAgregacni, payload);
}

void frmAnalyzaSubj::tvwData_OLEDragDrop(const QString &text)
{
    if (ui::isBusy(this))
        return;
    const auto payload = Payload::parse(text);
    if (const auto drop = payload ? payload->entityDrop(Payload::Kind::TreeNode) : std::nullopt)
        addEntities(drop->ids, drop->expandGroups);
}

void frmAnalyzaSubj::grdData_OLEDragDrop(const QString &text, Qt::KeyboardModifiers modifiers)
{
    if (ui::isBusy(this))
        return;
    const auto payload = Payload::parse(text);
    if (!payload)
        return;
    switch (payload->kind()) {
    case Payload::Kind::AnalysisNode: {
        const selection::NodeKey key = payload->node();
        if (key.kind == QLatin1String("SQ") && modifiers == Qt::ControlModifier) {
            const QList<qint32> entities = m_tvwData->entities();
            fill([key, entities](Session &s, ui::LongTask &) {
                return s.engine.addPeriodForEntities(key.year, key.quarter, entities).outcome();
            });
            break;
        }
        if (key.kind != QLatin1String("SU") && key.kind != QLatin1String("SY") && key.kind != QLatin1String("SQ"))
            break;
        fill([key](Session &s, ui::LongTask &) {
            // Rows of an entity deleted meanwhile would have no name: only live entities get rows.
            const auto identity = s.data.entityIdentity(key.id);
            if (!identity.ok() || !identity.value)
                return identity.outcome();
            if (key.kind == QLatin1String("SU"))
                return s.engine.addEntityRows(key.id).outcome();
            if (key.kind == QLatin1String("SY"))
                return s.engine.addYearRows(key.id, key.year).outcome();
            return s.engine.addRow(RowKey{key.year, key.quarter, key.id}).outcome();
        });
        break;
    }
    case Payload::Kind::IndicatorOne:
    case Payload::Kind::IndicatorsSeveral:
        addIndicators(payload->indices());
        break;
    case Payload::Kind::Aggregate:
        applyAggregate(payload->indices().front());
        break;
    default:
        break;
    }
}

void frmAnalyzaSubj::grdAgreg_OLEDragDrop(const QString &text)
{
    if (ui::isBusy(this))
        return;
    const auto payload = Payload::parse(text);
    if (payload && payload->kind() == Payload::Kind::Aggregate)
        applyAggregate(payload->indices().front());
}

void frmAnalyzaSubj::addEntities(const QList<qint32> &ids, bool expandGroups)
{
    fill([this, ids, expandGroups](Session &s, ui::LongTask &task) {
        for (qint32 id : ids) {
            if (task.stopped())
                return Outcome::success();
            const Result<QList<qint32>> entities = entities::entitiesToAdd(s.db, id, expandGroups);
            if (!entities.ok())
                return entities.outcome();
            for (qint32 entity : entities.value) {
                // Each database call may have let the window go.
                if (task.stopped())
                    return Outcome::success();
                if (m_tvwData->hasEntity(entity))
                    continue;
                const auto nodes = readEntityNodes(s.data, entity, task.stopCheck());
                if (!nodes.ok())
                    return nodes.outcome();
                if (task.stopped())
                    return Outcome::success();
                if (nodes.value)
                    m_tvwData->addEntity(*nodes.value);
            }
        }
        return Outcome::success();
    });
}

void frmAnalyzaSubj::addIndicators(const QList<int> &indices)
{
    // Every index must name an item before any column is added.
    QList<NamedId> columns;
    for (int index : indices) {
        const QListWidgetItem *item = m_lstFunkce->item(index);
        if (!item)
            return;
        columns.append({item->text(), item->data(kIdRole).toInt()});
    }
    fill([columns](Session &s, ui::LongTask &task) {
        for (const NamedId &column : columns) {
            if (task.stopped())
                break;
            if (const Outcome added = s.engine.addIndicator(column.id, column.name); !added)
                return added;
        }
        return Outcome::success();
    });
}

void frmAnalyzaSubj::applyAggregate(int index)
{
    const auto aggregate = aggregateFromIndex(index);
    if (ui::isBusy(this) || !aggregate || index >= m_lstAgregacni->count())
        return;
    m_session->engine.applyAggregate(*aggregate, true);
    m_grdAgreg->refresh();
}

std::optional<CellRange> frmAnalyzaSubj::gridSelection() const
{
    return selectedRange(m_grdData->selectionModel());
}

void frmAnalyzaSubj::grdData_Delete()
{
    if (ui::isBusy(this))
        return;
    const auto range = gridSelection();
    if (!range)
        return;
    AnalysisModel &model = m_session->model;
    const DeleteRequest request = deleteRequest(*range, model.dataRowCount(), model.indicatorCount());
    switch (request.kind) {
    case DeleteRequest::AllIndicators:
        if (!ui::askYesNo(this, kDeleteTitle, kDeleteColumns))
            return;
        model.removeAllIndicators();
        break;
    case DeleteRequest::Rows:
        if (!ui::askYesNo(this, kDeleteTitle, kDeleteRows))
            return;
        model.removeDataRows(request.first, request.last);
        break;
    case DeleteRequest::Indicators:
        if (!ui::askYesNo(this, kDeleteTitle, kDeleteColumns))
            return;
        model.removeIndicators(request.first, request.last);
        break;
    case DeleteRequest::None:
        return;
    }
    m_grdData->clearSelection();
    m_session->engine.reapplyAggregate(true);
    m_grdAgreg->refresh();
}

} // namespace verna::analysis

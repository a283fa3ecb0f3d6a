#include "analysis/aggregategrid.h"

#include "analysis/aggregates.h"
#include "analysis/analysismodel.h"
#include "ui/busyguard.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

namespace verna::analysis {

namespace {

// Shows and hides of the grid's vertical scroll bar, which narrows its viewport.
class ScrollBarWatcher : public QObject
{
public:
    ScrollBarWatcher(QObject *parent, std::function<void()> changed)
        : QObject(parent)
        , m_changed(std::move(changed))
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            m_changed();
        return false;
    }

private:
    std::function<void()> m_changed;
};

} // namespace

AggregateGrid::AggregateGrid(QTableView *dataGrid, const AnalysisModel *model, QWidget *parent)
    : QTableWidget(1, 1, parent)
    , m_dataGrid(dataGrid)
    , m_model(model)
{
    setObjectName(QStringLiteral("grdAgreg"));
    horizontalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setVerticalHeaderLabels({QString()});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setRowHeight(0, m_dataGrid->verticalHeader()->defaultSectionSize());
    setFixedHeight(rowHeight(0) + 2 * frameWidth());

    connect(m_dataGrid->horizontalHeader(), &QHeaderView::sectionResized, this, &AggregateGrid::alignColumns);
    connect(m_dataGrid->verticalHeader(), &QHeaderView::geometriesChanged, this, &AggregateGrid::alignColumns);
    QScrollBar *ours = horizontalScrollBar();
    QScrollBar *theirs = m_dataGrid->horizontalScrollBar();
    connect(theirs, &QScrollBar::valueChanged, ours, &QScrollBar::setValue);
    connect(ours, &QScrollBar::valueChanged, theirs, &QScrollBar::setValue);
    m_dataGrid->verticalScrollBar()->installEventFilter(new ScrollBarWatcher(this, [this] { followVerticalScrollBar(); }));

    connect(m_model, &AnalysisModel::aggregateChanged, this, &AggregateGrid::scheduleRefresh);
    connect(m_model, &QAbstractItemModel::columnsInserted, this, &AggregateGrid::scheduleRefresh);
    connect(m_model, &QAbstractItemModel::columnsRemoved, this, &AggregateGrid::scheduleRefresh);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &AggregateGrid::scheduleRefresh);
    refresh();
}

void AggregateGrid::scheduleRefresh()
{
    // During a fill the aggregate is recomputed after every row; the screen needs it less often.
    if (!ui::isBusy(ui::ownerWindow(this))) {
        refresh();
        return;
    }
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        refresh();
    });
}

void AggregateGrid::refresh()
{
    const int indicators = m_model->indicatorCount();
    setColumnCount(1 + indicators);
    const auto aggregate = m_model->currentAggregate();
    // Without an indicator column there is nothing to aggregate: the row stays empty.
    const bool shown = aggregate && indicators > 0;
    const QStringList cells = shown ? m_model->aggregateRow() : QStringList();

    auto *name = new QTableWidgetItem(shown ? aggregateNames().value(static_cast<int>(*aggregate)) : QString());
    QFont bold = font();
    bold.setBold(true);
    name->setFont(bold);
    name->setFlags(Qt::ItemIsEnabled);
    setItem(0, 0, name);
    for (int c = 0; c < indicators; ++c) {
        auto *cell = new QTableWidgetItem(cells.value(c));
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(0, c + 1, cell);
    }
    alignColumns();
}

void AggregateGrid::alignColumns()
{
    // The width the grid gives its row header (its size hint within its limits), also before
    // the grid has laid itself out again.
    const QHeaderView *rows = m_dataGrid->verticalHeader();
    const int rowHeader = rows->isHidden() ? 0 : std::min(std::max(rows->minimumWidth(), rows->sizeHint().width()), rows->maximumWidth());
    verticalHeader()->setFixedWidth(rowHeader);
    setColumnWidth(0, m_dataGrid->columnWidth(0) + m_dataGrid->columnWidth(1));
    for (int c = 1; c < columnCount(); ++c)
        setColumnWidth(c, m_dataGrid->columnWidth(c + 1));
    horizontalScrollBar()->setValue(m_dataGrid->horizontalScrollBar()->value());
}

void AggregateGrid::followVerticalScrollBar()
{
    // The same viewport width keeps the columns in line up to the right end.
    setVerticalScrollBarPolicy(m_dataGrid->verticalScrollBar()->isVisible() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

QString AggregateGrid::cellText(int column) const
{
    const QTableWidgetItem *cell = item(0, column);
    return cell ? cell->text() : QString();
}

} // namespace verna::analysis

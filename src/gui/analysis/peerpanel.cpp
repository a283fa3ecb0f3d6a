#include "analysis/peerpanel.h"

#include "analysis/gridselection.h"
#include "analysis/peerboxchart.h"
#include "analysis/peertable.h"
#include "ui/gridcommands.h"
#include "ui/messages.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace verna::analysis {

PeerPanel::PeerPanel(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    auto *top = new QHBoxLayout;
    m_lblOdvetvi = new QLabel(this);
    m_lblOdvetvi->setObjectName(QStringLiteral("lblOdvetvi"));
    m_lblOdvetvi->setWordWrap(true);
    auto *choiceLabel = new QLabel(QStringLiteral("Srovnat s:"), this);
    m_cboSrovnani = new QComboBox(this);
    m_cboSrovnani->setObjectName(QStringLiteral("cboSrovnani"));
    m_cboSrovnani->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    choiceLabel->setBuddy(m_cboSrovnani);
    m_cmdStop = new QPushButton(QStringLiteral("Stop"), this);
    m_cmdStop->setObjectName(QStringLiteral("cmdStopOdvetvi"));
    m_cmdStop->setVisible(false);
    m_cmdStop->setEnabled(false);
    top->addWidget(m_lblOdvetvi, 1);
    top->addWidget(choiceLabel);
    top->addWidget(m_cboSrovnani);
    top->addWidget(m_cmdStop);
    layout->addLayout(top);
    setGroups({});

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);
    m_grdOdvetvi = new QTableWidget(m_splitter);
    m_grdOdvetvi->setObjectName(QStringLiteral("grdOdvetvi"));
    m_grdOdvetvi->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdOdvetvi->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grdOdvetvi->verticalHeader()->hide();
    m_grdOdvetvi->setColumnCount(static_cast<int>(peertable::header().size()));
    m_grdOdvetvi->setHorizontalHeaderLabels(peertable::header());
    m_grdOdvetvi->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_grdOdvetvi->horizontalHeader()->setStretchLastSection(true);
    m_chart = new PeerBoxChart;
    auto *scroll = new QScrollArea(m_splitter);
    scroll->setObjectName(QStringLiteral("scrOdvetviGraf"));
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_chart);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    layout->addWidget(m_splitter, 1);

    // The table copies and exports as the analysis grid does; nothing in it is deleted.
    new ui::GridCommands(this, m_grdOdvetvi, {[] {}, [this] { return selectionText(); }, [this] { return exportTable(); }});
    // The chart copies as a picture.
    m_chart->setContextMenuPolicy(Qt::CustomContextMenu);
    m_chart->setFocusPolicy(Qt::ClickFocus);
    const auto copyChart = [this] { QApplication::clipboard()->setPixmap(m_chart->grab()); };
    auto *copy = new QShortcut(QKeySequence::Copy, m_chart, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, copyChart);
    connect(m_chart, &QWidget::customContextMenuRequested, this, [this, copyChart](const QPoint &pos) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("Kopírovat graf"), this, copyChart);
        menu.exec(m_chart->mapToGlobal(pos));
    });
    connect(m_cboSrovnani, &QComboBox::currentIndexChanged, this, [this] { emit choiceChanged(); });
}

void PeerPanel::setGroups(const QList<NamedId> &groups)
{
    const QSignalBlocker quiet(m_cboSrovnani);
    const PeerChoice chosen = choice();
    m_cboSrovnani->clear();
    m_cboSrovnani->addItem(QStringLiteral("oddílem OKEČ"), PeerChoice{}.toString());
    m_cboSrovnani->addItem(QStringLiteral("sekcí OKEČ"), PeerChoice{PeerChoice::Kind::Section}.toString());
    m_cboSrovnani->addItem(QStringLiteral("všemi podniky"), PeerChoice{PeerChoice::Kind::All}.toString());
    for (const NamedId &group : groups)
        m_cboSrovnani->addItem(QStringLiteral("skupinou ") + group.name, PeerChoice{PeerChoice::Kind::Group, group.id}.toString());
    setChoice(chosen);
}

PeerChoice PeerPanel::choice() const
{
    return PeerChoice::parse(m_cboSrovnani->currentData().toString()).value_or(PeerChoice{});
}

void PeerPanel::setChoice(const PeerChoice &choice)
{
    const QSignalBlocker quiet(m_cboSrovnani);
    const int index = m_cboSrovnani->findData(choice.toString());
    m_cboSrovnani->setCurrentIndex(std::max(0, index));
}

void PeerPanel::setChoiceEnabled(bool enabled)
{
    m_cboSrovnani->setEnabled(enabled);
}

void PeerPanel::showRow(const QString &entityName, const PeerBenchmarkRow &row, const QStringList &names,
                        const QHash<qint32, indicators::Direction> &directions, const QLocale &locale)
{
    m_table = peertable::exportTable(row, entityName, names, locale);
    m_lblOdvetvi->setText(QStringLiteral("<b>%1</b>, %2 · %3 · srovnatelných podniků: %4")
                              .arg(entityName.toHtmlEscaped(), row.row.periodText(), row.peerDescription.toHtmlEscaped(),
                                   QString::number(row.peerCount)));
    const QList<QStringList> rows = m_table->rows;
    m_grdOdvetvi->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const PeerFigures &f = row.figures.at(r);
        for (int c = 0; c < rows.at(r).size(); ++c) {
            auto *item = new QTableWidgetItem(rows.at(r).at(c));
            if (c > 0 && c < peertable::kZoneColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == peertable::kZoneColumn || c == peertable::kZoneColumn - 1) {
                item->setToolTip(ui::plainToolTip(peertable::rankTip(f, row.peerDescription)));
                if (const QString colour = peertable::zoneColour(f.zone, directions.value(f.indicatorId)); !colour.isEmpty() && c == peertable::kZoneColumn) {
                    item->setBackground(QColor(colour));
                    item->setForeground(QColor(Qt::black));
                }
            }
            m_grdOdvetvi->setItem(r, c, item);
        }
    }
    m_chart->setRow(row, names, locale);
    fitTable();
}

void PeerPanel::fitTable()
{
    m_grdOdvetvi->resizeRowsToContents();
    int height = m_grdOdvetvi->horizontalHeader()->height() + 2 * m_grdOdvetvi->frameWidth();
    for (int r = 0; r < m_grdOdvetvi->rowCount(); ++r)
        height += m_grdOdvetvi->rowHeight(r);
    if (m_grdOdvetvi->horizontalScrollBar()->isVisible())
        height += m_grdOdvetvi->horizontalScrollBar()->height();
    const int total = m_splitter->height() - m_splitter->handleWidth();
    const int table = std::min(height, total / 2);
    m_splitter->setSizes({table, total - table});
}

void PeerPanel::showNote(const QString &note)
{
    m_table.reset();
    m_lblOdvetvi->setText(note.toHtmlEscaped());
    m_grdOdvetvi->setRowCount(0);
    m_chart->clear();
}

ExportTable PeerPanel::exportTable() const
{
    if (m_table)
        return *m_table;
    ExportTable empty;
    empty.sheetName = QStringLiteral("Odvětví");
    empty.header << peertable::header();
    return empty;
}

QString PeerPanel::selectionText() const
{
    const std::optional<CellRange> range = selectedRange(m_grdOdvetvi->selectionModel());
    if (!range || !m_table)
        return {};
    QList<QStringList> cells;
    for (int r = range->top; r <= range->bottom && r < m_table->rows.size(); ++r)
        cells << m_table->rows.at(r).mid(range->left, range->right - range->left + 1);
    return cellsAsTsv(cells);
}

} // namespace verna::analysis

#include "analysis/roepanel.h"

#include "analysis/roepyramid.h"
#include "analysis/tableexport.h"
#include "indicators/evaluator.h"
#include "ui/busyguard.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace verna::analysis {

RoePanel::RoePanel(db::Database &database, QWidget *parent)
    : QWidget(parent)
    , m_db(database)
    , m_evaluator(std::make_unique<indicators::Evaluator>(database))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    auto *choice = new QHBoxLayout;
    m_lblSubjekt = new QLabel(this);
    m_lblSubjekt->setTextFormat(Qt::PlainText); // a name as typed
    m_lblSubjekt->setObjectName(QStringLiteral("lblSubjekt"));
    m_cboObdobiA = new QComboBox(this);
    m_cboObdobiA->setObjectName(QStringLiteral("cboObdobiA"));
    m_cboObdobiB = new QComboBox(this);
    m_cboObdobiB->setObjectName(QStringLiteral("cboObdobiB"));
    choice->addWidget(m_lblSubjekt, 1);
    choice->addWidget(new QLabel(QStringLiteral("Období:"), this));
    choice->addWidget(m_cboObdobiA);
    choice->addWidget(new QLabel(QStringLiteral("→"), this));
    choice->addWidget(m_cboObdobiB);
    layout->addLayout(choice);

    m_picRozklad = new RoePyramid(this);
    layout->addWidget(m_picRozklad, 1);
    m_grdRozklad = new QTableWidget(this);
    m_grdRozklad->setObjectName(QStringLiteral("grdRozklad"));
    m_grdRozklad->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdRozklad->verticalHeader()->hide();
    m_grdRozklad->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_grdRozklad);
    m_lblMetoda = new QLabel(this);
    m_lblMetoda->setObjectName(QStringLiteral("lblMetoda"));
    m_lblMetoda->setWordWrap(true);
    layout->addWidget(m_lblMetoda);

    auto *copy = new QShortcut(QKeySequence::Copy, m_grdRozklad, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, [this] { QApplication::clipboard()->setText(tableText()); });
    for (QComboBox *box : {m_cboObdobiA, m_cboObdobiB}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            const ui::BusyGuard busy(ui::ownerWindow(this));
            if (const QString reason = recompute(); !reason.isEmpty())
                emit failed(reason);
        });
    }
}

RoePanel::~RoePanel() = default;

QString RoePanel::showEntity(const QString &entityName, QList<RowKey> periods, const RowKey &a, const RowKey &b)
{
    // A default period without statements is offered too: its reason is then shown.
    for (const RowKey &p : {a, b}) {
        if (!periods.contains(p))
            periods.append(p);
    }
    std::sort(periods.begin(), periods.end(), [](const RowKey &l, const RowKey &r) { return std::pair(l.year, l.quarter) < std::pair(r.year, r.quarter); });
    m_periods = periods;
    m_lblSubjekt->setText(entityName);
    {
        const QSignalBlocker blockA(m_cboObdobiA);
        const QSignalBlocker blockB(m_cboObdobiB);
        m_cboObdobiA->clear();
        m_cboObdobiB->clear();
        for (const RowKey &p : std::as_const(m_periods)) {
            m_cboObdobiA->addItem(p.periodText());
            m_cboObdobiB->addItem(p.periodText());
        }
        m_cboObdobiA->setCurrentIndex(static_cast<int>(m_periods.indexOf(a)));
        m_cboObdobiB->setCurrentIndex(static_cast<int>(m_periods.indexOf(b)));
    }
    return recompute();
}

QString RoePanel::recompute()
{
    const int a = m_cboObdobiA->currentIndex();
    const int b = m_cboObdobiB->currentIndex();
    if (a < 0 || b < 0 || a >= m_periods.size() || b >= m_periods.size())
        return {};
    const Result<RoeDecomposition> d = decomposeRoe(m_db, *m_evaluator, m_periods.at(a), m_periods.at(b));
    if (!d.ok())
        return d.error;
    m_decomposition = d.value;
    const QList<QStringList> table = d.value.table(QLocale());
    m_picRozklad->setTable(table);
    m_grdRozklad->clear();
    m_grdRozklad->setColumnCount(static_cast<int>(table.front().size()));
    m_grdRozklad->setRowCount(static_cast<int>(table.size()) - 1);
    m_grdRozklad->setHorizontalHeaderLabels(table.front());
    for (int r = 1; r < table.size(); ++r) {
        for (int c = 0; c < table.at(r).size(); ++c) {
            auto *item = new QTableWidgetItem(table.at(r).at(c));
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_grdRozklad->setItem(r - 1, c, item);
        }
    }
    // Every row in view: the table is short.
    m_grdRozklad->resizeRowsToContents();
    int height = m_grdRozklad->horizontalHeader()->height() + 2 * m_grdRozklad->frameWidth();
    for (int r = 0; r < m_grdRozklad->rowCount(); ++r)
        height += m_grdRozklad->rowHeight(r);
    m_grdRozklad->setFixedHeight(height);
    m_lblMetoda->setText(d.value.reason.isEmpty() ? QStringLiteral("Metoda rozkladu: ") + roeMethodName(d.value.method) : d.value.reason);
    return {};
}

QString RoePanel::tableText() const
{
    return m_decomposition ? cellsAsTsv(m_decomposition->table(QLocale())) : QString();
}

} // namespace verna::analysis

#include "analysis/yearchangecommands.h"

#include "analysis/analysismodel.h"
#include "ui/busyguard.h"
#include "ui/gridcommands.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

namespace verna::analysis {

YearChangeCommands::YearChangeCommands(QWidget *window, QTableView *grid, ui::GridCommands &commands, const AnalysisModel &model, Toggle toggle)
    : QObject(window)
    , m_window(window)
    , m_grid(grid)
    , m_model(model)
    , m_toggle(std::move(toggle))
{
    const auto action = [this, window](const QString &name, const QString &text, YearChange kind) {
        auto *a = new QAction(text, window);
        a->setObjectName(name);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, kind] { this->toggle(kind); });
        return a;
    };
    m_absolute = action(QStringLiteral("miMezirocniZmena"), QStringLiteral("Meziroční změna"), YearChange::Absolute);
    m_percent = action(QStringLiteral("miMezirocniZmenaProcent"), QStringLiteral("Meziroční změna v %"), YearChange::Percent);
    commands.addMenuAction(m_absolute, [this] { return update(); });
    commands.addMenuAction(m_percent, [this] { return update(); });

    QHeaderView *header = m_grid->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, &YearChangeCommands::showHeaderMenu);
}

int YearChangeCommands::target() const
{
    const int section = m_headerColumn >= 0 ? m_headerColumn : m_grid->currentIndex().column();
    const int column = section - AnalysisModel::kFixedColumns;
    return column >= 0 && column < m_model.indicatorCount() ? column : -1;
}

int YearChangeCommands::baseOf(int column) const
{
    // A change column stands for its indicator column.
    return column >= 0 && m_model.isChangeColumn(column) ? column - 1 : column;
}

YearChange YearChangeCommands::shownFor(int base) const
{
    return base >= 0 && base + 1 < m_model.indicatorCount() ? m_model.yearChange(base + 1) : YearChange::None;
}

void YearChangeCommands::toggle(YearChange kind)
{
    const int base = baseOf(target());
    if (base < 0 || ui::isBusy(m_window))
        return;
    m_toggle(base, shownFor(base) == kind ? YearChange::None : kind);
}

bool YearChangeCommands::update()
{
    const int column = target();
    const YearChange shown = shownFor(baseOf(column));
    m_absolute->setChecked(shown == YearChange::Absolute);
    m_percent->setChecked(shown == YearChange::Percent);
    const bool enabled = column >= 0 && !ui::isBusy(m_window);
    m_absolute->setEnabled(enabled);
    m_percent->setEnabled(enabled);
    return enabled;
}

void YearChangeCommands::showHeaderMenu(const QPoint &pos)
{
    QHeaderView *header = m_grid->horizontalHeader();
    m_headerColumn = header->logicalIndexAt(pos);
    if (update()) {
        QMenu menu(m_window);
        menu.addAction(m_absolute);
        menu.addAction(m_percent);
        menu.exec(header->viewport()->mapToGlobal(pos));
    }
    m_headerColumn = -1;
}

} // namespace verna::analysis

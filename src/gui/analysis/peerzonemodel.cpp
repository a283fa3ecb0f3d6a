#include "analysis/peerzonemodel.h"

#include "analysis/analysismodel.h"
#include "analysis/peertable.h"
#include "ui/messages.h"

namespace verna::analysis {

PeerZoneModel::PeerZoneModel(AnalysisModel &model, QObject *parent)
    : QIdentityProxyModel(parent)
    , m_model(model)
{
    setSourceModel(&model);
}

void PeerZoneModel::setZones(const QList<PeerBenchmarkRow> &rows, const QHash<qint32, indicators::Direction> &directions)
{
    m_marks.clear();
    for (const PeerBenchmarkRow &row : rows) {
        QHash<int, Mark> &marks = m_marks[row.row];
        for (const PeerFigures &f : row.figures) {
            const QString colour = peertable::zoneColour(f.zone, directions.value(f.indicatorId));
            marks.insert(f.indicatorId, {colour.isEmpty() ? QColor() : QColor(colour), ui::plainToolTip(peertable::rankTip(f, row.peerDescription))});
        }
    }
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole, Qt::ToolTipRole});
}

void PeerZoneModel::clearZones()
{
    setZones({}, {});
}

const PeerZoneModel::Mark *PeerZoneModel::mark(const QModelIndex &index) const
{
    const int column = index.column() - AnalysisModel::kFixedColumns;
    if (m_marks.isEmpty() || column < 0 || index.row() >= m_model.dataRowCount() || column >= m_model.indicatorCount()
        || m_model.isChangeColumn(column))
        return nullptr;
    const auto row = m_marks.constFind(m_model.rowKey(index.row()));
    if (row == m_marks.cend())
        return nullptr;
    const auto found = row->constFind(m_model.indicatorId(column));
    return found == row->cend() ? nullptr : &*found;
}

QVariant PeerZoneModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::BackgroundRole || role == Qt::ToolTipRole || role == Qt::ForegroundRole) {
        if (const Mark *m = mark(index)) {
            if (role == Qt::ToolTipRole)
                return m->tip;
            if (m->colour.isValid())
                return role == Qt::BackgroundRole ? QVariant(m->colour) : QVariant(QColor(Qt::black));
        }
    }
    return QIdentityProxyModel::data(index, role);
}

} // namespace verna::analysis

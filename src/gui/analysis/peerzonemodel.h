#pragma once

#include "analysis/peerbenchmark.h"

#include <QColor>
#include <QHash>
#include <QIdentityProxyModel>

namespace verna::analysis {

class AnalysisModel;

// The analysis table as the grid shows it: the model's cells, and when peer zones are set,
// each indicator cell's background by its zone and the indicator's direction with its rank in
// the tooltip. Zones are kept by row key and indicator, so deleted rows and columns leave no
// colour on their neighbours; change columns stay plain.
class PeerZoneModel : public QIdentityProxyModel
{
    Q_OBJECT
public:
    explicit PeerZoneModel(AnalysisModel &model, QObject *parent = nullptr);

    void setZones(const QList<PeerBenchmarkRow> &rows, const QHash<qint32, indicators::Direction> &directions);
    void clearZones();

    QVariant data(const QModelIndex &index, int role) const override;

private:
    struct Mark {
        QColor colour;
        QString tip;
    };
    const Mark *mark(const QModelIndex &index) const;

    AnalysisModel &m_model;
    QHash<RowKey, QHash<int, Mark>> m_marks;
};

} // namespace verna::analysis

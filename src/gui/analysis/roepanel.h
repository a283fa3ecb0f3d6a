#pragma once

#include "analysis/roedecomposition.h"
#include "analysis/rowkey.h"

#include <QWidget>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QTableWidget;

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::analysis {

class RoePyramid;

// The "Rozklad ROE" tab of the analysis window: for one entity and two of its periods (chosen
// in two lists), the pyramid of ROE's five factors and their table; Ctrl+C copies the table.
class RoePanel : public QWidget
{
    Q_OBJECT
public:
    explicit RoePanel(db::Database &database, QWidget *parent = nullptr);
    ~RoePanel() override;

    // Shows the entity's decomposition between a and b, offering its periods to choose from.
    // The database's reason when a read failed, else "".
    QString showEntity(const QString &entityName, QList<RowKey> periods, const RowKey &a, const RowKey &b);
    // The decomposition shown now, nullopt before the first.
    const std::optional<RoeDecomposition> &decomposition() const { return m_decomposition; }
    // The table as tab-separated text, as Ctrl+C copies it.
    QString tableText() const;

signals:
    // A read failed when the user chose another period.
    void failed(const QString &reason);

private:
    QString recompute();

    db::Database &m_db;
    std::unique_ptr<indicators::Evaluator> m_evaluator;
    QList<RowKey> m_periods;
    std::optional<RoeDecomposition> m_decomposition;
    QLabel *m_lblSubjekt = nullptr;
    QComboBox *m_cboObdobiA = nullptr;
    QComboBox *m_cboObdobiB = nullptr;
    RoePyramid *m_picRozklad = nullptr;
    QTableWidget *m_grdRozklad = nullptr;
    QLabel *m_lblMetoda = nullptr;
};

} // namespace verna::analysis

#pragma once

#include "analysis/analysisdata.h"
#include "analysis/peerbenchmark.h"
#include "analysis/tableexport.h"

#include <QLocale>
#include <QWidget>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace verna::analysis {

class PeerBoxChart;

// The "Odvětví" tab of the analysis window: where the current row's company stands among its
// peers in the period. The choice of peers (division, section, a group, all), the peer set,
// a table of each indicator's quantiles, rank and zone (coloured by the indicator's direction)
// and a box per indicator. Ctrl+C copies the selected cells, the table's menu exports it.
class PeerPanel : public QWidget
{
    Q_OBJECT
public:
    explicit PeerPanel(QWidget *parent = nullptr);

    // The groups offered as peers, after division, section and all.
    void setGroups(const QList<NamedId> &groups);
    PeerChoice choice() const;
    // Selects the choice without telling; a group no longer offered falls back to the division.
    void setChoice(const PeerChoice &choice);

    // Shows a row's figures; names and directions belong to its indicators.
    void showRow(const QString &entityName, const PeerBenchmarkRow &row, const QStringList &names,
                 const QHash<qint32, indicators::Direction> &directions, const QLocale &locale);
    // Shows no figures, only a note ("Tabulka analýzy nemá žádný řádek.").
    void showNote(const QString &note);
    // The figures shown now with their header, as the exports write them.
    ExportTable exportTable() const;

    QPushButton *stopButton() const { return m_cmdStop; }
    void setChoiceEnabled(bool enabled);

signals:
    // The user chose other peers.
    void choiceChanged();

private:
    QString selectionText() const;
    // The table as tall as its rows, within half the tab; the chart takes the rest.
    void fitTable();

    QComboBox *m_cboSrovnani = nullptr;
    QLabel *m_lblOdvetvi = nullptr;
    QSplitter *m_splitter = nullptr;
    QTableWidget *m_grdOdvetvi = nullptr;
    PeerBoxChart *m_chart = nullptr;
    QPushButton *m_cmdStop = nullptr;
    std::optional<ExportTable> m_table;
};

} // namespace verna::analysis

#pragma once

#include "analysis/indicatorsource.h"
#include "analysis/rowkey.h"
#include "db/outcome.h"
#include "indicators/indicatorunit.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace verna::db {
class Database;
}

namespace verna::analysis {

// Which companies a company-period is compared with. The company itself is always among them.
struct PeerChoice {
    enum class Kind {
        Division, // main branch in the same OKEČ division (the default)
        Section,  // main branch in the same OKEČ section (letter)
        Group,    // members of an entity group
        All,      // every company
    };
    Kind kind = Kind::Division;
    qint32 group = 0; // the group's subj_id for Kind::Group

    bool operator==(const PeerChoice &) const = default;

    // The command-line and settings form: "obor", "sekce", "skupina:ID", "vse"; nullopt otherwise.
    static std::optional<PeerChoice> parse(const QString &text);
    QString toString() const;
};

// The statistics of one indicator over the peers' values: linear interpolation between order
// statistics (as PostgreSQL's percentile_cont and QUARTILE.INC give).
namespace peerstats {
constexpr int kMinimumPeers = 5;
// p in [0, 1]; sorted ascending, not empty.
double quantile(const std::vector<double> &sorted, double p);
// Per cent of the values below value, ties counted half: 0..100.
double percentileRank(const std::vector<double> &sorted, double value);
} // namespace peerstats

// Where a value stands against the peers' quartiles.
enum class Zone {
    None,   // no value or no figures
    Below,  // below Q1
    Middle, // Q1..Q3, both included
    Above,  // above Q3
};

// How a zone reads for an indicator's direction: a good, bad or neutral place.
enum class ZoneMeaning { Neutral, Good, Bad };
ZoneMeaning zoneMeaning(Zone zone, indicators::Direction direction);

// One indicator of one company-period against its peers.
struct PeerFigures {
    int indicatorId = 0;
    QString value; // the company's value text as the analysis shows it, "" when none
    int n = 0;     // peers with a value (the company included when it has one)
    // The figures exist only when n >= kMinimumPeers; otherwise reason says why
    // ("málo srovnatelných podniků: 3", or that the company has no main branch).
    bool hasFigures = false;
    double d1 = 0, q1 = 0, median = 0, q3 = 0, d9 = 0;
    std::optional<double> rank; // percentile rank of value; none without a value or figures
    Zone zone = Zone::None;
    QString reason;
};

// The figures of one indicator from the peers' value texts ("" = none; the company's own among
// them) and the company's own value text.
PeerFigures figuresOf(int indicatorId, const QString &own, const QStringList &peerTexts);

// The peers of one company-period and its figures per indicator.
struct PeerBenchmarkRow {
    RowKey row;
    QString peerDescription; // "oddíl 29 Výroba a opravy strojů a zařízení j. n.", "skupina Moje skupina", ...
    int peerCount = 0;       // companies in the peer set with a statement in the period
    QList<PeerFigures> figures; // in the order of the indicator ids asked for
};

// Figures of company-periods against their peers. The peers' values come from the same column
// fill as the analysis table, so a peer's value is exactly what the analysis shows for it. Rows
// that share a period are filled together: the peers of all of them in one fill per period.
// Nothing is cached: a statement saved, imported or deleted shows the next time.
class PeerBenchmark
{
public:
    PeerBenchmark(db::Database &db, IndicatorSource &source);

    void setStopCheck(std::function<bool()> shouldStop) { m_shouldStop = std::move(shouldStop); }

    // The figures for each row, indicator by indicator in the given order. A failed read is an
    // error; a stop returns an error too ("Výpočet byl přerušen.").
    Result<QList<PeerBenchmarkRow>> compute(const QList<RowKey> &rows, const QList<int> &indicatorIds, const PeerChoice &choice);

    // The peer companies of an entity (whether or not they have a statement in some period), and
    // the description of the set; an entity with no main branch gets an empty list and the reason.
    struct PeerSet {
        QList<qint32> entities;
        QString description;
        QString reason;
    };
    Result<PeerSet> peers(qint32 entity, const PeerChoice &choice);

private:
    db::Database &m_db;
    IndicatorSource &m_source;
    std::function<bool()> m_shouldStop;
};

} // namespace verna::analysis

#pragma once

#include "analysis/peerbenchmark.h"

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace verna::report {

// The company-period against its peers as a report section (HTML, CR LF lines) between
// ODVETVI markers: the peer set, the table of figures with zones coloured by each indicator's
// direction, and a box per indicator as SVG. names follow row.figures; directions are keyed by
// indicator id. Texts are escaped.
QString peerSection(const analysis::PeerBenchmarkRow &row, const QStringList &names,
                    const QHash<qint32, indicators::Direction> &directions, const QLocale &locale);

} // namespace verna::report

#pragma once

#include "analysis/roedecomposition.h"

#include <QLocale>
#include <QString>

namespace verna::report {

// The ROE decomposition as a report section (HTML, CR LF lines) between ROZKLAD_ROE markers:
// a heading with both periods, the table of factors, and the method or why there is none.
// Texts are escaped.
QString roeSection(const analysis::RoeDecomposition &decomposition, const QLocale &locale);

} // namespace verna::report

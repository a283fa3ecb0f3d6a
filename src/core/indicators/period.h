#pragma once

#include "db/sqlquote.h"

#include <QString>

namespace verna::indicators {

// An entity's year and quarter as the callers pass them: text, checked before any SQL.
struct Period {
    QString entityId;
    QString year;
    QString quarter;

    bool isValid() const { return db::isId(entityId) && db::isYear(year) && db::isQuarter(quarter); }
    // The analysis row key: year, "_", quarter, "_", entity id.
    QString key() const { return year + QLatin1Char('_') + quarter + QLatin1Char('_') + entityId; }
};

} // namespace verna::indicators

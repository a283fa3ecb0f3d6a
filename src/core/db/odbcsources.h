#pragma once

#include "db/outcome.h"

#include <QList>
#include <QString>

namespace verna::db {

// One data source the ODBC driver manager knows (user or system DSN).
struct OdbcSource {
    QString name;
    QString description; // the driver's name, as the driver manager gives it
};

// The data sources of this machine, as unixODBC lists them (SQLDataSources). No sources is
// an empty list; a driver manager that cannot be asked is an error.
Result<QList<OdbcSource>> odbcDataSources();

} // namespace verna::db

#pragma once

#include "db/databaselocation.h"
#include "db/outcome.h"

#include <optional>

namespace verna::db {
class Database;
}

namespace verna::shell {

// Tables, then the reference data (code lists, sum rules, indicators) in one go.
Outcome initialiseDatabase(db::Database &database, bool replace);

// Opens what --db names, or with none the data source "finance" when configured, else the
// embedded file, which is created with reference and demo data on first use (in one go).
// A configured but unreachable "finance" fails with "Není nastaveno ODBC" and the reason.
Outcome openDatabase(db::Database &database, const std::optional<db::DatabaseLocation> &option);

// Message that tells the user that the ODBC data source cannot be used.
inline const QString kOdbcNotConfigured = QStringLiteral("Není nastaveno ODBC");

} // namespace verna::shell

#pragma once

#include "db/databaselocation.h"
#include "db/outcome.h"
#include "shell/startup.h"

#include <optional>

class QWidget;

namespace verna::db {
class Database;
}

namespace verna::shell {

// The start-up connection: opens what --db names (or the default) and checks it.
// An unusable ODBC source: "Není nastaveno ODBC" with the driver's reason, and false.
// Any other failure: says what failed and lets the user pick another database file or quit;
// false when the user quits. A data source without a login of its own asks for one first
// (logInTo); Storno there is false too. Messages go through the ui seam.
bool connectAtStartup(db::Database &database, const std::optional<db::DatabaseLocation> &option,
                      QWidget *parent = nullptr);

} // namespace verna::shell

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
// false when the user quits. Messages go through the ui seam.
bool connectAtStartup(db::Database &database, const std::optional<db::DatabaseLocation> &option,
                      QWidget *parent = nullptr);

} // namespace verna::shell

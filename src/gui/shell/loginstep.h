#pragma once

#include "db/databaselocation.h"

#include <optional>

class QWidget;

namespace verna::shell {

// The login for a place, settled before it is opened. A file and a data source that carries a
// login (in odbc.ini or a PostgreSQL password file) go on as they are, with the source's own
// login. Any other data source asks in "Přihlášení k databázi" (the name prefilled from the
// source or the last one used there) and tries each answer until one connects; nothing when
// the user gives up. The password is kept in the returned location only.
std::optional<db::DatabaseLocation> logInTo(const db::DatabaseLocation &location, QWidget *parent = nullptr);

} // namespace verna::shell

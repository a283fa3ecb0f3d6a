#pragma once

#include "db/databaselocation.h"
#include "db/outcome.h"

#include <functional>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::shell {

// Tables, then the reference data (code lists, sum rules, indicators) in one go.
Outcome initialiseDatabase(db::Database &database, bool replace);

// Opens what --db names, or with none the data source "finance" when configured, else the
// embedded file, which is created with reference and demo data on first use (in one go).
// Succeeds only on a usable VERNA database (db::checkVernaDatabase); the file is not written
// to before that check. A data source that is not set up fails with "Není nastaveno ODBC"
// and the reason; one whose server does not answer says so (kOdbcServerUnavailable).
// A first start that creates the embedded database names each step through `step` before it
// runs, so a window can show what the wait is for.
// A first start without demo data (FirstStart::Empty) gets only the reference data: a command
// that makes its own demo data or refuses the embedded file must not add the default set first.
enum class FirstStart { WithDemo, Empty };
Outcome openDatabase(db::Database &database, const std::optional<db::DatabaseLocation> &option,
                     const std::function<void(const QString &step)> &step = {}, FirstStart firstStart = FirstStart::WithDemo);

// Whether an open database can carry the windows: its code lists and statements can be read
// and the code lists hold every line of the abbreviated statement forms.
Outcome checkDatabaseUsable(db::Database &database);

// Message that tells the user that the ODBC data source cannot be used.
inline const QString kOdbcNotConfigured = QStringLiteral("Není nastaveno ODBC");
// The data source is set up, its server does not answer: %1 the data source, %2 the reason.
inline const QString kOdbcServerUnavailable = QStringLiteral("Databázový server zdroje ODBC „%1“ není dostupný: %2");

} // namespace verna::shell

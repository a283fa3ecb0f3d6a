#include "shell/loginstep.h"

#include "db/database.h"
#include "db/odbclogin.h"
#include "shell/frmprihlaseni.h"
#include "shell/recentdatabases.h"

namespace verna::shell {

std::optional<db::DatabaseLocation> logInTo(const db::DatabaseLocation &location, QWidget *parent)
{
    // A source the driver manager does not know fails on opening, with its reason.
    if (location.kind != db::DatabaseLocation::Kind::Odbc || !db::isOdbcDataSourceConfigured(location.dsn))
        return location;
    const db::LoginNeed need = db::loginNeed(location.dsn);
    if (!need.ask)
        return db::withSourceLogin(location);
    db::DatabaseLocation chosen = location;
    const QString user = need.user.isEmpty() ? RecentDatabases::lastUser(location.dsn) : need.user;
    frmPrihlaseni dialog(location.dsn, user,
                         [&chosen](const QString &name, const QString &password) {
                             chosen.user = name;
                             chosen.password = password;
                             db::Database trial;
                             return trial.open(chosen);
                         },
                         parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return chosen;
}

} // namespace verna::shell

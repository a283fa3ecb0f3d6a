#include "db/databasecheck.h"

#include "db/database.h"
#include "db/schema.h"

#include <QFileInfo>

namespace verna::db {

namespace {
// Files up to this size are checked page by page when they open (about a tenth of a second).
constexpr qint64 kQuickCheckLimit = 64LL * 1024 * 1024;
} // namespace

DatabaseInspection inspectDatabase(Database &database)
{
    DatabaseInspection out;
    QString sql;
    switch (database.backend()) {
    case Backend::SQLite:
        sql = QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite[_]%'");
        break;
    case Backend::PostgreSQL:
        sql = QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema()");
        break;
    case Backend::SqlServer:
        sql = QStringLiteral("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_SCHEMA = SCHEMA_NAME()");
        break;
    }
    const Rows tables = database.queryRows(sql);
    if (!tables.ok()) {
        out.detail = tables.error;
        out.state = tables.error.contains(QLatin1String("not a database"), Qt::CaseInsensitive) ? DatabaseState::NotSqlite
                                                                                                 : DatabaseState::Damaged;
        return out;
    }
    QStringList present;
    for (const QStringList &row : tables.rows)
        present << row.value(0).toLower();
    for (const QString &name : Schema::firstTableNames()) {
        if (!present.contains(name))
            out.missingTables << name;
    }
    if (present.isEmpty()) {
        out.state = DatabaseState::Empty;
        return out;
    }
    if (out.missingTables.size() == Schema::firstTableNames().size()) {
        // A server database may hold other applications' tables beside ours; a file may not.
        out.state = database.backend() == Backend::SQLite ? DatabaseState::Foreign : DatabaseState::Empty;
        return out;
    }
    if (!out.missingTables.isEmpty()) {
        out.state = DatabaseState::Incomplete;
        return out;
    }
    if (database.backend() == Backend::SQLite && QFileInfo(database.location().path).size() <= kQuickCheckLimit) {
        // A damaged page shows here rather than as a wrong answer in the middle of some work. The
        // check reads every page: on a large file it would make every start slow, and a damaged
        // page there is still reported as an error by the read that meets it.
        const Result<QString> check = database.readValue(QStringLiteral("PRAGMA quick_check(1)"));
        if (!check.ok() || check.value != QLatin1String("ok")) {
            out.state = DatabaseState::Damaged;
            out.detail = check.ok() ? check.value : check.error;
            return out;
        }
    }
    out.state = DatabaseState::Verna;
    return out;
}

Outcome checkVernaDatabase(Database &database)
{
    return checkVernaDatabase(database, inspectDatabase(database));
}

Outcome checkVernaDatabase(const Database &database, const DatabaseInspection &i)
{
    const QString place = database.location().describe();
    switch (i.state) {
    case DatabaseState::Verna:
        return Outcome::success();
    case DatabaseState::Empty:
        return Outcome::failure(QStringLiteral("Databáze %1 neobsahuje tabulky VERNA; založte je příkazem „verna-db --db %1 init“.").arg(place));
    case DatabaseState::Incomplete:
        return Outcome::failure(QStringLiteral("Databáze %1 není úplná databáze VERNA: chybí tabulky %2.")
                                    .arg(place, i.missingTables.join(QStringLiteral(", "))));
    case DatabaseState::Foreign:
        return Outcome::failure(QStringLiteral("Soubor %1 je databáze SQLite jiné aplikace, ne databáze VERNA.").arg(place));
    case DatabaseState::NotSqlite:
        return Outcome::failure(QStringLiteral("Soubor %1 není databáze VERNA (není to databáze SQLite).").arg(place));
    case DatabaseState::Damaged:
        break;
    }
    return Outcome::failure(QStringLiteral("Databáze %1 je poškozená a nelze ji použít: %2").arg(place, i.detail));
}

} // namespace verna::db

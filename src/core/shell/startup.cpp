#include "shell/startup.h"

#include "db/database.h"
#include "db/databasecheck.h"
#include "db/schema.h"
#include "db/transaction.h"
#include "shell/demodata.h"
#include "shell/referencedata.h"

#include <QFileInfo>

namespace verna::shell {

Outcome initialiseDatabase(db::Database &database, bool replace)
{
    db::Transaction tx(database);
    if (!tx.isActive())
        return Outcome::failure(database.lastError());
    if (Outcome created = db::Schema::create(database, replace); !created)
        return created;
    if (Outcome loaded = loadReferenceData(database); !loaded)
        return loaded;
    if (!tx.commit())
        return Outcome::failure(database.lastError());
    database.trimWriteAheadLog();
    return Outcome::success();
}

namespace {

// First start: all of it lands, or nothing does and the next start tries again.
Outcome createEmbeddedDatabase(db::Database &database, const std::function<void(const QString &step)> &step)
{
    database.useWriteAheadLog();
    db::Transaction tx(database);
    if (step)
        step(QStringLiteral("Zakládám databázi a číselníky…"));
    if (const Outcome created = initialiseDatabase(database, false); !created)
        return created;
    if (step)
        step(QStringLiteral("Vytvářím ukázková data…"));
    if (const Outcome demo = generateDemoData(database, DemoOptions()); !demo)
        return Outcome::failure(QStringLiteral("Ukázková data nelze vytvořit: ") + demo.error);
    if (!tx.commit())
        return Outcome::failure(database.lastError());
    return Outcome::success();
}

} // namespace

Outcome openDatabase(db::Database &database, const std::optional<db::DatabaseLocation> &option,
                     const std::function<void(const QString &step)> &step)
{
    const db::DatabaseLocation location = option.value_or(db::defaultDatabaseLocation());
    const bool embeddedDefault = !option && location.kind == db::DatabaseLocation::Kind::File;
    // A mistyped path must not leave an empty database behind; "verna-db init" creates files.
    if (option && location.kind == db::DatabaseLocation::Kind::File && !QFileInfo::exists(location.path))
        return Outcome::failure(QStringLiteral("Databáze %1 neexistuje; založte ji příkazem „verna-db --db %1 init“.").arg(location.describe()));
    if (const Outcome opened = database.open(location); !opened) {
        if (location.kind == db::DatabaseLocation::Kind::Odbc) {
            if (db::classifyOdbcFailure(location.dsn, opened.error) == db::OdbcFailure::ServerUnavailable)
                return Outcome::failure(kOdbcServerUnavailable.arg(location.dsn, opened.error));
            return Outcome::failure(kOdbcNotConfigured + QStringLiteral(": ") + opened.error);
        }
        return Outcome::failure(QStringLiteral("Databázi nelze otevřít (") + location.describe() + QStringLiteral("): ")
                                + opened.error);
    }
    const db::DatabaseInspection found = db::inspectDatabase(database);
    if (embeddedDefault && found.state == db::DatabaseState::Empty) {
        const Outcome created = createEmbeddedDatabase(database, step);
        if (created)
            database.trimWriteAheadLog();
        else
            database.removeCreatedFile();
        return created;
    }
    if (const Outcome usable = db::checkVernaDatabase(database, found); !usable)
        return usable;
    // A newer file is refused before anything is written to it, the journal mode included.
    if (const Outcome current = db::Schema::upgrade(database); !current)
        return current;
    database.useWriteAheadLog();
    return Outcome::success();
}

} // namespace verna::shell

#include "shell/startup.h"

#include "db/database.h"
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
    return Outcome::success();
}

Outcome openDatabase(db::Database &database, const std::optional<db::DatabaseLocation> &option)
{
    const db::DatabaseLocation location = option.value_or(db::defaultDatabaseLocation());
    const bool embeddedDefault = !option && location.kind == db::DatabaseLocation::Kind::File;
    // A mistyped path must not leave an empty database behind; "verna-db init" creates files.
    if (option && location.kind == db::DatabaseLocation::Kind::File && !QFileInfo::exists(location.path))
        return Outcome::failure(QStringLiteral("Databáze %1 neexistuje; založte ji příkazem „verna-db --db %1 init“.").arg(location.describe()));
    if (const Outcome opened = database.open(location); !opened) {
        if (location.kind == db::DatabaseLocation::Kind::Odbc)
            return Outcome::failure(kOdbcNotConfigured + QStringLiteral(": ") + opened.error);
        return Outcome::failure(QStringLiteral("Databázi nelze otevřít (") + location.describe() + QStringLiteral("): ")
                                + opened.error);
    }
    if (embeddedDefault && !db::Schema::exists(database)) {
        // First start: all of it lands, or nothing does and the next start tries again.
        db::Transaction tx(database);
        if (const Outcome created = initialiseDatabase(database, false); !created)
            return created;
        if (const Outcome demo = generateDemoData(database, DemoOptions()); !demo)
            return Outcome::failure(QStringLiteral("Ukázková data nelze vytvořit: ") + demo.error);
        if (!tx.commit())
            return Outcome::failure(database.lastError());
    }
    return Outcome::success();
}

} // namespace verna::shell

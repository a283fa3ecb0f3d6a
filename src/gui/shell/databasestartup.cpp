#include "shell/databasestartup.h"

#include "db/database.h"
#include "shell/frmhlavni.h"
#include "shell/loginstep.h"
#include "shell/startup.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QFileInfo>

namespace verna::shell {

namespace {

const QString kChooseFile = QStringLiteral("Vybrat jiný soubor...");
const QString kQuit = QStringLiteral("Ukončit");

} // namespace

bool connectAtStartup(db::Database &database, const std::optional<db::DatabaseLocation> &option, QWidget *parent)
{
    std::optional<db::DatabaseLocation> location = option;
    // A data source is logged in to first; giving up there ends the start like a refusal.
    if (const db::DatabaseLocation target = option.value_or(db::defaultDatabaseLocation());
        target.kind == db::DatabaseLocation::Kind::Odbc) {
        location = logInTo(target, parent);
        if (!location)
            return false;
    }
    for (;;) {
        Outcome outcome;
        {
            // The first start builds the database and its demo data: a small window names the step.
            ui::StepWindow progress(parent, frmHlavni::kCaption);
            outcome = openDatabase(database, location, [&progress](const QString &text) { progress.step(text); });
        }
        if (!outcome && database.location().kind == db::DatabaseLocation::Kind::Odbc) {
            QString reason = outcome.error;
            const QString prefix = kOdbcNotConfigured + QStringLiteral(": ");
            if (reason.startsWith(prefix))
                reason = reason.mid(prefix.size());
            ui::critical(parent, frmHlavni::kCaption, kOdbcNotConfigured, reason);
            return false;
        }
        if (outcome) {
            outcome = checkDatabaseUsable(database);
            if (outcome)
                return true;
        }
        // A file refused before it was opened (a missing one) is named by what was asked for.
        const QString place = location ? location->describe() : database.location().describe();
        database.close();
        const QString text = QStringLiteral("Databázi %1 nelze použít.\n\nMůžete vybrat jiný databázový soubor, "
                                            "nebo aplikaci ukončit.")
                                 .arg(place);
        for (;;) {
            if (ui::choose(parent, ui::MessageIcon::Critical, frmHlavni::kCaption, text, {kChooseFile, kQuit}, 1,
                           outcome.error)
                != 0)
                return false;
            const QString folder = QFileInfo(db::embeddedDatabasePath()).absolutePath();
            const QString path = ui::openFileName(parent, QStringLiteral("Vyberte databázi VERNA"), folder,
                                                  QStringLiteral("Databáze SQLite (*.sqlite *.db);;Všechny soubory (*)"));
            if (!path.isEmpty()) {
                location = db::DatabaseLocation::file(path);
                break;
            }
        }
    }
}

} // namespace verna::shell

#include "statements/importdialog.h"

#include "db/database.h"
#include "statements/statementimport.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QWidget>

namespace verna::statements {

namespace {

const QString kTitle = QStringLiteral("Importovat výkazy");

} // namespace

bool importStatements(QWidget *window, QAbstractButton *stopButton, db::Database &db)
{
    const QString path = ui::openFileName(window, kTitle, QString(), QStringLiteral("Výkazy (*.csv *.xlsx);;Všechny soubory (*)"));
    if (path.isEmpty())
        return false;
    ImportOptions options;
    for (;;) {
        ImportSummary summary;
        const ui::TaskEnd end = ui::runLongTask(window, stopButton, [&](ui::LongTask &task) {
            // Events run also inside the import's transaction: the database refuses what they start.
            options.progress = [&task](ImportStep step, int done, int total) {
                if (step == ImportStep::Reading) {
                    task.showProgress(QStringLiteral("Načítám soubor: %1 řádků").arg(done));
                } else {
                    const QString pass = step == ImportStep::Checking ? QStringLiteral("Kontroluji výkazy") : QStringLiteral("Ukládám výkazy");
                    task.showProgress(QStringLiteral("%1: %2 z %3").arg(pass).arg(done).arg(total));
                }
                task.next();
            };
            options.stopRequested = task.stopCheck();
            summary = StatementImport(db).importFile(path, options);
        });
        if (end == ui::TaskEnd::WindowGone || end == ui::TaskEnd::Refused)
            return false;
        const QString text = summary.lines().join(QLatin1Char('\n'));
        if (summary.complete()) {
            ui::information(window, kTitle, text);
            return true;
        }
        if (summary.stopped) {
            ui::information(window, kTitle, QStringLiteral("Import byl přerušen, nic nebylo uloženo."));
            return false;
        }
        if (!summary.error.isEmpty() && summary.refusals.isEmpty()) {
            ui::critical(window, kTitle, QStringLiteral("Výkazy nelze importovat."), summary.error);
            return false;
        }
        if (!options.replace && summary.occupiedPeriods > 0
            && ui::askYesNo(window, kTitle, QStringLiteral("Některá období už mají uložené výkazy. Nahradit je výkazy ze souboru?"))) {
            options.replace = true;
            continue;
        }
        if (!options.createEntities && summary.unknownEntities > 0
            && ui::askYesNo(window, kTitle, QStringLiteral("Soubor obsahuje IČO, která v databázi nejsou. Založit pro ně subjekty?"))) {
            options.createEntities = true;
            continue;
        }
        if (!options.partial && summary.error.isEmpty()
            && ui::choose(window, ui::MessageIcon::Exclamation, kTitle, QStringLiteral("Některé výkazy nelze uložit. Uložit ty, které prošly kontrolou?"),
                          {ui::kYes, ui::kNo}, 1, text)
                == 0) {
            options.partial = true;
            continue;
        }
        ui::exclamation(window, kTitle, text);
        return summary.imported > 0;
    }
}

} // namespace verna::statements

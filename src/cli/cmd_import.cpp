#include "commandline.h"
#include "commands.h"

#include "db/database.h"
#include "statements/statementimport.h"

namespace verna::cli {

namespace {

const char *const kImportUsage = "Použití: verna-db import SOUBOR [--partial] [--replace] [--create-entities]\n";

} // namespace

// Reads statement pairs from a CSV or XLSX file, prints a summary and each refused statement.
// Exit 0 only when the whole file was imported.
int commandImport(const Options &options, QTextStream &out, QTextStream &err)
{
    statements::ImportOptions o;
    QString path;
    for (const QString &a : options.rest) {
        if (a == QLatin1String("--partial")) {
            o.partial = true;
        } else if (a == QLatin1String("--replace")) {
            o.replace = true;
        } else if (a == QLatin1String("--create-entities")) {
            o.createEntities = true;
        } else if (a.startsWith(QLatin1String("--")) || !path.isEmpty()) {
            err << "Neznámá volba příkazu import: " << a << "\n" << kImportUsage;
            return UsageError;
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) {
        err << "Příkaz import potřebuje soubor CSV nebo XLSX.\n" << kImportUsage;
        return UsageError;
    }
    db::Database database;
    if (!openDatabase(database, options, err))
        return DatabaseError;
    const statements::ImportSummary summary = statements::StatementImport(database).importFile(path, o);
    // The counts go to stdout; why the import failed, and every refusal, to stderr.
    const QStringList lines = summary.lines();
    const qsizetype counts = (summary.error.isEmpty() ? 0 : 1) + (summary.stopped ? 1 : 0);
    for (qsizetype i = 0; i < lines.size(); ++i)
        (i == counts ? out : err) << lines.at(i) << "\n";
    return summary.complete() ? Success : DatabaseError;
}

} // namespace verna::cli

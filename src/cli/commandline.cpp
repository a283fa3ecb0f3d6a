#include "commandline.h"
#include "commands.h"

#include "db/database.h"
#include "db/databaselocation.h"
#include "db/schema.h"
#include "shell/startup.h"

#include <QHash>
#include <optional>

namespace verna::cli {

namespace {

const char *const kUsage =
    "Použití: verna-db [--db CESTA | --db odbc:DSN] PŘÍKAZ [VOLBY]\n"
    "\n"
    "Příkazy:\n"
    "  init [--force]          založí tabulky (s --force nahradí existující) a naplní číselníky\n"
    "  sql \"T-SQL\"             provede dávku v jedné transakci a vypíše řádky výsledku\n"
    "  demo [--entities N] [--seed S] [--years A-B] [--quarters Q1-Q2]\n"
    "                          vytvoří ukázkové subjekty, skupiny a výkazy (stejné semínko, stejná data)\n"
    "  analyze (--entities ID,ID | --group ID) (--periods 1998/4,1999/1 | --years 1998-1999)\n"
    "          --indicators ID,ID [--aggregate 0|1|2] [--csv SOUBOR] [--xlsx SOUBOR]\n"
    "                          vypočte tabulku analýzy a vypíše ji jako CSV (agregace: 0 průměr, 1 suma, 2 medián)\n"
    "  eval --entity E --year R --quarter Q (--indicator ID | --formula VZOREC) [--sql]\n"
    "                          spočte ukazatel nebo vzorec pro subjekt a období (s --sql vypíše i dotazy)\n"
    "\n"
    "Bez --db se použije zdroj ODBC \"finance\", je-li nastaven, jinak vestavěná databáze.\n";

// Parses the global options and the command; nullopt with a message on a usage error.
std::optional<Options> parseOptions(const QStringList &arguments, QTextStream &err)
{
    Options o;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (o.command.isEmpty() && (a == QLatin1String("--db") || a.startsWith(QLatin1String("--db=")))) {
            QString value;
            if (a == QLatin1String("--db")) {
                if (i + 1 >= arguments.size()) {
                    err << "Volba --db potřebuje cestu nebo odbc:DSN.\n";
                    return std::nullopt;
                }
                value = arguments.at(++i);
            } else {
                value = a.mid(5);
            }
            o.location = db::parseDatabaseOption(value);
            if (!o.location) {
                err << "Neplatná hodnota volby --db: " << value << "\n";
                return std::nullopt;
            }
        } else if (o.command.isEmpty()) {
            o.command = a;
        } else {
            o.rest << a;
        }
    }
    return o;
}

void printRow(QTextStream &out, const QStringList &row)
{
    out << row.join(QLatin1Char('\t')) << '\n';
}

} // namespace

int commandInit(const Options &o, QTextStream &out, QTextStream &err)
{
    bool force = false;
    for (const QString &a : o.rest) {
        if (a == QLatin1String("--force")) {
            force = true;
        } else {
            err << "Neznámá volba příkazu init: " << a << "\n" << kUsage;
            return UsageError;
        }
    }
    const db::DatabaseLocation location = o.location.value_or(db::defaultDatabaseLocation());
    db::Database database;
    if (const Outcome opened = database.open(location); !opened) {
        err << "Databázi nelze otevřít (" << location.describe() << "): " << opened.error << "\n";
        return DatabaseError;
    }
    if (db::Schema::exists(database) && !force) {
        err << "Databáze " << location.describe() << " už tabulky VERNA obsahuje; pro jejich nahrazení použijte --force.\n";
        return DatabaseError;
    }
    if (const Outcome created = shell::initialiseDatabase(database, force); !created) {
        err << created.error << "\n";
        return DatabaseError;
    }
    out << "Databáze " << location.describe() << " je připravena.\n";
    return Success;
}

int commandSql(const Options &o, QTextStream &out, QTextStream &err)
{
    if (o.rest.size() != 1) {
        err << "Příkaz sql potřebuje právě jeden text dávky T-SQL.\n" << kUsage;
        return UsageError;
    }
    db::Database database;
    if (const Outcome opened = shell::openDatabase(database, o.location); !opened) {
        err << opened.error << "\n";
        return DatabaseError;
    }
    const Outcome result = database.execute(o.rest.front(), [&out](const QStringList &row) { printRow(out, row); });
    if (!result) {
        err << "Chyba databáze: " << result.error << "\n";
        return DatabaseError;
    }
    return Success;
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const std::optional<Options> options = parseOptions(arguments, err);
    if (!options)
        return UsageError;
    if (options->command.isEmpty() || options->command == QLatin1String("--help") || options->command == QLatin1String("help")) {
        (options->command.isEmpty() ? err : out) << kUsage;
        return options->command.isEmpty() ? UsageError : Success;
    }
    static const QHash<QString, Command> commands = {
        {QStringLiteral("init"), commandInit},
        {QStringLiteral("sql"), commandSql},
        {QStringLiteral("demo"), commandDemo},
        {QStringLiteral("analyze"), commandAnalyze},
        {QStringLiteral("eval"), commandEval},
        // Further commands live in files of their own (commands.h).
    };
    const auto it = commands.find(options->command);
    if (it == commands.end()) {
        err << "Neznámý příkaz: " << options->command << "\n" << kUsage;
        return UsageError;
    }
    return it.value()(*options, out, err);
}

} // namespace verna::cli

#include "commandline.h"
#include "commands.h"

#include "db/audit.h"
#include "db/database.h"
#include "db/databasecheck.h"
#include "db/databaselocation.h"
#include "db/transaction.h"
#include "login.h"
#include "shell/startup.h"

#include <QCommandLineParser>
#include <QHash>
#include <optional>

namespace verna::cli {

namespace {

const char *const kUsage =
    "Použití: verna-db [--db CESTA | --db odbc:DSN] [--user JMÉNO] [--password-stdin] PŘÍKAZ [VOLBY]\n"
    "        verna-db --help\n"
    "\n"
    "Příkazy:\n"
    "  init [--force]          založí tabulky (s --force nahradí existující) a naplní číselníky\n"
    "  sql \"T-SQL\"             provede dávku v jedné transakci a vypíše řádky výsledku\n"
    "                          (hodnoty oddělené tabulátorem; \\t, \\n, \\r a \\\\ uvnitř hodnot)\n"
    "  demo [--entities N] [--seed S] [--years A-B] [--quarters Q1-Q2]\n"
    "                          vytvoří ukázkové subjekty, skupiny a výkazy (stejné semínko, stejná data)\n"
    "  find TEXT               vypíše id, IČO a název subjektů, jejichž název nebo IČO text obsahuje\n"
    "  analyze (--entities ID,ID|@SOUBOR|- | --ico IČO,IČO | --group ID) (--periods 1998/4,1999/1 | --years 1998-1999)\n"
    "          --indicators ID,ID [--aggregate 0|1|2] [--yoy abs|pct] [--csv SOUBOR] [--xlsx SOUBOR]\n"
    "                          vypočte tabulku analýzy a vypíše ji jako CSV (agregace: 0 průměr, 1 suma, 2 medián;\n"
    "                          --yoy přidá za každý ukazatel meziroční změnu proti stejnému čtvrtletí\n"
    "                          předchozího roku: abs rozdíl, pct v procentech, jen jsou-li obě hodnoty kladné)\n"
    "  benchmark (subjekty, období a ukazatele jako u analyze) [--peers obor|sekce|skupina:ID|vse]\n"
    "                          srovná každý ukazatel řádku s podniky téhož oddílu OKEČ (obor, výchozí), téže\n"
    "                          sekce, členy skupiny nebo všemi podniky ve stejném období a vypíše CSV:\n"
    "                          entity,period,indicator,value,n,d1,q1,median,q3,d9,rank,reason (decily, kvartily,\n"
    "                          medián a percentil subjektu; při méně než 5 hodnotách jen n a důvod)\n"
    "  report (analýza jako u analyze) --out SLOŽKA [--css SOUBOR] [--nazev NÁZEV]\n"
    "         [--sections vypocet,graf,rozvaha,vysledovka,rozklad-roe,odvetvi] [--plna-rozvaha] [--plna-vysledovka]\n"
    "         [--peers obor|sekce|skupina:ID|vse]\n"
    "                          zapíše HTML report analýzy do souboru ~NÁZEV.htm ve složce (výchozí název Analýza 1)\n"
    "  eval --entity E --year R --quarter Q (--indicator ID | --formula VZOREC) [--sql]\n"
    "                          spočte ukazatel nebo vzorec pro subjekt a období (s --sql vypíše i dotazy)\n"
    "  statement --entity E --year R --quarter Q [--type rozvaha|vysledovka]\n"
    "                          vypíše uložený výkaz jako tabulka finančních dat (kód, řádek, částka)\n"
    "  import SOUBOR [--partial] [--replace] [--create-entities]\n"
    "                          načte výkazy ze souboru CSV nebo XLSX (popis v docs/import.md); je-li\n"
    "                          některý výkaz odmítnut, neuloží bez --partial nic\n"
    "  dupont --entity E --periods 1998/4,1999/4\n"
    "                          rozloží změnu ROE mezi dvěma obdobími na pět činitelů (daňové a úrokové\n"
    "                          břemeno, provozní marže, obrat aktiv, finanční páka)\n"
    "  history (--entity E | --since RRRR-MM-DD)\n"
    "                          vypíše historii změn subjektu nebo všech změn od data, nejnovější první;\n"
    "                          sloupce oddělené tabulátorem: kdy, kdo, akce, druh, id, subjekt, popis,\n"
    "                          id nahrazeného výkazu\n"
    "  roles                   na serveru PostgreSQL založí role verna_ctenar, verna_analytik, verna_editor\n"
    "                          a verna_spravce (každá má práva předchozí) a předá tabulky roli verna_vlastnik\n"
    "  user add JMÉNO --role ROLE | user role JMÉNO ROLE | user remove JMÉNO\n"
    "                          spravuje přihlášení na serveru; heslo se čte z terminálu nebo vstupu\n"
    "\n"
    "Bez --db se použije zdroj ODBC \"finance\", je-li nastaven, jinak vestavěná databáze.\n"
    "Nemá-li zdroj ODBC uložené jméno a heslo (ani v souboru hesel PostgreSQL), zeptá se verna-db na heslo\n"
    "na terminálu (bez zobrazení); s --password-stdin je přečte z prvního řádku standardního vstupu.\n"
    "Jméno dá --user, zdroj dat, nebo dotaz na terminálu. Heslo se na příkazové řádce nezadává.\n";

// Parses the global options before the command; what follows the command is its own. Nullopt
// with a message on a usage error; a request for help gives an Options without a command.
std::optional<Options> parseOptions(const QStringList &arguments, QTextStream &err, bool &help)
{
    QCommandLineParser parser;
    // Everything after the command belongs to the command, its options included.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption dbOption(QStringLiteral("db"), QStringLiteral("databáze: soubor SQLite nebo odbc:DSN"),
                                      QStringLiteral("CESTA"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("vypíše nápovědu"));
    const QCommandLineOption userOption(QStringLiteral("user"), QStringLiteral("přihlašovací jméno ke zdroji ODBC"),
                                        QStringLiteral("JMÉNO"));
    const QCommandLineOption passwordStdinOption(QStringLiteral("password-stdin"),
                                                 QStringLiteral("heslo ke zdroji ODBC z prvního řádku standardního vstupu"));
    parser.addOption(dbOption);
    parser.addOption(userOption);
    parser.addOption(passwordStdinOption);
    parser.addOption(helpOption);
    parser.addPositionalArgument(QStringLiteral("PŘÍKAZ"),
                                 QStringLiteral("init, sql, demo, find, analyze, benchmark, report, eval, statement, import, dupont, history, roles nebo user"));
    if (!parser.parse(QStringList{QStringLiteral("verna-db")} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            err << "Neznámá volba: " << parser.unknownOptionNames().join(QStringLiteral(", ")) << "\n";
        else if (parser.errorText().contains(QLatin1String("user")))
            err << "Volba --user potřebuje jméno.\n";
        else
            err << "Volba --db potřebuje cestu nebo odbc:DSN.\n";
        return std::nullopt;
    }
    Options o;
    help = parser.isSet(helpOption);
    o.user = parser.value(userOption).trimmed();
    o.passwordStdin = parser.isSet(passwordStdinOption);
    if (parser.isSet(dbOption)) {
        const QString value = parser.value(dbOption);
        o.location = db::parseDatabaseOption(value);
        if (!o.location) {
            err << "Neplatná hodnota volby --db: " << value << "\n";
            return std::nullopt;
        }
    }
    QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty())
        o.command = positional.takeFirst();
    o.rest = positional;
    return o;
}

// One row per line: tabs, line breaks and backslashes inside values are escaped.
void printRow(QTextStream &out, const QStringList &row)
{
    QStringList fields;
    fields.reserve(row.size());
    for (const QString &value : row) {
        QString field;
        field.reserve(value.size());
        for (const QChar c : value) {
            switch (c.unicode()) {
            case '\\':
                field += QLatin1String("\\\\");
                break;
            case '\t':
                field += QLatin1String("\\t");
                break;
            case '\n':
                field += QLatin1String("\\n");
                break;
            case '\r':
                field += QLatin1String("\\r");
                break;
            default:
                field += c;
            }
        }
        fields << field;
    }
    out << fields.join(QLatin1Char('\t')) << '\n';
}

} // namespace

bool openDatabase(db::Database &database, const Options &options, QTextStream &err, shell::FirstStart firstStart)
{
    const auto location = loggedInLocation(options, err);
    if (!location)
        return false;
    const Outcome opened = shell::openDatabase(database, *location, {}, firstStart);
    if (!opened)
        err << opened.error << "\n";
    return opened.ok;
}

std::optional<QString> optionValue(const QStringList &args, int &i, const QStringList &valued, const char *command,
                                   QTextStream &err)
{
    const QString &option = args.at(i);
    if (!valued.contains(option)) {
        err << "Neznámá volba příkazu " << command << ": " << option << "\n";
        return std::nullopt;
    }
    if (i + 1 >= args.size()) {
        err << "Volba " << option << " potřebuje hodnotu.\n";
        return std::nullopt;
    }
    return args.at(++i);
}

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
    const auto place = loggedInLocation(o, err);
    if (!place)
        return DatabaseError;
    const db::DatabaseLocation location = place->value_or(db::defaultDatabaseLocation());
    db::Database database;
    if (const Outcome opened = database.open(location); !opened) {
        err << "Databázi nelze otevřít (" << location.describe() << "): " << opened.error << "\n";
        return DatabaseError;
    }
    // Only an empty database, or VERNA's own with --force, is written to: a foreign or damaged
    // file stays as it is.
    const db::DatabaseInspection found = db::inspectDatabase(database);
    switch (found.state) {
    case db::DatabaseState::Empty:
        break;
    case db::DatabaseState::Verna:
        if (!force) {
            err << "Databáze " << location.describe() << " už tabulky VERNA obsahuje; pro jejich nahrazení použijte --force.\n";
            return DatabaseError;
        }
        break;
    case db::DatabaseState::Incomplete:
        if (!force) {
            err << db::checkVernaDatabase(database, found).error << " Pro nahrazení tabulek VERNA použijte --force.\n";
            return DatabaseError;
        }
        break;
    case db::DatabaseState::Foreign:
    case db::DatabaseState::NotSqlite:
    case db::DatabaseState::Damaged:
        err << db::checkVernaDatabase(database, found).error << " Příkaz init ji nepřepíše; zvolte jiný soubor.\n";
        return DatabaseError;
    }
    database.useWriteAheadLog();
    if (const Outcome created = shell::initialiseDatabase(database, force); !created) {
        // A file made by this run and left half-written would pass for a database later.
        database.removeCreatedFile();
        err << "Databázi nelze založit: " << created.error << "\n";
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
    if (!openDatabase(database, o, err))
        return DatabaseError;
    // On PostgreSQL the batch runs in a transaction the audit triggers record, as any plain SQL.
    std::optional<db::Transaction> recorded;
    if (database.backend() == db::Backend::PostgreSQL) {
        recorded.emplace(database);
        if (const Outcome left = recorded->isActive() ? db::audit::leaveToTriggers(database) : Outcome::failure(database.lastError()); !left) {
            err << left.error << "\n";
            return DatabaseError;
        }
    }
    const Outcome result = database.execute(o.rest.front(), [&out](const QStringList &row) { printRow(out, row); });
    if (!result || (recorded && !recorded->commit())) {
        err << (result ? database.lastError() : result.error) << "\n";
        return DatabaseError;
    }
    return Success;
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    bool help = false;
    const std::optional<Options> options = parseOptions(arguments, err, help);
    if (!options) {
        err << kUsage;
        return UsageError;
    }
    if (help || options->command == QLatin1String("help")) {
        out << kUsage;
        return Success;
    }
    if (options->command.isEmpty()) {
        err << kUsage;
        return UsageError;
    }
    static const QHash<QString, Command> commands = {
        {QStringLiteral("init"), commandInit},
        {QStringLiteral("sql"), commandSql},
        {QStringLiteral("history"), commandHistory},
        {QStringLiteral("demo"), commandDemo},
        {QStringLiteral("analyze"), commandAnalyze},
        {QStringLiteral("benchmark"), commandBenchmark},
        {QStringLiteral("eval"), commandEval},
        {QStringLiteral("statement"), commandStatement},
        {QStringLiteral("find"), commandFind},
        {QStringLiteral("report"), commandReport},
        {QStringLiteral("import"), commandImport},
        {QStringLiteral("dupont"), commandDupont},
        {QStringLiteral("roles"), commandRoles},
        {QStringLiteral("user"), commandUser},
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

#include "commandline.h"
#include "commands.h"
#include "login.h"

#include "db/database.h"
#include "db/rights.h"
#include "db/roles.h"

#include <cstdio>
#include <unistd.h>

namespace verna::cli {

namespace {

const char *const kServerOnly = "Role a uživatelé existují jen na databázovém serveru PostgreSQL (--db odbc:DSN); "
                                "vestavěná databáze je soubor a oprávnění v ní určuje jen souborový systém.\n";

// The password from the terminal (typed twice) or the first line of standard input; never
// from the command line, where other users of the machine could read it.
std::optional<QString> readPassword(const QString &user, QTextStream &err)
{
    if (!isatty(STDIN_FILENO)) {
        std::optional<QString> line = readLine(stdin);
        if (!line || line->isEmpty())
            err << "Heslo se čte z prvního řádku standardního vstupu; ten je prázdný.\n";
        return line && !line->isEmpty() ? line : std::nullopt;
    }
    const QByteArray prompt = QStringLiteral("Heslo uživatele %1: ").arg(user).toUtf8();
    const std::optional<QString> first = askTerminal(prompt.constData(), true);
    if (!first || first->isEmpty()) {
        err << "Heslo nesmí být prázdné.\n";
        return std::nullopt;
    }
    const std::optional<QString> again = askTerminal("Heslo znovu: ", true);
    if (!again || *again != *first) {
        err << "Hesla se neshodují; nic nebylo změněno.\n";
        return std::nullopt;
    }
    return first;
}

// Opens the database and refuses one that has no roles (a file); the exit code, or -1 to go on.
int openServer(db::Database &database, const Options &options, QTextStream &err)
{
    // Refused before opening: the default embedded file is not created for a refusal.
    if (options.location.value_or(db::defaultDatabaseLocation()).kind == db::DatabaseLocation::Kind::File) {
        err << kServerOnly;
        return UsageError;
    }
    if (!openDatabase(database, options, err))
        return DatabaseError;
    if (database.backend() != db::Backend::PostgreSQL) {
        err << kServerOnly;
        return UsageError;
    }
    return -1;
}

int finish(const Outcome &done, const QString &success, QTextStream &out, QTextStream &err)
{
    if (!done) {
        err << done.error << "\n";
        return DatabaseError;
    }
    out << success << "\n";
    return Success;
}

const char *const kUserUsage = "Použití: verna-db user add JMÉNO --role ROLE   (heslo z terminálu nebo prvního řádku vstupu)\n"
                               "        verna-db user role JMÉNO ROLE\n"
                               "        verna-db user remove JMÉNO\n"
                               "Role: verna_ctenar, verna_analytik, verna_editor, verna_spravce.\n";

} // namespace

int commandRoles(const Options &options, QTextStream &out, QTextStream &err)
{
    if (!options.rest.isEmpty()) {
        err << "Příkaz roles nemá žádné volby.\n";
        return UsageError;
    }
    db::Database database;
    if (const int code = openServer(database, options, err); code >= 0)
        return code;
    return finish(db::setupRoles(database),
                  QStringLiteral("Role %1, %2, %3 a %4 jsou nastaveny; tabulky vlastní role %5.")
                      .arg(db::kReaderRole, db::kAnalystRole, db::kEditorRole, db::kAdminRole, db::kOwnerRole),
                  out, err);
}

int commandUser(const Options &options, QTextStream &out, QTextStream &err)
{
    const QStringList &args = options.rest;
    const QString action = args.value(0);
    const QString name = args.value(1);
    QString role;
    if (action == QLatin1String("add") && args.size() == 4 && args.at(2) == QLatin1String("--role"))
        role = args.at(3);
    else if (action == QLatin1String("role") && args.size() == 3)
        role = args.at(2);
    else if (action != QLatin1String("remove") || args.size() != 2) {
        err << kUserUsage;
        return UsageError;
    }
    if (!db::isValidUserName(name)) {
        err << "Jméno uživatele „" << name << "“ není platné: smí obsahovat jen písmena bez diakritiky, číslice a podtržítko.\n";
        return UsageError;
    }
    if (action != QLatin1String("remove") && !db::isUserRole(role)) {
        err << "Neznámá role „" << role << "“.\n" << kUserUsage;
        return UsageError;
    }
    db::Database database;
    if (const int code = openServer(database, options, err); code >= 0)
        return code;
    if (action == QLatin1String("add")) {
        const std::optional<QString> password = readPassword(name, err);
        if (!password)
            return UsageError;
        return finish(db::addUser(database, name, role, *password),
                      QStringLiteral("Uživatel %1 byl přidán s rolí %2.").arg(name, role), out, err);
    }
    if (action == QLatin1String("role"))
        return finish(db::setUserRole(database, name, role), QStringLiteral("Uživatel %1 má nyní roli %2.").arg(name, role), out, err);
    return finish(db::removeUser(database, name), QStringLiteral("Uživatel %1 byl odstraněn.").arg(name), out, err);
}

} // namespace verna::cli

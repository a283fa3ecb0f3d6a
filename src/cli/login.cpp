#include "login.h"

#include "db/databaselocation.h"
#include "db/odbclogin.h"

#include <csignal>
#include <cstdio>
#include <iterator>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace verna::cli {

// One line from the stream, without its line end; nullopt at the end of the input.
std::optional<QString> readLine(FILE *in)
{
    std::string line;
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n')
        line.push_back(char(c));
    if (c == EOF && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

namespace {

// The terminal whose echo a password prompt turned off, and its settings before.
int g_quietTerminal = -1;
termios g_shownTerminal {};

// A signal that ends the program at the prompt (Ctrl-C) gives the terminal its echo back first;
// the shell would otherwise stay blind. Only async-signal-safe calls.
void restoreEchoAndEnd(int signal)
{
    if (g_quietTerminal >= 0)
        tcsetattr(g_quietTerminal, TCSAFLUSH, &g_shownTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

} // namespace

// Asks on the controlling terminal; the answer is not echoed when it is a password.
std::optional<QString> askTerminal(const char *prompt, bool secret)
{
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return std::nullopt;
    termios saved {};
    const bool hidden = secret && tcgetattr(fileno(tty), &saved) == 0;
    struct sigaction before[std::size(kEndingSignals)] {};
    if (hidden) {
        g_shownTerminal = saved;
        g_quietTerminal = fileno(tty);
        struct sigaction restoring {};
        restoring.sa_handler = restoreEchoAndEnd;
        sigemptyset(&restoring.sa_mask);
        for (size_t i = 0; i < std::size(kEndingSignals); ++i)
            sigaction(kEndingSignals[i], &restoring, &before[i]);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fileno(tty), TCSAFLUSH, &quiet);
    }
    // Shown once the echo is off: a password typed at once is never echoed.
    std::fputs(prompt, tty);
    std::fflush(tty);
    std::optional<QString> answer = readLine(tty);
    if (hidden) {
        tcsetattr(fileno(tty), TCSAFLUSH, &saved);
        g_quietTerminal = -1;
        for (size_t i = 0; i < std::size(kEndingSignals); ++i)
            sigaction(kEndingSignals[i], &before[i], nullptr);
        std::fputs("\n", tty);
    }
    std::fclose(tty);
    return answer;
}


std::optional<std::optional<db::DatabaseLocation>> loggedInLocation(const Options &options, QTextStream &err)
{
    const db::DatabaseLocation target = options.location.value_or(db::defaultDatabaseLocation());
    // A source the driver manager does not know fails on opening, with its reason.
    if (target.kind != db::DatabaseLocation::Kind::Odbc || !db::isOdbcDataSourceConfigured(target.dsn))
        return std::optional<db::DatabaseLocation>(options.location);
    const db::LoginNeed need = db::loginNeed(target.dsn);
    if (!need.ask)
        return std::optional<db::DatabaseLocation>(db::withSourceLogin(target));
    db::DatabaseLocation location = target;
    location.user = !options.user.isEmpty() ? options.user : need.user;
    if (location.user.isEmpty()) {
        const std::optional<QString> typed = options.passwordStdin ? std::nullopt : askTerminal("Uživatel: ", false);
        if (!typed || typed->trimmed().isEmpty()) {
            err << "Zdroj dat „" << target.dsn << "“ nemá uložené přihlášení; zadejte jméno volbou --user.\n";
            return std::nullopt;
        }
        location.user = typed->trimmed();
    }
    const std::optional<QString> password = options.passwordStdin
        ? readLine(stdin)
        : askTerminal(QStringLiteral("Heslo uživatele %1 ke zdroji „%2“: ").arg(location.user, target.dsn).toUtf8().constData(), true);
    if (!password) {
        err << "Zdroj dat „" << target.dsn << "“ nemá uložené heslo; zadejte je na terminálu, nebo je pošlete na "
            << "standardní vstup s volbou --password-stdin.\n";
        return std::nullopt;
    }
    location.password = *password;
    return std::optional<db::DatabaseLocation>(location);
}

} // namespace verna::cli

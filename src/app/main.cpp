#include "db/database.h"
#include "db/databaselocation.h"
#include "shell/appstate.h"
#include "shell/databasestartup.h"
#include "shell/frmhlavni.h"
#include "shell/standardwindows.h"
#include "ui/icons.h"
#include "ui/idlehook.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QTextStream>
#include <QTranslator>
#include <optional>

namespace {

// The database named by --db, or nothing for the default. A usage error is printed and
// gives the exit code in exitCode.
std::optional<verna::db::DatabaseLocation> parseArguments(const QStringList &arguments, int &exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("VERNA – finanční analýza subjektů.\n"
                                                    "Bez --db se použije zdroj ODBC \"finance\", je-li nastaven, "
                                                    "jinak vestavěná databáze."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Zobrazí tuto nápovědu."));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("Databáze: soubor SQLite (CESTA) nebo zdroj ODBC (odbc:DSN)."),
                                QStringLiteral("CESTA|odbc:DSN"));
    parser.addOption(help);
    parser.addOption(db);
    exitCode = 0;
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString reason = parser.errorText().isEmpty()
                                   ? QStringLiteral("Neznámý argument: ") + parser.positionalArguments().join(QLatin1Char(' '))
                                   : parser.errorText();
        QTextStream(stderr) << reason << "\n\n" << parser.helpText();
        exitCode = 2;
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        exitCode = -1;
        return std::nullopt;
    }
    if (!parser.isSet(db))
        return std::nullopt;
    auto location = verna::db::parseDatabaseOption(parser.value(db));
    if (!location) {
        QTextStream(stderr) << QStringLiteral("Neplatná hodnota --db: ") << parser.value(db) << "\n";
        exitCode = 2;
    }
    return location;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VERNA"));
    QCoreApplication::setApplicationName(QStringLiteral("VERNA"));
    QApplication::setWindowIcon(verna::ui::appIcon());

    // Qt's own texts (file dialog, context menus) in Czech where the translations are installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Czech), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);

    // -1: help was asked for and shown.
    int exitCode = 0;
    const std::optional<verna::db::DatabaseLocation> location = parseArguments(QCoreApplication::arguments(), exitCode);
    if (exitCode != 0)
        return exitCode < 0 ? 0 : exitCode;

    verna::db::Database database;
    verna::shell::AppState state(database);
    verna::ui::installIdleHook(database);
    if (!verna::shell::connectAtStartup(database, location))
        return 1;

    verna::shell::frmHlavni window(state, verna::shell::standardWindows());
    window.show();
    window.Form_Load();
    return app.exec();
}

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
#include <unistd.h>

namespace {

// What the command line asks for: the database of --db (nothing: the default one), or an
// exit code when the arguments were wrong (2) or only help was asked for (0).
struct Arguments {
    std::optional<verna::db::DatabaseLocation> location;
    std::optional<int> exitCode;
};

Arguments parseArguments(const QStringList &arguments)
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

    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Neznámý argument: ") + parser.positionalArguments().join(QLatin1Char(' '));
    if (!error.isEmpty()) {
        QTextStream(stderr) << error << "\n\n" << parser.helpText();
        return {std::nullopt, 2};
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return {std::nullopt, 0};
    }
    if (!parser.isSet(db))
        return {};
    const auto location = verna::db::parseDatabaseOption(parser.value(db));
    if (!location) {
        QTextStream(stderr) << QStringLiteral("Neplatná hodnota --db: ") << parser.value(db) << "\n";
        return {std::nullopt, 2};
    }
    return {location, std::nullopt};
}

} // namespace

int main(int argc, char *argv[])
{
    // The report view is a Chromium page: its GL context is shared with the windows, and as
    // root Chromium refuses to start unless its sandbox is off.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VERNA"));
    QCoreApplication::setApplicationName(QStringLiteral("VERNA"));
    QApplication::setWindowIcon(verna::ui::appIcon());

    // Qt's own texts (file dialog, context menus) in Czech where the translations are installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Czech), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);

    const Arguments arguments = parseArguments(QCoreApplication::arguments());
    if (arguments.exitCode)
        return *arguments.exitCode;

    verna::db::Database database;
    verna::shell::AppState state(database);
    verna::ui::installIdleHook(database);
    if (!verna::shell::connectAtStartup(database, arguments.location))
        return 1;

    verna::shell::frmHlavni window(state, verna::shell::standardWindows());
    window.show();
    window.Form_Load();
    return app.exec();
}

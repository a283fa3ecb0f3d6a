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
// exit code when the arguments were wrong (2).
struct Arguments {
    std::optional<verna::db::DatabaseLocation> location;
    std::optional<int> exitCode;
};

// The options of the command line, on a parser that needs no application object.
struct CommandLine {
    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral("VERNA – finanční analýza subjektů.\n"
                                                        "Bez --db se použije zdroj ODBC \"finance\", je-li nastaven, "
                                                        "jinak vestavěná databáze."));
        parser.addOption(help);
        parser.addOption(db);
    }

    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Zobrazí tuto nápovědu.")};
    const QCommandLineOption db{QStringLiteral("db"), QStringLiteral("Databáze: soubor SQLite (CESTA) nebo zdroj ODBC (odbc:DSN)."),
                                QStringLiteral("CESTA|odbc:DSN")};
};

// Whether the command line asks for help, read before any application object exists (Qt's
// own options are not known yet, so nothing else is judged here).
bool asksForHelp(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line;
    line.parser.parse(arguments);
    return line.parser.isSet(line.help);
}

// Qt's own texts (usage, file dialog, context menus) in Czech where the translations are installed.
void translateQt(QTranslator &translator)
{
    if (translator.load(QLocale(QLocale::Czech), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

Arguments parseArguments(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser &parser = line.parser;
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Neznámý argument: ") + parser.positionalArguments().join(QLatin1Char(' '));
    if (!error.isEmpty()) {
        QTextStream(stderr) << error << "\n\n" << parser.helpText();
        return {std::nullopt, 2};
    }
    if (!parser.isSet(line.db))
        return {};
    const auto location = verna::db::parseDatabaseOption(parser.value(line.db));
    if (!location) {
        QTextStream(stderr) << QStringLiteral("Neplatná hodnota --db: ") << parser.value(line.db) << "\n";
        return {std::nullopt, 2};
    }
    return {location, std::nullopt};
}

} // namespace

int main(int argc, char *argv[])
{
    // Help needs no display: it is answered before the windows' platform starts.
    if (asksForHelp(argc, argv)) {
        QCoreApplication core(argc, argv);
        QTranslator qtTranslator;
        translateQt(qtTranslator);
        QTextStream(stdout) << CommandLine().parser.helpText();
        return 0;
    }
    // The report view is a Chromium page: its GL context is shared with the windows, and as
    // root Chromium refuses to start unless its sandbox is off.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VERNA"));
    QCoreApplication::setApplicationName(QStringLiteral("VERNA"));
    QApplication::setWindowIcon(verna::ui::appIcon());

    QTranslator qtTranslator;
    translateQt(qtTranslator);

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

#include "db/database.h"
#include "db/databaselocation.h"
#include "shell/appstate.h"
#include "shell/databasestartup.h"
#include "shell/frmhlavni.h"
#include "shell/standardwindows.h"
#include "ui/icons.h"
#include "ui/idlehook.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTextStream>
#include <QTranslator>
#include <optional>

namespace {

const char *const kUsage = "Použití: verna [--db CESTA | --db odbc:DSN]\n"
                           "Bez --db se použije zdroj ODBC \"finance\", je-li nastaven, jinak vestavěná databáze.\n";

// The value of --db, or nothing. False on a usage error.
bool parseArguments(const QStringList &arguments, std::optional<verna::db::DatabaseLocation> &location)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        QString value;
        if (a == QLatin1String("--db") && i + 1 < arguments.size())
            value = arguments.at(++i);
        else if (a.startsWith(QLatin1String("--db=")))
            value = a.mid(5);
        else
            return false;
        location = verna::db::parseDatabaseOption(value);
        if (!location)
            return false;
    }
    return true;
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

    std::optional<verna::db::DatabaseLocation> location;
    if (!parseArguments(QCoreApplication::arguments(), location)) {
        QTextStream(stderr) << kUsage;
        return 2;
    }

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

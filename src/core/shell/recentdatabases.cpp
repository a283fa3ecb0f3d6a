#include "shell/recentdatabases.h"

#include "db/database.h"
#include "shell/startup.h"

#include <QFileInfo>
#include <QSettings>

namespace verna::shell {

namespace {

const QString kGroup = QStringLiteral("Databaze");
const QString kArray = QStringLiteral("Naposledy");
const QString kPlace = QStringLiteral("databaze");
const QString kUser = QStringLiteral("uzivatel");

QString placeText(const db::DatabaseLocation &location)
{
    return location.kind == db::DatabaseLocation::Kind::File ? QFileInfo(location.path).absoluteFilePath()
                                                             : QStringLiteral("odbc:") + location.dsn;
}

} // namespace

QList<db::DatabaseLocation> RecentDatabases::load()
{
    const db::DatabaseLocation defaults;
    QSettings settings;
    settings.beginGroup(kGroup);
    const int count = settings.beginReadArray(kArray);
    QList<db::DatabaseLocation> out;
    for (int i = 0; i < count && out.size() < kLimit; ++i) {
        settings.setArrayIndex(i);
        std::optional<db::DatabaseLocation> location = db::parseDatabaseOption(settings.value(kPlace).toString());
        if (!location)
            continue;
        if (location->kind == db::DatabaseLocation::Kind::Odbc) {
            location->user = settings.value(kUser, defaults.user).toString();
            if (location->user != defaults.user)
                location->password.clear();
        }
        out << *location;
    }
    settings.endArray();
    return out;
}

void RecentDatabases::remember(const db::DatabaseLocation &location)
{
    QList<db::DatabaseLocation> list = load();
    list.removeIf([&location](const db::DatabaseLocation &l) { return same(l, location); });
    list.prepend(location);
    while (list.size() > kLimit)
        list.removeLast();
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.remove(kArray);
    settings.beginWriteArray(kArray, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(kPlace, placeText(list.at(i)));
        if (list.at(i).kind == db::DatabaseLocation::Kind::Odbc)
            settings.setValue(kUser, list.at(i).user);
    }
    settings.endArray();
}

QString RecentDatabases::lastUser(const QString &dsn)
{
    const db::DatabaseLocation wanted = db::DatabaseLocation::odbc(dsn);
    for (const db::DatabaseLocation &location : load()) {
        if (same(location, wanted))
            return location.user;
    }
    return {};
}

bool RecentDatabases::same(const db::DatabaseLocation &a, const db::DatabaseLocation &b)
{
    if (a.kind != b.kind)
        return false;
    if (a.kind == db::DatabaseLocation::Kind::Odbc)
        return a.dsn.compare(b.dsn, Qt::CaseInsensitive) == 0;
    return placeText(a) == placeText(b);
}

Outcome createDatabaseFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return Outcome::failure(QStringLiteral("Soubor %1 už existuje; novou databázi založte do nového souboru.").arg(path));
    db::Database database;
    if (const Outcome opened = database.open(db::DatabaseLocation::file(path)); !opened)
        return Outcome::failure(QStringLiteral("Databázi nelze založit (%1): %2").arg(path, opened.error));
    database.useWriteAheadLog();
    if (const Outcome created = initialiseDatabase(database, false); !created) {
        database.removeCreatedFile();
        return Outcome::failure(QStringLiteral("Databázi nelze založit: ") + created.error);
    }
    database.close();
    return Outcome::success();
}

} // namespace verna::shell

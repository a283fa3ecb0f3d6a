#include "db/openfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>

#include <sys/stat.h>

namespace verna::db {

namespace {

QMutex &guard()
{
    static QMutex m;
    return m;
}

QStringList &openPaths()
{
    static QStringList paths;
    return paths;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

void noteOpenDatabaseFile(const QString &path)
{
    QMutexLocker lock(&guard());
    openPaths() << path;
}

void forgetOpenDatabaseFile(const QString &path)
{
    QMutexLocker lock(&guard());
    openPaths().removeOne(path);
}

bool isOpenDatabaseFile(const QString &path)
{
    QMutexLocker lock(&guard());
    for (const QString &open : std::as_const(openPaths())) {
        for (const char *side : {"", "-wal", "-shm", "-journal"}) {
            // A side file that does not exist yet is recognised by its name.
            const QString file = open + QLatin1String(side);
            if (sameFile(path, file) || QFileInfo(path).absoluteFilePath() == QFileInfo(file).absoluteFilePath())
                return true;
        }
    }
    return false;
}

QString openDatabaseFileRefusal(const QString &path)
{
    return QStringLiteral("Soubor %1 je otevřená databáze nebo její pomocný soubor; ke čtení ani zápisu dat jej použít nelze. "
                          "Zvolte jiný soubor.")
        .arg(path);
}

} // namespace verna::db

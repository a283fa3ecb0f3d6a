#include "report/stylesheets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace verna::report {

QString styleTitle(const QString &fileName, const QByteArray &head)
{
    // A line ends at CR or LF, whichever comes first.
    qsizetype end = 0;
    while (end < head.size() && head.at(end) != '\n' && head.at(end) != '\r')
        ++end;
    QString line = QString::fromUtf8(head.left(end));
    if (line.startsWith(QChar(0xFEFF)))
        line.remove(0, 1);
    static const QLatin1StringView marker("/* NAZEV:");
    if (!line.startsWith(marker))
        return fileName;
    // Up to the closing comment mark; blanks (and a CR) after it do not count.
    QString title = line.mid(marker.size());
    while (!title.isEmpty() && title.back().isSpace())
        title.chop(1);
    if (title.endsWith(QLatin1String("*/")))
        title.chop(2);
    title = title.trimmed();
    return title.isEmpty() ? fileName : title;
}

QList<StyleSheet> listStyleSheets(const QString &folder)
{
    QList<StyleSheet> out;
    if (folder.isEmpty())
        return out;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &info : files) {
        if (info.suffix().toLower() != QLatin1String("css"))
            continue;
        QFile file(info.absoluteFilePath());
        const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
        out.append({info.absoluteFilePath(), styleTitle(info.fileName(), head)});
    }
    return out;
}

QString defaultCssFolder()
{
    QStringList candidates{QCoreApplication::applicationDirPath() + QStringLiteral("/../share/verna/css")};
    candidates << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("verna/css"), QStandardPaths::LocateDirectory);
#ifdef VERNA_SOURCE_CSS_DIR
    candidates << QStringLiteral(VERNA_SOURCE_CSS_DIR);
#endif
    for (const QString &folder : std::as_const(candidates)) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return QDir(folder).absolutePath();
    }
    return {};
}

QString ReportSettings::cssFolder()
{
    QSettings settings;
    settings.beginGroup(QLatin1String(kGroup));
    const QString folder = settings.value(QLatin1String(kCssFolderKey), QLatin1String(kNoFolder)).toString();
    return folder.isEmpty() || folder == QLatin1String(kNoFolder) ? defaultCssFolder() : folder;
}

void ReportSettings::setCssFolder(const QString &folder)
{
    QSettings settings;
    settings.beginGroup(QLatin1String(kGroup));
    settings.setValue(QLatin1String(kCssFolderKey), folder.isEmpty() ? QString::fromLatin1(kNoFolder) : folder);
}

} // namespace verna::report

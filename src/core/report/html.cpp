#include "report/html.h"

#include <QDir>
#include <QUrl>

namespace verna::report {

QString escaped(const QString &text)
{
    QString out = text.toHtmlEscaped();
    out.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return out;
}

QString fileUrl(const QString &path)
{
    if (path.isEmpty())
        return {};
    // A quote or an ampersand in a folder name stays inside the attribute as an escape.
    const QString absolute = QDir::isRelativePath(path) ? QDir::current().absoluteFilePath(path) : path;
    return escaped(QString::fromLatin1(QUrl::fromLocalFile(absolute).toEncoded()));
}

QString lines(const QStringList &lines)
{
    QString out;
    for (const QString &line : lines)
        out += line + kEol;
    return out;
}

} // namespace verna::report

#include "commandline.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VERNA"));
    QCoreApplication::setApplicationName(QStringLiteral("VERNA"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int code = verna::cli::run(arguments, out, err);
    out.flush();
    // A full disk or a closed pipe under "> file" is a failure, not a cut-off success.
    const bool written = out.status() == QTextStream::Ok && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!written)
        err << "Výstup příkazu nelze zapsat.\n";
    err.flush();
    return written || code != verna::cli::Success ? code : verna::cli::DatabaseError;
}

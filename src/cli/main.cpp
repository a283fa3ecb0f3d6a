#include "commandline.h"

#include <QCoreApplication>

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
    err.flush();
    return code;
}

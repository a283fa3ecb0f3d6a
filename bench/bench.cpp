// Benchmarks with repeatable fixtures; each prints its measurements and their ratios.
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "verna-bench: no benchmarks yet\n";
    return 0;
}

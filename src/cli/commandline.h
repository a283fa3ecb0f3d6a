#pragma once

#include <QStringList>
#include <QTextStream>

namespace verna::cli {

enum ExitCode { Success = 0, DatabaseError = 1, UsageError = 2 };

// Runs one verna-db command line (arguments without the program name).
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace verna::cli

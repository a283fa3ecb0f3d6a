#pragma once

#include "commands.h"

#include <cstdio>

namespace verna::cli {

// The place a command opens, with its login settled: a file, or a data source with a login of
// its own, goes on as it is. Any other data source needs a password: from the terminal without
// echo, or with --password-stdin the first line of standard input; never from the command line.
// The name comes from --user, the source, or the terminal. Nullopt after telling why on err.
// (A location of nullopt inside means the default embedded file.)
std::optional<std::optional<db::DatabaseLocation>> loggedInLocation(const Options &options, QTextStream &err);

// One line from the stream, without its line end; nullopt at the end of the input.
std::optional<QString> readLine(FILE *in);
// Asks on the controlling terminal; the answer is not echoed when it is secret.
std::optional<QString> askTerminal(const char *prompt, bool secret);

} // namespace verna::cli

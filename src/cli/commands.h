#pragma once

#include "db/databaselocation.h"

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace verna::cli {

// The global options and the command with its own arguments.
struct Options {
    std::optional<db::DatabaseLocation> location;
    QString command;
    QStringList rest;
};

// A command: returns the process exit code (commandline.h), writes results to out and
// Czech messages to err.
using Command = int (*)(const Options &options, QTextStream &out, QTextStream &err);

int commandInit(const Options &options, QTextStream &out, QTextStream &err);
int commandSql(const Options &options, QTextStream &out, QTextStream &err);
int commandDemo(const Options &options, QTextStream &out, QTextStream &err);
int commandAnalyze(const Options &options, QTextStream &out, QTextStream &err);
int commandFind(const Options &options, QTextStream &out, QTextStream &err);
int commandEval(const Options &options, QTextStream &out, QTextStream &err);
int commandStatement(const Options &options, QTextStream &out, QTextStream &err);
int commandReport(const Options &options, QTextStream &out, QTextStream &err);
int commandImport(const Options &options, QTextStream &out, QTextStream &err);

} // namespace verna::cli

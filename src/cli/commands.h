#pragma once

#include "db/databaselocation.h"
#include "shell/startup.h"

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::cli {

// The global options and the command with its own arguments.
struct Options {
    std::optional<db::DatabaseLocation> location;
    QString command;
    QStringList rest;
    QString user;               // --user: the login name for a data source that keeps none
    bool passwordStdin = false; // --password-stdin: its password is the first line of standard input
};

// Opens the database the options name (the default one without --db); false after telling
// why on err, and the command then ends with DatabaseError.
bool openDatabase(db::Database &database, const Options &options, QTextStream &err,
                  shell::FirstStart firstStart = shell::FirstStart::WithDemo);

// The value of the option at args[i], one of the command's valued options, moving i onto it;
// nullopt after telling why (an unknown option, a missing value).
std::optional<QString> optionValue(const QStringList &args, int &i, const QStringList &valued, const char *command,
                                   QTextStream &err);

// A command: returns the process exit code (commandline.h), writes results to out and
// Czech messages to err.
using Command = int (*)(const Options &options, QTextStream &out, QTextStream &err);

int commandInit(const Options &options, QTextStream &out, QTextStream &err);
int commandSql(const Options &options, QTextStream &out, QTextStream &err);
int commandDemo(const Options &options, QTextStream &out, QTextStream &err);
int commandAnalyze(const Options &options, QTextStream &out, QTextStream &err);
int commandBenchmark(const Options &options, QTextStream &out, QTextStream &err);
int commandFind(const Options &options, QTextStream &out, QTextStream &err);
int commandEval(const Options &options, QTextStream &out, QTextStream &err);
int commandStatement(const Options &options, QTextStream &out, QTextStream &err);
int commandReport(const Options &options, QTextStream &out, QTextStream &err);
int commandImport(const Options &options, QTextStream &out, QTextStream &err);
int commandDupont(const Options &options, QTextStream &out, QTextStream &err);
int commandHistory(const Options &options, QTextStream &out, QTextStream &err);
int commandRoles(const Options &options, QTextStream &out, QTextStream &err);
int commandUser(const Options &options, QTextStream &out, QTextStream &err);

} // namespace verna::cli

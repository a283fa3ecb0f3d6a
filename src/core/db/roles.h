#pragma once

#include "db/outcome.h"

#include <QString>
#include <QStringList>

namespace verna::db {

class Database;

// Group roles and logins on a PostgreSQL server (see rights.h for the roles and their tables).

// Creates the group roles and the owner role where missing, gives the owner role every table,
// sequence and function of the current schema, and grants each role exactly its tables.
// Repeatable; all or nothing. Needs a superuser, or a login that may create roles and owns
// the tables.
Outcome setupRoles(Database &db);

// The statements that grant a role more than its tables' right, each run only where its table
// exists. A table with rights of its own adds its lines here.
QStringList extraGrants();

// A login name: letters, digits and underscores, not starting with a digit, at most 63.
bool isValidUserName(const QString &name);
// One of the four group roles a login may be given.
bool isUserRole(const QString &role);

// Creates a login in the group role. The password is stored by the server only (SCRAM) and
// never appears in a message.
Outcome addUser(Database &db, const QString &name, const QString &role, const QString &password);
// Moves a login to another group role.
Outcome setUserRole(Database &db, const QString &name, const QString &role);
// Removes a login (never one of the group roles).
Outcome removeUser(Database &db, const QString &name);

} // namespace verna::db

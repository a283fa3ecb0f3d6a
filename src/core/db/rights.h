#pragma once

#include "db/outcome.h"

#include <QString>
#include <array>
#include <vector>

class QSqlQuery;

namespace verna::db {

class Database;

// What a user may change. Reading is everyone's; each right writes its own tables.
enum class Right {
    Indicators, // indicators and their groups
    Groups,     // groups of entities
    Entities,   // entities (they share the tables of groups)
    Statements, // statements, also by import
    CodeLists,  // code lists and sum rules
};

inline constexpr std::array kAllRights = {Right::Indicators, Right::Groups, Right::Entities, Right::Statements, Right::CodeLists};

// The group roles on a shared server, each with the rights of the one before.
inline const QString kReaderRole = QStringLiteral("verna_ctenar");
inline const QString kAnalystRole = QStringLiteral("verna_analytik");
inline const QString kEditorRole = QStringLiteral("verna_editor");
inline const QString kAdminRole = QStringLiteral("verna_spravce");
// Owns the tables; nobody logs in as it.
inline const QString kOwnerRole = QStringLiteral("verna_vlastnik");

// Which right writes a table. A new table gets its grants and its place in Rights by one line.
struct TableRight {
    const char *table;
    Right right;
};
const std::vector<TableRight> &tableRights();

// The lowest role that holds a right.
QString roleFor(Right right);

// The user's rights on the open database, read once after connecting so that the windows
// disable what the user may not do instead of letting the server refuse it.
class Rights
{
public:
    static Rights all();
    static Rights none();
    // PostgreSQL: the user's privileges on the tables of each right, in one query. SQLite:
    // everything, or nothing in a file opened read-only. SQL Server: everything.
    static Result<Rights> read(Database &db);

    bool can(Right right) const { return m_can[static_cast<size_t>(right)]; }
    bool canWriteIndicators() const { return can(Right::Indicators); }
    bool canWriteGroups() const { return can(Right::Groups); }
    bool canWriteEntities() const { return can(Right::Entities); }
    bool canWriteStatements() const { return can(Right::Statements); }
    bool canWriteCodeLists() const { return can(Right::CodeLists); }

    // The Czech explanation of a missing right, naming the role that has it.
    static QString missing(Right right);

private:
    std::array<bool, kAllRights.size()> m_can{};
};

// Whether the server refused the failed statement of an ODBC query for lack of privilege
// (SQLSTATE 42501).
bool isInsufficientPrivilege(const QSqlQuery &query);
// The reason shown for such a refusal, the server's own words in brackets.
QString insufficientPrivilegeText(const QString &serverText);

} // namespace verna::db

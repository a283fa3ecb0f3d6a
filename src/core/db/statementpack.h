#pragma once

#include "db/backend.h"
#include "db/outcome.h"

#include <QStringList>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace verna::db {

class Database;

// The embedded database keeps beside each statement's item rows one packed row of all of them
// (finl_pack): an analysis over tens of thousands of companies reads a row per statement instead
// of some sixty index entries. The item rows stay the record; a pack is only a copy of them.
// Triggers on the items drop a statement's pack whenever one of its items is written by
// anybody, so a pack that exists is always the items' exact copy, and a statement without one
// is read from its items. VERNA's own writers pack what they wrote.
namespace pack {

// The SQLite statements of the packs: table and triggers. None on a server, which reads a
// statement's items in one round trip anyway.
QStringList schemaStatements(Backend backend);

// Registers the aggregate verna_pack(item_type_cd, amt_val) on a connection: the pack of the
// items of a group, NULL when an amount is a text or a code no integer (such a statement is
// read from its items).
bool registerFunction(sqlite3 *sqlite);

// Packs (again) the statements with ids first..last that have items; nothing on a server.
Outcome statements(Database &db, qint64 first, qint64 last);

// Packs every statement of the database that has no pack.
Outcome missing(Database &db);

// One item as the pack keeps it: the code and the amount as the item's reader reads it.
void append(std::string &out, qint64 code, std::optional<double> amount);

using Item = std::pair<qint64, std::optional<double>>;

// The items of a pack into items (cleared first); false for a damaged pack.
bool read(const char *data, size_t size, std::vector<Item> &items);

} // namespace pack

} // namespace verna::db

#pragma once

#include "db/backend.h"
#include "db/outcome.h"

#include <QStringList>
#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace verna::db {

class Database;

// The embedded database and PostgreSQL keep beside each statement's item rows one packed row
// of all of them (finl_pack): an analysis over tens of thousands of companies reads a row per
// statement instead of some sixty index entries. The item rows stay the record; a pack is only
// a copy of them. Triggers on the items drop a statement's pack whenever one of its items is
// written by anybody, so a pack that exists is always the items' exact copy, and a statement
// without one is read from its items. VERNA's own writers pack what they wrote.
//
// SQLite packs into a blob (see append()); PostgreSQL into text made by the server itself,
// "code amount" pairs with the amount as the server writes it (N for NULL), so that the
// client reads each amount as the server's cast to double would.
namespace pack {

// The statements of the packs: table and triggers. None on SQL Server, which evaluates on
// the server.
QStringList schemaStatements(Backend backend);

// Whether the backend keeps packs at all, and the column of the pack table that holds them.
bool kept(Backend backend);
QString column(Backend backend);

// Registers the aggregate verna_pack(item_type_cd, amt_val) on a connection: the pack of the
// items of a group, NULL when an amount is a text or a code no integer (such a statement is
// read from its items).
bool registerFunction(sqlite3 *sqlite);

// Packs (again) the statements with ids first..last that have items; nothing on SQL Server.
Outcome statements(Database &db, qint64 first, qint64 last);

// Packs every statement of the database that has no pack.
Outcome missing(Database &db);

// One item as the pack keeps it: the code and the amount as the item's reader reads it.
void append(std::string &out, qint64 code, std::optional<double> amount);

using Item = std::pair<qint64, std::optional<double>>;

// The items of a pack into items (cleared first); false for a damaged pack.
bool read(const char *data, size_t size, std::vector<Item> &items);

// Calls take(code, amount) for each pair of a text pack whose code wanted(code) accepts; the
// amounts of the others are not read. An amount that is no number is NULL.
template <typename Wanted, typename Take>
void readText(const char *at, const char *end, Wanted &&wanted, Take &&take)
{
    while (at < end) {
        qint64 code = 0;
        const auto [codeEnd, codeError] = std::from_chars(at, end, code);
        if (codeError != std::errc() || codeEnd == end || *codeEnd != ' ')
            return;
        at = codeEnd + 1;
        const char *const amountEnd = std::find(at, end, ' ');
        if (wanted(code)) {
            double amount = 0;
            const auto [parsedEnd, amountError] = std::from_chars(at, amountEnd, amount);
            const bool ok = amountError == std::errc() && parsedEnd == amountEnd;
            take(code, ok ? std::optional<double>(amount) : std::nullopt);
        }
        at = amountEnd + 1;
    }
}

} // namespace pack

} // namespace verna::db

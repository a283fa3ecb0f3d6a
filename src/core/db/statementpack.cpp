#include "db/statementpack.h"

#include "db/database.h"

#include <cmath>
#include <cstring>
#include <sqlite3.h>

namespace verna::db::pack {

namespace {

// The first byte of every pack: its layout, so that a later one can be told apart.
constexpr char kLayout = 1;
// An amount follows its code as a varint whose two low bits say what it is.
enum Kind : quint64 { Null = 0, Integer = 1, Real = 2 };
constexpr double kExactIntegers = 9007199254740992.0; // 2^53

void putVarint(std::string &out, quint64 v)
{
    while (v >= 0x80) {
        out.push_back(static_cast<char>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

bool getVarint(const unsigned char *&at, const unsigned char *end, quint64 &v)
{
    v = 0;
    for (int shift = 0; shift < 64 && at < end; shift += 7) {
        const unsigned char byte = *at++;
        v |= static_cast<quint64>(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

quint64 zigzag(qint64 v)
{
    return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63);
}

qint64 unzigzag(quint64 v)
{
    return static_cast<qint64>(v >> 1) ^ -static_cast<qint64>(v & 1);
}

struct Aggregate {
    std::string *bytes;
    bool unusable;
};

void packStep(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    auto *state = static_cast<Aggregate *>(sqlite3_aggregate_context(context, sizeof(Aggregate)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (!state->bytes)
        state->bytes = new std::string(1, kLayout);
    if (state->unusable || argc != 2)
        return;
    // A code that is no integer matches no reference however it converts: read from the rows.
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
        state->unusable = true;
        return;
    }
    // The values as the statement reader takes them from an item row.
    std::optional<double> amount;
    switch (sqlite3_value_type(argv[1])) {
    case SQLITE_NULL: break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: amount = sqlite3_value_double(argv[1]); break;
    default: state->unusable = true; return;
    }
    append(*state->bytes, sqlite3_value_int64(argv[0]), amount);
}

void packFinal(sqlite3_context *context)
{
    auto *state = static_cast<Aggregate *>(sqlite3_aggregate_context(context, 0));
    if (!state || !state->bytes) {
        sqlite3_result_null(context);
        return;
    }
    if (state->unusable)
        sqlite3_result_null(context);
    else
        sqlite3_result_blob(context, state->bytes->data(), static_cast<int>(state->bytes->size()), SQLITE_TRANSIENT);
    delete state->bytes;
    state->bytes = nullptr;
}

// The statements' pack rows from their items; on SQLite only integer ids, as the table's key
// takes. A server's pairs come in the items' order in the index (ordering them would cost the
// packing of a large import half as much again; nothing reads them by place); an item without
// a code, which no reference matches, is left out.
QString packSql(Backend backend, const QString &condition)
{
    if (backend == Backend::PostgreSQL) {
        return QStringLiteral("INSERT INTO finl_pack (finl_stmt_id, item_txt) SELECT finl_stmt_id, string_agg(CAST(item_type_cd AS TEXT) || ' ' || "
                              "COALESCE(CAST(amt_val AS TEXT), 'N'), ' ') FROM finl_item "
                              "WHERE finl_stmt_id IS NOT NULL AND item_type_cd IS NOT NULL AND %1 GROUP BY finl_stmt_id "
                              "ON CONFLICT (finl_stmt_id) DO UPDATE SET item_txt = EXCLUDED.item_txt")
            .arg(condition);
    }
    return QStringLiteral("INSERT OR REPLACE INTO finl_pack (finl_stmt_id, item_blob) SELECT finl_stmt_id, b FROM "
                          "(SELECT finl_stmt_id, verna_pack(item_type_cd, amt_val) AS b FROM finl_item WHERE %1 GROUP BY finl_stmt_id) "
                          "WHERE b IS NOT NULL AND typeof(finl_stmt_id) = 'integer'")
        .arg(condition);
}

QStringList postgresStatements()
{
    // Per statement, not per row: a bulk write of millions of items drops each pack once. The
    // pack table goes to whoever may read or write the items.
    return {QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_insert ON finl_item"),
            QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_update ON finl_item"),
            QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_delete ON finl_item"),
            QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_truncate ON finl_item"),
            QStringLiteral("DROP TABLE IF EXISTS finl_pack"),
            QStringLiteral("CREATE TABLE finl_pack (finl_stmt_id INTEGER PRIMARY KEY, item_txt TEXT NOT NULL)"),
            QStringLiteral("CREATE OR REPLACE FUNCTION verna_pack_drop() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                           "IF TG_OP = 'TRUNCATE' THEN DELETE FROM finl_pack; RETURN NULL; END IF; "
                           "IF TG_OP IN ('INSERT', 'UPDATE') THEN "
                           "DELETE FROM finl_pack WHERE finl_stmt_id = ANY (ARRAY(SELECT DISTINCT finl_stmt_id FROM verna_new_items)); END IF; "
                           "IF TG_OP IN ('UPDATE', 'DELETE') THEN "
                           "DELETE FROM finl_pack WHERE finl_stmt_id = ANY (ARRAY(SELECT DISTINCT finl_stmt_id FROM verna_old_items)); END IF; "
                           "RETURN NULL; END $$"),
            QStringLiteral("CREATE TRIGGER finl_pack_insert AFTER INSERT ON finl_item REFERENCING NEW TABLE AS verna_new_items "
                           "FOR EACH STATEMENT EXECUTE FUNCTION verna_pack_drop()"),
            QStringLiteral("CREATE TRIGGER finl_pack_update AFTER UPDATE ON finl_item REFERENCING OLD TABLE AS verna_old_items "
                           "NEW TABLE AS verna_new_items FOR EACH STATEMENT EXECUTE FUNCTION verna_pack_drop()"),
            QStringLiteral("CREATE TRIGGER finl_pack_delete AFTER DELETE ON finl_item REFERENCING OLD TABLE AS verna_old_items "
                           "FOR EACH STATEMENT EXECUTE FUNCTION verna_pack_drop()"),
            QStringLiteral("CREATE TRIGGER finl_pack_truncate AFTER TRUNCATE ON finl_item FOR EACH STATEMENT EXECUTE FUNCTION verna_pack_drop()"),
            QStringLiteral("DO $$ DECLARE r record; BEGIN FOR r IN SELECT grantee, privilege_type FROM information_schema.role_table_grants "
                           "WHERE table_schema = current_schema() AND table_name = 'finl_item' AND grantee <> current_user "
                           "AND privilege_type IN ('SELECT', 'INSERT', 'UPDATE', 'DELETE') LOOP "
                           "EXECUTE format('GRANT %s ON finl_pack TO %I', r.privilege_type, r.grantee); END LOOP; END $$")};
}

} // namespace

bool kept(Backend backend)
{
    return backend == Backend::SQLite || backend == Backend::PostgreSQL;
}

QString column(Backend backend)
{
    return backend == Backend::PostgreSQL ? QStringLiteral("item_txt") : QStringLiteral("item_blob");
}

QStringList schemaStatements(Backend backend)
{
    if (backend == Backend::PostgreSQL)
        return postgresStatements();
    if (backend != Backend::SQLite)
        return {};
    // A row that OR REPLACE removes for the new one's row_id fires no delete trigger (unless
    // recursive triggers are on): its statement's pack goes before the write too.
    const QString replaced = QStringLiteral("(SELECT finl_stmt_id FROM finl_item WHERE row_id = new.row_id)");
    return {QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_insert"),
            QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_delete"),
            QStringLiteral("DROP TRIGGER IF EXISTS finl_pack_update"),
            QStringLiteral("DROP TABLE IF EXISTS finl_pack"),
            QStringLiteral("CREATE TABLE finl_pack (finl_stmt_id INTEGER PRIMARY KEY, item_blob BLOB NOT NULL)"),
            QStringLiteral("CREATE TRIGGER finl_pack_insert BEFORE INSERT ON finl_item BEGIN "
                           "DELETE FROM finl_pack WHERE finl_stmt_id IN (new.finl_stmt_id, %1); END")
                .arg(replaced),
            QStringLiteral("CREATE TRIGGER finl_pack_delete AFTER DELETE ON finl_item BEGIN "
                           "DELETE FROM finl_pack WHERE finl_stmt_id = old.finl_stmt_id; END"),
            QStringLiteral("CREATE TRIGGER finl_pack_update BEFORE UPDATE ON finl_item BEGIN "
                           "DELETE FROM finl_pack WHERE finl_stmt_id IN (old.finl_stmt_id, new.finl_stmt_id, %1); END")
                .arg(replaced)};
}

bool registerFunction(sqlite3 *sqlite)
{
    return sqlite3_create_function(sqlite, "verna_pack", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr, packStep, packFinal) == SQLITE_OK;
}

Outcome statements(Database &db, qint64 first, qint64 last)
{
    if (!kept(db.backend()) || first > last)
        return Outcome::success();
    const QString sql = packSql(db.backend(), QStringLiteral("finl_stmt_id BETWEEN %1 AND %2").arg(first).arg(last));
    // A server whose owner has not upgraded it yet has no packs; its editors still write.
    if (db.backend() == Backend::PostgreSQL)
        return db.executeNative(QStringLiteral("DO $$ BEGIN IF to_regclass('finl_pack') IS NOT NULL THEN %1; END IF; END $$").arg(sql));
    return db.executeNative(sql);
}

Outcome missing(Database &db)
{
    if (!kept(db.backend()))
        return Outcome::success();
    return db.executeNative(packSql(db.backend(), db.backend() == Backend::PostgreSQL
                                        ? QStringLiteral("NOT EXISTS (SELECT 1 FROM finl_pack p WHERE p.finl_stmt_id = finl_item.finl_stmt_id)")
                                        : QStringLiteral("finl_stmt_id NOT IN (SELECT finl_stmt_id FROM finl_pack)")));
}

void append(std::string &out, qint64 code, std::optional<double> amount)
{
    putVarint(out, zigzag(code));
    if (!amount) {
        putVarint(out, Null);
        return;
    }
    const double d = *amount;
    // Whole amounts (nearly all of them) as a varint; -0 and the rest as their eight bytes.
    if (std::fabs(d) < kExactIntegers && d == std::trunc(d) && !(d == 0 && std::signbit(d))) {
        putVarint(out, zigzag(static_cast<qint64>(d)) << 2 | Integer);
        return;
    }
    putVarint(out, Real);
    quint64 bits = 0;
    std::memcpy(&bits, &d, sizeof d);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>(bits >> (8 * i)));
}

bool read(const char *data, size_t size, std::vector<Item> &items)
{
    items.clear();
    if (size == 0 || data[0] != kLayout)
        return false;
    const auto *at = reinterpret_cast<const unsigned char *>(data) + 1;
    const auto *const end = reinterpret_cast<const unsigned char *>(data) + size;
    while (at < end) {
        quint64 code = 0;
        quint64 amount = 0;
        if (!getVarint(at, end, code) || !getVarint(at, end, amount))
            return false;
        switch (amount & 3) {
        case Null:
            if (amount != Null)
                return false;
            items.emplace_back(unzigzag(code), std::nullopt);
            break;
        case Integer: items.emplace_back(unzigzag(code), static_cast<double>(unzigzag(amount >> 2))); break;
        case Real: {
            if (amount != Real || end - at < 8)
                return false;
            quint64 bits = 0;
            for (int i = 0; i < 8; ++i)
                bits |= static_cast<quint64>(at[i]) << (8 * i);
            at += 8;
            double d = 0;
            std::memcpy(&d, &bits, sizeof d);
            items.emplace_back(unzigzag(code), d);
            break;
        }
        default: return false;
        }
    }
    return true;
}

} // namespace verna::db::pack

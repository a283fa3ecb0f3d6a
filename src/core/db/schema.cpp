#include "db/schema.h"

#include "db/audit.h"
#include "db/backend.h"
#include "db/database.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"
#include "db/statementpack.h"
#include "db/transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <chrono>


namespace verna::db {

namespace {

struct Column {
    const char *name;
    const char *type; // "int", "small", "text", "time", "amount"
};

struct Table {
    const char *name;
    std::vector<Column> columns;
    int since = 1; // the schema version that brought the table
};

// Positional inserts rely on this order; constant-only columns keep neutral names.
const std::vector<Table> &tables()
{
    static const std::vector<Table> t = {
        {"subj", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"subj_id", "int"}, {"subj_type_cd", "int"},
                  {"src_txt", "text"}, {"src_ind", "small"}, {"upd_txt", "text"}, {"upd_ind", "small"}, {"text_id", "int"}}},
        {"ident", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"subj_id", "int"}, {"ident_type_cd", "int"},
                   {"ident_txt", "text"}, {"src_txt", "text"}, {"src_ind", "small"}, {"upd_txt", "text"}, {"upd_ind", "small"},
                   {"form_type_cd", "int"}}},
        {"name", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"subj_id", "int"}, {"name_type_cd", "int"},
                  {"name_txt", "text"}, {"src_txt", "text"}, {"src_ind", "small"}, {"upd_txt", "text"}, {"upd_ind", "small"},
                  {"srch_name_txt", "text"}}},
        {"actv", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"subj_id", "int"}, {"actv_cd", "int"},
                  {"actv_nbr", "small"}}},
        {"mem", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"subj_id", "int"}, {"mem_id", "int"}}},
        {"text", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"text_id", "int"}, {"seq_nbr", "int"},
                  {"line_txt", "text"}}},
        {"finl_stmt", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"finl_stmt_id", "int"}, {"subj_id", "int"},
                       {"stmt_type_cd", "int"}, {"src_txt", "text"}, {"src_ind", "small"}, {"upd_txt", "text"},
                       {"upd_ind", "small"}, {"audit_ind", "small"}, {"note_txt", "text"}, {"entered_by", "text"},
                       {"currency_ind", "small"}, {"fill_lvl_ind", "small"}, {"year_dt", "int"}, {"quarter_dt", "small"}}},
        {"finl_item", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"finl_stmt_id", "int"}, {"subj_id", "int"},
                       {"item_type_cd", "int"}, {"amt_val", "amount"}}},
        {"func_for", {{"row_id", "int"}, {"crt_dt", "time"}, {"func_for_id", "int"}, {"inac_ind", "small"},
                      {"func_for_name", "text"}, {"func_for_val", "text"}, {"func_for_txt", "text"}}},
        {"func_grp", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"func_grp_id", "int"},
                      {"func_grp_name", "text"}, {"func_grp_text", "text"}}},
        {"func_mem", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"func_mem_grp", "int"}, {"func_mem_for", "int"}}},
        {"cd_val", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"tbl_cd", "int"}, {"val_agn", "int"},
                    {"short_txt", "text"}, {"value_txt", "text"}, {"seq_nbr", "int"}}},
        {"ctrl", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"ctrl_type_cd", "int"}, {"fill_lvl_ind", "small"},
                  {"l_side", "text"}, {"r_side", "text"}}},
        // An indicator's unit and the direction a reader takes it in (IndicatorUnit); beside
        // func_for, whose columns other programs rely on.
        {"func_unit", {{"row_id", "int"}, {"crt_dt", "time"}, {"inac_ind", "small"}, {"func_for_id", "int"}, {"unit_txt", "text"},
                       {"dir_cd", "small"}, {"low_val", "amount"}, {"high_val", "amount"}}, 3},
    };
    return t;
}

struct Index {
    const char *name;
    const char *table;
    const char *columns;
    bool unique;
    const char *packedColumns = nullptr; // where a backend that keeps statement packs indexes other columns
};

// Every key column is unique (concurrent writers can never share a key); the rest cover
// the lookups the windows and the evaluator run per cell.
const std::vector<Index> &indexes()
{
    static const std::vector<Index> i = {
        {"ux_subj_row", "subj", "row_id", true},
        {"ux_ident_row", "ident", "row_id", true},
        {"ux_name_row", "name", "row_id", true},
        {"ux_actv_row", "actv", "row_id", true},
        {"ux_mem_row", "mem", "row_id", true},
        {"ux_text_row", "text", "row_id", true},
        {"ux_finl_stmt_row", "finl_stmt", "row_id", true},
        {"ux_finl_item_row", "finl_item", "row_id", true},
        {"ux_func_for_row", "func_for", "row_id", true},
        {"ux_func_grp_row", "func_grp", "row_id", true},
        {"ux_func_mem_row", "func_mem", "row_id", true},
        {"ux_cd_val_row", "cd_val", "row_id", true},
        {"ux_ctrl_row", "ctrl", "row_id", true},
        {"ux_ident_subj", "ident", "subj_id", true},
        {"ux_finl_stmt_id", "finl_stmt", "finl_stmt_id", true},
        {"ux_func_for_id", "func_for", "func_for_id", true},
        {"ux_func_grp_id", "func_grp", "func_grp_id", true},
        {"ux_cd_val_agn", "cd_val", "val_agn", true},
        {"ix_subj_subj", "subj", "subj_id", false},
        {"ix_ident_txt", "ident", "ident_txt", false},
        {"ix_ident_form", "ident", "form_type_cd", false},
        {"ix_name_subj", "name", "subj_id", false},
        {"ix_name_srch", "name", "srch_name_txt", false},
        {"ix_actv_subj", "actv", "subj_id", false},
        {"ix_actv_cd", "actv", "actv_cd", false},
        // A branch's companies straight from the index: a peer set of a national division would
        // otherwise fetch each of its rows (and the company's) from all over the file.
        {"ix_actv_main", "actv", "actv_cd, actv_nbr, inac_ind, subj_id", false},
        {"ix_ident_live", "ident", "subj_id, inac_ind", false},
        {"ix_mem_subj", "mem", "subj_id", false},
        {"ix_mem_mem", "mem", "mem_id", false},
        {"ix_text_id", "text", "text_id, seq_nbr", false},
        {"ix_finl_stmt_period", "finl_stmt", "subj_id, year_dt, quarter_dt, stmt_type_cd, inac_ind, finl_stmt_id, fill_lvl_ind", false},
        // Where amounts are read from the statements' packs, items are found by their statement
        // only, and the index is the smaller for it.
        {"ix_finl_item_stmt", "finl_item", "finl_stmt_id, item_type_cd, amt_val", false, "finl_stmt_id"},
        {"ix_func_mem_grp", "func_mem", "func_mem_grp", false},
        {"ix_cd_val_list", "cd_val", "tbl_cd, seq_nbr", false},
        {"ix_ctrl_type", "ctrl", "ctrl_type_cd, fill_lvl_ind", false},
        {"ux_func_unit_row", "func_unit", "row_id", true},
        {"ux_func_unit_for", "func_unit", "func_for_id", true},
    };
    return i;
}

QString columnType(const char *type, Backend backend)
{
    const QString t = QString::fromLatin1(type);
    switch (backend) {
    case Backend::SQLite:
        // Plain TEXT: the file stays readable by any SQLite tool. The application's queries
        // bring the Czech case-insensitive collation themselves.
        if (t == QLatin1String("text") || t == QLatin1String("time"))
            return QStringLiteral("TEXT");
        if (t == QLatin1String("amount"))
            return QStringLiteral("REAL"); // a NUMERIC column would store 500.00 as 500 and divide it as an integer
        return QStringLiteral("INTEGER");
    case Backend::PostgreSQL:
        if (t == QLatin1String("text"))
            return QStringLiteral("TEXT COLLATE verna_ci");
        if (t == QLatin1String("time"))
            return QStringLiteral("TIMESTAMP");
        if (t == QLatin1String("amount"))
            return QStringLiteral("NUMERIC");
        if (t == QLatin1String("small"))
            return QStringLiteral("SMALLINT");
        return QStringLiteral("INTEGER");
    case Backend::SqlServer:
        if (t == QLatin1String("text"))
            return QStringLiteral("NVARCHAR(4000)");
        if (t == QLatin1String("time"))
            return QStringLiteral("DATETIME");
        if (t == QLatin1String("amount"))
            return QStringLiteral("DECIMAL(19,4)");
        if (t == QLatin1String("small"))
            return QStringLiteral("SMALLINT");
        return QStringLiteral("INT");
    }
    return QStringLiteral("INTEGER");
}

const Table *tableNamed(const char *name)
{
    for (const Table &t : tables()) {
        if (qstrcmp(t.name, name) == 0)
            return &t;
    }
    return nullptr;
}

QString createTable(const Table &t, Backend backend)
{
    QStringList cols;
    for (const Column &c : t.columns) {
        QString def = QString::fromLatin1(c.name) + QLatin1Char(' ') + columnType(c.type, backend);
        if (QLatin1String(c.name) == QLatin1String("row_id"))
            def += QStringLiteral(" NOT NULL");
        cols << def;
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(QString::fromLatin1(t.name), cols.join(QStringLiteral(", ")));
}

QString createIndex(const Index &i, Backend backend)
{
    const char *columns = pack::kept(backend) && i.packedColumns ? i.packedColumns : i.columns;
    return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
        .arg(i.unique ? QStringLiteral("UNIQUE ") : QString(), QString::fromLatin1(i.name), QString::fromLatin1(i.table),
             QString::fromLatin1(columns));
}

bool execAll(Database &db, const QStringList &statements, QString &error)
{
    for (const QString &sql : statements) {
        if (const Outcome done = db.executeNative(sql); !done) {
            error = done.error + QStringLiteral(" [") + sql + QLatin1Char(']');
            return false;
        }
    }
    return true;
}

// Name searches without diacritics: a prefix seeks the folded search form; a search anywhere
// in the name uses trigrams (an FTS5 table on SQLite; pg_trgm on PostgreSQL where it can be
// had, without it the search scans). SQLite stores the folded forms and the names' order keys
// (name_srch) through triggers of plain SQL, so rows other tools write are folded and indexed
// as VERNA's are; the order key lets a long listing stream in name order.
// The statements that compute both for the name rows new.*, the search rows being made already.
QStringList searchKeySteps(const QString &where)
{
    const QStringList fold = searchFoldSqliteSteps(QStringLiteral("new.srch_name_txt"), QStringLiteral("fold_txt"));
    const QStringList order = nameOrderSqliteSteps(QStringLiteral("trim(new.name_txt)"), QStringLiteral("ord_txt"));
    QStringList out;
    for (qsizetype i = 1; i < std::max(fold.size(), order.size()); ++i) {
        QStringList sets;
        if (i < fold.size())
            sets << QStringLiteral("fold_txt = ") + fold.at(i);
        if (i < order.size())
            sets << QStringLiteral("ord_txt = ") + order.at(i);
        out << QStringLiteral("UPDATE name_srch SET %1%2").arg(sets.join(QStringLiteral(", ")), where);
    }
    return out;
}

// Names in the order listings show them on PostgreSQL: a listing read through a cursor starts at
// once. Idempotent, for the upgrade of a database made before them.
QStringList postgresOrderIndexes()
{
    const QString folded = searchFoldSql(QStringLiteral("srch_name_txt"), Backend::PostgreSQL);
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS ix_name_order ON name ((TRIM(name_txt) COLLATE verna_ci))"),
            // The same order within the first three folded letters, for a typed start.
            QStringLiteral("CREATE INDEX IF NOT EXISTS ix_name_start ON name (left(%1, 3), (TRIM(name_txt) COLLATE verna_ci))").arg(folded)};
}

QStringList searchIndexes(Backend backend, bool fillFromNames = false)
{
    if (backend == Backend::SqlServer)
        return {};
    if (backend == Backend::SQLite) {
        const QStringList fold = searchFoldSqliteSteps(QStringLiteral("new.srch_name_txt"), QStringLiteral("fold_txt"));
        const QStringList order = nameOrderSqliteSteps(QStringLiteral("trim(new.name_txt)"), QStringLiteral("ord_txt"));
        QString add = QStringLiteral("INSERT INTO name_srch (row_id, fold_txt, ord_txt) VALUES (new.row_id, %1, %2);").arg(fold.front(), order.front());
        for (const QString &step : searchKeySteps(QStringLiteral(" WHERE row_id = new.row_id")))
            add += QLatin1Char(' ') + step + QLatin1Char(';');
        add += QStringLiteral(" INSERT INTO name_fold (rowid, fold) SELECT row_id, fold_txt FROM name_srch WHERE row_id = new.row_id;");
        const QString drop = QStringLiteral("INSERT INTO name_fold (name_fold, rowid, fold) SELECT 'delete', row_id, fold_txt FROM name_srch "
                                            "WHERE row_id = old.row_id; DELETE FROM name_srch WHERE row_id = old.row_id;");
        QStringList out = {QStringLiteral("DROP TRIGGER IF EXISTS name_fold_insert"),
                           QStringLiteral("DROP TRIGGER IF EXISTS name_fold_delete"),
                           QStringLiteral("DROP TRIGGER IF EXISTS name_fold_update"),
                           QStringLiteral("DROP TABLE IF EXISTS name_fold"),
                           QStringLiteral("DROP TABLE IF EXISTS name_srch"),
                           QStringLiteral("CREATE TABLE name_srch (row_id INTEGER PRIMARY KEY, fold_txt TEXT, ord_txt TEXT)")};
        if (fillFromNames) {
            // An upgrade computes the keys of the names already there, a step at a time over all of
            // them, before the indexes exist.
            out << QStringLiteral("INSERT INTO name_srch (row_id, fold_txt, ord_txt) SELECT row_id, %1, %2 FROM name")
                       .arg(searchFoldSqliteSteps(QStringLiteral("srch_name_txt"), {}).front(),
                            nameOrderSqliteSteps(QStringLiteral("trim(name_txt)"), {}).front())
                << searchKeySteps(QString());
        }
        // The folded key leads for a prefix; the order key beside it lets the rows a prefix finds be
        // put in name order from the index alone.
        out << QStringLiteral("CREATE INDEX ix_name_srch_fold ON name_srch (fold_txt, ord_txt)")
            << QStringLiteral("CREATE INDEX ix_name_srch_ord ON name_srch (ord_txt)")
            << QStringLiteral("CREATE VIRTUAL TABLE name_fold USING fts5(fold, content='', tokenize='trigram')");
        if (fillFromNames)
            out << QStringLiteral("INSERT INTO name_fold (rowid, fold) SELECT row_id, fold_txt FROM name_srch");
        out << QStringLiteral("CREATE TRIGGER name_fold_insert AFTER INSERT ON name BEGIN %1 END").arg(add)
            << QStringLiteral("CREATE TRIGGER name_fold_delete AFTER DELETE ON name BEGIN %1 END").arg(drop)
            << QStringLiteral("CREATE TRIGGER name_fold_update AFTER UPDATE OF row_id, srch_name_txt, name_txt ON name BEGIN %1 %2 END").arg(drop, add);
        return out;
    }
    const QString folded = searchFoldSql(QStringLiteral("srch_name_txt"), backend);
    QString literal = QStringLiteral("CREATE INDEX ix_name_fold_trgm ON name USING gin ((%1) %I.gin_trgm_ops)").arg(folded);
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringList{QStringLiteral("CREATE INDEX ix_name_fold ON name ((%1))").arg(folded)} + postgresOrderIndexes()
        << QStringLiteral("DO $$ BEGIN "
                           "BEGIN CREATE EXTENSION IF NOT EXISTS pg_trgm SCHEMA public; EXCEPTION WHEN OTHERS THEN NULL; END; "
                           "IF EXISTS (SELECT 1 FROM pg_opclass WHERE opcname = 'gin_trgm_ops') THEN "
                           "EXECUTE format('%1', (SELECT n.nspname FROM pg_opclass o JOIN pg_namespace n ON n.oid = o.opcnamespace "
                           "WHERE o.opcname = 'gin_trgm_ops' LIMIT 1)); END IF; END $$")
                .arg(literal);
}

// The schema's version, kept beside the tables other programs know.
const QString kVersionTable = QStringLiteral("schema_ver");

QString versionStatement()
{
    return QStringLiteral("INSERT INTO %1 (ver_nbr) VALUES (%2)").arg(kVersionTable).arg(Schema::kVersion);
}

// Which of the named tables the current schema holds, in lower case.
Result<QStringList> tablesAmong(Database &db, const QStringList &tables)
{
    QString names;
    for (const QString &name : tables)
        names += (names.isEmpty() ? QString() : QStringLiteral(",")) + QLatin1Char('\'') + name + QLatin1Char('\'');
    QString sql;
    switch (db.backend()) {
    case Backend::SQLite:
        sql = QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name IN (%1)").arg(names);
        break;
    case Backend::PostgreSQL:
        sql = QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() "
                             "AND table_name IN (%1)").arg(names);
        break;
    case Backend::SqlServer:
        sql = QStringLiteral("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_SCHEMA = SCHEMA_NAME() "
                             "AND TABLE_NAME IN (%1)").arg(names);
        break;
    }
    const Rows rows = db.queryRows(sql);
    if (!rows.ok())
        return Result<QStringList>::failure(rows.error);
    Result<QStringList> present;
    for (const QStringList &row : rows.rows)
        present.value << row.value(0).toLower();
    return present;
}

Result<bool> hasIndex(Database &db, const QString &index)
{
    QString sql;
    switch (db.backend()) {
    case Backend::SQLite:
        sql = QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name = %1");
        break;
    case Backend::PostgreSQL:
        sql = QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND indexname = %1");
        break;
    case Backend::SqlServer:
        sql = QStringLiteral("SELECT name FROM sys.indexes WHERE name = %1");
        break;
    }
    const Rows rows = db.queryRows(sql.arg(quoted(index)));
    if (!rows.ok())
        return Result<bool>::failure(rows.error);
    return {!rows.rows.isEmpty(), {}};
}

// A free name beside the file for its copy before an upgrade: "verna.zaloha-v1.sqlite".
QString backupPath(const QString &path, int version)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString candidate;
    for (int n = 1;; ++n) {
        candidate = info.dir().filePath(QStringLiteral("%1.zaloha-v%2%3%4")
                                            .arg(info.completeBaseName(), QString::number(version),
                                                 n == 1 ? QString() : QStringLiteral("-%1").arg(n), suffix));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

// Version 1 declared the application's collation on text columns and called its fold function
// from an index and triggers: other SQLite tools could not read the file. The tables are
// rebuilt with the plain declarations, their rows copied as they are.
Outcome upgradeSqliteFrom1(Database &db)
{
    QString error;
    QStringList statements = {QStringLiteral("DROP TRIGGER IF EXISTS name_fold_insert"),
                              QStringLiteral("DROP TRIGGER IF EXISTS name_fold_delete"),
                              QStringLiteral("DROP TRIGGER IF EXISTS name_fold_update"),
                              QStringLiteral("DROP TABLE IF EXISTS name_fold")};
    for (const Table &t : tables()) {
        if (t.since == 1)
            statements << QStringLiteral("ALTER TABLE %1 RENAME TO %1_v1").arg(QLatin1String(t.name));
    }
    for (const Index &i : indexes())
        statements << QStringLiteral("DROP INDEX IF EXISTS %1").arg(QLatin1String(i.name));
    // Later tables are made anew by the statements below.
    for (const Table &t : tables()) {
        if (t.since != 1)
            statements << QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(t.name));
    }
    statements << QStringLiteral("DROP TABLE IF EXISTS ") + audit::kTable << QStringLiteral("DROP INDEX IF EXISTS ix_name_fold");
    if (!execAll(db, statements, error))
        return Outcome::failure(error);
    if (!execAll(db, Schema::statements(Backend::SQLite), error))
        return Outcome::failure(error);
    statements.clear();
    for (const Table &t : tables()) {
        if (t.since != 1)
            continue; // made empty by the statements above
        QStringList columns;
        for (const Column &c : t.columns)
            columns << QLatin1String(c.name);
        statements << QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %1_v1").arg(QLatin1String(t.name), columns.join(QStringLiteral(", ")))
                   << QStringLiteral("DROP TABLE %1_v1").arg(QLatin1String(t.name));
    }
    return execAll(db, statements, error) ? Outcome::success() : Outcome::failure(error);
}

} // namespace

QStringList Schema::tableNames()
{
    QStringList names;
    for (const Table &t : tables())
        names << QString::fromLatin1(t.name);
    return names << audit::kTable;
}

QStringList Schema::statements(Backend backend)
{
    QStringList out;
    if (backend == Backend::PostgreSQL) {
        // Text compares as on the T-SQL server: case-insensitive, Czech letters included.
        out << QStringLiteral("DO $$ BEGIN IF to_regcollation('verna_ci') IS NULL THEN "
                              "CREATE COLLATION verna_ci (provider = icu, locale = 'cs-u-ks-level2', deterministic = false); "
                              "END IF; END $$");
    }
    for (const Table &t : tables())
        out << createTable(t, backend);
    for (const Index &i : indexes())
        out << createIndex(i, backend);
    out << searchIndexes(backend);
    out << pack::schemaStatements(backend);
    out << audit::schemaStatements(backend);
    out << QStringLiteral("CREATE TABLE %1 (ver_nbr INTEGER NOT NULL)").arg(kVersionTable) << versionStatement();
    return out;
}

QStringList Schema::firstTableNames()
{
    QStringList names;
    for (const Table &t : tables()) {
        if (t.since == 1)
            names << QString::fromLatin1(t.name);
    }
    return names;
}

Result<bool> Schema::hasTable(Database &db, const QString &table)
{
    const Result<QStringList> present = tablesAmong(db, {table});
    if (!present.ok())
        return Result<bool>::failure(present.error);
    return {!present.value.isEmpty(), {}};
}

Result<QStringList> Schema::presentTables(Database &db)
{
    return tablesAmong(db, tableNames());
}

Result<bool> Schema::exists(Database &db)
{
    const Result<QStringList> present = presentTables(db);
    if (!present.ok())
        return Result<bool>::failure(present.error);
    return {!present.value.isEmpty(), {}};
}

Outcome Schema::create(Database &db, bool replace)
{
    Transaction tx(db);
    if (!tx.isActive())
        return Outcome::failure(QStringLiteral("Nelze zahájit transakci: ") + db.lastError());
    QString error;
    if (replace) {
        const Result<QStringList> present = presentTables(db);
        const Result<bool> versioned = hasTable(db, kVersionTable);
        if (!present.ok() || !versioned.ok())
            return Outcome::failure(QStringLiteral("Tabulky nelze odstranit: ") + (present.ok() ? versioned.error : present.error));
        QStringList drops;
        if (versioned.value)
            drops << QStringLiteral("DROP TABLE ") + kVersionTable;
        for (const QString &name : tableNames()) {
            if (present.value.contains(name))
                drops << QStringLiteral("DROP TABLE ") + name;
        }
        if (!execAll(db, drops, error))
            return Outcome::failure(QStringLiteral("Tabulky nelze odstranit: ") + error);
    }
    if (!execAll(db, statements(db.backend()), error))
        return Outcome::failure(QStringLiteral("Schéma nelze vytvořit: ") + error);
    if (!tx.commit())
        return Outcome::failure(QStringLiteral("Schéma nelze potvrdit: ") + db.lastError());
    return Outcome::success();
}

Result<int> Schema::version(Database &db)
{
    const Result<bool> versioned = hasTable(db, kVersionTable);
    if (!versioned.ok())
        return Result<int>::failure(versioned.error);
    if (!versioned.value)
        return {1, {}};
    const Result<QList<QVariantList>> rows = db.queryNative(QStringLiteral("SELECT max(ver_nbr) FROM ") + kVersionTable);
    if (!rows.ok())
        return Result<int>::failure(rows.error);
    return {rows.value.isEmpty() ? 1 : rows.value.front().value(0).toInt(), {}};
}

Outcome Schema::upgrade(Database &db, const ReferenceDataStep &referenceData)
{
    const Result<int> found = version(db);
    if (!found.ok())
        return Outcome::failure(QStringLiteral("Verzi schématu databáze nelze zjistit: ") + found.error);
    if (found.value > kVersion) {
        return Outcome::failure(QStringLiteral("Databáze %1 pochází z novější verze programu VERNA (schéma %2, tato verze zná %3). "
                                               "Otevřete ji novější verzí; tato ji nezmění.")
                                    .arg(db.location().describe(), QString::number(found.value), QString::number(kVersion)));
    }
    // A file that cannot be written is read as it is: the application's queries work on both.
    if (found.value == kVersion || db.isReadOnly())
        return Outcome::success();
    const auto failed = [](const QString &why) {
        return Outcome::failure(QStringLiteral("Databázi nelze převést na novou verzi schématu, zůstala beze změny: ") + why);
    };
    // Nothing after version 7 concerns the embedded file: it records the new number only,
    // without the copy and the passes a large file would take long over.
    if (db.backend() == Backend::SQLite && found.value >= 7) {
        if (const Outcome recorded = db.executeNative(QStringLiteral("UPDATE %1 SET ver_nbr = %2").arg(kVersionTable).arg(kVersion)); !recorded)
            return failed(recorded.error);
        return Outcome::success();
    }
    // A server's upgrade rebuilds indexes and packs over every statement: on a large database
    // that outlasts the wait for an ordinary statement.
    const std::chrono::milliseconds wait = db.responseLimit();
    db.setResponseLimit(std::max<std::chrono::milliseconds>(wait, std::chrono::hours(2)));
    const auto restore = qScopeGuard([&] { db.setResponseLimit(wait); });
    QString backup;
    if (db.backend() == Backend::SQLite) {
        // SQLite writes the copy through its own connection: no second descriptor of the file
        // is opened and closed here, which would drop the process's locks on it.
        backup = backupPath(db.location().path, found.value);
        if (const Outcome copied = db.executeNative(QStringLiteral("VACUUM INTO ") + quoted(backup)); !copied)
            return failed(QStringLiteral("záložní kopii nelze vytvořit: ") + copied.error);
    }
    Transaction tx(db);
    if (!tx.isActive())
        return failed(db.lastError());
    if (found.value == 1 && db.backend() == Backend::SQLite) {
        if (const Outcome rebuilt = upgradeSqliteFrom1(db); !rebuilt)
            return failed(rebuilt.error);
    } else if (found.value == 1) {
        // On a server the first schema lacks the version table: a login that may not create it
        // (a reader) still works with the tables as they are, and the owner upgrades later.
        QString error;
        if (!execAll(db, {QStringLiteral("CREATE TABLE %1 (ver_nbr INTEGER NOT NULL)").arg(kVersionTable), versionStatement()}, error))
            return Outcome::success();
    } else if (const Outcome recorded = db.executeNative(QStringLiteral("UPDATE %1 SET ver_nbr = %2").arg(kVersionTable).arg(kVersion));
               !recorded) {
        // A server login that may not write (a reader) works with the tables as they are.
        if (db.backend() != Backend::SQLite)
            return Outcome::success();
        return failed(recorded.error);
    }
    // Version 3: the units and directions of indicators, and the shipped indicators' formulas
    // that state shared quantities once and annualise every flow set against a stock.
    const Result<bool> hasUnits = hasTable(db, QStringLiteral("func_unit"));
    if (!hasUnits.ok())
        return failed(hasUnits.error);
    if (!hasUnits.value) {
        QStringList statements = {createTable(*tableNamed("func_unit"), db.backend())};
        for (const Index &i : indexes()) {
            if (qstrcmp(i.table, "func_unit") == 0)
                statements << createIndex(i, db.backend());
        }
        QString error;
        if (!execAll(db, statements, error))
            return failed(error);
    }
    if (referenceData) {
        if (const Outcome shipped = referenceData(db, found.value); !shipped)
            return failed(shipped.error);
    }
    // Version 4: the audit trail (and on PostgreSQL its triggers on the tables).
    const Result<bool> hasAudit = hasTable(db, audit::kTable);
    if (!hasAudit.ok())
        return failed(hasAudit.error);
    if (!hasAudit.value) {
        QString error;
        if (!execAll(db, audit::schemaStatements(db.backend()), error))
            return failed(error);
    }
    // Version 5: SQLite keeps the names' order keys beside their folded forms, PostgreSQL indexes
    // the names in listing order.
    if (db.backend() == Backend::PostgreSQL) {
        QString error;
        if (!execAll(db, postgresOrderIndexes(), error))
            return failed(error);
    } else if (db.backend() == Backend::SQLite) {
        const Result<QList<QVariantList>> keyed = db.queryNative(QStringLiteral("SELECT 1 FROM pragma_table_info('name_srch') WHERE name = 'ord_txt'"));
        if (!keyed.ok())
            return failed(keyed.error);
        QString error;
        if (keyed.value.isEmpty() && !execAll(db, searchIndexes(Backend::SQLite, true), error))
            return failed(error);
    }
    // Version 6: the covering indexes of branches and live companies.
    for (const Index &i : indexes()) {
        if (qstrcmp(i.name, "ix_actv_main") != 0 && qstrcmp(i.name, "ix_ident_live") != 0)
            continue;
        const Result<bool> present = hasIndex(db, QString::fromLatin1(i.name));
        if (!present.ok())
            return failed(present.error);
        QString error;
        if (!present.value && !execAll(db, {createIndex(i, db.backend())}, error))
            return failed(error);
    }
    // Version 7 (SQLite) and 8 (PostgreSQL): each statement's items packed into one row; their
    // index then needs the statement alone. A database made from the first schema above has the
    // table, still empty.
    if (pack::kept(db.backend())) {
        const Result<bool> packed = hasTable(db, QStringLiteral("finl_pack"));
        if (!packed.ok())
            return failed(packed.error);
        if (!packed.value) {
            const auto items = std::find_if(indexes().begin(), indexes().end(), [](const Index &i) { return qstrcmp(i.name, "ix_finl_item_stmt") == 0; });
            QString error;
            if (!execAll(db, QStringList{QStringLiteral("DROP INDEX IF EXISTS ix_finl_item_stmt"), createIndex(*items, db.backend())}
                                 + pack::schemaStatements(db.backend()),
                         error))
                return failed(error);
        }
        if (const Outcome done = pack::missing(db); !done)
            return failed(done.error);
    }
    if (!tx.commit())
        return failed(db.lastError());
    db.trimWriteAheadLog(); // the rebuild went through the log whole
    return Outcome::success();
}

} // namespace verna::db

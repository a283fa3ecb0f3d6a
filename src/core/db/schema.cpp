#include "db/schema.h"

#include "db/backend.h"
#include "db/database.h"
#include "db/sqlitefunctions.h"
#include "db/transaction.h"


namespace verna::db {

namespace {

struct Column {
    const char *name;
    const char *type; // "int", "small", "text", "time", "amount"
};

struct Table {
    const char *name;
    std::vector<Column> columns;
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
    };
    return t;
}

struct Index {
    const char *name;
    const char *table;
    const char *columns;
    bool unique;
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
        {"ix_mem_subj", "mem", "subj_id", false},
        {"ix_mem_mem", "mem", "mem_id", false},
        {"ix_text_id", "text", "text_id, seq_nbr", false},
        {"ix_finl_stmt_period", "finl_stmt", "subj_id, year_dt, quarter_dt, stmt_type_cd, inac_ind, finl_stmt_id, fill_lvl_ind", false},
        {"ix_finl_item_stmt", "finl_item", "finl_stmt_id, item_type_cd, amt_val", false},
        {"ix_func_mem_grp", "func_mem", "func_mem_grp", false},
        {"ix_cd_val_list", "cd_val", "tbl_cd, seq_nbr", false},
        {"ix_ctrl_type", "ctrl", "ctrl_type_cd, fill_lvl_ind", false},
    };
    return i;
}

QString columnType(const char *type, Backend backend)
{
    const QString t = QString::fromLatin1(type);
    switch (backend) {
    case Backend::SQLite:
        if (t == QLatin1String("text"))
            return QStringLiteral("TEXT COLLATE ") + QString::fromLatin1(kSqliteTextCollation);
        if (t == QLatin1String("time"))
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
// had, without it the search scans).
QStringList searchIndexes(Backend backend)
{
    if (backend == Backend::SqlServer)
        return {};
    const QString folded = searchFoldSql(QStringLiteral("srch_name_txt"), backend);
    QStringList out{QStringLiteral("CREATE INDEX ix_name_fold ON name ((%1))").arg(folded)};
    if (backend == Backend::SQLite) {
        // Trigrams of the folded search forms, keyed by the name row; triggers keep them in step.
        const auto fold = [](const char *row) { return searchFoldSql(QStringLiteral("%1.srch_name_txt").arg(QLatin1String(row)), Backend::SQLite); };
        const QString add = QStringLiteral("INSERT INTO name_fold(rowid, fold) VALUES (new.row_id, %1);").arg(fold("new"));
        const QString drop = QStringLiteral("INSERT INTO name_fold(name_fold, rowid, fold) VALUES ('delete', old.row_id, %1);").arg(fold("old"));
        out << QStringLiteral("DROP TABLE IF EXISTS name_fold")
            << QStringLiteral("CREATE VIRTUAL TABLE name_fold USING fts5(fold, content='', tokenize='trigram')")
            << QStringLiteral("CREATE TRIGGER name_fold_insert AFTER INSERT ON name BEGIN %1 END").arg(add)
            << QStringLiteral("CREATE TRIGGER name_fold_delete AFTER DELETE ON name BEGIN %1 END").arg(drop)
            << QStringLiteral("CREATE TRIGGER name_fold_update AFTER UPDATE OF row_id, srch_name_txt ON name BEGIN %1 %2 END").arg(drop, add);
    }
    if (backend == Backend::PostgreSQL) {
        QString literal = QStringLiteral("CREATE INDEX ix_name_fold_trgm ON name USING gin ((%1) %I.gin_trgm_ops)").arg(folded);
        literal.replace(QLatin1Char('\''), QStringLiteral("''"));
        out << QStringLiteral("DO $$ BEGIN "
                              "BEGIN CREATE EXTENSION IF NOT EXISTS pg_trgm SCHEMA public; EXCEPTION WHEN OTHERS THEN NULL; END; "
                              "IF EXISTS (SELECT 1 FROM pg_opclass WHERE opcname = 'gin_trgm_ops') THEN "
                              "EXECUTE format('%1', (SELECT n.nspname FROM pg_opclass o JOIN pg_namespace n ON n.oid = o.opcnamespace "
                              "WHERE o.opcname = 'gin_trgm_ops' LIMIT 1)); END IF; END $$")
                   .arg(literal);
    }
    return out;
}

} // namespace

QStringList Schema::tableNames()
{
    QStringList names;
    for (const Table &t : tables())
        names << QString::fromLatin1(t.name);
    return names;
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
    for (const Table &t : tables()) {
        QStringList cols;
        for (const Column &c : t.columns) {
            QString def = QString::fromLatin1(c.name) + QLatin1Char(' ') + columnType(c.type, backend);
            if (QLatin1String(c.name) == QLatin1String("row_id"))
                def += QStringLiteral(" NOT NULL");
            cols << def;
        }
        out << QStringLiteral("CREATE TABLE %1 (%2)").arg(QString::fromLatin1(t.name), cols.join(QStringLiteral(", ")));
    }
    for (const Index &i : indexes()) {
        out << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                   .arg(i.unique ? QStringLiteral("UNIQUE ") : QString(), QString::fromLatin1(i.name),
                        QString::fromLatin1(i.table), QString::fromLatin1(i.columns));
    }
    out << searchIndexes(backend);
    return out;
}

QStringList Schema::presentTables(Database &db)
{
    QString names;
    for (const QString &name : tableNames())
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
    QStringList present;
    for (const QStringList &row : db.queryRows(sql).rows)
        present << row.value(0).toLower();
    return present;
}

bool Schema::exists(Database &db)
{
    return !presentTables(db).isEmpty();
}

Outcome Schema::create(Database &db, bool replace)
{
    Transaction tx(db);
    if (!tx.isActive())
        return Outcome::failure(QStringLiteral("Nelze zahájit transakci: ") + db.lastError());
    QString error;
    if (replace) {
        const QStringList present = presentTables(db);
        QStringList drops;
        for (const QString &name : tableNames()) {
            if (present.contains(name))
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

} // namespace verna::db

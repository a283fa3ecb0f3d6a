#include "db/audit.h"

#include "db/database.h"
#include "db/sqlquote.h"

#include <QDir>
#include <QVariant>

namespace verna::db::audit {

namespace {

// The open batch of a connection, if any (a property, so the connection needs no member).
const char *const kBatchProperty = "vernaAuditBatch";

// How many rows one insert carries; far below every backend's limits.
constexpr qsizetype kRowsPerInsert = 200;

Batch *openBatch(Database &db)
{
    return static_cast<Batch *>(db.property(kBatchProperty).value<void *>());
}

// The operating-system user, for SQLite files (servers know their own user).
QString systemUser()
{
    for (const char *name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user;
    }
    return QDir::home().dirName();
}

QString number(const std::optional<qint32> &value)
{
    return value ? QString::number(*value) : QStringLiteral("null");
}

Outcome insert(Database &db, const QList<Change> &changes, const QString &action)
{
    const bool sqlite = db.backend() == Backend::SQLite;
    const QString user = sqlite ? quoted(systemUser()) + QLatin1Char(',') : QString();
    for (qsizetype first = 0; first < changes.size(); first += kRowsPerInsert) {
        QStringList rows;
        for (const Change &c : changes.mid(first, kRowsPerInsert)) {
            const QString label = c.label.isEmpty() ? c.kind + QLatin1Char(' ') + QString::number(c.id) : c.label;
            rows << QLatin1Char('(') + user + quoted(action.isEmpty() ? c.action : action) + QLatin1Char(',') + quoted(c.kind)
                    + QLatin1Char(',') + QString::number(c.id) + QLatin1Char(',') + number(c.entity) + QLatin1Char(',')
                    + quoted(label.left(255)) + QLatin1Char(',') + number(c.replaced) + QLatin1Char(')');
        }
        const QString sql = QStringLiteral("INSERT INTO %1 (%2action_txt, obj_type_txt, obj_id, subj_id, label_txt, prev_id) VALUES ")
                                .arg(kTable, sqlite ? QStringLiteral("user_txt, ") : QString())
            + rows.join(QLatin1Char(','));
        if (const Outcome done = db.executeNative(sql); !done)
            return Outcome::failure(QStringLiteral("Záznam do historie změn nelze zapsat: ") + done.error);
    }
    return Outcome::success();
}

// The audited tables, the column naming the changed object and its kind, for the triggers.
struct Audited {
    const char *table;
    const char *key;
    QString kind;
};

QStringList postgresTriggers()
{
    const std::vector<Audited> audited = {
        {"subj", "subj_id", kEntity},           {"ident", "subj_id", kEntity},           {"name", "subj_id", kEntity},
        {"actv", "subj_id", kEntity},           {"mem", "subj_id", kEntityGroup},        {"text", "text_id", kNote},
        {"finl_stmt", "finl_stmt_id", kStatement}, {"finl_item", "finl_stmt_id", kStatement}, {"func_for", "func_for_id", kIndicator},
        {"func_unit", "func_for_id", kIndicator}, {"func_grp", "func_grp_id", kIndicatorGroup},
        {"func_mem", "func_mem_grp", kIndicatorGroup}, {"cd_val", "val_agn", QStringLiteral("číselník")},
        {"ctrl", "row_id", QStringLiteral("kontrolní pravidlo")},
    };
    QStringList out = {
        // A write made beside VERNA: one row per changed row, under the server's own user.
        QStringLiteral("CREATE OR REPLACE FUNCTION verna_audit_row() RETURNS trigger LANGUAGE plpgsql AS $$ "
                       "DECLARE r jsonb; BEGIN "
                       "IF TG_OP = 'DELETE' THEN r := to_jsonb(OLD); ELSE r := to_jsonb(NEW); END IF; "
                       "INSERT INTO audit_log (action_txt, obj_type_txt, obj_id, subj_id, label_txt, tbl_txt) VALUES ("
                       "CASE TG_OP WHEN 'INSERT' THEN '%1' WHEN 'UPDATE' THEN '%2' ELSE '%3' END, TG_ARGV[1], "
                       "(r->>TG_ARGV[0])::integer, (r->>'subj_id')::integer, "
                       "'zápis mimo VERNA do tabulky ' || TG_TABLE_NAME, TG_TABLE_NAME); "
                       "RETURN NULL; END $$")
            .arg(kInsert, kChange, kDelete),
        // Rows of the trail are changed or deleted only by its owner or an administrator.
        QStringLiteral("CREATE OR REPLACE FUNCTION verna_audit_guard() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                       "IF pg_has_role(current_user, (SELECT relowner FROM pg_class WHERE oid = TG_RELID), 'MEMBER') "
                       "OR (EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'verna_spravce') "
                       "AND pg_has_role(current_user, 'verna_spravce', 'MEMBER')) THEN "
                       "IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END IF; "
                       "RAISE EXCEPTION 'Záznamy historie změn smí měnit a mazat jen správce databáze (role verna_spravce).'; "
                       "END $$"),
        QStringLiteral("CREATE TRIGGER audit_log_guard BEFORE UPDATE OR DELETE ON audit_log FOR EACH ROW EXECUTE PROCEDURE verna_audit_guard()"),
        QStringLiteral("CREATE TRIGGER audit_log_guard_truncate BEFORE TRUNCATE ON audit_log FOR EACH STATEMENT "
                       "EXECUTE PROCEDURE verna_audit_guard()"),
    };
    // The condition is checked before the function is called: VERNA's own writes (imports of
    // thousands of lines) pay nothing for the triggers.
    for (const Audited &a : audited) {
        out << QStringLiteral("CREATE TRIGGER audit_%1 AFTER INSERT OR UPDATE OR DELETE ON %1 FOR EACH ROW "
                              "WHEN (current_setting('verna.akce', true) IS DISTINCT FROM 'verna') "
                              "EXECUTE PROCEDURE verna_audit_row('%2', '%3')")
                   .arg(QLatin1String(a.table), QLatin1String(a.key), a.kind);
    }
    return out;
}

// The first moment of a day as the backend's column holds it. SQLite keeps UTC, so the day starts
// at the user's own midnight converted; SQL Server reads "YYYY-MM-DD" as a DATETIME by the login's
// date order (a Czech login takes it as year, day, month), "YYYYMMDD" in any.
QString sinceText(Backend backend, const QDate &day)
{
    switch (backend) {
    case Backend::SQLite: return day.startOfDay().toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    case Backend::SqlServer: return day.toString(QStringLiteral("yyyyMMdd"));
    case Backend::PostgreSQL: break;
    }
    return day.toString(Qt::ISODate);
}

} // namespace

Outcome record(Database &db, const QList<Change> &changes)
{
    if (changes.isEmpty())
        return Outcome::success();
    if (Batch *batch = openBatch(db)) {
        batch->add(changes);
        return Outcome::success();
    }
    return insert(db, changes, QString());
}

Batch::Batch(Database &db, const QString &action)
    : m_db(db)
    , m_action(action)
{
    m_db.setProperty(kBatchProperty, QVariant::fromValue<void *>(this));
}

Batch::~Batch()
{
    m_db.setProperty(kBatchProperty, QVariant());
}

void Batch::add(const QList<Change> &changes)
{
    m_changes += changes;
}

Outcome Batch::flush()
{
    const Outcome done = insert(m_db, m_changes, m_action);
    m_changes.clear();
    return done;
}

Result<QList<Entry>> history(Database &db, const Filter &filter)
{
    using Out = Result<QList<Entry>>;
    QStringList where;
    if (filter.entity)
        where << QStringLiteral("subj_id = ") + QString::number(*filter.entity);
    if (filter.since) {
        if (!filter.since->isValid())
            return Out::failure(QStringLiteral("Neplatné datum."));
        where << QStringLiteral("chng_dt >= ") + quoted(sinceText(db.backend(), *filter.since));
    }
    const QString time = db.backend() == Backend::PostgreSQL ? QStringLiteral("to_char(chng_dt, 'YYYY-MM-DD HH24:MI:SS')")
                                                             : QStringLiteral("chng_dt");
    const Result<QList<QVariantList>> rows = db.queryNative(
        QStringLiteral("SELECT %1, user_txt, action_txt, obj_type_txt, obj_id, subj_id, label_txt, prev_id FROM %2").arg(time, kTable)
        + (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND ")))
        + QStringLiteral(" ORDER BY row_id DESC"));
    if (!rows.ok())
        return Out::failure(rows.error);
    const auto id = [](const QVariant &v) { return v.isNull() ? std::nullopt : std::optional<qint32>(v.toInt()); };
    Out out;
    for (const QVariantList &r : rows.value) {
        out.value << Entry{r.value(0).toString(), r.value(1).toString(), r.value(2).toString(), r.value(3).toString(),
                           r.value(4).toInt(), id(r.value(5)), r.value(6).toString(), id(r.value(7))};
    }
    return out;
}

QStringList schemaStatements(Backend backend)
{
    QString table;
    switch (backend) {
    case Backend::SQLite:
        table = QStringLiteral("CREATE TABLE audit_log (row_id INTEGER PRIMARY KEY, "
                               "chng_dt TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')), user_txt TEXT, ");
        break;
    case Backend::PostgreSQL:
        table = QStringLiteral("CREATE TABLE audit_log (row_id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                               "chng_dt TIMESTAMP(0) NOT NULL DEFAULT LOCALTIMESTAMP(0), user_txt TEXT NOT NULL DEFAULT CURRENT_USER, ");
        break;
    case Backend::SqlServer:
        table = QStringLiteral("CREATE TABLE audit_log (row_id INT IDENTITY(1,1) PRIMARY KEY, "
                               "chng_dt DATETIME NOT NULL DEFAULT GETDATE(), user_txt NVARCHAR(255) NOT NULL DEFAULT SUSER_SNAME(), ");
        break;
    }
    const QString text = backend == Backend::SqlServer ? QStringLiteral("NVARCHAR(255)") : QStringLiteral("TEXT");
    table += QStringLiteral("action_txt %1 NOT NULL, obj_type_txt %1 NOT NULL, obj_id INTEGER, subj_id INTEGER, label_txt %1, "
                            "prev_id INTEGER, tbl_txt %1)")
                 .arg(text);
    QStringList out = {table, QStringLiteral("CREATE INDEX ix_audit_log_subj ON audit_log (subj_id)"),
                       QStringLiteral("CREATE INDEX ix_audit_log_dt ON audit_log (chng_dt)")};
    if (backend == Backend::PostgreSQL)
        out << postgresTriggers();
    return out;
}

QStringList grantStatements()
{
    return {QStringLiteral("GRANT SELECT ON audit_log TO verna_ctenar"),
            QStringLiteral("GRANT SELECT, INSERT ON audit_log TO verna_analytik, verna_editor"),
            QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE, TRUNCATE ON audit_log TO verna_spravce")};
}

Outcome leaveToTriggers(Database &db)
{
    if (db.backend() != Backend::PostgreSQL)
        return Outcome::success();
    return db.executeNative(QStringLiteral("SELECT set_config('verna.akce', '', true)"));
}

QString writerMarkExpression()
{
    return QStringLiteral("set_config('verna.akce', 'verna', true)");
}

} // namespace verna::db::audit

#include "db/roles.h"

#include "db/audit.h"
#include "db/database.h"
#include "db/rights.h"
#include "db/schema.h"
#include "db/sqlquote.h"
#include "db/transaction.h"

#include <QRegularExpression>

namespace verna::db {

namespace {

const QString kServerOnly = QStringLiteral("Role a uživatelé existují jen na databázovém serveru PostgreSQL; tato databáze "
                                           "je soubor nebo jiný server a oprávnění v ní nejsou.");

// An audit table of its own rights: whoever writes records, only an administrator changes records.

QStringList groupRoles()
{
    return {kReaderRole, kAnalystRole, kEditorRole, kAdminRole};
}

// A statement run only when the current schema has the table.
QString whereTableExists(const QString &table, const QString &statement)
{
    return QStringLiteral("DO $$ BEGIN IF to_regclass(quote_ident(current_schema()) || '.' || %1) IS NOT NULL THEN "
                          "EXECUTE %2; END IF; END $$")
        .arg(quoted(table), quoted(statement));
}

// A statement about the current schema, whose name takes the place of %I.
QString inCurrentSchema(const QString &statement)
{
    return QStringLiteral("DO $$ BEGIN EXECUTE format(%1, current_schema()); END $$").arg(quoted(statement));
}

struct Login {
    QString name;
    bool superuser = false;
    bool createRole = false;
};

Result<Login> currentLogin(Database &db)
{
    const auto rows = db.queryNative(QStringLiteral("SELECT rolname, rolsuper, rolcreaterole FROM pg_roles WHERE rolname = current_user"));
    if (!rows.ok())
        return Result<Login>::failure(QStringLiteral("Přihlášeného uživatele nelze zjistit: ") + rows.error);
    if (rows.value.isEmpty())
        return Result<Login>::failure(QStringLiteral("Přihlášeného uživatele nelze zjistit."));
    const QVariantList &row = rows.value.front();
    return {{row.value(0).toString(), row.value(1).toBool(), row.value(2).toBool()}, {}};
}

// Whether the login owns (directly or through a role it belongs to) every VERNA table here.
Result<bool> ownsTables(Database &db)
{
    QStringList names;
    for (const QString &table : Schema::tableNames())
        names << quoted(table);
    const auto rows = db.queryNative(QStringLiteral("SELECT coalesce(bool_and(pg_has_role(current_user, c.relowner, 'USAGE')), false) "
                                                    "FROM pg_class c WHERE c.relkind = 'r' AND c.relnamespace = "
                                                    "(SELECT oid FROM pg_namespace WHERE nspname = current_schema()) AND c.relname IN (%1)")
                                         .arg(names.join(QLatin1Char(','))));
    if (!rows.ok())
        return Result<bool>::failure(rows.error);
    return {!rows.value.isEmpty() && rows.value.front().value(0).toBool(), {}};
}

// Whether a role exists, and whether it may log in.
struct Existing {
    bool exists = false;
    bool login = false;
};

Result<Existing> existingRole(Database &db, const QString &name)
{
    const auto rows = db.queryNative(QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = ") + quoted(name));
    if (!rows.ok())
        return Result<Existing>::failure(rows.error);
    if (rows.value.isEmpty())
        return {{}, {}};
    return {{true, rows.value.front().value(0).toBool()}, {}};
}

Outcome runAll(Database &db, const QStringList &statements)
{
    for (const QString &sql : statements) {
        if (const Outcome done = db.executeNative(sql); !done)
            return done;
    }
    return Outcome::success();
}

// Managing logins takes a superuser or a login that may create roles (an administrator's).
Outcome mayManageUsers(Database &db)
{
    if (db.backend() != Backend::PostgreSQL)
        return Outcome::failure(kServerOnly);
    const Result<Login> login = currentLogin(db);
    if (!login.ok())
        return login.outcome();
    if (!login.value.superuser && !login.value.createRole) {
        return Outcome::failure(QStringLiteral("Uživatele může spravovat jen správce (role %1) nebo superuživatel serveru; "
                                               "přihlášení „%2“ to nesmí. Nic nebylo změněno.")
                                    .arg(kAdminRole, login.value.name));
    }
    return Outcome::success();
}

Outcome checkLogin(const QString &name)
{
    if (!isValidUserName(name))
        return Outcome::failure(QStringLiteral("Jméno uživatele „%1“ není platné: smí obsahovat jen písmena bez diakritiky, "
                                               "číslice a podtržítko a nesmí začínat číslicí.").arg(name));
    if (groupRoles().contains(name, Qt::CaseInsensitive) || name.compare(kOwnerRole, Qt::CaseInsensitive) == 0)
        return Outcome::failure(QStringLiteral("„%1“ je role skupiny, ne uživatel.").arg(name));
    return Outcome::success();
}

// Role changes of a login: its group role, and the right to create logins for administrators.
QStringList roleStatements(const QString &name, const QString &role)
{
    return {QStringLiteral("GRANT %1 TO %2").arg(role, quotedIdentifier(name)),
            QStringLiteral("ALTER ROLE %1 %2").arg(quotedIdentifier(name), role == kAdminRole ? QStringLiteral("CREATEROLE")
                                                                                               : QStringLiteral("NOCREATEROLE"))};
}

} // namespace

QStringList extraGrants()
{
    // The audit trail: each writer adds its rows, only the administrator may change them.
    QStringList out;
    for (const QString &grant : audit::grantStatements())
        out << whereTableExists(audit::kTable, grant);
    return out;
}

Outcome setupRoles(Database &db)
{
    if (db.backend() != Backend::PostgreSQL)
        return Outcome::failure(kServerOnly);
    const Result<bool> present = Schema::exists(db);
    if (!present.ok())
        return present.outcome();
    if (!present.value)
        return Outcome::failure(QStringLiteral("Databáze nemá tabulky VERNA; založte je příkazem init."));
    const Result<Login> login = currentLogin(db);
    if (!login.ok())
        return login.outcome();
    const Result<bool> owner = ownsTables(db);
    if (!owner.ok())
        return owner.outcome();
    if (!login.value.superuser && !(login.value.createRole && owner.value)) {
        return Outcome::failure(QStringLiteral("Role může nastavit jen superuživatel serveru nebo vlastník tabulek VERNA, "
                                               "který smí vytvářet role; přihlášení „%1“ to nesmí. Nic nebylo změněno.")
                                    .arg(login.value.name));
    }

    QStringList statements;
    QString create;
    for (const QString &role : QStringList{kOwnerRole} + groupRoles())
        create += QStringLiteral("IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = %1) THEN CREATE ROLE %2 NOLOGIN; END IF; ")
                      .arg(quoted(role), role);
    statements << QStringLiteral("DO $$ BEGIN %1END $$").arg(create);
    // Each role has the rights of the one before; an administrator may give all of them.
    statements << QStringLiteral("GRANT %1 TO %2").arg(kReaderRole, kAnalystRole)
               << QStringLiteral("GRANT %1 TO %2").arg(kAnalystRole, kEditorRole)
               << QStringLiteral("GRANT %1 TO %2").arg(kEditorRole, kAdminRole)
               << QStringLiteral("GRANT %1, %2, %3 TO %4 WITH ADMIN OPTION").arg(kReaderRole, kAnalystRole, kEditorRole, kAdminRole);
    // The login running this keeps the tables it hands over within reach (a run again, upgrades).
    statements << QStringLiteral("DO $$ BEGIN EXECUTE format('GRANT %1 TO %I', current_user); END $$").arg(kOwnerRole);
    // The new owner needs to create in the schema for the tables to become its own.
    statements << inCurrentSchema(QStringLiteral("GRANT USAGE, CREATE ON SCHEMA %I TO ") + kOwnerRole);
    // Objects of extensions stay the extension's.
    statements << QStringLiteral(
                      "DO $$ DECLARE r record; BEGIN "
                      "FOR r IN SELECT c.relname, c.relkind FROM pg_class c WHERE c.relkind IN ('r', 'p', 'S', 'v', 'm') "
                      "AND c.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema()) "
                      "AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_class'::regclass AND d.objid = c.oid AND d.deptype = 'e') "
                      "AND pg_get_userbyid(c.relowner) <> %1 "
                      // A table's own sequence (serial, identity) goes with its table.
                      "AND NOT (c.relkind = 'S' AND EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_class'::regclass "
                      "AND d.objid = c.oid AND d.deptype IN ('a', 'i'))) LOOP "
                      "EXECUTE format('ALTER %s %I OWNER TO %2', CASE r.relkind WHEN 'S' THEN 'SEQUENCE' WHEN 'v' THEN 'VIEW' "
                      "WHEN 'm' THEN 'MATERIALIZED VIEW' ELSE 'TABLE' END, r.relname); END LOOP; "
                      "FOR r IN SELECT p.oid::regprocedure AS f FROM pg_proc p WHERE p.prokind IN ('f', 'p') "
                      "AND p.pronamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema()) "
                      "AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_proc'::regclass AND d.objid = p.oid AND d.deptype = 'e') "
                      "AND pg_get_userbyid(p.proowner) <> %1 LOOP "
                      "EXECUTE format('ALTER ROUTINE %s OWNER TO %2', r.f); END LOOP; END $$")
                      .arg(quoted(kOwnerRole), kOwnerRole);
    // Exactly the rights of the list: what an earlier run granted is taken back first.
    const QString all = groupRoles().join(QStringLiteral(", "));
    statements << inCurrentSchema(QStringLiteral("GRANT USAGE ON SCHEMA %I TO ") + kReaderRole)
               << inCurrentSchema(QStringLiteral("REVOKE ALL ON ALL TABLES IN SCHEMA %I FROM ") + all)
               << inCurrentSchema(QStringLiteral("REVOKE ALL ON ALL SEQUENCES IN SCHEMA %I FROM ") + all)
               << inCurrentSchema(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA %I TO ") + kReaderRole)
               << inCurrentSchema(QStringLiteral("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA %I TO ") + kAnalystRole);
    for (const TableRight &t : tableRights()) {
        const QString table = QString::fromLatin1(t.table);
        statements << whereTableExists(table, QStringLiteral("GRANT INSERT, UPDATE, DELETE ON %1 TO %2").arg(table, roleFor(t.right)));
    }
    statements << extraGrants();

    Transaction tx(db);
    if (!tx.isActive())
        return Outcome::failure(QStringLiteral("Nelze zahájit transakci: ") + db.lastError());
    if (const Outcome done = runAll(db, statements); !done)
        return Outcome::failure(QStringLiteral("Role nelze nastavit, nic nebylo změněno: ") + done.error);
    if (!tx.commit())
        return Outcome::failure(QStringLiteral("Role nelze potvrdit, nic nebylo změněno: ") + db.lastError());
    return Outcome::success();
}

bool isValidUserName(const QString &name)
{
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    return valid.match(name).hasMatch() && !name.startsWith(QLatin1String("pg_"), Qt::CaseInsensitive);
}

bool isUserRole(const QString &role)
{
    return groupRoles().contains(role);
}

namespace {

Outcome unknownRole(const QString &role)
{
    return Outcome::failure(QStringLiteral("Neznámá role „%1“; zvolte jednu z: %2.").arg(role, groupRoles().join(QStringLiteral(", "))));
}

Outcome inTransaction(Database &db, const QStringList &statements, const QString &failure, const QString &secret = {})
{
    Transaction tx(db);
    Outcome done = tx.isActive() ? runAll(db, statements) : Outcome::failure(db.lastError());
    if (done && !tx.commit())
        done = Outcome::failure(db.lastError());
    if (done)
        return done;
    // The server's message never quotes a statement; this holds even if a driver did.
    QString reason = done.error;
    if (!secret.isEmpty())
        reason.replace(secret, QStringLiteral("***"));
    return Outcome::failure(failure + reason);
}

} // namespace

Outcome addUser(Database &db, const QString &name, const QString &role, const QString &password)
{
    if (const Outcome valid = checkLogin(name); !valid)
        return valid;
    if (!isUserRole(role))
        return unknownRole(role);
    if (password.isEmpty())
        return Outcome::failure(QStringLiteral("Heslo nesmí být prázdné."));
    if (const Outcome may = mayManageUsers(db); !may)
        return may;
    const Result<Existing> found = existingRole(db, name);
    if (!found.ok())
        return found.outcome();
    if (found.value.exists)
        return Outcome::failure(QStringLiteral("Uživatel nebo role „%1“ už na serveru existuje.").arg(name));
    // The server stores only the SCRAM verifier; SET LOCAL ends with the transaction.
    QStringList statements = {QStringLiteral("SET LOCAL password_encryption = 'scram-sha-256'"),
                              QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2").arg(quotedIdentifier(name), quoted(password))};
    statements << roleStatements(name, role);
    return inTransaction(db, statements, QStringLiteral("Uživatele „%1“ nelze přidat, nic nebylo změněno: ").arg(name), password);
}

namespace {

Outcome checkExistingLogin(Database &db, const QString &name)
{
    if (const Outcome valid = checkLogin(name); !valid)
        return valid;
    if (const Outcome may = mayManageUsers(db); !may)
        return may;
    const Result<Existing> found = existingRole(db, name);
    if (!found.ok())
        return found.outcome();
    if (!found.value.exists || !found.value.login)
        return Outcome::failure(QStringLiteral("Uživatel „%1“ na serveru neexistuje.").arg(name));
    return Outcome::success();
}

} // namespace

Outcome setUserRole(Database &db, const QString &name, const QString &role)
{
    if (!isUserRole(role))
        return unknownRole(role);
    if (const Outcome exists = checkExistingLogin(db, name); !exists)
        return exists;
    QStringList statements = {QStringLiteral("REVOKE %1 FROM %2").arg(groupRoles().join(QStringLiteral(", ")), quotedIdentifier(name))};
    statements << roleStatements(name, role);
    return inTransaction(db, statements, QStringLiteral("Roli uživatele „%1“ nelze změnit, nic nebylo změněno: ").arg(name));
}

Outcome removeUser(Database &db, const QString &name)
{
    if (const Outcome exists = checkExistingLogin(db, name); !exists)
        return exists;
    return inTransaction(db, {QStringLiteral("DROP ROLE %1").arg(quotedIdentifier(name))},
                         QStringLiteral("Uživatele „%1“ nelze odstranit, nic nebylo změněno: ").arg(name));
}

} // namespace verna::db

#include "db/rights.h"

#include "db/database.h"
#include "db/sqlquote.h"

#include <QSqlQuery>
#include <QSqlResult>

#include <sql.h>

namespace verna::db {

const std::vector<TableRight> &tableRights()
{
    // Groups of entities are written to the tables of entities: an analyst needs them, and
    // an editor's entities need activity codes besides.
    static const std::vector<TableRight> t = {
        {"subj", Right::Groups},          {"ident", Right::Groups},         {"name", Right::Groups},
        {"mem", Right::Groups},           {"text", Right::Groups},          {"actv", Right::Entities},
        {"finl_stmt", Right::Statements}, {"finl_item", Right::Statements}, {"func_for", Right::Indicators},
        {"func_grp", Right::Indicators},  {"func_mem", Right::Indicators},  {"func_unit", Right::Indicators},
        {"cd_val", Right::CodeLists},     {"ctrl", Right::CodeLists},
        // Writing items writes their statements' packs too.
        {"finl_pack", Right::Statements},
    };
    return t;
}

namespace {

// The tables a right needs to write: its own, and for entities those of groups as well.
bool needs(Right right, Right tableRight)
{
    return tableRight == right || (right == Right::Entities && tableRight == Right::Groups);
}

} // namespace

QString roleFor(Right right)
{
    switch (right) {
    case Right::Indicators:
    case Right::Groups:
        return kAnalystRole;
    case Right::Entities:
    case Right::Statements:
        return kEditorRole;
    case Right::CodeLists:
        return kAdminRole;
    }
    return kAdminRole;
}

Rights Rights::all()
{
    Rights r;
    r.m_can.fill(true);
    return r;
}

Rights Rights::none()
{
    return {};
}

Result<Rights> Rights::read(Database &db)
{
    if (db.backend() == Backend::SqlServer)
        return {all(), {}};
    if (db.backend() == Backend::SQLite)
        return {db.isReadOnly() ? none() : all(), {}};
    // A table this database does not have (yet) restricts nothing: its privilege is NULL.
    QStringList columns;
    for (const TableRight &t : tableRights()) {
        const QString table = QStringLiteral("to_regclass(quote_ident(current_schema()) || '.' || %1)").arg(quoted(QString::fromLatin1(t.table)));
        columns << QStringLiteral("has_table_privilege(%1, 'INSERT') AND has_table_privilege(%1, 'UPDATE') "
                                  "AND has_table_privilege(%1, 'DELETE')").arg(table);
    }
    const auto rows = db.queryNative(QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")));
    if (!rows.ok())
        return Result<Rights>::failure(QStringLiteral("Oprávnění uživatele nelze zjistit: ") + rows.error);
    if (rows.value.isEmpty())
        return Result<Rights>::failure(QStringLiteral("Oprávnění uživatele nelze zjistit: server nevrátil žádný řádek."));
    const QVariantList &row = rows.value.front();
    Rights r = all();
    for (size_t i = 0; i < tableRights().size(); ++i) {
        const QVariant granted = row.value(int(i));
        if (granted.isNull() || granted.toBool())
            continue;
        for (const Right right : kAllRights) {
            if (needs(right, tableRights()[i].right))
                r.m_can[static_cast<size_t>(right)] = false;
        }
    }
    return {r, {}};
}

QString Rights::missing(Right right)
{
    QString what;
    switch (right) {
    case Right::Indicators:
        what = QStringLiteral("měnit ukazatele a skupiny ukazatelů");
        break;
    case Right::Groups:
        what = QStringLiteral("měnit skupiny subjektů");
        break;
    case Right::Entities:
        what = QStringLiteral("měnit subjekty");
        break;
    case Right::Statements:
        what = QStringLiteral("měnit výkazy");
        break;
    case Right::CodeLists:
        what = QStringLiteral("měnit číselníky a součtová pravidla");
        break;
    }
    return QStringLiteral("Nemáte oprávnění %1 (role %2).").arg(what, roleFor(right));
}

bool isInsufficientPrivilege(const QSqlQuery &query)
{
    // The ODBC driver reports its own error number there; the SQLSTATE comes from the statement.
    const QSqlResult *result = query.result();
    const QVariant handle = result ? result->handle() : QVariant();
    if (!handle.isValid() || handle.metaType().sizeOf() != sizeof(SQLHANDLE))
        return false;
    SQLHANDLE statement = *static_cast<const SQLHANDLE *>(handle.constData());
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[8] = {};
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; statement && i <= 8; ++i) {
        const SQLRETURN r = SQLGetDiagRec(SQL_HANDLE_STMT, statement, i, state, &native, message, sizeof message, &length);
        if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO)
            break;
        if (qstrcmp(reinterpret_cast<const char *>(state), "42501") == 0)
            return true;
    }
    return false;
}

QString insufficientPrivilegeText(const QString &serverText)
{
    return QStringLiteral("Nemáte oprávnění k této změně (%1)").arg(serverText);
}

} // namespace verna::db

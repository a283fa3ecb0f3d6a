#include "shell/referencedata.h"

#include "base/textforms.h"
#include "db/bulkinsert.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/statementpack.h"
#include "db/transaction.h"

#include <QFile>
#include <QHash>

namespace verna::shell {

using db::BulkInsert;

QString DataTable::value(int row, const QString &name) const
{
    const int c = column(name);
    return c < 0 || c >= rows.at(row).size() ? QString() : rows.at(row).at(c);
}

DataTable readReferenceTable(const QString &name)
{
    DataTable table;
    QFile file(QStringLiteral(":/reference/") + name + QStringLiteral(".tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        table.error = QStringLiteral("Chybí referenční data: ") + name;
        return table;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (table.header.isEmpty()) {
            table.header = fields;
        } else if (fields.size() != table.header.size()) {
            table.error = QStringLiteral("Vadný řádek v referenčních datech %1: %2").arg(name, line);
            return table;
        } else {
            table.rows << fields;
        }
    }
    return table;
}

namespace {

// Each row as literals: "#" columns are numbers, "$" columns texts, "!" literal SQL.
struct Loader {
    db::Database &db;
    QString error;

    bool fail(const QString &message)
    {
        error = message;
        return false;
    }

    QString numberLiteral(const QString &value) { return value.isEmpty() ? BulkInsert::null() : BulkInsert::amount(value); }
    QString textLiteral(const QString &value) { return value.isEmpty() ? BulkInsert::null() : BulkInsert::text(value); }

    bool load(const QString &file, const QString &table, const QStringList &columns)
    {
        const DataTable data = readReferenceTable(file);
        if (!data.error.isEmpty())
            return fail(data.error);
        BulkInsert insert(db, table);
        for (int r = 0; r < data.rows.size(); ++r) {
            QStringList literals;
            for (const QString &spec : columns) {
                const QChar kind = spec.front();
                const QString name = spec.mid(1);
                if (kind == QLatin1Char('!')) {
                    literals << (name == QLatin1String("row") ? QString::number(r + 1) : name);
                    continue;
                }
                if (data.column(name) < 0)
                    return fail(QStringLiteral("V referenčních datech %1 chybí sloupec %2").arg(file, name));
                const QString value = data.value(r, name);
                if (kind == QLatin1Char('#')) {
                    const QString literal = numberLiteral(value);
                    if (!value.isEmpty() && literal == BulkInsert::null())
                        return fail(QStringLiteral("Neplatné číslo v referenčních datech %1: %2").arg(file, value));
                    literals << literal;
                } else {
                    literals << textLiteral(value);
                }
            }
            if (Outcome added = insert.add(literals); !added)
                return fail(added.error);
        }
        if (Outcome flushed = insert.flush(); !flushed)
            return fail(flushed.error);
        return true;
    }

    bool loadReferenceEntity()
    {
        const DataTable entity = readReferenceTable(QStringLiteral("entity_3366"));
        if (!entity.error.isEmpty() || entity.rows.isEmpty())
            return fail(entity.error.isEmpty() ? QStringLiteral("Chybí referenční subjekt.") : entity.error);
        BulkInsert subj(db, QStringLiteral("subj"));
        BulkInsert ident(db, QStringLiteral("ident"));
        BulkInsert name(db, QStringLiteral("name"));
        BulkInsert actv(db, QStringLiteral("actv"));
        for (int r = 0; r < entity.rows.size(); ++r) {
            const QString id = numberLiteral(entity.value(r, QStringLiteral("subj_id")));
            const QString row = QString::number(r + 1);
            const QString now = BulkInsert::now();
            const QString entityName = entity.value(r, QStringLiteral("name_txt"));
            const bool ok = subj.add({row, now, QStringLiteral("0"), id, numberLiteral(entity.value(r, QStringLiteral("subj_type_cd"))),
                                      BulkInsert::null(), QStringLiteral("0"), BulkInsert::null(), QStringLiteral("0"), BulkInsert::null()})
                                .ok
                && ident.add({row, now, QStringLiteral("0"), id, QStringLiteral("23"), textLiteral(entity.value(r, QStringLiteral("ident_txt"))),
                              BulkInsert::null(), QStringLiteral("0"), BulkInsert::null(), QStringLiteral("0"),
                              numberLiteral(entity.value(r, QStringLiteral("form_type_cd")))})
                       .ok
                && name.add({row, now, QStringLiteral("0"), id, QStringLiteral("22"), textLiteral(entityName), BulkInsert::null(),
                             QStringLiteral("0"), BulkInsert::null(), QStringLiteral("0"), textLiteral(base::searchForm(entityName))})
                       .ok
                && actv.add({row, now, QStringLiteral("0"), id, numberLiteral(entity.value(r, QStringLiteral("actv_cd"))), QStringLiteral("1")}).ok;
            if (!ok)
                return fail(db.lastError());
        }
        for (BulkInsert *insert : {&subj, &ident, &name, &actv}) {
            if (Outcome flushed = insert->flush(); !flushed)
                return fail(flushed.error);
        }

        // The statement pair: one statement per (type, form), ids from 1.
        const DataTable items = readReferenceTable(QStringLiteral("stmt_3366"));
        if (!items.error.isEmpty())
            return fail(items.error);
        QList<QPair<QString, QString>> statements;
        BulkInsert stmt(db, QStringLiteral("finl_stmt"));
        BulkInsert item(db, QStringLiteral("finl_item"));
        const QString entityId = QString::number(kReferenceEntity);
        for (int r = 0; r < items.rows.size(); ++r) {
            const QPair<QString, QString> key{items.value(r, QStringLiteral("stmt_type_cd")), items.value(r, QStringLiteral("fill_lvl_ind"))};
            qsizetype index = statements.indexOf(key);
            if (index < 0) {
                statements << key;
                index = statements.size() - 1;
                const QString stmtId = QString::number(index + 1);
                if (!stmt.add({stmtId, BulkInsert::now(), QStringLiteral("0"), stmtId, entityId, numberLiteral(key.first),
                               BulkInsert::null(), QStringLiteral("0"), BulkInsert::null(), QStringLiteral("0"), QStringLiteral("0"),
                               BulkInsert::null(), BulkInsert::text(QStringLiteral("uživatel")), QStringLiteral("1"),
                               numberLiteral(key.second), QString::number(kReferenceYear), QString::number(kReferenceQuarter)})
                         .ok)
                    return fail(db.lastError());
            }
            const QString amount = BulkInsert::amount(items.value(r, QStringLiteral("amt_val")));
            if (amount == BulkInsert::null())
                return fail(QStringLiteral("Neplatná částka v referenčním výkazu: ") + items.value(r, QStringLiteral("amt_val")));
            if (!item.add({QString::number(r + 1), BulkInsert::now(), QStringLiteral("0"), QString::number(index + 1), entityId,
                           numberLiteral(items.value(r, QStringLiteral("item_type_cd"))), amount})
                     .ok)
                return fail(db.lastError());
        }
        for (BulkInsert *insert : {&stmt, &item}) {
            if (Outcome flushed = insert->flush(); !flushed)
                return fail(flushed.error);
        }
        if (Outcome packed = db::pack::statements(db, 1, statements.size()); !packed)
            return fail(packed.error);
        return true;
    }
};

QStringList unitColumns()
{
    return {QStringLiteral("!row"), QStringLiteral("!CURRENT_TIMESTAMP"), QStringLiteral("!0"), QStringLiteral("#func_for_id"),
            QStringLiteral("$unit_txt"), QStringLiteral("#dir_cd"), QStringLiteral("#low_val"), QStringLiteral("#high_val")};
}

} // namespace

Outcome upgradeReferenceData(db::Database &db, int fromVersion)
{
    // The shipped indicators changed with the third schema; later versions left them alone.
    return fromVersion < 3 ? upgradeShippedIndicators(db) : Outcome::success();
}

Outcome upgradeShippedIndicators(db::Database &db)
{
    const DataTable current = readReferenceTable(QStringLiteral("func_for"));
    const DataTable before = readReferenceTable(QStringLiteral("func_for_v2"));
    const DataTable units = readReferenceTable(QStringLiteral("func_unit"));
    for (const DataTable *t : {&current, &before, &units}) {
        if (!t->error.isEmpty())
            return Outcome::failure(t->error);
    }
    const Result<QList<QVariantList>> stored =
        db.queryNative(QStringLiteral("SELECT func_for_id, func_for_val, func_for_name FROM func_for WHERE func_for_id > 0"));
    if (!stored.ok())
        return Outcome::failure(stored.error);
    QHash<qint32, QPair<QString, QString>> formulaAndName;
    for (const QVariantList &row : stored.value)
        formulaAndName.insert(row.value(0).toInt(), {row.value(1).toString().trimmed(), row.value(2).toString().trimmed()});

    QHash<QString, int> currentRow;
    for (int r = 0; r < current.rows.size(); ++r)
        currentRow.insert(current.value(r, QStringLiteral("func_for_id")), r);
    QStringList statements;
    for (int r = 0; r < before.rows.size(); ++r) {
        const QString id = before.value(r, QStringLiteral("func_for_id"));
        const auto found = formulaAndName.constFind(id.toInt());
        const QString oldFormula = before.value(r, QStringLiteral("func_for_val"));
        if (found == formulaAndName.constEnd() || found->first != oldFormula || !currentRow.contains(id))
            continue; // not shipped here, or the user's own formula
        const int now = currentRow.value(id);
        const qint32 keptId = id.toInt() + kOldFormulaOffset;
        statements << QStringLiteral("INSERT INTO func_for (row_id, crt_dt, func_for_id, inac_ind, func_for_name, func_for_val, func_for_txt) "
                                     "SELECT max(row_id) + 1, CURRENT_TIMESTAMP, %1, 1, %2, %3, %4 FROM func_for")
                          .arg(keptId)
                          .arg(db::quoted(found->second + kOldFormulaSuffix), db::quoted(oldFormula),
                               db::quoted(before.value(r, QStringLiteral("func_for_txt"))))
                   << QStringLiteral("UPDATE func_for SET func_for_val = %1, func_for_txt = %2 WHERE func_for_id = %3")
                          .arg(db::quoted(current.value(now, QStringLiteral("func_for_val"))),
                               db::quoted(current.value(now, QStringLiteral("func_for_txt"))), id);
        formulaAndName.insert(keptId, {oldFormula, QString()});
    }
    for (const QString &sql : statements) {
        if (const Outcome done = db.executeNative(sql); !done)
            return done;
    }
    // Units for the shipped indicators present, and the same for the kept old formulas.
    BulkInsert insert(db, QStringLiteral("func_unit"));
    int row = 0;
    for (int r = 0; r < units.rows.size(); ++r) {
        const qint32 id = units.value(r, QStringLiteral("func_for_id")).toInt();
        for (const qint32 target : {id, id + kOldFormulaOffset}) {
            if (!formulaAndName.contains(target))
                continue;
            const auto number = [&](const char *column) {
                const QString value = units.value(r, QString::fromLatin1(column));
                return value.isEmpty() ? BulkInsert::null() : BulkInsert::amount(value);
            };
            const Outcome added = insert.add({QString::number(++row), BulkInsert::now(), QStringLiteral("0"), QString::number(target),
                                              BulkInsert::text(units.value(r, QStringLiteral("unit_txt"))), number("dir_cd"),
                                              number("low_val"), number("high_val")});
            if (!added)
                return added;
        }
    }
    return insert.flush();
}

Outcome loadReferenceData(db::Database &db)
{
    db::Transaction tx(db);
    if (!tx.isActive())
        return Outcome::failure(db.lastError());
    Loader loader{db, {}};
    const bool ok = loader.load(QStringLiteral("cd_val"), QStringLiteral("cd_val"),
                                {QStringLiteral("!row"), QStringLiteral("!CURRENT_TIMESTAMP"), QStringLiteral("!0"), QStringLiteral("#tbl_cd"),
                                 QStringLiteral("#val_agn"), QStringLiteral("$short_txt"), QStringLiteral("$value_txt"), QStringLiteral("#seq_nbr")})
        && loader.load(QStringLiteral("ctrl"), QStringLiteral("ctrl"),
                       {QStringLiteral("!row"), QStringLiteral("!CURRENT_TIMESTAMP"), QStringLiteral("!0"), QStringLiteral("#ctrl_type_cd"),
                        QStringLiteral("#fill_lvl_ind"), QStringLiteral("$l_side"), QStringLiteral("$r_side")})
        && loader.load(QStringLiteral("func_for"), QStringLiteral("func_for"),
                       {QStringLiteral("!row"), QStringLiteral("!CURRENT_TIMESTAMP"), QStringLiteral("#func_for_id"), QStringLiteral("#inac_ind"),
                        QStringLiteral("$func_for_name"), QStringLiteral("$func_for_val"), QStringLiteral("$func_for_txt")})
        && loader.load(QStringLiteral("func_grp"), QStringLiteral("func_grp"),
                       {QStringLiteral("!row"), QStringLiteral("!CURRENT_TIMESTAMP"), QStringLiteral("!0"), QStringLiteral("#func_grp_id"),
                        QStringLiteral("$func_grp_name"), QStringLiteral("$func_grp_text")})
        && loader.load(QStringLiteral("func_mem"), QStringLiteral("func_mem"),
                       {QStringLiteral("!row"), QStringLiteral("!CURRENT_TIMESTAMP"), QStringLiteral("!0"), QStringLiteral("#func_mem_grp"),
                        QStringLiteral("#func_mem_for")})
        && loader.load(QStringLiteral("func_unit"), QStringLiteral("func_unit"), unitColumns())
        && loader.loadReferenceEntity();
    if (!ok)
        return Outcome::failure(QStringLiteral("Referenční data nelze uložit: ") + loader.error);
    if (!tx.commit())
        return Outcome::failure(QStringLiteral("Referenční data nelze potvrdit: ") + db.lastError());
    return Outcome::success();
}

} // namespace verna::shell

#include "indicators/indicatorstore.h"

#include "base/itemcodes.h"
#include "db/clssql_func.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"

namespace verna::indicators {

namespace {
QString n(qint64 value)
{
    return QString::number(value);
}

const QString kNoTransaction = QStringLiteral("Transakci nelze zahájit: ");
} // namespace

IndicatorStore::IndicatorStore(db::Database &db, qint16 dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

bool IndicatorStore::isProtected(qint32 id)
{
    return base::ItemCodes::computedItemFormulas().contains(id);
}

Result<QList<Entry>> IndicatorStore::indicators()
{
    return db::readNamedIds(m_db, QStringLiteral("SELECT RTRIM(LTRIM(func_for_name)), func_for_id FROM func_for WHERE inac_ind = 0 ORDER BY 1"));
}

Result<QList<ItemName>> IndicatorStore::itemNames(const QList<int> &codes)
{
    Result<QList<ItemName>> out;
    out.value.reserve(codes.size());
    for (const int code : codes) {
        const Result<QString> text = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(value_txt)) FROM cd_val WHERE val_agn = ") + n(code));
        if (!text.ok())
            return Result<QList<ItemName>>::failure(text.error);
        out.value.append({text.value.trimmed(), code});
    }
    return out;
}

Result<IndicatorStore::Texts> IndicatorStore::load(qint32 id)
{
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(func_for_name)), RTRIM(LTRIM(func_for_val)), "
                                                        "RTRIM(LTRIM(func_for_txt)) FROM func_for WHERE func_for_id = ")
                                         + n(id));
    if (!rows.ok())
        return Result<Texts>::failure(rows.error);
    const QStringList row = rows.rows.value(0);
    return {{row.value(0), row.value(1), row.value(2)}, {}};
}

Result<bool> IndicatorStore::nameTaken(const QString &name, std::optional<qint32> except)
{
    QString sql = QStringLiteral("SELECT RTRIM(LTRIM(func_for_name)) FROM func_for WHERE func_for_name = ") + db::quoted(name.trimmed())
        + QStringLiteral(" AND inac_ind = 0");
    // Renaming an indicator to its own name is no duplicate.
    if (except)
        sql += QStringLiteral(" AND func_for_id <> ") + n(*except);
    const db::Rows rows = m_db.queryRows(sql);
    return {!rows.rows.isEmpty(), rows.error};
}

Result<Saved> IndicatorStore::create(const Texts &texts)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Result<Saved>::failure(kNoTransaction + m_db.lastError());
    // The check and the insert must see the same table.
    if (const Outcome locked = m_db.serialiseWriters(QStringLiteral("func_for")); !locked)
        return Result<Saved>::failure(locked.error);
    const Result<bool> taken = nameTaken(texts.name, std::nullopt);
    if (!taken.ok())
        return Result<Saved>::failure(taken.error);
    if (taken.value)
        return {{0, true}, {}};
    db::clsSQL_func builder;
    builder.setServer(m_dialect);
    if (const Outcome inserted = m_db.execute(builder.getSQL_insert_func_for(texts.name, texts.formula, texts.description)); !inserted)
        return Result<Saved>::failure(inserted.error);
    const Result<QString> id = m_db.readValue(QStringLiteral("SELECT min(func_for_id) as x FROM func_for"));
    if (!id.ok())
        return Result<Saved>::failure(id.error);
    if (!tx.commit())
        return Result<Saved>::failure(m_db.lastError());
    return {{id.value.toInt(), false}, {}};
}

Result<Saved> IndicatorStore::change(qint32 id, const std::optional<QString> &name, const std::optional<QString> &description,
                                     const std::optional<QString> &formula)
{
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Result<Saved>::failure(kNoTransaction + m_db.lastError());
    if (const Outcome locked = m_db.serialiseWriters(QStringLiteral("func_for")); !locked)
        return Result<Saved>::failure(locked.error);
    QStringList updates;
    if (name) {
        const Result<bool> taken = nameTaken(*name, id);
        if (!taken.ok())
            return Result<Saved>::failure(taken.error);
        if (taken.value)
            return {{id, true}, {}};
        updates << QStringLiteral("UPDATE func_for SET func_for_name = ") + db::quoted(name->trimmed()) + QStringLiteral(" ");
    }
    if (description)
        updates << QStringLiteral("UPDATE func_for SET func_for_txt = ") + db::quoted(*description) + QStringLiteral(" ");
    if (formula)
        updates << QStringLiteral("UPDATE func_for SET func_for_val = ") + db::quoted(*formula) + QStringLiteral(" ");
    for (const QString &update : updates) {
        if (const Outcome done = m_db.execute(update + QStringLiteral("WHERE func_for_id = ") + n(id)); !done)
            return Result<Saved>::failure(done.error);
    }
    if (!tx.commit())
        return Result<Saved>::failure(m_db.lastError());
    return {{id, false}, {}};
}

Outcome IndicatorStore::remove(qint32 id)
{
    if (isProtected(id))
        return Outcome::failure(QStringLiteral("Ukazatel %1 počítá řádek plného výkazu a nelze jej odstranit.").arg(id));
    return m_db.execute(QStringLiteral("UPDATE func_for SET inac_ind = 2 WHERE func_for_id = ") + n(id));
}

} // namespace verna::indicators

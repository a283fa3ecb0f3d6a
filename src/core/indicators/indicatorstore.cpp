#include "indicators/indicatorstore.h"

#include "base/itemcodes.h"
#include "db/audit.h"
#include "db/clssql_func.h"
#include "db/database.h"
#include "db/numbertext.h"
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

Result<Saved> IndicatorStore::create(const Texts &texts, const std::optional<IndicatorUnit> &unit)
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
    if (unit) {
        if (const Outcome written = writeUnit(id.value.toInt(), *unit); !written)
            return Result<Saved>::failure(written.error);
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kInsert, db::audit::kIndicator, id.value.toInt(), {}, texts.name.trimmed()}}); !o)
        return Result<Saved>::failure(o.error);
    if (!tx.commit())
        return Result<Saved>::failure(m_db.lastError());
    return {{id.value.toInt(), false}, {}};
}

Result<Saved> IndicatorStore::change(qint32 id, const std::optional<QString> &name, const std::optional<QString> &description,
                                     const std::optional<QString> &formula, const std::optional<IndicatorUnit> &unit)
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
    if (unit) {
        if (const Outcome written = writeUnit(id, *unit); !written)
            return Result<Saved>::failure(written.error);
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kChange, db::audit::kIndicator, id, {}, name ? name->trimmed() : QString()}}); !o)
        return Result<Saved>::failure(o.error);
    if (!tx.commit())
        return Result<Saved>::failure(m_db.lastError());
    return {{id, false}, {}};
}

Outcome IndicatorStore::remove(qint32 id)
{
    if (isProtected(id))
        return Outcome::failure(QStringLiteral("Ukazatel %1 počítá řádek plného výkazu a nelze jej odstranit.").arg(id));
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(kNoTransaction + m_db.lastError());
    for (const QString &sql : {QStringLiteral("UPDATE func_for SET inac_ind = 2 WHERE func_for_id = "),
                               QStringLiteral("DELETE FROM func_unit WHERE func_for_id = ")}) {
        if (const Outcome done = m_db.execute(sql + n(id)); !done)
            return done;
    }
    if (const Outcome o = db::audit::record(m_db, {{db::audit::kDelete, db::audit::kIndicator, id, {}, {}}}); !o)
        return o;
    return tx.commit() ? Outcome::success() : Outcome::failure(m_db.lastError());
}

Outcome IndicatorStore::writeUnit(qint32 id, const IndicatorUnit &unit)
{
    const auto number = [](const std::optional<double> &value) { return value ? db::numberText(*value) : QStringLiteral("null"); };
    const bool bounded = unit.direction == Direction::TargetRange;
    if (const Outcome removed = m_db.execute(QStringLiteral("DELETE FROM func_unit WHERE func_for_id = ") + n(id)); !removed)
        return removed;
    return m_db.execute(QStringLiteral("INSERT INTO func_unit VALUES((SELECT min(row_id)-1 FROM func_unit),getdate(),0,") + n(id)
                        + QLatin1Char(',') + db::quoted(unit.unit.trimmed()) + QLatin1Char(',') + n(static_cast<int>(unit.direction))
                        + QLatin1Char(',') + number(bounded ? unit.low : std::nullopt) + QLatin1Char(',')
                        + number(bounded ? unit.high : std::nullopt) + QLatin1Char(')'));
}

Result<QHash<qint32, IndicatorUnit>> IndicatorStore::readUnits(const QString &where)
{
    const db::Rows rows = m_db.queryRows(
        QStringLiteral("SELECT func_for_id, RTRIM(LTRIM(unit_txt)), dir_cd, low_val, high_val FROM func_unit WHERE inac_ind = 0") + where);
    if (!rows.ok())
        return Result<QHash<qint32, IndicatorUnit>>::failure(rows.error);
    Result<QHash<qint32, IndicatorUnit>> out;
    const auto number = [](const QString &text) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok ? std::optional<double>(value) : std::nullopt;
    };
    for (const QStringList &row : rows.rows) {
        const int direction = row.value(2).toInt();
        IndicatorUnit unit{row.value(1), direction >= 0 && direction <= 3 ? static_cast<Direction>(direction) : Direction::None,
                           number(row.value(3)), number(row.value(4))};
        out.value.insert(row.value(0).toInt(), unit);
    }
    return out;
}

Result<IndicatorUnit> IndicatorStore::unit(qint32 id)
{
    const Result<QHash<qint32, IndicatorUnit>> found = readUnits(QStringLiteral(" AND func_for_id = ") + n(id));
    if (!found.ok())
        return Result<IndicatorUnit>::failure(found.error);
    return {found.value.value(id), {}};
}

Result<QHash<qint32, IndicatorUnit>> IndicatorStore::units()
{
    return readUnits(QString());
}

} // namespace verna::indicators

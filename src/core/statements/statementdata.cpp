#include "statements/statementdata.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "indicators/derivedlines.h"
#include "indicators/evaluator.h"
#include "indicators/period.h"

#include <QStringList>

namespace verna::statements {

namespace {
QString n(qint64 value)
{
    return QString::number(value);
}

// Total revenues (výnosy celkem), the base of an income statement's structure: the evaluator's
// derived line, so it means what it means in every indicator.
const QString kRevenuesFormula = QLatin1Char('[') + QString::number(indicators::DerivedLines::kRevenues) + QLatin1Char(']');

} // namespace

Layout yearLayout(int type, bool abbreviated)
{
    if (type == kBalanceSheet)
        return abbreviated ? Layout::Items : Layout::AbbreviatedBalance;
    return abbreviated ? Layout::AbbreviatedIncomeStored : Layout::AbbreviatedIncomeComputed;
}

StatementData::StatementData(db::Database &db, indicators::Evaluator &evaluator)
    : m_db(db)
    , m_evaluator(evaluator)
{
}

Result<QList<int>> StatementData::years(qint32 entity, int type)
{
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT DISTINCT year_dt FROM finl_stmt WHERE inac_ind = 0 ") + QStringLiteral("AND subj_id = ")
                                         + n(entity) + QStringLiteral(" AND stmt_type_cd = ") + n(type) + QStringLiteral(" ")
                                         + QStringLiteral("ORDER BY year_dt"));
    if (!rows.ok())
        return Result<QList<int>>::failure(rows.error);
    Result<QList<int>> out;
    for (const QStringList &row : rows.rows) {
        if (db::isYear(row.value(0)))
            out.value << row.value(0).toInt();
    }
    return out;
}

Result<QList<StoredStatement>> StatementData::statementsOfYear(qint32 entity, int year, int type)
{
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT finl_stmt_id, fill_lvl_ind FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = ")
                                         + n(type) + QStringLiteral(" ") + QStringLiteral("AND year_dt = ") + n(year)
                                         + QStringLiteral(" AND subj_id = ") + n(entity)
                                         // Columns in quarter order on every backend.
                                         + QStringLiteral(" ORDER BY quarter_dt, finl_stmt_id"));
    if (!rows.ok())
        return Result<QList<StoredStatement>>::failure(rows.error);
    Result<QList<StoredStatement>> out;
    for (const QStringList &row : rows.rows) {
        if (const auto id = db::parseId(row.value(0)))
            out.value.append({*id, row.value(1) == QLatin1String("2")});
    }
    return out;
}

Result<QList<std::pair<int, StoredStatement>>> StatementData::statementsOfPeriod(qint32 entity, int year, int quarter)
{
    using Out = Result<QList<std::pair<int, StoredStatement>>>;
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT stmt_type_cd, finl_stmt_id, fill_lvl_ind FROM finl_stmt WHERE inac_ind = 0 AND subj_id = ")
                                         + n(entity) + QStringLiteral(" AND year_dt = ") + n(year) + QStringLiteral(" AND quarter_dt = ")
                                         + n(quarter) + QStringLiteral(" ORDER BY stmt_type_cd, finl_stmt_id"));
    if (!rows.ok())
        return Out::failure(rows.error);
    Out out;
    for (const QStringList &row : rows.rows) {
        const auto type = db::parseId(row.value(0));
        const auto id = db::parseId(row.value(1));
        if (type && id)
            out.value.append({*type, StoredStatement{*id, row.value(2) == QLatin1String("2")}});
    }
    return out;
}

Result<QHash<int, QString>> StatementData::titles(const QList<int> &codes)
{
    QStringList list;
    for (int code : codes)
        list << n(code);
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT val_agn, RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)) FROM cd_val WHERE val_agn IN (")
                                         + list.join(QLatin1Char(',')) + QStringLiteral(")"));
    if (!rows.ok())
        return Result<QHash<int, QString>>::failure(rows.error);
    Result<QHash<int, QString>> out;
    for (const QStringList &row : rows.rows) {
        const auto code = db::parseId(row.value(0));
        if (code && !out.value.contains(*code))
            out.value.insert(*code, row.value(1) + QLatin1Char(' ') + row.value(2));
    }
    return out;
}

Result<std::optional<StatementColumn>> StatementData::column(qint32 statementId, Layout layout)
{
    using Out = Result<std::optional<StatementColumn>>;
    const QString id = n(statementId);
    const db::Rows head = m_db.queryRows(QStringLiteral("SELECT subj_id, year_dt, quarter_dt, stmt_type_cd FROM finl_stmt WHERE finl_stmt_id = ") + id
                                         + QStringLiteral(" AND inac_ind = 0"));
    if (!head.ok())
        return Out::failure(head.error);
    if (head.rows.isEmpty())
        return {};
    StatementColumn column;
    column.statementId = statementId;
    const QStringList &h = head.rows.front();
    const auto period = indicators::Period::fromTexts(h.value(0), h.value(1), h.value(2));
    if (!period)
        return {};
    column.entity = period->entity;
    column.year = period->year;
    column.quarter = period->quarter;
    column.type = h.value(3).toInt();
    // The current name only: a renamed entity keeps its old names inactive.
    const Result<QString> name = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(n.name_txt)) FROM name n, finl_stmt fs WHERE fs.finl_stmt_id = ")
                                                + id + QStringLiteral(" ") + QStringLiteral("AND n.subj_id = fs.subj_id AND n.inac_ind = 0"));
    if (!name.ok())
        return Out::failure(name.error);
    column.entityName = name.value;

    // Every item of the statement in one read; fixed lists pick their codes from it.
    const db::Rows items = m_db.queryRows(QStringLiteral("SELECT fi.item_type_cd, RTRIM(LTRIM(c.short_txt)), RTRIM(LTRIM(c.value_txt)), fi.amt_val ")
                                          + QStringLiteral("FROM cd_val c, finl_item fi WHERE fi.inac_ind = 0 AND fi.finl_stmt_id = ") + id
                                          + QStringLiteral(" AND c.val_agn = fi.item_type_cd ORDER BY c.val_agn"));
    if (!items.ok())
        return Out::failure(items.error);
    QHash<int, QString> stored;
    QHash<int, QString> storedTitles;
    QList<int> storedCodes;
    for (const QStringList &row : items.rows) {
        const auto code = db::parseId(row.value(0));
        if (!code || stored.contains(*code))
            continue;
        storedCodes << *code;
        stored.insert(*code, row.value(3));
        storedTitles.insert(*code, row.value(1) + QLatin1Char(' ') + row.value(2));
    }
    if (column.type == kIncomeStatement) {
        const Result<QString> revenues = m_evaluator.formulaValue(kRevenuesFormula, *period);
        if (!revenues.ok())
            return Out::failure(revenues.error);
        column.revenues = revenues.value;
    }
    if (layout == Layout::Items) {
        column.codes = storedCodes;
        column.titles = storedTitles;
        column.values = stored;
        return {column, {}};
    }

    column.codes = layout == Layout::AbbreviatedBalance ? base::ItemCodes::abbreviatedBalanceSheet() : base::ItemCodes::abbreviatedIncomeStatement();
    const auto titles = this->titles(column.codes);
    if (!titles.ok())
        return Out::failure(titles.error);
    column.titles = titles.value;
    const QList<int> &computed = base::ItemCodes::computedItems();
    for (int code : std::as_const(column.codes)) {
        const qsizetype pair = computed.indexOf(code);
        if (layout != Layout::AbbreviatedIncomeComputed || pair < 0) {
            column.values.insert(code, stored.value(code));
            continue;
        }
        const Result<QString> value = m_evaluator.indicatorValue(base::ItemCodes::computedItemFormulas().at(pair), *period);
        if (!value.ok())
            return Out::failure(value.error);
        column.values.insert(code, value.value);
        column.computed.insert(code);
    }
    return {column, {}};
}

Outcome StatementData::yearColumns(qint32 entity, int year, int type, const std::function<void(const StatementColumn &)> &add,
                                   const std::function<bool()> &shouldStop)
{
    const auto stored = statementsOfYear(entity, year, type);
    if (!stored.ok())
        return stored.outcome();
    for (const StoredStatement &statement : stored.value) {
        if (shouldStop && shouldStop())
            return Outcome::success();
        const auto read = column(statement.id, yearLayout(type, statement.abbreviated));
        if (!read.ok())
            return read.outcome();
        if (read.value)
            add(*read.value);
    }
    return Outcome::success();
}

Outcome StatementData::dropColumns(const QString &nodeKind, qint32 id, int year,
                                   const std::function<void(const StatementColumn &)> &add, const std::function<bool()> &shouldStop)
{
    // A loaded view (N...) shows the same statement as its unloaded form (Q...).
    QString kind = nodeKind;
    if (kind.size() == 2 && kind.front() == QLatin1Char('N'))
        kind[0] = QLatin1Char('Q');
    static const QHash<QString, Layout> views = {
        {QStringLiteral("QP"), Layout::Items},
        {QStringLiteral("QG"), Layout::Items},
        {QStringLiteral("QW"), Layout::Items},
        {QStringLiteral("QZ"), Layout::AbbreviatedBalance},
        {QStringLiteral("QV"), Layout::AbbreviatedIncomeStored},
        {QStringLiteral("QF"), Layout::AbbreviatedIncomeComputed},
    };
    if (const auto view = views.constFind(kind); view != views.cend()) {
        const auto read = column(id, *view);
        if (read.ok() && read.value)
            add(*read.value);
        return read.outcome();
    }
    const int type = kind.endsWith(QLatin1Char('R')) ? kBalanceSheet : kIncomeStatement;
    if (kind == QLatin1String("YR") || kind == QLatin1String("YV"))
        return yearColumns(id, year, type, add, shouldStop);
    if (kind != QLatin1String("CR") && kind != QLatin1String("CV"))
        return Outcome::success();
    const auto stored = years(id, type);
    if (!stored.ok())
        return stored.outcome();
    for (int storedYear : stored.value) {
        if (shouldStop && shouldStop())
            break;
        if (const Outcome added = yearColumns(id, storedYear, type, add, shouldStop); !added)
            return added;
    }
    return Outcome::success();
}

} // namespace verna::statements

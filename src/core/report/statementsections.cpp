#include "report/statementsections.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "indicators/evaluator.h"
#include "report/html.h"

#include <QHash>
#include <algorithm>

namespace verna::report {

namespace {

QString n(qint64 value)
{
    return QString::number(value);
}

QString codeList(const QList<int> &codes)
{
    QStringList list;
    for (int code : codes)
        list << n(code);
    return list.join(QStringLiteral(", "));
}

struct Line {
    QString title;
    QString amount;
};

QString section(const QString &name, const QString &heading, const QList<Line> &rows)
{
    QStringList out{QStringLiteral("<!-- %1_START -->").arg(name), QStringLiteral("<H2 CLASS=vykaz>") + heading + QStringLiteral("</H2>"),
                    QStringLiteral("<DIV CLASS=tabulka>"), QStringLiteral("<TABLE>"), QStringLiteral("<TR>"),
                    QStringLiteral("<TD CLASS=zahlavi>Položka výkazu</TD>"), QStringLiteral("<TD CLASS=zahlavi>Částka v tis. Kč</TD>"),
                    QStringLiteral("</TR>")};
    for (const Line &line : rows) {
        out << QStringLiteral("<TR>") << QStringLiteral("<TD CLASS=zahlavi>") + escaped(line.title) + QStringLiteral("</TD>")
            << QStringLiteral("<TD CLASS=castka>") + escaped(line.amount) + QStringLiteral("</TD>") << QStringLiteral("</TR>");
    }
    out << QStringLiteral("</TABLE>") << QStringLiteral("</DIV>") << QStringLiteral("<!-- %1_END -->").arg(name);
    return lines(out);
}

} // namespace

StatementSections::StatementSections(db::Database &db, indicators::Evaluator &evaluator)
    : m_db(db)
    , m_evaluator(evaluator)
{
}

Result<QString> StatementSections::fullBalanceSheet(const analysis::RowKey &key)
{
    return stored(key, Kind::FullBalance);
}

Result<QString> StatementSections::abbreviatedBalanceSheet(const analysis::RowKey &key)
{
    return stored(key, Kind::AbbreviatedBalance);
}

Result<QString> StatementSections::fullIncomeStatement(const analysis::RowKey &key)
{
    return stored(key, Kind::FullIncome);
}

Result<QString> StatementSections::abbreviatedIncomeStored(const analysis::RowKey &key)
{
    return stored(key, Kind::AbbreviatedIncome);
}

Result<QString> StatementSections::stored(const analysis::RowKey &key, Kind kind)
{
    const bool balance = kind == Kind::FullBalance || kind == Kind::AbbreviatedBalance;
    QString sql = QStringLiteral("SELECT RTRIM(LTRIM(c.short_txt)), RTRIM(LTRIM(c.value_txt)), fi.amt_val, fi.item_type_cd "
                                 "FROM cd_val c, finl_item fi, finl_stmt fs ")
        + QStringLiteral("Where fs.subj_id = ") + n(key.entity) + QStringLiteral(" ") + QStringLiteral("AND fs.year_dt = ") + n(key.year)
        + QStringLiteral(" ") + QStringLiteral("AND fs.quarter_dt = ") + n(key.quarter) + QStringLiteral(" ")
        + (balance ? QStringLiteral("AND fs.stmt_type_cd = 27 ") : QStringLiteral("AND fs.stmt_type_cd = 28 "))
        + QStringLiteral("AND fs.inac_ind = 0 ") + QStringLiteral("AND fi.finl_stmt_id = fs.finl_stmt_id ")
        + QStringLiteral("AND fi.inac_ind = 0 ") + QStringLiteral("AND c.val_agn = fi.item_type_cd ");
    if (kind == Kind::AbbreviatedBalance)
        sql += QStringLiteral("AND c.val_agn IN (") + codeList(base::ItemCodes::abbreviatedBalanceSheet()) + QStringLiteral(") ");
    if (kind == Kind::AbbreviatedIncome)
        sql += QStringLiteral("AND c.val_agn IN (") + codeList(base::ItemCodes::abbreviatedIncomeStatement()) + QStringLiteral(") ");
    // Keys of stored rows fall as they are added, so storage order is no order to show:
    // the stored abbreviated lines are put in the order of their fixed list below.
    sql += QStringLiteral("ORDER BY c.seq_nbr, fi.row_id");
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return Result<QString>::failure(rows.error);
    QList<QStringList> ordered = rows.rows;
    if (kind == Kind::AbbreviatedIncome) {
        const QList<int> &order = base::ItemCodes::abbreviatedIncomeStatement();
        std::stable_sort(ordered.begin(), ordered.end(), [&order](const QStringList &a, const QStringList &b) {
            return order.indexOf(a.value(3).toInt()) < order.indexOf(b.value(3).toInt());
        });
    }
    QList<Line> out;
    for (const QStringList &row : std::as_const(ordered))
        out.append({row.value(0) + QLatin1Char(' ') + row.value(1), row.value(2)});
    static const QHash<Kind, QString> headings = {{Kind::FullBalance, QStringLiteral("Rozvaha plná")},
                                                  {Kind::AbbreviatedBalance, QStringLiteral("Rozvaha zkrácená")},
                                                  {Kind::FullIncome, QStringLiteral("Výsledovka plná")},
                                                  {Kind::AbbreviatedIncome, QStringLiteral("Výsledovka zkrácená")}};
    return {section(balance ? QStringLiteral("ROZVAHA") : QStringLiteral("VYSLEDOVKA"), headings.value(kind), out), {}};
}

Result<QString> StatementSections::abbreviatedIncomeDerived(const analysis::RowKey &key)
{
    const QList<int> &codes = base::ItemCodes::abbreviatedIncomeStatement();
    const QList<int> &computed = base::ItemCodes::computedItems();
    // The texts and stored amounts of all lines in two reads rather than three per line.
    const db::Rows texts = m_db.queryRows(QStringLiteral("SELECT val_agn, RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)) FROM cd_val "
                                                         "WHERE inac_ind = 0 AND val_agn IN (")
                                          + codeList(codes) + QStringLiteral(")"));
    if (!texts.ok())
        return Result<QString>::failure(texts.error);
    QHash<int, QString> titles;
    for (const QStringList &row : texts.rows) {
        if (!titles.contains(row.value(0).toInt()))
            titles.insert(row.value(0).toInt(), row.value(1) + QLatin1Char(' ') + row.value(2));
    }
    QList<int> storedCodes;
    for (int code : codes) {
        if (!computed.contains(code))
            storedCodes << code;
    }
    const db::Rows amounts = m_db.queryRows(QStringLiteral("SELECT fi.item_type_cd, fi.amt_val FROM finl_item fi, finl_stmt fs WHERE fs.subj_id = ")
                                            + n(key.entity) + QStringLiteral(" AND fs.year_dt = ") + n(key.year)
                                            + QStringLiteral(" AND fs.quarter_dt = ") + n(key.quarter)
                                            + QStringLiteral(" AND fs.inac_ind = 0 AND fi.finl_stmt_id = fs.finl_stmt_id AND fi.inac_ind = 0 "
                                                             "AND fi.item_type_cd IN (")
                                            + codeList(storedCodes) + QStringLiteral(") ORDER BY fi.row_id DESC"));
    if (!amounts.ok())
        return Result<QString>::failure(amounts.error);
    QHash<int, QString> stored;
    for (const QStringList &row : amounts.rows) {
        if (!stored.contains(row.value(0).toInt()))
            stored.insert(row.value(0).toInt(), row.value(1));
    }
    QList<Line> out;
    for (int code : codes) {
        const qsizetype pair = computed.indexOf(code);
        QString amount = stored.value(code);
        if (pair >= 0) {
            const Result<QString> value = m_evaluator.indicatorValue(base::ItemCodes::computedItemFormulas().at(pair), key);
            if (!value.ok())
                return value;
            amount = value.value;
        }
        out.append({titles.contains(code) ? titles.value(code) : QStringLiteral(" "), amount});
    }
    return {section(QStringLiteral("VYSLEDOVKA"), QStringLiteral("Výsledovka zkrácená"), out), {}};
}

Result<QString> StatementSections::incomeStatementForm(const analysis::RowKey &key)
{
    return m_db.readValue(QStringLiteral("SELECT fill_lvl_ind FROM finl_stmt WHERE subj_id = ") + n(key.entity) + QStringLiteral(" AND inac_ind = 0 ")
                          + QStringLiteral("AND year_dt = ") + n(key.year) + QStringLiteral(" AND quarter_dt = ") + n(key.quarter)
                          + QStringLiteral(" AND stmt_type_cd = 28"));
}

} // namespace verna::report

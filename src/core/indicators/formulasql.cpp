#include "indicators/formulasql.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <functional>

namespace verna::indicators {

namespace {

using Kind = Formula::Node::Kind;

QString tsqlItemSubquery(const QString &code, const Period &p)
{
    return QStringLiteral(" (SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.subj_id = ") + p.entityText() + QStringLiteral(" ")
        + QStringLiteral("AND s.year_dt = ") + p.yearText() + QStringLiteral(" AND s.quarter_dt = ") + p.quarterText()
        + QStringLiteral(" AND s.inac_ind  = 0 ") + QStringLiteral("AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = ")
        + code;
}

QString itemSubquery(const QString &code, const QString &periodCondition, const QString &type)
{
    // Two rows for one reference is no value, as on a server that refuses the subquery.
    return QStringLiteral("CAST((SELECT CASE WHEN count(*) = 1 THEN max(i.amt_val) END FROM finl_item i, finl_stmt s WHERE ")
        + periodCondition + QStringLiteral(" AND s.inac_ind = 0 AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd = ") + code
        + QStringLiteral(") AS ") + type + QLatin1Char(')');
}

bool isBinary(Kind kind)
{
    return kind != Kind::Constant && kind != Kind::Item && kind != Kind::Negate;
}

// PostgreSQL: integral subtrees in bigint, the rest in double precision, each item a scalar
// subquery in place. Overflow and underflow raise errors there, which end in "" as well.
class PostgresEmitter
{
public:
    PostgresEmitter(const Formula &formula, QString periodCondition)
        : m_formula(formula)
        , m_item([condition = std::move(periodCondition)](const QString &code) {
            return itemSubquery(code, condition, QStringLiteral("DOUBLE PRECISION"));
        })
    {
    }
    PostgresEmitter(const Formula &formula, std::function<QString(const QString &)> item)
        : m_formula(formula)
        , m_item(std::move(item))
    {
    }

    QString expression() { return sql(m_formula.root(), false); }

private:
    // asDouble: the parent computes in double precision, so an integral value is cast.
    QString sql(int index, bool asDouble)
    {
        const Formula::Node &n = m_formula.node(index);
        if (n.kind == Kind::Constant && n.decimals > 0) {
            return QStringLiteral("(CAST(") + QString::number(n.constant) + QStringLiteral(" AS DOUBLE PRECISION) / CAST(")
                + QString::number(n.scale()) + QStringLiteral(" AS DOUBLE PRECISION))");
        }
        if (n.kind == Kind::Constant) {
            return QStringLiteral("CAST(") + QString::number(n.constant)
                + (asDouble ? QStringLiteral(" AS DOUBLE PRECISION)") : QStringLiteral(" AS BIGINT)"));
        }
        if (n.kind == Kind::Item)
            return m_item(n.code);
        const bool operandsAsDouble = !n.integral;
        QString text;
        if (n.kind == Kind::Negate) {
            text = QStringLiteral("(- ") + sql(n.left, operandsAsDouble) + QLatin1Char(')');
        } else {
            const QString a = sql(n.left, operandsAsDouble);
            const QString b = sql(n.right, operandsAsDouble);
            switch (n.kind) {
            case Kind::Add: text = QLatin1Char('(') + a + QStringLiteral(" + ") + b + QLatin1Char(')'); break;
            case Kind::Subtract: text = QLatin1Char('(') + a + QStringLiteral(" - ") + b + QLatin1Char(')'); break;
            case Kind::Multiply: text = QLatin1Char('(') + a + QStringLiteral(" * ") + b + QLatin1Char(')'); break;
            case Kind::Divide: text = QLatin1Char('(') + a + QStringLiteral(" / NULLIF(") + b + QStringLiteral(", 0))"); break;
            default: text = QStringLiteral("POWER(") + a + QStringLiteral(", ") + b + QLatin1Char(')'); break;
            }
        }
        return asDouble && n.integral ? QStringLiteral("CAST(") + text + QStringLiteral(" AS DOUBLE PRECISION)") : text;
    }

    const Formula &m_formula;
    std::function<QString(const QString &)> m_item;
};

// SQLite: the items are read once each into the columns of "v"; the arithmetic is verna_calc
// and verna_neg (db/sqlitearithmetic.h), which follow PostgreSQL's operators. A run of binary
// operators along the left operands is one verna_calc call, as SQLite's parser takes only a
// few nested calls.
class SqliteEmitter
{
public:
    explicit SqliteEmitter(const Formula &formula)
        : m_formula(formula)
    {
        for (const QString &code : formula.itemCodes())
            m_columns.insert(code, QStringLiteral("i") + QString::number(m_columns.size()));
    }

    // "i0 AS ..., i1 AS ..." for the select list of "v"; empty without items.
    QString itemColumns(const QString &periodCondition) const
    {
        QStringList columns;
        for (const QString &code : m_formula.itemCodes())
            columns << itemSubquery(code, periodCondition, QStringLiteral("REAL")) + QStringLiteral(" AS ") + m_columns.value(code);
        return columns.join(QStringLiteral(", "));
    }

    QString expression() const { return sql(m_formula.root()); }

private:
    QString sql(int index) const
    {
        const Formula::Node &n = m_formula.node(index);
        switch (n.kind) {
        case Kind::Constant:
            if (n.decimals > 0)
                return QStringLiteral("(") + QString::number(n.constant) + QStringLiteral(".0 / ") + QString::number(n.scale())
                    + QStringLiteral(".0)");
            return QString::number(n.constant);
        case Kind::Item:
            return QStringLiteral("v.") + m_columns.value(n.code);
        case Kind::Negate:
            return QStringLiteral("verna_neg(") + sql(n.left) + QLatin1Char(')');
        default:
            break;
        }
        // Walk down the left operands: the operators and operands of the run, innermost first.
        QString operators;
        QStringList operands;
        int at = index;
        while (isBinary(m_formula.node(at).kind)) {
            const Formula::Node &b = m_formula.node(at);
            operators.prepend(QStringLiteral("+-*/^").at(static_cast<int>(b.kind) - static_cast<int>(Kind::Add)));
            operands.prepend(sql(b.right));
            at = b.left;
        }
        QString text = sql(at);
        for (int start = 0; start < operators.size(); start += Formula::kMaxChain) {
            const int count = std::min<int>(Formula::kMaxChain, operators.size() - start);
            text = QStringLiteral("verna_calc('") + operators.mid(start, count) + QStringLiteral("', ") + text + QStringLiteral(", ")
                + operands.mid(start, count).join(QStringLiteral(", ")) + QLatin1Char(')');
        }
        return text;
    }

    const Formula &m_formula;
    QHash<QString, QString> m_columns;
};

} // namespace

QString FormulaSql::formQuery(const Period &p)
{
    return QStringLiteral("SELECT fill_lvl_ind FROM finl_stmt WHERE subj_id = ") + p.entityText() + QStringLiteral(" AND inac_ind = 0 ")
        + QStringLiteral("AND year_dt = ") + p.yearText() + QStringLiteral(" AND quarter_dt = ") + p.quarterText()
        + QStringLiteral(" AND stmt_type_cd = 28");
}

QString FormulaSql::formulaQuery(const QString &indicatorId)
{
    return QStringLiteral("SELECT func_for_val FROM func_for WHERE inac_ind IN (0, 1) AND func_for_id = ") + indicatorId;
}

QString FormulaSql::formulasQuery(const QList<int> &indicatorIds)
{
    QStringList ids;
    for (int id : indicatorIds)
        ids << QString::number(id);
    return QStringLiteral("SELECT func_for_id, func_for_val FROM func_for WHERE inac_ind IN (0, 1) AND func_for_id IN (%1)")
        .arg(ids.join(QLatin1Char(',')));
}

QString FormulaSql::translate(const QString &formula, const Period &period)
{
    QString statement = QStringLiteral("SELECT (");
    QString code;
    bool inReference = false;
    for (const QChar c : formula) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            if (inReference)
                code += c;
            else
                statement += c;
        } else if (c == QLatin1Char('[')) {
            code.clear();
            inReference = true;
        } else if (c == QLatin1Char(']')) {
            // The code stays for a later stray "]".
            statement += tsqlItemSubquery(code, period) + QStringLiteral(") ");
            inReference = false;
        } else {
            statement += c;
        }
    }
    return statement + QStringLiteral(" )");
}

QString FormulaSql::cellStatement(const Formula &formula, db::Backend backend, const Period &p)
{
    const QString condition = QStringLiteral("s.subj_id = ") + p.entityText() + QStringLiteral(" AND s.year_dt = ") + p.yearText()
        + QStringLiteral(" AND s.quarter_dt = ") + p.quarterText();
    if (backend == db::Backend::PostgreSQL)
        return QStringLiteral("SELECT ") + PostgresEmitter(formula, condition).expression();
    const SqliteEmitter emitter(formula);
    const QString items = emitter.itemColumns(condition);
    if (items.isEmpty())
        return QStringLiteral("SELECT ") + emitter.expression();
    return QStringLiteral("WITH v AS (SELECT ") + items + QStringLiteral(") SELECT ") + emitter.expression() + QStringLiteral(" FROM v");
}

QString FormulaSql::postgresExpression(const Formula &formula, const std::function<QString(const QString &)> &item)
{
    return PostgresEmitter(formula, item).expression();
}

} // namespace verna::indicators

#include "statements/sumrules.h"

#include "db/database.h"
#include "db/sqlquote.h"

namespace verna::statements {

QString SumRule::text() const
{
    QString out = QString::number(left) + QStringLiteral(" =");
    for (int i = 0; i < terms.size(); ++i) {
        const auto &[sign, code] = terms.at(i);
        if (i > 0 || sign < 0)
            out += sign < 0 ? QStringLiteral(" -") : QStringLiteral(" +");
        out += QLatin1Char(' ') + QString::number(code);
    }
    return out;
}

QString RuleFailure::message() const
{
    return QStringLiteral("Nesouhlasí součtová kontrola pro: ") + rule.leftName + QStringLiteral(" (") + rule.text()
        + QStringLiteral("): levá strana ") + left.text() + QStringLiteral(", pravá strana ") + right.text();
}

bool SumRules::parseTerms(const QString &rightSide, QList<std::pair<int, int>> &terms)
{
    terms.clear();
    int sign = 1;
    QString code;
    const QString text = rightSide.trimmed() + QLatin1Char('+');
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            code += c;
        } else if (c == QLatin1Char('-') && code.isEmpty() && terms.isEmpty() && sign > 0) {
            sign = -1; // a leading minus
        } else if (c == QLatin1Char('+') || c == QLatin1Char('-')) {
            const auto parsed = db::parseId(code);
            if (!parsed || *parsed <= 0)
                return false;
            terms.append({sign, *parsed});
            sign = c == QLatin1Char('-') ? -1 : 1;
            code.clear();
        } else if (!c.isSpace()) {
            return false;
        }
    }
    return true;
}

Result<SumRules> SumRules::load(db::Database &db)
{
    using Out = Result<SumRules>;
    const db::Rows rows = db.queryRows(QStringLiteral("SELECT ctrl_type_cd, fill_lvl_ind, RTRIM(LTRIM(l_side)), RTRIM(LTRIM(r_side)) ")
                                       + QStringLiteral("FROM ctrl WHERE inac_ind = 0 ORDER BY row_id"));
    if (!rows.ok())
        return Out::failure(rows.error);
    const db::Rows names = db.queryRows(
        QStringLiteral("SELECT val_agn, RTRIM(LTRIM(value_txt)) FROM cd_val WHERE inac_ind = 0 AND tbl_cd IN (29, 30)"));
    if (!names.ok())
        return Out::failure(names.error);
    QHash<int, QString> nameOf;
    for (const QStringList &row : names.rows) {
        if (const auto code = db::parseId(row.value(0)))
            nameOf.insert(*code, row.value(1));
    }
    Out out;
    for (const QStringList &row : rows.rows) {
        SumRule rule;
        const auto type = db::parseId(row.value(0));
        const auto form = db::parseId(row.value(1));
        const auto left = db::parseId(row.value(2));
        if (!type || !form || !left || !parseTerms(row.value(3), rule.terms))
            return Out::failure(QStringLiteral("Součtové pravidlo „") + row.value(2) + QStringLiteral(" = ") + row.value(3)
                                + QStringLiteral("“ nelze přečíst."));
        rule.type = *type;
        rule.form = *form;
        rule.left = *left;
        rule.leftName = nameOf.value(*left, QString::number(*left));
        out.value.m_rules.append(rule);
    }
    return out;
}

QList<SumRule> SumRules::rules(int type, int form) const
{
    QList<SumRule> out;
    for (const SumRule &rule : m_rules) {
        if (rule.type == type && rule.form == form)
            out.append(rule);
    }
    return out;
}

QList<RuleFailure> SumRules::check(int type, int form, const QHash<int, Amount> &amounts) const
{
    QList<RuleFailure> failures;
    for (const SumRule &rule : m_rules) {
        if (rule.type != type || rule.form != form)
            continue;
        std::optional<Amount> sum = Amount();
        for (const auto &[sign, code] : rule.terms) {
            const Amount term = amounts.value(code);
            if (sum)
                sum = sum->plus(sign < 0 ? term.negated() : term);
        }
        const Amount left = amounts.value(rule.left);
        if (!sum || !(*sum == left))
            failures.append({rule, left, sum.value_or(Amount())});
    }
    return failures;
}

} // namespace verna::statements

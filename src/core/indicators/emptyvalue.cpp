#include "indicators/emptyvalue.h"

#include "db/database.h"
#include "db/sqlquote.h"
#include "indicators/derivedlines.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "indicators/formulasql.h"

#include <QHash>
#include <cmath>

namespace verna::indicators {

QString formulaProblem(Formula::Error error)
{
    switch (error) {
    case Formula::Error::None:
        return QString();
    case Formula::Error::Empty:
        return QStringLiteral("Vzorec je prázdný.");
    case Formula::Error::Character:
        return QStringLiteral("Vzorec obsahuje nepovolený znak (povoleny jsou odkazy [kód], čísla, + - * / ^ a závorky).");
    case Formula::Error::Bracket:
        return QStringLiteral("Hranaté závorky ve vzorci nejsou v pořádku: odkaz na položku má tvar [kód].");
    case Formula::Error::Comment:
        return QStringLiteral("Vzorec obsahuje \"--\" nebo \"/*\".");
    case Formula::Error::Syntax:
        return QStringLiteral("Vzorec není syntakticky správný.");
    case Formula::Error::TooDeep:
        return QStringLiteral("Vzorec je vnořen příliš hluboko.");
    case Formula::Error::ConstantOverflow:
        return QStringLiteral("Konstanta ve vzorci je příliš velká.");
    }
    return QString();
}

namespace {

// The formula computed in C++ from the item amounts, only to name what went wrong.
struct Trouble {
    bool divisionByZero = false;
    bool overflow = false;
    bool underflow = false;
    bool noRealPower = false;
};

double compute(const Formula &f, int index, const QHash<QString, double> &items, Trouble &trouble)
{
    using Kind = Formula::Node::Kind;
    const Formula::Node &n = f.node(index);
    switch (n.kind) {
    case Kind::Constant:
        return n.value();
    case Kind::Item:
        return items.value(n.code);
    case Kind::Negate:
        return -compute(f, n.left, items, trouble);
    default:
        break;
    }
    const double a = compute(f, n.left, items, trouble);
    const double b = compute(f, n.right, items, trouble);
    double r = 0;
    switch (n.kind) {
    case Kind::Add: r = a + b; break;
    case Kind::Subtract: r = a - b; break;
    case Kind::Multiply: r = a * b; break;
    case Kind::Divide:
        if (b == 0) {
            trouble.divisionByZero = true;
            return 0;
        }
        r = n.integral ? std::trunc(a / b) : a / b;
        break;
    case Kind::Power:
        if ((a == 0 && b < 0) || (a < 0 && std::floor(b) != b)) {
            trouble.noRealPower = true;
            return 0;
        }
        r = std::pow(a, b);
        break;
    default: break;
    }
    if (!std::isfinite(r) || (n.integral && std::fabs(r) >= 9.2e18))
        trouble.overflow = true;
    else if (r == 0 && a != 0 && (n.kind == Kind::Multiply ? b != 0 : n.kind == Kind::Divide || n.kind == Kind::Power))
        trouble.underflow = true;
    return r;
}

} // namespace

Result<QString> whyNoValue(db::Database &db, const std::optional<int> &indicatorId, const QString &formula,
                           const QString &entity, const QString &year, const QString &quarter)
{
    const auto say = [](const QString &text) { return Result<QString>{text, {}}; };
    if (!db::parseId(entity))
        return say(QStringLiteral("Subjekt \"%1\" není celé číslo.").arg(entity));
    const std::optional<Period> period = Period::fromTexts(entity, year, quarter);
    if (!db::isQuarter(quarter))
        return say(QStringLiteral("Čtvrtletí \"%1\" není 1 až 4.").arg(quarter));
    if (!period)
        return say(QStringLiteral("Rok \"%1\" není čtyřmístný rok.").arg(year));

    QString text = formula;
    if (indicatorId) {
        const db::Rows stored = db.queryRows(FormulaSql::formulaQuery(QString::number(*indicatorId)));
        if (!stored.ok())
            return Result<QString>::failure(stored.error);
        if (stored.rows.isEmpty())
            return say(QStringLiteral("Ukazatel %1 neexistuje.").arg(*indicatorId));
        text = stored.rows.front().value(0).trimmed();
    }
    if (const Formula parsed = Formula::parse(text); !parsed.isValid())
        return say(formulaProblem(parsed.error()));

    const QString where = QStringLiteral(" AND subj_id = ") + period->entityText();
    const Result<QString> live = db.readValue(QStringLiteral("SELECT count(*) FROM subj WHERE inac_ind = 0") + where);
    if (!live.ok())
        return Result<QString>::failure(live.error);
    if (live.value.toInt() == 0)
        return say(QStringLiteral("Subjekt %1 neexistuje.").arg(period->entity));
    const Result<QString> statements = db.readValue(QStringLiteral("SELECT count(*) FROM finl_stmt WHERE inac_ind = 0") + where
                                                    + QStringLiteral(" AND year_dt = ") + period->yearText()
                                                    + QStringLiteral(" AND quarter_dt = ") + period->quarterText());
    if (!statements.ok())
        return Result<QString>::failure(statements.error);
    if (statements.value.toInt() == 0)
        return say(QStringLiteral("Subjekt %1 nemá za období %2 žádný výkaz.").arg(period->entityText(), period->periodText()));

    const Result<QString> form = db.readValue(FormulaSql::formQuery(*period));
    if (!form.ok())
        return Result<QString>::failure(form.error);
    const bool full = form.value.toInt() == 4;
    text = DerivedLines::expanded(text, full);
    if (full) {
        Evaluator evaluator(db);
        const Result<QString> expanded = evaluator.expandComputedItems(text);
        if (!expanded.ok())
            return expanded;
        text = expanded.value;
    }
    const Formula tree = Formula::parseExpanded(Evaluator::withPeriodItems(text, *period));
    if (!tree.isValid())
        return say(QStringLiteral("Po rozvinutí vypočtených položek: ") + formulaProblem(tree.error()));

    QHash<QString, double> amounts;
    QStringList missing;
    QStringList twice;
    for (const QString &code : tree.itemCodes()) {
        const db::Rows rows = db.queryRows(
            QStringLiteral("SELECT count(*), count(i.amt_val), max(i.amt_val) FROM finl_item i, finl_stmt s WHERE s.inac_ind = 0 "
                           "AND s.finl_stmt_id = i.finl_stmt_id AND s.subj_id = ")
            + period->entityText() + QStringLiteral(" AND s.year_dt = ") + period->yearText()
            + QStringLiteral(" AND s.quarter_dt = ") + period->quarterText() + QStringLiteral(" AND i.item_type_cd = ") + code);
        if (!rows.ok())
            return Result<QString>::failure(rows.error);
        const QStringList row = rows.rows.value(0);
        if (row.value(0).toInt() > 1)
            twice << QLatin1Char('[') + code + QLatin1Char(']');
        else if (row.value(1).toInt() == 0)
            missing << QLatin1Char('[') + code + QLatin1Char(']');
        else
            amounts.insert(code, row.value(2).toDouble());
    }
    if (!missing.isEmpty())
        return say(QStringLiteral("Ve výkazech období chybí položky: %1.").arg(missing.join(QStringLiteral(", "))));
    if (!twice.isEmpty())
        return say(QStringLiteral("Položky jsou ve výkazech období vícekrát: %1.").arg(twice.join(QStringLiteral(", "))));
    Trouble trouble;
    compute(tree, tree.root(), amounts, trouble);
    if (trouble.divisionByZero)
        return say(QStringLiteral("Dělení nulou."));
    if (trouble.noRealPower)
        return say(QStringLiteral("Mocnina nemá reálnou hodnotu (nula na záporný exponent nebo záporné číslo na neceločíselný)."));
    if (trouble.overflow)
        return say(QStringLiteral("Přetečení: výsledek je mimo rozsah čísel."));
    if (trouble.underflow)
        return say(QStringLiteral("Podtečení: výsledek je blíže nule, než lze zobrazit."));
    return say(QString());
}

} // namespace verna::indicators

#include "commandline.h"
#include "commands.h"

#include "db/database.h"
#include "db/sqlquote.h"
#include "indicators/emptyvalue.h"
#include "indicators/evaluator.h"

namespace verna::cli {

namespace {

const char *const kEvalUsage =
    "Použití: verna-db eval --entity SUBJEKT --year ROK --quarter ČTVRTLETÍ (--indicator ID | --formula VZOREC) [--sql]\n";

struct EvalOptions {
    QString entity;
    QString year;
    QString quarter;
    std::optional<int> indicator;
    std::optional<QString> formula;
    bool showSql = false;
};

std::optional<EvalOptions> parseEvalOptions(const QStringList &rest, QTextStream &err)
{
    EvalOptions o;
    bool haveEntity = false;
    bool haveYear = false;
    bool haveQuarter = false;
    for (int i = 0; i < rest.size(); ++i) {
        const QString &a = rest.at(i);
        if (a == QLatin1String("--sql")) {
            o.showSql = true;
            continue;
        }
        static const QStringList valued = {QStringLiteral("--entity"), QStringLiteral("--year"), QStringLiteral("--quarter"),
                                           QStringLiteral("--indicator"), QStringLiteral("--formula")};
        const std::optional<QString> given = optionValue(rest, i, valued, "eval", err);
        if (!given)
            return std::nullopt;
        const QString &value = *given;
        if (a == QLatin1String("--entity")) {
            o.entity = value;
            haveEntity = true;
        } else if (a == QLatin1String("--year")) {
            o.year = value;
            haveYear = true;
        } else if (a == QLatin1String("--quarter")) {
            o.quarter = value;
            haveQuarter = true;
        } else if (a == QLatin1String("--indicator")) {
            const auto id = db::parseId(value);
            if (!id) {
                err << "Číslo ukazatele musí být celé číslo: " << value << "\n";
                return std::nullopt;
            }
            o.indicator = *id;
        } else {
            o.formula = value;
        }
    }
    if (!haveEntity || !haveYear || !haveQuarter) {
        err << "Příkaz eval potřebuje subjekt, rok a čtvrtletí.\n";
        return std::nullopt;
    }
    if (o.indicator.has_value() == o.formula.has_value()) {
        err << "Příkaz eval potřebuje právě jedno z --indicator a --formula.\n";
        return std::nullopt;
    }
    return o;
}

} // namespace

int commandEval(const Options &options, QTextStream &out, QTextStream &err)
{
    const std::optional<EvalOptions> o = parseEvalOptions(options.rest, err);
    if (!o) {
        err << kEvalUsage;
        return UsageError;
    }
    // A formula that cannot be read is the caller's mistake, not a missing value.
    if (o->formula) {
        if (const QString problem = indicators::formulaProblem(indicators::Formula::parse(*o->formula).error()); !problem.isEmpty()) {
            err << "Vzorec nelze přečíst: " << problem << "\n" << kEvalUsage;
            return UsageError;
        }
    }
    db::Database database;
    if (!openDatabase(database, options, err))
        return DatabaseError;
    indicators::Evaluator evaluator(database);
    const QString before = QStringLiteral("\x01");
    database.setSharedSql(before);
    // An entity, year or quarter that is not sound is no value, as in the windows; why is said below.
    const std::optional<indicators::Period> period = indicators::Period::fromTexts(o->entity, o->year, o->quarter);
    Result<QString> value;
    if (period)
        value = o->indicator ? evaluator.indicatorValue(*o->indicator, *period) : evaluator.formulaValue(*o->formula, *period);
    if (!value.ok()) {
        err << "Hodnotu nelze spočítat, databáze ohlásila chybu: " << value.error << "\n";
        return DatabaseError;
    }
    if (value.value.isEmpty()) {
        const Result<QString> why = indicators::whyNoValue(database, o->indicator, o->formula.value_or(QString()), o->entity,
                                                           o->year, o->quarter);
        if (!why.ok()) {
            err << "Hodnotu nelze spočítat, databáze ohlásila chybu: " << why.error << "\n";
            return DatabaseError;
        }
        err << "Žádná hodnota: " << (why.value.isEmpty() ? QStringLiteral("výsledek je prázdný (NULL).") : why.value) << "\n";
    }
    out << value.value << "\n";
    if (o->showSql) {
        const QString built = database.sharedSql();
        out << "T-SQL: " << (built == before ? QStringLiteral("(žádný příkaz nevznikl)") : built) << "\n";
        if (database.backend() != db::Backend::SqlServer && !evaluator.lastBackendSql().isEmpty())
            out << "Provedeno: " << evaluator.lastBackendSql() << "\n";
    }
    return Success;
}

} // namespace verna::cli

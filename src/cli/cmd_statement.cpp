#include "commandline.h"
#include "commands.h"

#include "db/database.h"
#include "indicators/evaluator.h"
#include "indicators/period.h"
#include "statements/statementdata.h"
#include "statements/statementtable.h"

namespace verna::cli {

namespace {

const char *const kStatementUsage = "Použití: verna-db statement --entity E --year R --quarter Q [--type rozvaha|vysledovka]\n";

struct StatementOptions {
    indicators::Period period;
    QList<int> types{statements::kBalanceSheet, statements::kIncomeStatement};
};

std::optional<StatementOptions> parseStatementOptions(const QStringList &rest, QTextStream &err)
{
    QString entity, year, quarter;
    StatementOptions o;
    for (int i = 0; i < rest.size(); ++i) {
        const QString &a = rest.at(i);
        static const QStringList valued = {QStringLiteral("--entity"), QStringLiteral("--year"), QStringLiteral("--quarter"), QStringLiteral("--type")};
        const std::optional<QString> given = optionValue(rest, i, valued, "statement", err);
        if (!given)
            return std::nullopt;
        const QString &value = *given;
        if (a == QLatin1String("--entity"))
            entity = value;
        else if (a == QLatin1String("--year"))
            year = value;
        else if (a == QLatin1String("--quarter"))
            quarter = value;
        else if (value == QLatin1String("rozvaha"))
            o.types = {statements::kBalanceSheet};
        else if (value == QLatin1String("vysledovka"))
            o.types = {statements::kIncomeStatement};
        else {
            err << "Typ výkazu je rozvaha nebo vysledovka: " << value << "\n";
            return std::nullopt;
        }
    }
    const auto period = indicators::Period::fromTexts(entity, year, quarter);
    if (!period) {
        err << "Příkaz statement potřebuje subjekt (celé číslo), rok (čtyři číslice) a čtvrtletí 1 až 4.\n";
        return std::nullopt;
    }
    o.period = *period;
    return o;
}

} // namespace

// Prints stored statements in the layout a year dropped on the financial data table gives
// them: a title line, then code, line text and amount; computed rows are marked.
int commandStatement(const Options &options, QTextStream &out, QTextStream &err)
{
    const std::optional<StatementOptions> o = parseStatementOptions(options.rest, err);
    if (!o) {
        err << kStatementUsage;
        return UsageError;
    }
    db::Database database;
    if (!openDatabase(database, options, err))
        return DatabaseError;
    indicators::Evaluator evaluator(database);
    statements::StatementData data(database, evaluator);
    const auto stored = data.statementsOfPeriod(o->period.entity, o->period.year, o->period.quarter);
    if (!stored.ok()) {
        err << "Výkaz nelze přečíst, databáze ohlásila chybu: " << stored.error << "\n";
        return DatabaseError;
    }
    int printed = 0;
    for (const auto &[type, statement] : stored.value) {
        if (!o->types.contains(type))
            continue;
        const statements::Layout layout = statements::yearLayout(type, statement.abbreviated);
        const auto column = data.column(statement.id, layout);
        if (!column.ok()) {
            err << "Výkaz nelze přečíst, databáze ohlásila chybu: " << column.error << "\n";
            return DatabaseError;
        }
        if (!column.value)
            continue;
        const auto rule = statements::dropRule(type == statements::kBalanceSheet ? QStringLiteral("YR") : QStringLiteral("YV"));
        out << "# " << rule->title << " " << column.value->periodText() << ", " << column.value->entityName << " (výkaz "
            << statement.id << (statement.abbreviated ? ", uložen zkráceně" : ", uložen v plném rozsahu") << ")\n";
        for (int code : std::as_const(column.value->codes)) {
            out << code << "\t" << column.value->titles.value(code) << "\t" << column.value->values.value(code);
            if (column.value->computed.contains(code))
                out << "\tvypočteno";
            out << "\n";
        }
        ++printed;
    }
    if (printed == 0) {
        err << "Subjekt " << o->period.entity << " nemá za období " << o->period.periodText() << " žádný takový výkaz.\n";
        return DatabaseError;
    }
    return Success;
}

} // namespace verna::cli

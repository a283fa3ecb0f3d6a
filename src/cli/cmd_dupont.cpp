#include "commandline.h"
#include "commands.h"

#include "analysis/roedecomposition.h"
#include "db/database.h"
#include "indicators/evaluator.h"
#include "indicators/period.h"

#include <QRegularExpression>

namespace verna::cli {

namespace {

const char *const kDupontUsage = "Použití: verna-db dupont --entity E --periods 1998/4,1999/4\n";

std::optional<std::pair<indicators::Period, indicators::Period>> parseDupontOptions(const QStringList &rest, QTextStream &err)
{
    QString entity, periods;
    for (int i = 0; i < rest.size(); ++i) {
        const QString &a = rest.at(i);
        static const QStringList valued = {QStringLiteral("--entity"), QStringLiteral("--periods")};
        const std::optional<QString> given = optionValue(rest, i, valued, "dupont", err);
        if (!given)
            return std::nullopt;
        (a == QLatin1String("--entity") ? entity : periods) = *given;
    }
    static const QRegularExpression pair(QStringLiteral("^(\\d{4})/([1-4]),(\\d{4})/([1-4])$"));
    const auto m = pair.match(periods.remove(QLatin1Char(' ')));
    const auto a = indicators::Period::fromTexts(entity, m.captured(1), m.captured(2));
    const auto b = indicators::Period::fromTexts(entity, m.captured(3), m.captured(4));
    if (!m.hasMatch() || !a || !b) {
        err << "Příkaz dupont potřebuje subjekt (celé číslo) a dvě období ve tvaru rok/čtvrtletí oddělená čárkou.\n";
        return std::nullopt;
    }
    return std::make_pair(*a, *b);
}

} // namespace

// Prints the ROE decomposition of an entity between two periods: the factors with both values
// and their contributions, ROE and its change, and the method; or why there are no contributions.
int commandDupont(const Options &options, QTextStream &out, QTextStream &err)
{
    const auto periods = parseDupontOptions(options.rest, err);
    if (!periods) {
        err << kDupontUsage;
        return UsageError;
    }
    db::Database database;
    if (!openDatabase(database, options, err))
        return DatabaseError;
    indicators::Evaluator evaluator(database);
    const auto d = analysis::decomposeRoe(database, evaluator, periods->first, periods->second);
    if (!d.ok()) {
        err << "Rozklad ROE nelze spočítat, databáze ohlásila chybu: " << d.error << "\n";
        return DatabaseError;
    }
    out << "# Rozklad ROE subjektu " << periods->first.entity << ": " << periods->first.periodText() << " → " << periods->second.periodText()
        << "\n";
    for (const QStringList &row : d.value.table(QLocale::c()))
        out << row.join(QLatin1Char('\t')) << "\n";
    if (!d.value.reason.isEmpty()) {
        err << d.value.reason << "\n";
        return Success;
    }
    out << "Změna ROE: " << analysis::formatCents(*d.value.delta, QLocale::c()) << " p. b.\n";
    out << "Metoda: " << analysis::roeMethodName(d.value.method) << "\n";
    return Success;
}

} // namespace verna::cli

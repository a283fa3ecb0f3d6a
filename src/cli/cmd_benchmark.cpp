#include "analyzeoptions.h"
#include "commandline.h"
#include "commands.h"

#include "analysis/evaluatorsource.h"
#include "analysis/peerbenchmark.h"
#include "analysis/twodecimals.h"

namespace verna::cli {

namespace {

// A figure in the form the analysis table prints: "0.00", normalised to 12 significant digits
// first, as the evaluator's values are.
QString figure(double value)
{
    const auto cents = analysis::roundToCents(QString::number(value, 'g', 12));
    return cents ? analysis::formatCents(*cents, QLocale::c()) : QString();
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace

// The analysis rows and indicators, each value against its peers' distribution in the period;
// one CSV line per row and indicator, the reason last when there are no figures.
int commandBenchmark(const Options &options, QTextStream &out, QTextStream &err)
{
    QStringList args;
    analysis::PeerChoice choice;
    for (int i = 0; i < options.rest.size(); ++i) {
        const QString &a = options.rest.at(i);
        if (a == QLatin1String("--aggregate") || a == QLatin1String("--yoy") || a == QLatin1String("--xlsx") || a == QLatin1String("--csv")) {
            err << "Neznámá volba příkazu benchmark: " << a << "\n";
            return UsageError;
        }
        if (a != QLatin1String("--peers")) {
            args << a;
            continue;
        }
        const auto parsed = i + 1 < options.rest.size() ? analysis::PeerChoice::parse(options.rest.at(i + 1)) : std::nullopt;
        if (!parsed) {
            err << "Volba --peers potřebuje obor, sekce, skupina:ID nebo vse.\n";
            return UsageError;
        }
        choice = *parsed;
        ++i;
    }
    ComputedAnalysis computed;
    if (const int code = computeAnalysis(args, QStringLiteral("benchmark"), options, computed, err, true); code != Success)
        return code;

    analysis::EvaluatorSource source(computed.database);
    analysis::PeerBenchmark benchmark(computed.database, source);
    const auto rows = benchmark.compute(computed.model.rowKeys(), computed.options.indicators, choice);
    if (!rows.ok()) {
        err << "Srovnání s podobnými podniky nelze spočítat: " << rows.error << "\n";
        return DatabaseError;
    }
    out << "entity,period,indicator,value,n,d1,q1,median,q3,d9,rank,reason\n";
    for (const analysis::PeerBenchmarkRow &row : rows.value) {
        for (const analysis::PeerFigures &f : row.figures) {
            QStringList fields = {row.row.entityText(), row.row.periodText(), QString::number(f.indicatorId),
                                  analysis::formatValue(f.value, QLocale::c()), QString::number(f.n)};
            for (double q : {f.d1, f.q1, f.median, f.q3, f.d9})
                fields << (f.hasFigures ? figure(q) : QString());
            fields << (f.rank ? figure(*f.rank) : QString()) << csvField(f.reason);
            out << fields.join(QLatin1Char(',')) << "\n";
        }
    }
    return Success;
}

} // namespace verna::cli

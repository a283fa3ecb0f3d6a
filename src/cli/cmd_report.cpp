#include "analyzeoptions.h"
#include "commandline.h"
#include "commands.h"

#include "analysis/analysismodel.h"
#include "db/database.h"
#include "indicators/evaluator.h"
#include "report/reportbuilder.h"
#include "report/stylesheets.h"

#include <QDir>
#include <QFileInfo>

namespace verna::cli {

namespace {

struct ReportOptions {
    QString out;
    QString css;
    QString caption = QStringLiteral("Analýza 1");
    report::SectionChoice choice;
    analysis::PeerChoice peers;
    QStringList analysis; // the arguments analyze takes
};

std::optional<ReportOptions> parse(const QStringList &args, QTextStream &err)
{
    ReportOptions o;
    o.choice.balanceFull = false;
    o.choice.incomeFull = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--plna-rozvaha")) {
            o.choice.balanceFull = true;
            continue;
        }
        if (a == QLatin1String("--plna-vysledovka")) {
            o.choice.incomeFull = true;
            continue;
        }
        const bool own = a == QLatin1String("--out") || a == QLatin1String("--css") || a == QLatin1String("--sections") || a == QLatin1String("--nazev")
            || a == QLatin1String("--peers");
        if (!own || i + 1 >= args.size()) {
            if (a == QLatin1String("--xlsx") || a == QLatin1String("--csv")) {
                err << "Příkaz report volbu " << a << " nebere; tabulku zapíše příkaz analyze.\n";
                return std::nullopt;
            }
            o.analysis << a;
            continue;
        }
        const QString v = args.at(++i);
        if (a == QLatin1String("--out")) {
            o.out = v;
        } else if (a == QLatin1String("--css")) {
            o.css = v;
        } else if (a == QLatin1String("--nazev")) {
            o.caption = v;
        } else if (a == QLatin1String("--peers")) {
            const std::optional<analysis::PeerChoice> choice = analysis::PeerChoice::parse(v);
            if (!choice) {
                err << "Neznámé srovnání: " << v << " (je obor, sekce, skupina:ID nebo vse).\n";
                return std::nullopt;
            }
            o.peers = *choice;
        } else {
            o.choice.computation = o.choice.chart = o.choice.balance = o.choice.income = o.choice.roe = o.choice.peers = false;
            for (const QString &part : v.split(QLatin1Char(','))) {
                const QString s = part.trimmed();
                if (s == QLatin1String("vypocet"))
                    o.choice.computation = true;
                else if (s == QLatin1String("graf"))
                    o.choice.chart = true;
                else if (s == QLatin1String("rozvaha"))
                    o.choice.balance = true;
                else if (s == QLatin1String("vysledovka"))
                    o.choice.income = true;
                else if (s == QLatin1String("rozklad-roe"))
                    o.choice.roe = true;
                else if (s == QLatin1String("odvetvi"))
                    o.choice.peers = true;
                else {
                    err << "Neznámý oddíl reportu: " << s << " (jsou vypocet, graf, rozvaha, vysledovka, rozklad-roe, odvetvi).\n";
                    return std::nullopt;
                }
            }
        }
    }
    if (o.out.isEmpty()) {
        err << "Příkaz report potřebuje --out SLOŽKA.\n";
        return std::nullopt;
    }
    if (!QFileInfo(o.out).isDir()) {
        err << "Složka " << o.out << " neexistuje.\n";
        return std::nullopt;
    }
    if (!o.css.isEmpty() && !QFileInfo(o.css).isFile()) {
        err << "Styl " << o.css << " neexistuje.\n";
        return std::nullopt;
    }
    return o;
}

} // namespace

int commandReport(const Options &options, QTextStream &out, QTextStream &err)
{
    const std::optional<ReportOptions> o = parse(options.rest, err);
    if (!o)
        return UsageError;
    ComputedAnalysis computed;
    if (const int code = computeAnalysis(o->analysis, QStringLiteral("report"), options, computed, err); code != Success)
        return code;
    analysis::AnalysisModel &model = computed.model;
    db::Database &database = computed.database;
    // As the window does before a report: rows without every value are no data.
    model.purgeIncompleteRows();

    indicators::Evaluator evaluator(database);
    report::ReportBuilder builder(database, evaluator);
    // The peers' statements are read only for a report that shows them.
    if (o->choice.peers)
        builder.setPeerChoice(o->peers);
    const Result<report::ReportSections> sections = builder.build(model, {}, report::defaultClassFolder());
    if (!sections.ok()) {
        err << "Report nelze sestavit: " << sections.error << "\n";
        return DatabaseError;
    }
    if (sections.value.tooSmall) {
        // Nothing to report: the last report stays as it was, and a script learns of it.
        err << "Report nebyl vytvořen: tabulka analýzy je pro report příliš malá (žádný řádek se všemi hodnotami).\n";
        return DatabaseError;
    }
    QString style = o->css.isEmpty() ? QString() : QFileInfo(o->css).absoluteFilePath();
    if (style.isEmpty()) {
        const QList<report::StyleSheet> styles = report::listStyleSheets(report::ReportSettings::cssFolder());
        if (!styles.isEmpty())
            style = styles.front().path;
    }
    const QString path = report::reportFilePath(o->out, o->caption);
    if (const Outcome written = report::writeReportFile(path, report::assembleReport(sections.value, o->choice, style)); !written) {
        err << written.error << "\n";
        return DatabaseError;
    }
    out << QDir::toNativeSeparators(path) << "\n";
    return Success;
}

} // namespace verna::cli

#include "analyzeoptions.h"
#include "commandline.h"
#include "commands.h"

#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/analysismodel.h"
#include "analysis/evaluatorsource.h"
#include "analysis/tableexport.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "entities/entitysearch.h"
#include "entities/groupmembers.h"

#include <QFile>
#include <QRegularExpression>

namespace verna::cli {

namespace {

std::optional<QList<qint32>> parseIds(const QString &text)
{
    QList<qint32> ids;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto id = db::parseId(part.trimmed());
        if (!id)
            return std::nullopt;
        ids << *id;
    }
    return ids;
}

// The list itself, "@FILE" or "-" (standard input): ids separated by commas, blanks or lines,
// so a list too long for a command line still goes in.
std::optional<QList<qint32>> entityIds(const QString &value, QTextStream &err)
{
    QString text = value;
    if (value == QLatin1String("-") || value.startsWith(QLatin1Char('@'))) {
        QFile file(value.mid(1));
        const bool opened = value == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
        if (!opened) {
            err << "Seznam subjektů nelze přečíst: " << value << "\n";
            return std::nullopt;
        }
        text = QString::fromUtf8(file.readAll());
    }
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    QList<qint32> ids;
    for (const QString &part : text.split(separators, Qt::SkipEmptyParts)) {
        const auto id = db::parseId(part);
        if (!id) {
            err << "Neplatná hodnota volby --entities: " << part << "\n";
            return std::nullopt;
        }
        ids << *id;
    }
    return ids;
}

// Nullopt with a Czech message (naming the command) on a usage error.
std::optional<AnalyzeOptions> parseAnalyzeOptions(const QStringList &args, QTextStream &err, const QString &command)
{
    AnalyzeOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (i + 1 >= args.size()) {
            err << "Volba " << a << " potřebuje hodnotu.\n";
            return std::nullopt;
        }
        const QString v = args.at(++i);
        bool ok = true;
        if (a == QLatin1String("--entities")) {
            const auto ids = entityIds(v, err);
            if (!ids)
                return std::nullopt;
            o.entities = *ids;
        } else if (a == QLatin1String("--ico")) {
            static const QRegularExpression ico(QStringLiteral("^[0-9]{1,8}$"));
            for (const QString &part : v.split(QLatin1Char(','))) {
                ok = ok && ico.match(part.trimmed()).hasMatch();
                o.icos << part.trimmed();
            }
        } else if (a == QLatin1String("--group")) {
            o.group = db::parseId(v);
            ok = o.group.has_value();
        } else if (a == QLatin1String("--periods")) {
            static const QRegularExpression period(QStringLiteral("^(\\d{4})/([1-4])$"));
            for (const QString &p : v.split(QLatin1Char(','))) {
                const auto m = period.match(p.trimmed());
                ok = ok && m.hasMatch();
                if (m.hasMatch())
                    o.periods.append({m.captured(1).toInt(), m.captured(2).toInt()});
            }
        } else if (a == QLatin1String("--years")) {
            static const QRegularExpression years(QStringLiteral("^(\\d{4})(?:-(\\d{4}))?$"));
            const auto m = years.match(v);
            ok = m.hasMatch();
            if (ok)
                o.years = QPair<int, int>{m.captured(1).toInt(), m.captured(2).isEmpty() ? m.captured(1).toInt() : m.captured(2).toInt()};
            if (ok && o.years->first > o.years->second) {
                err << "Rozsah let " << v << " je obrácený: první rok musí být menší nebo roven druhému.\n";
                return std::nullopt;
            }
        } else if (a == QLatin1String("--indicators")) {
            const auto ids = parseIds(v);
            ok = ids.has_value();
            if (ok)
                o.indicators = QList<int>(ids->begin(), ids->end());
        } else if (a == QLatin1String("--aggregate")) {
            o.aggregate = analysis::aggregateFromIndex(v.toInt(&ok));
            ok = ok && o.aggregate.has_value();
        } else if (a == QLatin1String("--yoy")) {
            ok = v == QLatin1String("abs") || v == QLatin1String("pct");
            o.yearChange = v == QLatin1String("pct") ? analysis::YearChange::Percent : analysis::YearChange::Absolute;
        } else if (a == QLatin1String("--xlsx")) {
            o.xlsx = v;
        } else if (a == QLatin1String("--csv")) {
            o.csv = v;
        } else {
            err << "Neznámá volba příkazu " << command << ": " << a << "\n";
            return std::nullopt;
        }
        if (!ok) {
            err << "Neplatná hodnota volby " << a << ": " << v << "\n";
            return std::nullopt;
        }
    }
    if (int(!o.entities.isEmpty()) + int(!o.icos.isEmpty()) + int(o.group.has_value()) != 1 || o.periods.isEmpty() == !o.years.has_value() || o.indicators.isEmpty()) {
        err << "Příkaz " << command << " potřebuje --entities, --ico nebo --group, --periods nebo --years a --indicators.\n";
        return std::nullopt;
    }
    return o;
}

int fillTable(const AnalyzeOptions &o, db::Database &database, analysis::AnalysisModel &model, QTextStream &err, bool rowsOnly)
{
    analysis::AnalysisData data(database);
    analysis::EvaluatorSource source(database);
    analysis::AnalysisEngine engine(model, data, source);

    const auto fail = [&err](const QString &error) {
        err << "Analýzu nelze spočítat: " << error << "\n";
        return DatabaseError;
    };
    // Every indicator is checked before anything is computed; names as the window lists them.
    const Result<QList<analysis::NamedId>> listed = data.indicators(0);
    if (!listed.ok())
        return fail(listed.error);
    QHash<int, QString> names;
    for (const analysis::NamedId &indicator : listed.value)
        names.insert(indicator.id, indicator.name);
    for (int id : o.indicators) {
        if (!names.contains(id)) {
            err << "Ukazatel " << id << " neexistuje.\n";
            return UsageError;
        }
    }

    QList<qint32> entities = o.entities;
    entities::EntitySearch search(database);
    for (const QString &ico : o.icos) {
        const Result<std::optional<qint32>> id = search.byIco(ico);
        if (!id.ok())
            return fail(id.error);
        if (!id.value) {
            err << "IČO " << ico << " nemá žádný subjekt.\n";
            return UsageError;
        }
        entities << *id.value;
    }
    if (o.group) {
        const Result<bool> single = entities::isSingleEntity(database, QString::number(*o.group));
        if (!single.ok())
            return fail(single.error);
        if (single.value) {
            err << "Subjekt " << *o.group << " není skupina subjektů.\n";
            return UsageError;
        }
        const Result<QList<qint32>> members = data.groupMembers(*o.group);
        if (!members.ok())
            return fail(members.error);
        entities = members.value;
    }
    // Rows as the window adds them: the entity's periods that have a statement.
    if (o.years) {
        if (const Result<int> added = engine.addYearsRows(entities, o.years->first, o.years->second); !added.ok())
            return fail(added.error);
    }
    for (qint32 entity : o.years ? QList<qint32>() : entities) {
        for (const auto &[year, quarter] : o.periods) {
            const Result<QList<int>> quarters = data.rowQuarters(entity, year);
            if (!quarters.ok())
                return fail(quarters.error);
            if (!quarters.value.contains(quarter))
                continue;
            if (const Result<int> added = engine.addRow(analysis::RowKey{year, quarter, entity}); !added.ok())
                return fail(added.error);
        }
    }
    if (rowsOnly)
        return Success;
    QList<QPair<int, QString>> columns;
    for (int id : o.indicators)
        columns.append({id, names.value(id)});
    if (const Outcome computed = engine.addIndicators(columns); !computed)
        return fail(computed.error);
    if (const Outcome changes = engine.addYearChanges(o.yearChange); !changes)
        return fail(changes.error);
    if (o.aggregate)
        engine.applyAggregate(*o.aggregate);
    return Success;
}

} // namespace

int computeAnalysis(const QStringList &args, const QString &command, const Options &global, ComputedAnalysis &analysis,
                    QTextStream &err, bool rowsOnly)
{
    // Both read standard input: the password's line would be taken for ids, and shown in the refusal.
    const qsizetype entities = args.indexOf(QStringLiteral("--entities"));
    if (global.passwordStdin && entities >= 0 && args.value(entities + 1) == QLatin1String("-")) {
        err << "Volby --password-stdin a --entities - nelze použít spolu, obě čtou standardní vstup; seznam subjektů "
               "předejte souborem (--entities @SOUBOR).\n";
        return UsageError;
    }
    std::optional<AnalyzeOptions> parsed = parseAnalyzeOptions(args, err, command);
    if (!parsed)
        return UsageError;
    analysis.options = std::move(*parsed);
    if (!openDatabase(analysis.database, global, err))
        return DatabaseError;
    return fillTable(analysis.options, analysis.database, analysis.model, err, rowsOnly);
}

int commandAnalyze(const Options &options, QTextStream &out, QTextStream &err)
{
    ComputedAnalysis computed;
    if (const int code = computeAnalysis(options.rest, QStringLiteral("analyze"), options, computed, err); code != Success)
        return code;
    const analysis::AnalysisModel &model = computed.model;
    out << analysis::tableAsCsv(model);
    const struct {
        const QString &path;
        Outcome (*write)(const analysis::AnalysisModel &, const QString &);
    } files[] = {{computed.options.csv, analysis::writeCsv}, {computed.options.xlsx, analysis::writeXlsx}};
    for (const auto &file : files) {
        if (file.path.isEmpty())
            continue;
        if (const Outcome written = file.write(model, file.path); !written) {
            err << written.error << "\n";
            return DatabaseError;
        }
    }
    return Success;
}

} // namespace verna::cli

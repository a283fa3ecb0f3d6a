// Filling the analysis table: 1,000 entities x 4 quarters x 12 indicators on the embedded
// database through the model (as the window and verna-db analyze fill it), beside the
// set-based limit measured in the same run: per indicator and statement form, one SQL
// statement over all periods, with no model, no chunks and no form lookups.
#include "benchmarks.h"

#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/evaluatorsource.h"
#include "db/database.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "indicators/formulasql.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace verna;

int benchAnalysisFill(QTextStream &out)
{
    QTemporaryDir dir;
    db::Database database;
    shell::DemoOptions demo;
    demo.entities = 1000;
    demo.seed = 11;
    demo.firstYear = 1998;
    demo.lastYear = 1998;
    QElapsedTimer setup;
    setup.start();
    if (!makeFixture(database, dir.path(), demo, out))
        return 1;
    out << "fixture: " << demo.entities << " entities, 1998 Q1-Q4, made in " << setup.elapsed() << " ms\n";

    const QList<int> indicatorIds = {1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 14, 30};
    analysis::AnalysisData data(database);
    analysis::AnalysisModel model;
    analysis::EvaluatorSource source(database);
    analysis::AnalysisEngine engine(model, data, source);
    for (const QStringList &row : database.queryRows(QStringLiteral("SELECT subj_id FROM ident WHERE form_type_cd <> 215 AND subj_id <> 3366 ORDER BY subj_id")).rows)
        engine.addYearRows(row.front().toInt(), 1998);
    const QList<analysis::RowKey> keys = model.rowKeys();
    const qint64 cells = static_cast<qint64>(keys.size()) * indicatorIds.size();

    QElapsedTimer timer;
    timer.start();
    for (int id : indicatorIds)
        engine.addIndicator(id, QString::number(id));
    const qint64 modelNs = timer.nsecsElapsed();

    // The limit: forms read once, one statement per indicator and form over every period.
    timer.restart();
    QHash<indicators::Period, QString> forms;
    for (const QStringList &row : database.queryRows(QStringLiteral("SELECT subj_id, year_dt, quarter_dt, fill_lvl_ind FROM finl_stmt "
                                                                    "WHERE inac_ind = 0 AND stmt_type_cd = 28")).rows)
        forms.insert(indicators::Period{row[1].toInt(), row[2].toInt(), row[0].toInt()}, row[3]);
    QList<indicators::Period> full;
    QList<indicators::Period> other;
    for (const analysis::RowKey &key : keys)
        (forms.value(key) == QLatin1String("4") ? full : other) << key;
    indicators::Evaluator evaluator(database);
    qint64 limitValues = 0;
    for (int id : indicatorIds) {
        QString formula = database.singleValue(QStringLiteral("SELECT func_for_val FROM func_for WHERE func_for_id = %1").arg(id));
        QString expanded = formula;
        evaluator.rozvinVypocitanePolozky(expanded);
        for (const auto &[text, periods] : {std::pair{expanded, &full}, std::pair{formula, &other}}) {
            if (periods->isEmpty())
                continue;
            const indicators::Formula tree = indicators::Formula::parseExpanded(text);
            QSqlQuery q(database.connection());
            q.setForwardOnly(true);
            q.exec(indicators::FormulaSql::columnStatement(tree, database.backend(), *periods));
            while (q.next())
                ++limitValues;
        }
    }
    const qint64 limitNs = timer.nsecsElapsed();

    const double modelRate = cells * 1e9 / std::max<qint64>(modelNs, 1);
    const double limitRate = cells * 1e9 / std::max<qint64>(limitNs, 1);
    out << keys.size() << " rows x " << indicatorIds.size() << " indicators = " << cells << " cells\n";
    out << QStringLiteral("model fill        %1 cells/s  (%2 ms)\n").arg(modelRate, 10, 'f', 0).arg(modelNs / 1e6, 0, 'f', 1);
    out << QStringLiteral("set-based limit   %1 cells/s  (%2 ms)\n").arg(limitRate, 10, 'f', 0).arg(limitNs / 1e6, 0, 'f', 1);
    out << QStringLiteral("ratio limit/model: %1 (target: at most 2)\n").arg(limitRate / modelRate, 0, 'f', 2);
    if (limitValues != cells)
        out << "!! the limit computed " << limitValues << " values\n";
    int filled = 0;
    for (int c = 0; c < model.indicatorCount(); ++c)
        filled += static_cast<int>(model.columnCells(c).count()) - static_cast<int>(model.columnCells(c).count(QString()));
    out << "cells with a value: " << filled << "\n";
    return limitValues == cells ? 0 : 1;
}

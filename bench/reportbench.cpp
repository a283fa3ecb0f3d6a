// The report of one row with full statements, every section on (entity, computation, chart,
// full and abbreviated statements, the derived income statement): built, assembled and
// written as the window does on opening its Report tab. Target: under 300 ms.
#include "benchmarks.h"

#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/evaluatorsource.h"
#include "db/database.h"
#include "indicators/evaluator.h"
#include "report/reportbuilder.h"
#include "shell/demodata.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace verna;

void benchReport(BenchContext &context)
{
    QTextStream &out = context.log;
    const QString name = QStringLiteral("report of one full-statement row");
    const QString target = QStringLiteral("< 300 ms");
    QTemporaryDir dir;
    db::Database database;
    shell::DemoOptions demo;
    demo.entities = 200;
    demo.seed = 11;
    if (!openFixture(database, context.fixtures + QStringLiteral("/report-200.sqlite"), demo, out)) {
        context.table.check(name, target, QStringLiteral("-"), false, QStringLiteral("no fixture"));
        return;
    }
    analysis::AnalysisData data(database);
    analysis::AnalysisModel model;
    analysis::EvaluatorSource source(database);
    analysis::AnalysisEngine engine(model, data, source);
    Outcome filled = engine.addRow({1996, 4, 3366}).outcome();
    for (int id : {1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 14, 30})
        filled = filled ? engine.addIndicator(id, QString::number(id)) : filled;
    if (!filled) {
        context.table.check(name, target, QStringLiteral("-"), false, filled.error);
        return;
    }

    const int runs = 10;
    qint64 worst = 0;
    qint64 total = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        indicators::Evaluator evaluator(database);
        report::ReportBuilder builder(database, evaluator);
        const auto built = builder.build(model, {}, report::defaultClassFolder());
        if (!built.ok() || !built.value.fullStatements) {
            context.table.check(name, target, QStringLiteral("-"), false, QStringLiteral("not built: ") + built.error);
            return;
        }
        const Outcome written = report::writeReportFile(dir.filePath(QStringLiteral("~Analýza 1.htm")),
                                                        report::assembleReport(built.value, report::SectionChoice{}, QStringLiteral("/css/a.css")));
        if (!written) {
            context.table.check(name, target, QStringLiteral("-"), false, written.error);
            return;
        }
        const qint64 ms = timer.elapsed();
        worst = std::max(worst, ms);
        total += ms;
    }
    context.table.check(name, target, QStringLiteral("%1 ms").arg(worst), worst < 300,
                        QStringLiteral("worst of %1 runs (mean %2 ms), all sections, built, assembled and written").arg(runs).arg(total / runs));
}

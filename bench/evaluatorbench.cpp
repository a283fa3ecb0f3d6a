// Indicator values for every period of a fixed demo database on SQLite: the reference path
// (every cell asks for its statement form, formula and expansions), the same with a cache for
// the operation, and a whole column per statement. All three must give the same texts.
#include "benchmarks.h"

#include "db/database.h"
#include "indicators/evaluationcache.h"
#include "indicators/evaluator.h"
#include "shell/demodata.h"
#include "shell/startup.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

using namespace verna;

namespace {

struct Measurement {
    QString name;
    qint64 nanoseconds = 0;
    int evaluations = 0;
    QList<QStringList> values; // per indicator
    double perSecond() const { return nanoseconds > 0 ? evaluations * 1e9 / nanoseconds : 0; }
};

} // namespace

int benchEvaluator(QTextStream &out)
{
    QTemporaryDir dir;
    db::Database database;
    shell::DemoOptions demo;
    demo.entities = 120;
    demo.seed = 7;
    demo.firstYear = 1998;
    demo.lastYear = 1999;
    if (!makeFixture(database, dir.path(), demo, out))
        return 1;

    QList<indicators::Period> periods;
    for (const QStringList &row :
         database.queryRows(QStringLiteral("SELECT DISTINCT subj_id, year_dt, quarter_dt FROM finl_stmt WHERE inac_ind = 0 "
                                           "AND stmt_type_cd = 28 ORDER BY subj_id, year_dt, quarter_dt"))
             .rows)
        periods << indicators::Period{row[1].toInt(), row[2].toInt(), row[0].toInt()};
    const QList<int> indicatorIds = {1, 2, 4, 5, 8, 10, 11, 12, 14, 15, 30, 33};
    out << periods.size() << " periods x " << indicatorIds.size() << " indicators = " << periods.size() * indicatorIds.size()
        << " values\n";

    auto measure = [&](const QString &name, const std::function<QStringList(indicators::Evaluator &, int)> &column, bool cached) {
        Measurement m;
        m.name = name;
        indicators::EvaluationCache cache;
        indicators::Evaluator evaluator(database, cached ? &cache : nullptr);
        QElapsedTimer timer;
        timer.start();
        for (int id : indicatorIds)
            m.values << column(evaluator, id);
        m.nanoseconds = timer.nsecsElapsed();
        m.evaluations = static_cast<int>(periods.size() * indicatorIds.size());
        return m;
    };
    const auto cellByCell = [&](indicators::Evaluator &e, int id) {
        QStringList values;
        for (const indicators::Period &p : periods)
            values << e.indicatorValue(id, p).value;
        return values;
    };
    const Measurement reference = measure(QStringLiteral("reference (cell by cell)"), cellByCell, false);
    const Measurement cached = measure(QStringLiteral("cached (cell by cell)"), cellByCell, true);
    const Measurement column = measure(
        QStringLiteral("column (set-based)"), [&](indicators::Evaluator &e, int id) { return e.indicatorColumn(id, periods).value; }, true);

    int status = 0;
    for (const Measurement *m : {&reference, &cached, &column}) {
        out << QStringLiteral("%1  %2 values/s  (%3 ms)\n")
                   .arg(m->name, -26)
                   .arg(m->perSecond(), 10, 'f', 0)
                   .arg(m->nanoseconds / 1e6, 0, 'f', 1);
        if (m->values != reference.values) {
            out << "  !! texts differ from the reference path\n";
            status = 1;
        }
    }
    int withValue = 0;
    for (const QStringList &values : reference.values)
        withValue += static_cast<int>(std::count_if(values.begin(), values.end(), [](const QString &v) { return !v.isEmpty(); }));
    out << "values present: " << withValue << "\n";
    out << QStringLiteral("ratio cached/reference: %1\n").arg(cached.perSecond() / reference.perSecond(), 0, 'f', 2);
    out << QStringLiteral("ratio column/reference: %1\n").arg(column.perSecond() / reference.perSecond(), 0, 'f', 2);
    out << QStringLiteral("ratio column/cached:    %1\n").arg(column.perSecond() / cached.perSecond(), 0, 'f', 2);
    return status;
}

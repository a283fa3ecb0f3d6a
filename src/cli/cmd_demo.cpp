#include "commandline.h"
#include "commands.h"

#include "db/database.h"
#include "shell/demodata.h"
#include "statements/statementstore.h"

#include <QRegularExpression>

namespace verna::cli {

int commandDemo(const Options &o, QTextStream &out, QTextStream &err)
{
    shell::DemoOptions demo;
    for (int i = 0; i < o.rest.size(); ++i) {
        const QString &a = o.rest.at(i);
        const QString value = i + 1 < o.rest.size() ? o.rest.at(i + 1) : QString();
        bool ok = false;
        if (a == QLatin1String("--entities")) {
            demo.entities = value.toInt(&ok);
            ok = ok && demo.entities >= 0 && demo.entities <= 1000000;
        } else if (a == QLatin1String("--seed")) {
            demo.seed = value.toUInt(&ok);
        } else if (a == QLatin1String("--years")) {
            static const QRegularExpression years(QStringLiteral("^(\\d{4})(?:-(\\d{4}))?$"));
            const auto m = years.match(value);
            ok = m.hasMatch();
            demo.firstYear = m.captured(1).toInt();
            demo.lastYear = m.captured(2).isEmpty() ? demo.firstYear : m.captured(2).toInt();
            // Statements are kept from 1993 on: an earlier year could not be entered or imported.
            ok = ok && statements::isStatementYear(m.captured(1)) && demo.firstYear <= demo.lastYear;
        } else if (a == QLatin1String("--quarters")) {
            // Quarters of the first and the last year, e.g. 3-2 (from Q3 of the first to Q2 of the last).
            static const QRegularExpression quarters(QStringLiteral("^([1-4])-([1-4])$"));
            const auto m = quarters.match(value);
            ok = m.hasMatch();
            demo.firstQuarter = m.captured(1).toInt();
            demo.lastQuarter = m.captured(2).toInt();
        }
        if (!ok) {
            err << "Neplatná volba příkazu demo: " << a << ' ' << value << "\n";
            return UsageError;
        }
        ++i;
    }
    if (demo.firstYear == demo.lastYear && demo.firstQuarter > demo.lastQuarter) {
        // No quarter between them: entities without a statement would be reported as made with them.
        err << "Neplatná volba příkazu demo: --quarters " << demo.firstQuarter << '-' << demo.lastQuarter << " v jediném roce "
            << demo.firstYear << "\n";
        return UsageError;
    }
    db::Database database;
    if (!openDatabase(database, o, err, shell::FirstStart::Empty))
        return DatabaseError;
    const Outcome generated = shell::generateDemoData(database, demo, [&err](int done, int total) {
        err << "\rUkázková data: " << done << " / " << total << " subjektů" << Qt::flush;
    });
    err << "\n";
    if (!generated) {
        err << "Ukázková data nelze vytvořit: " << generated.error << "\n";
        return DatabaseError;
    }
    out << "Vytvořeno " << demo.entities << " subjektů s výkazy za roky " << demo.firstYear << "–" << demo.lastYear << ".\n";
    return Success;
}

} // namespace verna::cli

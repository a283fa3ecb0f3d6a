// Any text through the formula check and the SQL written from it: no crash, no hang, and
// nothing but checked text in the statements.
#include "fuzzcheck.h"
#include "indicators/formula.h"
#include "indicators/formulaprogram.h"
#include "indicators/formulasql.h"

#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>

using namespace verna;
using namespace verna::indicators;

namespace {

void checkStatement(QString sql)
{
    // The only literals are runs of operators for SQLite's verna_calc.
    static const QRegularExpression literal(QStringLiteral("'[-+*/^]+'"));
    sql.remove(literal);
    FUZZ_CHECK(!sql.contains(QLatin1Char('\'')));
    FUZZ_CHECK(!sql.contains(QLatin1Char(';')));
    FUZZ_CHECK(!sql.contains(QLatin1String("--")));
    FUZZ_CHECK(!sql.contains(QLatin1String("/*")));
    FUZZ_CHECK(sql.count(QLatin1Char('(')) == sql.count(QLatin1Char(')')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const Period period{1999, 4, -12};
    const QString tsql = FormulaSql::translate(text, period);
    FUZZ_CHECK(tsql.startsWith(QLatin1String("SELECT (")) && tsql.endsWith(QLatin1String(" )")));

    const Formula formula = Formula::parse(text);
    const Formula expanded = Formula::parseExpanded(text);
    FUZZ_CHECK(formula.isValid() == expanded.isValid());
    if (!expanded.isValid())
        return 0;
    FUZZ_CHECK(expanded.height() <= Formula::kMaxHeight);
    FUZZ_CHECK(expanded.nesting() <= Formula::kMaxNesting);
    for (const QChar c : text)
        FUZZ_CHECK(QStringLiteral("0123456789.[]+-*/^() ").contains(c));
    for (const QString &code : expanded.itemCodes()) {
        FUZZ_CHECK(!code.isEmpty());
        for (const QChar c : code)
            FUZZ_CHECK(c.isDigit());
    }
    for (auto backend : {db::Backend::SQLite, db::Backend::PostgreSQL})
        checkStatement(FormulaSql::cellStatement(expanded, backend, period));
    // The computed fill runs any valid tree, however deep, over any amounts.
    QHash<QString, int> itemSlots;
    const FormulaProgram program(expanded, itemSlots);
    std::vector<db::arithmetic::Number> amounts(static_cast<size_t>(itemSlots.size()) + 1, db::arithmetic::Number::real(-0.5));
    program.run(amounts.data());
    return 0;
}

// The limits the fill is compared with: a plain sqlite3 C-API pass, and one PostgreSQL
// statement timed by the server.
#include "benchmarks.h"

#include "analysis/twodecimals.h"
#include "db/database.h"
#include "db/numbertext.h"
#include "db/preparedquery.h"
#include "indicators/derivedlines.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "indicators/formulaprogram.h"
#include "indicators/formulasql.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <unordered_map>

using namespace verna;
using indicators::Formula;
using indicators::FormulaProgram;
using Number = db::arithmetic::Number;

namespace {

// Per indicator the formula texts evaluated on an abbreviated and on a full income statement,
// per quarter ([219] is the days of the quarter).
struct Texts {
    QString abbreviated[4];
    QString full[4];
};

QList<Texts> formulaTexts(db::Database &database, const QList<int> &indicators)
{
    QList<Texts> out;
    indicators::Evaluator evaluator(database);
    for (int id : indicators) {
        const QString stored = database.singleValue(indicators::FormulaSql::formulaQuery(QString::number(id))).trimmed();
        // The derived lines are written out by the form, as the evaluator does.
        const QString formula = indicators::DerivedLines::expanded(stored, false);
        QString expanded = indicators::DerivedLines::expanded(stored, true);
        evaluator.rozvinVypocitanePolozky(expanded);
        Texts t;
        for (int q = 1; q <= 4; ++q) {
            const indicators::Period p{2000, q, 0};
            t.abbreviated[q - 1] = Formula::isValidText(stored) ? indicators::Evaluator::withPeriodItems(formula, p) : QString();
            t.full[q - 1] = Formula::isValidText(stored) ? indicators::Evaluator::withPeriodItems(expanded, p) : QString();
        }
        out << t;
    }
    return out;
}

quint64 periodKey(qint64 entity, int year, int quarter)
{
    return (static_cast<quint64>(static_cast<quint32>(entity)) << 20) | (static_cast<quint64>(year) << 3) | static_cast<quint64>(quarter);
}

// The cell as a plain C program prints it: 12 significant digits, then two decimals.
QString plainText(const Number &value)
{
    if (value.isNull())
        return QString();
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.11e", value.asDouble());
    const double normalised = std::strtod(buffer, nullptr);
    const double cents = std::round(normalised * 100.0) / 100.0;
    std::snprintf(buffer, sizeof buffer, "%.2f", cents == 0 ? 0.0 : cents);
    return QString::fromLatin1(buffer);
}

} // namespace

RawPass rawSqlitePass(db::Database &database, const QString &file, const QList<analysis::RowKey> &rows, const QList<int> &indicators, const QString &companies)
{
    RawPass pass;
    // Formulas and their programs are the same for any data: prepared before the clock starts.
    QHash<QString, int> itemSlots;
    struct Programs {
        std::unique_ptr<FormulaProgram> abbreviated[4];
        std::unique_ptr<FormulaProgram> full[4];
    };
    std::vector<Programs> programs(static_cast<size_t>(indicators.size()));
    const QList<Texts> texts = formulaTexts(database, indicators);
    for (int c = 0; c < texts.size(); ++c) {
        for (int q = 0; q < 4; ++q) {
            programs[c].abbreviated[q] = std::make_unique<FormulaProgram>(Formula::parse(texts[c].abbreviated[q]), itemSlots);
            programs[c].full[q] = std::make_unique<FormulaProgram>(Formula::parse(texts[c].full[q]), itemSlots);
        }
    }
    QStringList codes;
    std::unordered_map<qint64, int> slotOfCode;
    for (auto it = itemSlots.constBegin(); it != itemSlots.constEnd(); ++it) {
        codes << it.key();
        slotOfCode[it.key().toLongLong()] = it.value();
    }
    int firstYear = 9999;
    int lastYear = 0;
    for (const analysis::RowKey &row : rows) {
        firstYear = std::min(firstYear, row.year);
        lastYear = std::max(lastYear, row.year);
    }
    const size_t slotCount = std::max<size_t>(1, itemSlots.size());

    const Stopwatch timer;
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        pass.error = QStringLiteral("sqlite3_open_v2 failed");
        sqlite3_close(handle);
        return pass;
    }
    std::unordered_map<quint64, int> rowOf;
    rowOf.reserve(static_cast<size_t>(rows.size()) * 2);
    for (int r = 0; r < rows.size(); ++r)
        rowOf[periodKey(rows[r].entity, rows[r].year, rows[r].quarter)] = r;
    std::vector<unsigned char> full(static_cast<size_t>(rows.size()), 0);
    std::vector<Number> amounts(static_cast<size_t>(rows.size()) * slotCount);
    std::vector<unsigned char> found(amounts.size(), 0);

    const auto query = [&](const QString &sql, const auto &onRow) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
            pass.error = QString::fromUtf8(sqlite3_errmsg(handle));
            return;
        }
        sqlite3_bind_int(statement, 1, firstYear);
        sqlite3_bind_int(statement, 2, lastYear);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const auto at = rowOf.find(periodKey(sqlite3_column_int64(statement, 0), sqlite3_column_int(statement, 1), sqlite3_column_int(statement, 2)));
            if (at != rowOf.end())
                onRow(statement, at->second);
        }
        sqlite3_finalize(statement);
    };
    // The companies are read once, into a table of the connection's own.
    if (!companies.isEmpty()) {
        const QByteArray made = QStringLiteral("CREATE TEMP TABLE companies (subj_id INTEGER PRIMARY KEY); INSERT OR IGNORE INTO companies %1")
                                    .arg(companies)
                                    .toUtf8();
        if (sqlite3_exec(handle, made.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            pass.error = QString::fromUtf8(sqlite3_errmsg(handle));
            sqlite3_close(handle);
            return pass;
        }
    }
    const QString only = companies.isEmpty() ? QString() : QStringLiteral(" AND s.subj_id IN (SELECT subj_id FROM temp.companies)");
    // A few companies' statements are read fastest by walking their items, not seeking each code.
    const QString codeColumn = companies.isEmpty() ? QStringLiteral("i.item_type_cd") : QStringLiteral("+i.item_type_cd");
    query(QStringLiteral("SELECT s.subj_id, s.year_dt, s.quarter_dt, s.fill_lvl_ind FROM finl_stmt s WHERE s.inac_ind = 0 AND s.stmt_type_cd = 28 "
                         "AND s.year_dt BETWEEN ?1 AND ?2")
              + only,
          [&](sqlite3_stmt *s, int row) { full[static_cast<size_t>(row)] = sqlite3_column_int(s, 3) == 4; });
    query(QStringLiteral("SELECT s.subj_id, s.year_dt, s.quarter_dt, i.item_type_cd, i.amt_val FROM finl_stmt s, finl_item i "
                         "WHERE s.inac_ind = 0 AND s.year_dt BETWEEN ?1 AND ?2 AND s.finl_stmt_id = i.finl_stmt_id AND %1 IN (%2)%3")
              .arg(codeColumn, codes.join(QLatin1Char(',')), only),
          [&](sqlite3_stmt *s, int row) {
              const auto slot = slotOfCode.find(sqlite3_column_int64(s, 3));
              if (slot == slotOfCode.end())
                  return;
              const size_t at = static_cast<size_t>(row) * slotCount + static_cast<size_t>(slot->second);
              if (found[at]++ > 0 || sqlite3_column_type(s, 4) == SQLITE_NULL)
                  amounts[at] = Number::none();
              else
                  amounts[at] = Number::real(sqlite3_column_double(s, 4));
          });
    sqlite3_close(handle);
    pass.readCpuNanoseconds = timer.cpuNs();
    for (int c = 0; c < indicators.size(); ++c) {
        QStringList column;
        column.reserve(rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            const int q = rows[r].quarter - 1;
            const FormulaProgram &program = full[static_cast<size_t>(r)] ? *programs[c].full[q] : *programs[c].abbreviated[q];
            column << plainText(program.run(amounts.data() + static_cast<size_t>(r) * slotCount));
        }
        pass.texts << column;
    }
    pass.nanoseconds = timer.wallNs();
    pass.cpuNanoseconds = timer.cpuNs();
    return pass;
}

ServerPass postgresStatement(db::Database &database, const QList<analysis::RowKey> &rows, int year, const QList<int> &indicators)
{
    ServerPass pass;
    const QList<Texts> texts = formulaTexts(database, indicators);
    QSet<QString> codes;
    QStringList cells;
    for (const Texts &t : texts) {
        const auto expression = [&codes](const QString &text) {
            const Formula tree = Formula::parse(text);
            if (!tree.isValid())
                return QStringLiteral("NULL");
            for (const QString &code : tree.itemCodes())
                codes.insert(code);
            return indicators::FormulaSql::postgresExpression(tree, [](const QString &code) { return QStringLiteral("p.i") + code; });
        };
        const auto byQuarter = [&](const QString(&perQuarter)[4]) {
            if (perQuarter[0] == perQuarter[1] && perQuarter[0] == perQuarter[2] && perQuarter[0] == perQuarter[3])
                return expression(perQuarter[0]);
            QString text = QStringLiteral("CASE r.quarter_dt");
            for (int q = 0; q < 4; ++q)
                text += QStringLiteral(" WHEN %1 THEN %2").arg(q + 1).arg(expression(perQuarter[q]));
            return text + QStringLiteral(" END");
        };
        cells << QStringLiteral("CASE WHEN f.form = 4 THEN %1 ELSE %2 END").arg(byQuarter(t.full), byQuarter(t.abbreviated));
    }
    QStringList pivot;
    for (const QString &code : std::as_const(codes)) {
        pivot << QStringLiteral("CASE WHEN count(*) FILTER (WHERE i.item_type_cd = %1) = 1 THEN max(CAST(i.amt_val AS DOUBLE PRECISION)) "
                                "FILTER (WHERE i.item_type_cd = %1) END AS i%1")
                     .arg(code);
    }
    const QString y = QString::number(year);
    // Only the peers' statements: the companies of the rows, as one array.
    QList<qint64> entities;
    for (const analysis::RowKey &row : rows) {
        if (entities.isEmpty() || entities.back() != row.entity)
            entities << row.entity;
    }
    QVariantList unused;
    const auto peersOf = [&](const QString &column) { return db::inList(db::Backend::PostgreSQL, column, entities, unused); };
    const QString sql =
        QStringLiteral("WITH r AS (SELECT DISTINCT subj_id, quarter_dt FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd IN (27, 28) "
                       "AND year_dt = %1 AND %5), "
                       "f AS (SELECT subj_id, quarter_dt, min(fill_lvl_ind) AS form FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 28 "
                       "AND year_dt = %1 AND %5 GROUP BY subj_id, quarter_dt), "
                       "p AS (SELECT s.subj_id, s.quarter_dt, %2 FROM finl_stmt s, finl_item i WHERE s.inac_ind = 0 AND s.year_dt = %1 AND %6 "
                       "AND s.finl_stmt_id = i.finl_stmt_id AND i.item_type_cd IN (%3) GROUP BY s.subj_id, s.quarter_dt) "
                       "SELECT r.subj_id, r.quarter_dt, %4 FROM r LEFT JOIN f ON f.subj_id = r.subj_id AND f.quarter_dt = r.quarter_dt "
                       "LEFT JOIN p ON p.subj_id = r.subj_id AND p.quarter_dt = r.quarter_dt")
            .arg(y, pivot.join(QStringLiteral(", ")), QStringList(codes.begin(), codes.end()).join(QStringLiteral(", ")),
                 cells.join(QStringLiteral(", ")), peersOf(QStringLiteral("subj_id")), peersOf(QStringLiteral("s.subj_id")));
    // The statement is the measure, not the application's wait: it may take longer than that.
    const std::chrono::milliseconds wait = database.responseLimit();
    database.setResponseLimit(std::chrono::minutes(10));
    const auto restore = qScopeGuard([&] { database.setResponseLimit(wait); });

    static const QRegularExpression time(QStringLiteral("(Planning|Execution) Time: ([0-9.]+) ms"));
    pass.milliseconds = 1e12;
    for (int run = 0; run < 3; ++run) {
        const Result<QList<QVariantList>> plan = database.queryNative(QStringLiteral("EXPLAIN (ANALYZE, TIMING OFF) ") + sql);
        if (!plan.ok()) {
            pass.error = plan.error;
            return pass;
        }
        double ms = 0;
        for (const QVariantList &line : plan.value) {
            if (const auto m = time.match(line.value(0).toString()); m.hasMatch())
                ms += m.captured(2).toDouble();
        }
        pass.milliseconds = std::min(pass.milliseconds, ms);
    }
    // The statement's cells, checked as the fill's are.
    const Result<QList<QVariantList>> result = database.queryNative(sql);
    if (!result.ok()) {
        pass.error = result.error;
        return pass;
    }
    QHash<analysis::RowKey, int> rowOf;
    for (int r = 0; r < rows.size(); ++r)
        rowOf.insert(rows[r], r);
    pass.texts = QList<QStringList>(indicators.size(), QStringList(rows.size()));
    for (const QVariantList &row : result.value) {
        const auto at = rowOf.constFind(analysis::RowKey{year, row.value(1).toInt(), row.value(0).toInt()});
        if (at == rowOf.constEnd())
            continue;
        for (int c = 0; c < indicators.size(); ++c) {
            const QVariant v = row.value(c + 2);
            pass.texts[c][*at] = v.isNull() ? QString() : analysis::formatValue(db::numberText(v.toString().toDouble()), QLocale::c());
        }
    }
    return pass;
}

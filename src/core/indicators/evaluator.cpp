#include "indicators/evaluator.h"

#include "db/database.h"
#include "db/numbertext.h"
#include "db/sqlquote.h"
#include "indicators/evaluationcache.h"
#include "indicators/formula.h"
#include "indicators/formulasql.h"
#include "shell/appstate.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace verna::indicators {

namespace {

// Periods per set-based statement: keeps statements a few tens of kilobytes.
constexpr int kColumnChunk = 500;

bool isFullForm(const QString &answer)
{
    bool ok = false;
    const int form = answer.toInt(&ok);
    return ok && form == 4;
}

// Value texts of both backends in one form: integers exact, the rest to 12 significant digits.
// SQLite hands over numbers, PostgreSQL (at high precision) their text.
QString valueText(const QVariant &value, bool integral)
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (integral) {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        return ok ? QString::number(number) : QString();
    }
    bool ok = value.typeId() == QMetaType::Double;
    const double number = ok ? value.toDouble() : value.toString().toDouble(&ok);
    return ok ? db::numberText(number) : QString();
}

} // namespace

Evaluator::Evaluator(db::Database &database, EvaluationCache *cache)
    : m_db(database)
    , m_cache(cache)
{
}

Evaluator::~Evaluator() = default;

QString Evaluator::translate(const QString &formula, const Period &period)
{
    return FormulaSql::translate(formula, period);
}

QString Evaluator::getHodnotaFunkce(const QVariant &subject, const QString &entityId, const QString &year, const QString &quarter)
{
    m_lastBackendSql.clear();
    const std::optional<Period> period = Period::fromTexts(entityId, year, quarter);
    const auto asIndicator = [&](qint64 id) {
        if (!period || id < std::numeric_limits<qint32>::min() || id > std::numeric_limits<qint32>::max())
            return QString();
        return indicatorValue(static_cast<int>(id), *period).value;
    };
    switch (subject.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return asIndicator(subject.toLongLong());
    case QMetaType::ULongLong:
        return subject.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint32>::max()) ? QString()
                                                                                                  : asIndicator(subject.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = subject.toDouble();
        if (d != std::floor(d) || std::fabs(d) > std::numeric_limits<qint32>::max())
            return QString(); // a number, but no indicator has that id
        return asIndicator(static_cast<qint64>(d));
    }
    default:
        break;
    }
    const QString text = subject.toString();
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (wholeNumber.match(trimmed).hasMatch()) {
        const auto id = db::parseId(trimmed.startsWith(QLatin1Char('+')) ? trimmed.mid(1) : trimmed);
        return id ? asIndicator(*id) : QString();
    }
    bool numeric = false;
    QLocale::c().toDouble(trimmed, &numeric);
    if (numeric || !period)
        return QString(); // "1.5" reads as a number: no indicator has that id
    return formulaValue(text, *period).value;
}

Result<QString> Evaluator::indicatorValue(int indicatorId, const Period &period)
{
    m_lastBackendSql.clear();
    if (!period.isValid())
        return {};
    const Result<QString> form = statementForm(period);
    if (!form.ok())
        return form;
    const Result<QString> formula = indicatorFormula(indicatorId);
    if (!formula.ok())
        return Result<QString>::failure(formula.error);
    if (!Formula::isValidText(formula.value))
        return {};
    return evaluate(formula.value, form.value, period);
}

Result<QString> Evaluator::formulaValue(const QString &formula, const Period &period)
{
    m_lastBackendSql.clear();
    if (!period.isValid() || !Formula::isValidText(formula))
        return {};
    const Result<QString> form = statementForm(period);
    if (!form.ok())
        return form;
    return evaluate(formula, form.value, period);
}

QString Evaluator::rozvinVypocitanePolozky(QString &formula)
{
    formula = expanded(formula).value;
    return formula;
}

Result<QStringList> Evaluator::indicatorColumn(int indicatorId, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    return column([this, indicatorId] { return indicatorFormula(indicatorId); }, periods, shouldStop);
}

Result<QStringList> Evaluator::formulaColumn(const QString &formula, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    return column([formula] { return Result<QString>{formula, {}}; }, periods, shouldStop);
}

Result<QString> Evaluator::statementForm(const Period &period)
{
    if (m_cache) {
        if (const auto cached = m_cache->form(period))
            return {*cached, {}};
    }
    const QString sql = FormulaSql::formQuery(period);
    m_db.setSharedSql(sql);
    const Result<QString> answer = m_db.readValue(sql);
    if (m_cache && answer.ok())
        m_cache->setForm(period, answer.value);
    return answer;
}

Result<QString> Evaluator::indicatorFormula(int indicatorId)
{
    if (m_cache) {
        if (const auto cached = m_cache->indicatorFormula(indicatorId))
            return {*cached, {}};
    }
    const QString sql = FormulaSql::formulaQuery(QString::number(indicatorId));
    m_db.setSharedSql(sql);
    Result<QString> formula = m_db.readValue(sql);
    // Blanks that a fixed-width column pads with are no part of the formula.
    formula.value = formula.value.trimmed();
    if (m_cache && formula.ok())
        m_cache->setIndicatorFormula(indicatorId, formula.value);
    return formula;
}

Result<QString> Evaluator::expanded(const QString &formula)
{
    if (m_cache) {
        if (const auto cached = m_cache->expansion(formula))
            return {*cached, {}};
    }
    // Every "[202]".."[213]" in one pass in table order; a stored formula that is not a valid
    // formula text is spliced as empty, which leaves no value.
    Result<QString> out{formula, {}};
    const QList<int> &items = shell::ItemCodes::computedItems();
    const QList<int> &indicators = shell::ItemCodes::computedItemFormulas();
    for (int i = 0; i < items.size(); ++i) {
        const QString reference = QLatin1Char('[') + QString::number(items.at(i)) + QLatin1Char(']');
        // A formula without the reference would be left as it is: no need to read it.
        if (!out.value.contains(reference))
            continue;
        const Result<QString> stored = indicatorFormula(indicators.at(i));
        if (!stored.ok() && out.ok())
            out.error = stored.error;
        const QString replacement = Formula::isValidText(stored.value) ? stored.value : QString();
        out.value.replace(reference, QStringLiteral(" (") + replacement + QStringLiteral(") "));
    }
    if (m_cache && out.ok())
        m_cache->setExpansion(formula, out.value);
    return out;
}

std::shared_ptr<const Formula> Evaluator::parsed(const QString &text)
{
    if (m_cache)
        return m_cache->parsed(text);
    return std::make_shared<const Formula>(Formula::parseExpanded(text));
}

QString Evaluator::withPeriodItems(const QString &formula, const Period &period)
{
    static const QString days = QLatin1Char('[') + QString::number(kDaysElapsedItem) + QLatin1Char(']');
    if (!formula.contains(days))
        return formula;
    QString text = formula;
    return text.replace(days, QStringLiteral(" (") + QString::number(period.quarter * 90) + QStringLiteral(") "));
}

Result<QString> Evaluator::evaluate(const QString &formula, const QString &form, const Period &period)
{
    if (!isFullForm(form))
        return evaluateText(withPeriodItems(formula, period), period);
    const Result<QString> text = expanded(formula);
    if (!text.ok())
        return Result<QString>::failure(text.error);
    return evaluateText(withPeriodItems(text.value, period), period);
}

Result<QString> Evaluator::evaluateText(const QString &text, const Period &period)
{
    const std::shared_ptr<const Formula> tree = parsed(text);
    const QString tsql = FormulaSql::translate(text, period);
    m_db.setSharedSql(tsql);
    m_lastBackendSql.clear();
    // A formula that does not parse is not sent: the server would refuse it anyway, and the
    // backends then agree on what reaches none of them.
    if (!tree->isValid())
        return {};
    if (m_db.backend() == db::Backend::SqlServer) {
        m_lastBackendSql = tsql;
        const Result<QString> value = m_db.readValue(tsql);
        if (!value.ok())
            return Result<QString>::failure(failedStatement(value.error).error);
        return value;
    }
    m_lastBackendSql = FormulaSql::cellStatement(*tree, m_db.backend(), period);
    const Result<QList<QVariantList>> rows = m_db.queryNative(m_lastBackendSql);
    if (!rows.ok())
        return Result<QString>::failure(failedStatement(rows.error).error);
    return {rows.value.isEmpty() ? QString() : valueText(rows.value.front().value(0), tree->isIntegral()), {}};
}

Outcome Evaluator::failedStatement(const QString &error)
{
    // An evaluation statement fails for its values too (an overflow on PostgreSQL, two rows
    // for one item on SQL Server): that is no value. Only when the tables it reads cannot be
    // read is the database at fault.
    const db::Rows probe = m_db.queryRows(QStringLiteral("SELECT count(*) FROM finl_item i, finl_stmt s WHERE 1 = 0"));
    return probe.ok() && m_db.isOpen() ? Outcome::success() : Outcome::failure(error);
}

Outcome Evaluator::prefetchForms(const QList<Period> &periods)
{
    QList<Period> missing;
    for (const Period &p : periods) {
        if (!m_cache->form(p))
            missing << p;
    }
    if (missing.isEmpty())
        return Outcome::success();
    const QString sql = FormulaSql::formsQuery(missing);
    m_db.setSharedSql(sql);
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return Outcome::failure(rows.error);
    QHash<Period, QString> answers;
    QSet<Period> ambiguous;
    for (const QStringList &row : rows.rows) {
        if (row.size() < 7)
            continue;
        const auto entity = db::parseId(row[0]);
        if (!entity)
            continue;
        const Period key{row[1].toInt(), row[2].toInt(), *entity};
        const int count = row[3].toInt();
        const int nonNull = row[4].toInt();
        if (count == 1 || nonNull == 0)
            answers.insert(key, row[5]);
        else if (nonNull == count && row[5] == row[6])
            answers.insert(key, row[5]);
        else
            ambiguous.insert(key); // which row the form query reads first is the server's choice
    }
    for (const Period &p : missing) {
        if (!ambiguous.contains(p))
            m_cache->setForm(p, answers.value(p)); // no income statement: ""
    }
    return Outcome::success();
}

Result<QStringList> Evaluator::column(const FormulaSource &formulaSource, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    // The column shares what it reads within itself even when the caller keeps no cache.
    EvaluationCache local;
    EvaluationCache *const callerCache = m_cache;
    if (!m_cache)
        m_cache = &local;
    struct Restore {
        Evaluator *e;
        EvaluationCache *cache;
        ~Restore() { e->m_cache = cache; }
    } restore{this, callerCache};

    Result<QStringList> values;
    values.value.reserve(periods.size());
    for (int start = 0; start < periods.size(); start += kColumnChunk) {
        const int end = std::min<int>(start + kColumnChunk, periods.size());
        QStringList chunk(end - start);
        QList<Period> valid;
        for (int i = start; i < end; ++i) {
            if (periods.at(i).isValid())
                valid << periods.at(i);
        }
        if (!valid.isEmpty()) {
            Outcome outcome = prefetchForms(valid);
            const Result<QString> formula = outcome ? formulaSource() : Result<QString>::failure(outcome.error);
            if (!formula.ok())
                return Result<QStringList>::failure(formula.error);
            if (Formula::isValidText(formula.value)) {
                // Rows that evaluate the same text share one statement: the full and the
                // abbreviated forms, and for a formula with [219] each quarter, differ.
                QHash<QString, QList<int>> groups;
                QStringList order;
                for (int i = start; i < end && outcome; ++i) {
                    if (!periods.at(i).isValid())
                        continue;
                    const Result<QString> form = statementForm(periods.at(i));
                    Result<QString> text{formula.value, form.error};
                    if (form.ok() && isFullForm(form.value))
                        text = expanded(formula.value);
                    outcome = text.outcome();
                    const QString evaluated = withPeriodItems(text.value, periods.at(i));
                    if (!groups.contains(evaluated))
                        order << evaluated;
                    groups[evaluated] << i - start;
                }
                const QList<Period> chunkPeriods = periods.mid(start, end - start);
                for (const QString &text : std::as_const(order)) {
                    if (!outcome)
                        break;
                    outcome = evaluateGroup(text, groups.value(text), chunkPeriods, chunk);
                }
                if (!outcome)
                    return Result<QStringList>::failure(outcome.error);
            }
        }
        values.value << chunk;
        if (shouldStop && end < periods.size() && shouldStop())
            break;
    }
    return values;
}

Outcome Evaluator::evaluateGroup(const QString &formula, const QList<int> &rows, const QList<Period> &periods, QStringList &values)
{
    const std::shared_ptr<const Formula> tree = parsed(formula);
    if (!tree->isValid())
        return Outcome::success();
    const auto cellByCell = [&] {
        for (int row : rows) {
            const Result<QString> value = evaluateText(formula, periods.at(row));
            if (!value.ok())
                return value.outcome();
            values[row] = value.value;
        }
        return Outcome::success();
    };
    if (m_db.backend() == db::Backend::SqlServer)
        return cellByCell(); // the T-SQL text is the evaluation there, one per cell
    QList<Period> group;
    for (int row : rows)
        group << periods.at(row);
    const QString sql = FormulaSql::columnStatement(*tree, m_db.backend(), group);
    m_db.setSharedSql(sql);
    m_lastBackendSql = sql;
    const Result<QList<QVariantList>> result = m_db.queryNative(sql);
    if (!result.ok()) {
        if (const Outcome failed = failedStatement(result.error); !failed)
            return failed;
        return cellByCell(); // one cell's overflow fails the statement: the others still have values
    }
    for (const QVariantList &row : result.value) {
        bool ok = false;
        const int k = row.value(0).toInt(&ok);
        if (ok && k >= 0 && k < rows.size())
            values[rows.at(k)] = valueText(row.value(1), tree->isIntegral());
    }
    return Outcome::success();
}

} // namespace verna::indicators

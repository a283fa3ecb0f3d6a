#include "indicators/evaluator.h"

#include "db/database.h"
#include "db/numbertext.h"
#include "indicators/evaluationcache.h"
#include "indicators/formula.h"
#include "indicators/formulasql.h"
#include "shell/appstate.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <limits>

namespace verna::indicators {

namespace {

// Periods per set-based statement: keeps statements a few tens of kilobytes.
constexpr int kColumnChunk = 500;

// The same period however its numbers are written ("0999", "-0"), for the caches.
QString periodKey(qint64 entity, int year, int quarter)
{
    return QStringLiteral("%1_%2_%3").arg(year).arg(quarter).arg(entity);
}

QString periodKey(const Period &p)
{
    return periodKey(*db::parseId(p.entityId), p.year.toInt(), p.quarter.toInt());
}

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

// PostgreSQL aborts a transaction on the first failing statement; an evaluation that fails
// (an overflow) inside a caller's transaction must not take the transaction with it.
class Savepoint
{
public:
    explicit Savepoint(db::Database &database)
        : m_db(database)
        , m_active(database.backend() == db::Backend::PostgreSQL && database.inTransaction())
    {
        if (m_active)
            m_active = QSqlQuery(m_db.connection()).exec(QStringLiteral("SAVEPOINT verna_eval"));
    }
    ~Savepoint()
    {
        if (!m_active)
            return;
        QSqlQuery q(m_db.connection());
        if (m_failed)
            q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT verna_eval"));
        q.exec(QStringLiteral("RELEASE SAVEPOINT verna_eval"));
    }
    void setFailed() { m_failed = true; }

private:
    db::Database &m_db;
    bool m_active;
    bool m_failed = false;
};

} // namespace

Evaluator::Evaluator(db::Database &database, EvaluationCache *cache)
    : m_db(database)
    , m_cache(cache)
{
}

Evaluator::~Evaluator() = default;

QString Evaluator::translate(const QString &formula, const QString &entityId, const QString &year, const QString &quarter)
{
    return FormulaSql::translate(formula, {entityId, year, quarter});
}

QString Evaluator::getHodnotaFunkce(const QVariant &subject, const QString &entityId, const QString &year, const QString &quarter)
{
    const auto asIndicator = [&](qint64 id) {
        if (id < std::numeric_limits<qint32>::min() || id > std::numeric_limits<qint32>::max())
            return QString();
        return indicatorValue(static_cast<int>(id), entityId, year, quarter);
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
        return id ? indicatorValue(*id, entityId, year, quarter) : QString();
    }
    bool numeric = false;
    QLocale::c().toDouble(trimmed, &numeric);
    if (numeric)
        return QString(); // "1.5" reads as a number: no indicator has that id
    return formulaValue(text, entityId, year, quarter);
}

QString Evaluator::indicatorValue(int indicatorId, const QString &entityId, const QString &year, const QString &quarter)
{
    m_lastBackendSql.clear();
    const Period period{entityId, year, quarter};
    if (!period.isValid())
        return QString();
    const QString form = statementForm(period);
    const QString formula = indicatorFormula(indicatorId);
    if (!Formula::isValidText(formula))
        return QString();
    return evaluate(formula, form, period);
}

QString Evaluator::formulaValue(const QString &formula, const QString &entityId, const QString &year, const QString &quarter)
{
    m_lastBackendSql.clear();
    const Period period{entityId, year, quarter};
    if (!period.isValid() || !Formula::isValidText(formula))
        return QString();
    return evaluate(formula, statementForm(period), period);
}

QString Evaluator::rozvinVypocitanePolozky(QString &formula)
{
    const QList<int> &items = shell::ItemCodes::computedItems();
    const QList<int> &indicators = shell::ItemCodes::computedItemFormulas();
    for (int i = 0; i < items.size(); ++i) {
        const QString reference = QLatin1Char('[') + QString::number(items.at(i)) + QLatin1Char(']');
        // A formula without the reference would be left as it is: no need to read it.
        if (!formula.contains(reference))
            continue;
        QString replacement = indicatorFormula(indicators.at(i));
        if (!Formula::isValidText(replacement))
            replacement.clear();
        formula.replace(reference, QStringLiteral(" (") + replacement + QStringLiteral(") "));
    }
    return formula;
}

QStringList Evaluator::indicatorColumn(int indicatorId, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    return column([this, indicatorId] { return indicatorFormula(indicatorId); }, periods, shouldStop);
}

QStringList Evaluator::formulaColumn(const QString &formula, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    return column([formula] { return formula; }, periods, shouldStop);
}

QString Evaluator::statementForm(const Period &period)
{
    const QString key = periodKey(period);
    if (m_cache) {
        if (const auto cached = m_cache->form(key))
            return *cached;
    }
    const QString sql = FormulaSql::formQuery(period);
    m_db.setSharedSql(sql);
    const QString answer = m_db.singleValue(sql);
    if (m_cache)
        m_cache->setForm(key, answer);
    return answer;
}

QString Evaluator::indicatorFormula(int indicatorId)
{
    if (m_cache) {
        if (const auto cached = m_cache->indicatorFormula(indicatorId))
            return *cached;
    }
    const QString sql = FormulaSql::formulaQuery(QString::number(indicatorId));
    m_db.setSharedSql(sql);
    // Blanks that a fixed-width column pads with are no part of the formula.
    const QString formula = m_db.singleValue(sql).trimmed();
    if (m_cache)
        m_cache->setIndicatorFormula(indicatorId, formula);
    return formula;
}

QString Evaluator::expanded(const QString &formula)
{
    if (m_cache) {
        if (const auto cached = m_cache->expansion(formula))
            return *cached;
    }
    QString text = formula;
    rozvinVypocitanePolozky(text);
    if (m_cache)
        m_cache->setExpansion(formula, text);
    return text;
}

std::shared_ptr<const Formula> Evaluator::parsed(const QString &text)
{
    if (m_cache)
        return m_cache->parsed(text);
    return std::make_shared<const Formula>(Formula::parseExpanded(text));
}

QString Evaluator::evaluate(const QString &formula, const QString &form, const Period &period)
{
    return evaluateText(isFullForm(form) ? expanded(formula) : formula, period);
}

QString Evaluator::evaluateText(const QString &text, const Period &period)
{
    const std::shared_ptr<const Formula> tree = parsed(text);
    const QString tsql = FormulaSql::translate(text, period);
    m_db.setSharedSql(tsql);
    m_lastBackendSql.clear();
    // A formula that does not parse is not sent: the server would refuse it anyway, and the
    // backends then agree on what reaches none of them.
    if (!tree->isValid())
        return QString();
    if (m_db.backend() == db::Backend::SqlServer) {
        m_lastBackendSql = tsql;
        return m_db.singleValue(tsql);
    }
    m_lastBackendSql = FormulaSql::cellStatement(*tree, m_db.backend(), period);
    const auto rows = run(m_lastBackendSql);
    return rows && !rows->isEmpty() ? valueText(rows->front().value(0), tree->isIntegral()) : QString();
}

std::optional<QList<QVariantList>> Evaluator::run(const QString &statement)
{
    if (!m_db.isOpen())
        return std::nullopt;
    Savepoint savepoint(m_db);
    // The emitted statement is the backend's own SQL: it goes to the driver as it is.
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    if (m_db.backend() != db::Backend::SQLite)
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    QList<QVariantList> rows;
    bool ok = q.exec(statement);
    if (ok) {
        const int columns = q.record().count();
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < columns; ++i)
                row << q.value(i);
            rows << row;
        }
        ok = !q.lastError().isValid();
    }
    if (!ok) {
        m_db.noteError(q.lastError());
        savepoint.setFailed();
    }
    m_db.idle();
    if (!ok)
        return std::nullopt;
    return rows;
}

void Evaluator::prefetchForms(const QList<Period> &periods)
{
    QList<Period> missing;
    for (const Period &p : periods) {
        if (!m_cache->form(periodKey(p)))
            missing << p;
    }
    if (missing.isEmpty())
        return;
    const QString sql = FormulaSql::formsQuery(missing);
    m_db.setSharedSql(sql);
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return; // each period then asks on its own
    QHash<QString, QString> answers;
    QSet<QString> ambiguous;
    for (const QStringList &row : rows.rows) {
        if (row.size() < 7)
            continue;
        const QString key = periodKey(row[0].toLongLong(), row[1].toInt(), row[2].toInt());
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
        const QString key = periodKey(p);
        if (!ambiguous.contains(key))
            m_cache->setForm(key, answers.value(key)); // no income statement: ""
    }
}

QStringList Evaluator::column(const FormulaSource &formulaSource, const QList<Period> &periods, const std::function<bool()> &shouldStop)
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

    QStringList values;
    values.reserve(periods.size());
    for (int start = 0; start < periods.size(); start += kColumnChunk) {
        const int end = std::min<int>(start + kColumnChunk, periods.size());
        QStringList chunk(end - start);
        QList<Period> valid;
        for (int i = start; i < end; ++i) {
            if (periods.at(i).isValid())
                valid << periods.at(i);
        }
        if (!valid.isEmpty()) {
            prefetchForms(valid);
            const QString formula = formulaSource();
            if (Formula::isValidText(formula)) {
                QList<int> full;
                QList<int> other;
                for (int i = start; i < end; ++i) {
                    if (periods.at(i).isValid())
                        (isFullForm(statementForm(periods.at(i))) ? full : other) << i - start;
                }
                const QList<Period> chunkPeriods = periods.mid(start, end - start);
                if (!full.isEmpty())
                    evaluateGroup(expanded(formula), full, chunkPeriods, chunk);
                if (!other.isEmpty())
                    evaluateGroup(formula, other, chunkPeriods, chunk);
            }
        }
        values << chunk;
        if (shouldStop && end < periods.size() && shouldStop())
            break;
    }
    return values;
}

void Evaluator::evaluateGroup(const QString &formula, const QList<int> &rows, const QList<Period> &periods, QStringList &values)
{
    const std::shared_ptr<const Formula> tree = parsed(formula);
    if (!tree->isValid())
        return;
    const auto cellByCell = [&] {
        for (int row : rows)
            values[row] = evaluateText(formula, periods.at(row));
    };
    if (m_db.backend() == db::Backend::SqlServer)
        return cellByCell(); // the T-SQL text is the evaluation there, one per cell
    QList<Period> group;
    for (int row : rows)
        group << periods.at(row);
    const QString sql = FormulaSql::columnStatement(*tree, m_db.backend(), group);
    m_db.setSharedSql(sql);
    m_lastBackendSql = sql;
    const auto result = run(sql);
    if (!result)
        return cellByCell(); // one cell's overflow fails the statement: the others still have values
    for (const QVariantList &row : *result) {
        bool ok = false;
        const int k = row.value(0).toInt(&ok);
        if (ok && k >= 0 && k < rows.size())
            values[rows.at(k)] = valueText(row.value(1), tree->isIntegral());
    }
}

} // namespace verna::indicators

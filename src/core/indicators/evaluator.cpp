#include "indicators/evaluator.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "db/numbertext.h"
#include "db/preparedquery.h"
#include "db/schema.h"
#include "db/sqlquote.h"
#include "db/statementpack.h"
#include "indicators/derivedlines.h"
#include "indicators/evaluationcache.h"
#include "indicators/formula.h"
#include "indicators/formulaprogram.h"
#include "indicators/formulasql.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <future>
#include <limits>
#include <string>
#include <system_error>

namespace verna::indicators {

namespace {


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

Result<QString> Evaluator::expandComputedItems(const QString &formula)
{
    return expanded(formula);
}

Result<QStringList> Evaluator::indicatorColumn(int indicatorId, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    const Result<QList<QStringList>> all = columns({[this, indicatorId] { return indicatorFormula(indicatorId); }}, periods, shouldStop);
    return all.ok() ? Result<QStringList>{all.value.front(), {}} : Result<QStringList>::failure(all.error);
}

Result<QList<QStringList>> Evaluator::indicatorColumns(const QList<int> &indicatorIds, const QList<Period> &periods,
                                                      const std::function<bool()> &shouldStop)
{
    QList<FormulaSource> sources;
    for (int id : indicatorIds)
        sources << [this, id] { return indicatorFormula(id); };
    return columns(sources, periods, shouldStop, indicatorIds);
}

Result<QStringList> Evaluator::formulaColumn(const QString &formula, const QList<Period> &periods, const std::function<bool()> &shouldStop)
{
    const Result<QList<QStringList>> all = columns({[formula] { return Result<QString>{formula, {}}; }}, periods, shouldStop);
    return all.ok() ? Result<QStringList>{all.value.front(), {}} : Result<QStringList>::failure(all.error);
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
    const QList<int> &items = base::ItemCodes::computedItems();
    const QList<int> &indicators = base::ItemCodes::computedItemFormulas();
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
        return evaluateText(withPeriodItems(DerivedLines::expanded(formula, false), period), period);
    const Result<QString> text = expanded(DerivedLines::expanded(formula, true));
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
            return failedStatement(value.error) ? Result<QString>{} : Result<QString>::failure(value.error);
        return value;
    }
    m_lastBackendSql = FormulaSql::cellStatement(*tree, m_db.backend(), period);
    const Result<QList<QVariantList>> rows = m_db.queryNative(m_lastBackendSql);
    if (!rows.ok())
        return failedStatement(rows.error) ? Result<QString>{} : Result<QString>::failure(rows.error);
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

Outcome Evaluator::prefetchFormulas(const QList<int> &indicatorIds)
{
    // The columns' formulas and those computed items expand to, in one statement instead of
    // one each.
    QList<int> missing;
    for (int id : indicatorIds + base::ItemCodes::computedItemFormulas()) {
        if (!m_cache->indicatorFormula(id) && !missing.contains(id))
            missing << id;
    }
    if (missing.size() < 2)
        return Outcome::success();
    const QString sql = FormulaSql::formulasQuery(missing);
    m_db.setSharedSql(sql);
    const db::Rows rows = m_db.queryRows(sql);
    if (!rows.ok())
        return Outcome::failure(rows.error);
    for (const QStringList &row : rows.rows) {
        const int id = row.value(0).trimmed().toInt();
        if (missing.removeOne(id))
            m_cache->setIndicatorFormula(id, row.value(1).trimmed());
    }
    for (int id : std::as_const(missing))
        m_cache->setIndicatorFormula(id, QString()); // no such indicator
    return Outcome::success();
}

namespace {

// A period's active income statements, for the form the evaluation statement finds.
struct FormTally {
    int count = 0;
    int nonNull = 0;
    qint64 low = 0;
    qint64 high = 0;

    void add(std::optional<double> form)
    {
        ++count;
        if (form) {
            const auto value = static_cast<qint64>(*form);
            low = nonNull == 0 ? value : std::min(low, value);
            high = nonNull == 0 ? value : std::max(high, value);
            ++nonNull;
        }
    }
};

// The periods' entities and years, each once, in the order they first come.
std::pair<QList<qint64>, QList<qint64>> entitiesAndYears(const QList<Period> &periods)
{
    QList<qint64> entities;
    QList<qint64> years;
    QSet<qint64> seen;
    for (const Period &p : periods) {
        if (!seen.contains(p.entity)) {
            seen.insert(p.entity);
            entities << p.entity;
        }
        if (!years.contains(p.year))
            years << p.year;
    }
    return {entities, years};
}

// The forms of the periods the cache lacks: none without an income statement, and none where
// the statements' forms differ (which row the form query reads first is the server's choice).
void cacheForms(EvaluationCache &cache, const QList<Period> &periods, const QHash<Period, FormTally> &found)
{
    // Most periods share a form: its text is made once and shared.
    std::optional<qint64> last;
    QString lastText;
    for (const Period &p : periods) {
        if (cache.form(p))
            continue;
        const auto f = found.constFind(p);
        if (f == found.constEnd() || f->nonNull == 0) {
            cache.setForm(p, QString());
        } else if (f->count == 1 || (f->nonNull == f->count && f->low == f->high)) {
            if (last != f->low) {
                last = f->low;
                lastText = QString::number(f->low);
            }
            cache.setForm(p, lastText);
        }
    }
}

} // namespace

Outcome Evaluator::prefetchForms(const QList<Period> &periods)
{
    QList<Period> missing;
    for (const Period &p : periods) {
        if (!m_cache->form(p))
            missing << p;
    }
    if (missing.isEmpty())
        return Outcome::success();
    QHash<Period, FormTally> found;
    const auto [entities, years] = entitiesAndYears(missing);
    QVariantList values;
    const QString entityList = db::inList(m_db.backend(), QStringLiteral("subj_id"), entities, values);
    const QString yearList = db::inList(m_db.backend(), QStringLiteral("year_dt"), years, values);
    const QString sql = QStringLiteral("SELECT subj_id, year_dt, quarter_dt, fill_lvl_ind FROM finl_stmt WHERE inac_ind = 0 AND stmt_type_cd = 28 "
                                       "AND %1 AND %2")
                            .arg(entityList, yearList);
    m_db.setSharedSql(sql);
    const Outcome read = db::queryPrepared(m_db, sql, values, [&](const db::PreparedRow &row) {
        found[Period{static_cast<int>(row.integer(1)), static_cast<int>(row.integer(2)), static_cast<qint32>(row.integer(0))}].add(row.number(3));
    });
    if (!read)
        return read;
    cacheForms(*m_cache, missing, found);
    return Outcome::success();
}

namespace {

// The referenced amounts of a block of periods, read in one statement: per period and item
// slot the value a scalar subquery of the evaluation statement gives (NULL unless exactly one
// row of an active statement has the item).
struct AmountBlock {
    using Number = db::arithmetic::Number;
    QHash<Period, int> rows;
    int slotCount = 0;
    QHash<qint64, int> slotOfCode;
    // The same for the codes statements use, by index (slot + 1, 0 for none): a pack's every
    // item is looked up, millions in a large fill.
    std::vector<int> smallCodeSlots;
    static constexpr qint64 kSmallCodes = 4096;

    int slotOf(qint64 code) const
    {
        if (code >= 0 && code < kSmallCodes)
            return smallCodeSlots[static_cast<size_t>(code)] - 1;
        return slotOfCode.value(code, -1);
    }
    std::vector<Number> amounts;
    std::vector<unsigned char> found;
    // The active statements of the block's entities and years, read with their forms before
    // the items they need are known; each with its pack (empty when it has none), the packs one
    // after another in one buffer.
    struct Statement {
        Period period;
        qint64 id;
        size_t packAt;
        size_t packSize;
    };
    std::vector<Statement> statements;
    std::string packs;

    const Number *row(int r) const { return amounts.data() + static_cast<size_t>(r) * slotCount; }

    void store(int row, qint64 code, std::optional<double> amount)
    {
        const int slot = slotOf(code);
        if (slot < 0)
            return;
        const size_t at = static_cast<size_t>(row) * slotCount + static_cast<size_t>(slot);
        // Two rows for one reference is no value, as on a server that refuses the subquery.
        if (found[at])
            amount.reset();
        found[at] = 1;
        amounts[at] = amount ? Number::real(*amount) : Number::none();
    }

    // A server's text packs, each a period's row and its place in packs, for finish().
    std::vector<std::pair<int, const Statement *>> pending;

    // The pending packs into the amounts: each amount's exact text (or N for NULL) read as the
    // server's cast to double reads it; the amounts of codes no slot wants are not read.
    void finish()
    {
        for (const auto &[row, statement] : pending) {
            const char *const at = packs.data() + statement->packAt;
            db::pack::readText(
                at, at + statement->packSize, [this](qint64 code) { return slotOf(code) >= 0; },
                [this, row](qint64 code, std::optional<double> amount) { store(row, code, amount); });
        }
        pending.clear();
    }
};

// The items of every slot in the periods' active statements, from the statements' packs read
// with their forms: SQLite's at once, a server's text ones in the block's finish(). Those
// without a pack are read from their items.
Outcome readAmounts(db::Database &database, const QList<Period> &periods, const QHash<QString, int> &itemSlots, AmountBlock &block)
{
    using Number = db::arithmetic::Number;
    block.slotCount = std::max<int>(1, static_cast<int>(itemSlots.size()));
    block.rows.clear();
    block.pending.clear();
    for (const Period &p : periods) {
        if (!block.rows.contains(p))
            block.rows.insert(p, static_cast<int>(block.rows.size()));
    }
    block.amounts.assign(static_cast<size_t>(block.rows.size()) * block.slotCount, Number::none());
    block.found.assign(block.amounts.size(), 0);
    block.slotOfCode.clear();
    block.smallCodeSlots.assign(AmountBlock::kSmallCodes, 0);
    for (auto it = itemSlots.constBegin(); it != itemSlots.constEnd(); ++it) {
        bool ok = false;
        const qint64 code = it.key().toLongLong(&ok);
        // A code past 64 bits matches no item: its amount stays NULL.
        if (!ok)
            continue;
        block.slotOfCode.insert(code, it.value());
        if (code >= 0 && code < AmountBlock::kSmallCodes)
            block.smallCodeSlots[static_cast<size_t>(code)] = it.value() + 1;
    }
    if (block.slotOfCode.isEmpty())
        return Outcome::success();
    const db::Backend backend = database.backend();
    const bool text = backend != db::Backend::SQLite;
    QHash<qint64, int> unpacked;
    std::vector<db::pack::Item> items;
    for (const AmountBlock::Statement &statement : block.statements) {
        const int row = block.rows.value(statement.period, -1);
        if (row < 0)
            continue;
        if (text && statement.packSize > 0) {
            block.pending.emplace_back(row, &statement);
            continue;
        }
        if (text || !db::pack::read(block.packs.data() + statement.packAt, statement.packSize, items)) {
            unpacked.insert(statement.id, row);
            continue;
        }
        for (const auto &[code, amount] : items)
            block.store(row, code, amount);
    }
    const QList<qint64> ids = unpacked.keys();
    for (qsizetype start = 0; start < ids.size(); start += db::idsPerStatement(backend)) {
        QVariantList values;
        const QString codes = db::inList(backend, QStringLiteral("item_type_cd"), block.slotOfCode.keys(), values);
        const QString chunk = db::inList(backend, QStringLiteral("finl_stmt_id"), ids.mid(start, db::idsPerStatement(backend)), values);
        const Outcome read = db::queryPrepared(
            database, QStringLiteral("SELECT finl_stmt_id, item_type_cd, amt_val FROM finl_item WHERE %1 AND %2").arg(codes, chunk), values,
            [&](const db::PreparedRow &r) { block.store(unpacked.value(r.integer(0)), r.integer(1), r.number(2)); });
        if (!read)
            return read;
    }
    return Outcome::success();
}

} // namespace

// One operation over whole columns: per block of periods it reads the forms, chooses per cell
// what to evaluate and computes the block's cells from its amounts (SQL Server: per cell).
class Evaluator::ColumnRun
{
public:
    using Out = Result<QList<QStringList>>;

    ColumnRun(Evaluator &evaluator, const QList<FormulaSource> &sources, const QList<Period> &periods)
        : m_evaluator(evaluator)
        , m_callerCache(evaluator.m_cache)
        , m_sources(sources)
        , m_periods(periods)
    {
        // The operation shares what it reads within itself even when the caller keeps no cache.
        if (!m_evaluator.m_cache)
            m_evaluator.m_cache = &m_local;
    }
    ~ColumnRun() { m_evaluator.m_cache = m_callerCache; }
    ColumnRun(const ColumnRun &) = delete;
    ColumnRun &operator=(const ColumnRun &) = delete;

    Out run(const QList<int> &indicatorIds, const std::function<bool()> &shouldStop);

private:
    // What a column evaluates differs by the form (full statements expand computed items) and,
    // for a formula with [219], by the quarter: at most eight texts per column.
    struct Variant {
        bool made = false;
        QString text;
        std::shared_ptr<const FormulaProgram> program;
    };
    struct Column {
        QString formula;
        bool valid = false;
        Variant variants[2][4];
    };

    Outcome evaluateBlock(int start, int end);
    Outcome readStatements(const QList<Period> &valid);
    Outcome readFormulas();
    Result<const Variant *> variant(Column &column, bool full, const Period &p);
    Outcome chooseCells(int start, int end);
    Outcome evaluateOnServer(int start, int end);
    Outcome computeFromAmounts(const QList<Period> &valid, int start, int end);
    void settle();

    Evaluator &m_evaluator;
    EvaluationCache m_local;
    EvaluationCache *const m_callerCache;
    const QList<FormulaSource> &m_sources;
    const QList<Period> &m_periods;
    QList<Column> m_columns;
    QHash<QString, int> m_itemSlots; // item code -> slot, for the whole operation
    QHash<QString, std::shared_ptr<const FormulaProgram>> m_programs;
    // Per column and row of the block what is evaluated; null where there is no value to compute.
    QList<QList<const Variant *>> m_cells;
    // Two blocks' buffers serve every block of periods: one is read while the other is computed.
    AmountBlock m_blocks[2];
    int m_nextBlock = 0;
    QList<QStringList> m_values;
    std::optional<bool> m_packed; // whether the file keeps the statements' packs
    // The block being computed on a worker, its column chunks still to append (declared after
    // the buffers: it is awaited before they go).
    std::future<QList<QStringList>> m_computing;
};

Result<QList<QStringList>> Evaluator::ColumnRun::run(const QList<int> &indicatorIds, const std::function<bool()> &shouldStop)
{
    if (const Outcome read = m_evaluator.prefetchFormulas(indicatorIds); !read)
        return Out::failure(read.error);
    m_values.resize(m_sources.size());
    for (QStringList &column : m_values)
        column.reserve(m_periods.size());
    const int chunkSize = db::idsPerStatement(m_evaluator.m_db.backend());
    for (int start = 0; start < m_periods.size(); start += chunkSize) {
        const int end = std::min<int>(start + chunkSize, m_periods.size());
        if (const Outcome block = evaluateBlock(start, end); !block)
            return Out::failure(block.error);
        if (shouldStop && end < m_periods.size() && shouldStop())
            break;
    }
    settle();
    Out out;
    out.value = std::move(m_values);
    return out;
}

Outcome Evaluator::ColumnRun::evaluateBlock(int start, int end)
{
    QList<Period> valid;
    for (int i = start; i < end; ++i) {
        if (m_periods.at(i).isValid())
            valid << m_periods.at(i);
    }
    if (valid.isEmpty()) {
        settle();
        for (QStringList &column : m_values)
            column << QStringList(end - start);
        return Outcome::success();
    }
    // Where statements keep packs, the forms come with them, in one read.
    const bool packed = db::pack::kept(m_evaluator.m_db.backend());
    if (const Outcome forms = packed ? readStatements(valid) : m_evaluator.prefetchForms(valid); !forms)
        return forms;
    if (const Outcome formulas = readFormulas(); !formulas)
        return formulas;
    if (const Outcome chosen = chooseCells(start, end); !chosen)
        return chosen;
    if (m_evaluator.m_db.backend() == db::Backend::SqlServer)
        return evaluateOnServer(start, end);
    return computeFromAmounts(valid, start, end);
}

// The block's active statements with their forms and packs.
Outcome Evaluator::ColumnRun::readStatements(const QList<Period> &valid)
{
    AmountBlock &block = m_blocks[m_nextBlock];
    block.statements.clear();
    block.packs.clear();
    QSet<Period> wanted(valid.begin(), valid.end());
    const auto [entities, years] = entitiesAndYears(valid);
    const db::Backend backend = m_evaluator.m_db.backend();
    QVariantList values;
    const QString entityList = db::inListLookedUp(backend, QStringLiteral("s.subj_id"), entities, values);
    const QString yearList = db::inList(backend, QStringLiteral("s.year_dt"), years, values);
    // A database of an older schema (a file opened read-only, a server not upgraded yet) has no
    // packs: its statements are read from their items.
    if (!m_packed) {
        const Result<bool> present = db::Schema::hasTable(m_evaluator.m_db, QStringLiteral("finl_pack"));
        if (!present.ok())
            return Outcome::failure(present.error);
        m_packed = present.value;
    }
    // The type and the id compared in SQL, as the form query and the items' join compare them
    // (SQLite keeps what it is given in a column).
    const bool sqlite = backend == db::Backend::SQLite;
    const QString sql = QStringLiteral("SELECT s.subj_id, s.year_dt, s.quarter_dt, s.finl_stmt_id, CASE WHEN s.stmt_type_cd = 28 THEN 1 ELSE 0 END, "
                                       "s.fill_lvl_ind, %1, %2 FROM finl_stmt s %3 WHERE s.inac_ind = 0 AND %4 AND %5")
                            .arg(*m_packed ? QStringLiteral("p.") + db::pack::column(backend) : QStringLiteral("NULL"),
                                 sqlite ? QStringLiteral("typeof(s.finl_stmt_id) = 'integer'") : QStringLiteral("1"),
                                 *m_packed ? QStringLiteral("LEFT JOIN finl_pack p ON p.finl_stmt_id = s.finl_stmt_id") : QString(), entityList,
                                 yearList);
    m_evaluator.m_db.setSharedSql(sql);
    QHash<Period, FormTally> forms;
    const Outcome read = db::queryPrepared(m_evaluator.m_db, sql, values, [&](const db::PreparedRow &r) {
        const Period period{static_cast<int>(r.integer(1)), static_cast<int>(r.integer(2)), static_cast<qint32>(r.integer(0))};
        if (!wanted.contains(period))
            return;
        if (r.integer(4) == 1)
            forms[period].add(r.number(5));
        if (r.integer(7) != 1)
            return; // no item row joins such an id
        const QByteArray pack = sqlite ? r.blob(6) : r.ascii(6);
        block.statements.push_back({period, r.integer(3), block.packs.size(), static_cast<size_t>(pack.size())});
        block.packs.append(pack.constData(), static_cast<size_t>(pack.size()));
    });
    if (!read)
        return read;
    cacheForms(*m_evaluator.m_cache, valid, forms);
    return Outcome::success();
}

// The columns' formulas, read when the first block needs them.
Outcome Evaluator::ColumnRun::readFormulas()
{
    if (!m_columns.isEmpty())
        return Outcome::success();
    for (const FormulaSource &source : m_sources) {
        const Result<QString> formula = source();
        if (!formula.ok())
            return Outcome::failure(formula.error);
        m_columns.append({formula.value, Formula::isValidText(formula.value), {}});
    }
    return Outcome::success();
}

Result<const Evaluator::ColumnRun::Variant *> Evaluator::ColumnRun::variant(Column &column, bool full, const Period &p)
{
    Variant &v = column.variants[full ? 1 : 0][p.quarter - 1];
    if (!v.made) {
        const QString derived = DerivedLines::expanded(column.formula, full);
        const Result<QString> text = full ? m_evaluator.expanded(derived) : Result<QString>{derived, {}};
        if (!text.ok())
            return Result<const Variant *>::failure(text.error);
        v.text = withPeriodItems(text.value, p);
        auto &program = m_programs[v.text];
        if (!program)
            program = std::make_shared<const FormulaProgram>(*m_evaluator.parsed(v.text), m_itemSlots);
        v.program = program;
        v.made = true;
    }
    return {&v, {}};
}

Outcome Evaluator::ColumnRun::chooseCells(int start, int end)
{
    m_cells = QList<QList<const Variant *>>(m_sources.size(), QList<const Variant *>(end - start, nullptr));
    QList<bool> full(end - start, false);
    for (int i = start; i < end; ++i) {
        if (!m_periods.at(i).isValid())
            continue;
        const Result<QString> form = m_evaluator.statementForm(m_periods.at(i));
        if (!form.ok())
            return Outcome::failure(form.error);
        full[i - start] = isFullForm(form.value);
    }
    for (int c = 0; c < m_sources.size(); ++c) {
        if (!m_columns[c].valid)
            continue;
        for (int i = start; i < end; ++i) {
            if (!m_periods.at(i).isValid())
                continue;
            const Result<const Variant *> v = variant(m_columns[c], full.at(i - start), m_periods.at(i));
            if (!v.ok())
                return Outcome::failure(v.error);
            m_cells[c][i - start] = v.value;
        }
    }
    return Outcome::success();
}

// The T-SQL text is the evaluation there, one per cell.
Outcome Evaluator::ColumnRun::evaluateOnServer(int start, int end)
{
    for (int c = 0; c < m_sources.size(); ++c) {
        QStringList chunk(end - start);
        for (int i = 0; i < end - start; ++i) {
            if (!m_cells.at(c).at(i))
                continue;
            const Result<QString> value = m_evaluator.evaluateText(m_cells.at(c).at(i)->text, m_periods.at(start + i));
            if (!value.ok())
                return Outcome::failure(value.error);
            chunk[i] = value.value;
        }
        m_values[c] << chunk;
    }
    return Outcome::success();
}

Outcome Evaluator::ColumnRun::computeFromAmounts(const QList<Period> &valid, int start, int end)
{
    // The other buffer may still be computing; this one's block was appended before it started.
    AmountBlock &block = m_blocks[m_nextBlock];
    m_nextBlock ^= 1;
    if (const Outcome read = readAmounts(m_evaluator.m_db, valid, m_itemSlots, block); !read)
        return read;
    QList<int> rows(end - start, -1);
    for (int i = start; i < end; ++i)
        rows[i - start] = block.rows.value(m_periods.at(i), -1);
    // Made variants never change, and the worker has its own copy of the block's choices.
    const auto compute = [&block, cells = m_cells, rows] {
        block.finish();
        QList<QStringList> chunks;
        for (const QList<const Variant *> &column : cells) {
            QStringList chunk(rows.size());
            for (int i = 0; i < rows.size(); ++i) {
                if (const Variant *v = column.at(i))
                    chunk[i] = FormulaProgram::text(v->program->run(block.row(rows.at(i))));
            }
            chunks << chunk;
        }
        return chunks;
    };
    settle();
    // While more blocks follow, this one is computed on a worker as the next one is read; the
    // last one, or one no thread can be had for, where it is settled.
    if (end < m_periods.size()) {
        try {
            m_computing = std::async(std::launch::async, compute);
            return Outcome::success();
        } catch (const std::system_error &) {
        }
    }
    m_computing = std::async(std::launch::deferred, compute);
    return Outcome::success();
}

void Evaluator::ColumnRun::settle()
{
    if (!m_computing.valid())
        return;
    const QList<QStringList> chunks = m_computing.get();
    for (int c = 0; c < chunks.size(); ++c)
        m_values[c] << chunks.at(c);
}

Result<QList<QStringList>> Evaluator::columns(const QList<FormulaSource> &sources, const QList<Period> &periods,
                                             const std::function<bool()> &shouldStop, const QList<int> &indicatorIds)
{
    return ColumnRun(*this, sources, periods).run(indicatorIds, shouldStop);
}

} // namespace verna::indicators

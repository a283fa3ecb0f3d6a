// The same formulas over the same data on SQLite and PostgreSQL give the same texts, and the
// texts of generated formulas are those of an independent model of the reference semantics.
#include "db/numbertext.h"
#include "evaluator_test.h"
#include "indicators/evaluationcache.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
#include "shell/demodata.h"
#include "support/testdatabase.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

using namespace verna;
using namespace verna::indicators;
using namespace verna::test;
using namespace verna::test::evaluator;

namespace {

// A value of the model: integral while only constants are involved, else a double; none
// where PostgreSQL has no value or raises an error.
struct Value {
    bool integral = true;
    qint64 i = 0;
    double d = 0;
    double asDouble() const { return integral ? static_cast<double>(i) : d; }
};
using Maybe = std::optional<Value>;

Maybe integral(qint64 i)
{
    return Value{true, i, 0};
}
Maybe real(double d)
{
    return std::isfinite(d) ? Maybe(Value{false, 0, d}) : std::nullopt;
}

// A generated formula: its tree, evaluated by the model and printed as formula text.
struct Expr {
    enum class Op { Constant, Item, Negate, Add, Subtract, Multiply, Divide, Power } op = Op::Constant;
    qint64 constant = 0;
    int decimals = 0; // a decimal constant: constant / 10^decimals
    QString code;
    std::unique_ptr<Expr> a;
    std::unique_ptr<Expr> b;

    int precedence() const
    {
        static constexpr int byOp[] = {5, 5, 4, 1, 1, 2, 2, 3};
        return byOp[static_cast<int>(op)];
    }
};

// The model: what PostgreSQL's float8 and 64-bit integer rules give, computed in C++.
struct Model {
    QHash<QString, double> items;

    Maybe eval(const Expr &e) const
    {
        using Op = Expr::Op;
        switch (e.op) {
        case Op::Constant:
            return e.decimals == 0 ? integral(e.constant) : real(static_cast<double>(e.constant) / std::pow(10.0, e.decimals));
        case Op::Item: {
            const auto it = items.constFind(e.code);
            return it == items.constEnd() ? std::nullopt : real(*it);
        }
        case Op::Negate: {
            const Maybe v = eval(*e.a);
            if (!v)
                return v;
            if (v->integral)
                return v->i == std::numeric_limits<qint64>::min() ? std::nullopt : integral(-v->i);
            return real(-v->d);
        }
        default:
            break;
        }
        const Maybe x = eval(*e.a);
        const Maybe y = eval(*e.b);
        if (!x || !y)
            return std::nullopt;
        if (e.op != Op::Power && x->integral && y->integral) {
            qint64 r = 0;
            switch (e.op) {
            case Op::Add: return __builtin_add_overflow(x->i, y->i, &r) ? std::nullopt : integral(r);
            case Op::Subtract: return __builtin_sub_overflow(x->i, y->i, &r) ? std::nullopt : integral(r);
            case Op::Multiply: return __builtin_mul_overflow(x->i, y->i, &r) ? std::nullopt : integral(r);
            default:
                if (y->i == 0 || (x->i == std::numeric_limits<qint64>::min() && y->i == -1))
                    return std::nullopt;
                return integral(x->i / y->i);
            }
        }
        const double a = x->asDouble();
        const double b = y->asDouble();
        switch (e.op) {
        case Op::Add: return real(a + b);
        case Op::Subtract: return real(a - b);
        case Op::Multiply: return a * b == 0 && a != 0 && b != 0 ? std::nullopt : real(a * b);
        case Op::Divide: return b == 0 || (a / b == 0 && a != 0) ? std::nullopt : real(a / b);
        default: {
            if ((a == 0 && b < 0) || (a < 0 && std::floor(b) != b))
                return std::nullopt;
            errno = 0;
            const double r = std::pow(a, b);
            if (errno != 0 || (r == 0 && a != 0))
                return std::nullopt;
            return real(r);
        }
        }
    }

    QString text(const Expr &e) const
    {
        const Maybe v = eval(e);
        return !v ? QString() : v->integral ? QString::number(v->i) : db::numberText(v->d);
    }
};

QString print(const Expr &e, QRandomGenerator &random)
{
    using Op = Expr::Op;
    auto wrap = [](const QString &s) { return QLatin1Char('(') + s + QLatin1Char(')'); };
    // An extra pair of parentheses now and then, where none is needed.
    auto maybeWrap = [&](const QString &s) { return random.bounded(12) == 0 ? wrap(s) : s; };
    switch (e.op) {
    case Op::Constant: {
        if (e.decimals == 0)
            return QString::number(e.constant);
        const QString digits = QString::number(e.constant).rightJustified(e.decimals + 1, QLatin1Char('0'));
        return digits.left(digits.size() - e.decimals) + QLatin1Char('.') + digits.right(e.decimals);
    }
    case Op::Item:
        return QLatin1Char('[') + (random.bounded(20) == 0 ? QStringLiteral("00") : QString()) + e.code + QLatin1Char(']');
    case Op::Negate: {
        QString inner = print(*e.a, random);
        if (e.a->precedence() < e.precedence() || inner.startsWith(QLatin1Char('-')))
            inner = wrap(inner);
        return maybeWrap(QLatin1Char('-') + inner);
    }
    default:
        break;
    }
    QString left = print(*e.a, random);
    QString right = print(*e.b, random);
    if (e.a->precedence() < e.precedence())
        left = wrap(left);
    // Left-associative: an equal precedence on the right needs parentheses.
    if (e.b->precedence() <= e.precedence() && e.b->precedence() != 4)
        right = wrap(right);
    const QChar op = QStringLiteral("+-*/^").at(static_cast<int>(e.op) - static_cast<int>(Op::Add));
    // "--" would start a comment.
    if (op == QLatin1Char('-') && right.startsWith(QLatin1Char('-')))
        right = wrap(right);
    return maybeWrap(left + op + right);
}

class Generator
{
public:
    Generator(QStringList codes, quint32 seed)
        : m_codes(std::move(codes))
        , m_random(seed)
    {
    }

    std::unique_ptr<Expr> expression(int depth, bool exponent = false)
    {
        auto e = std::make_unique<Expr>();
        using Op = Expr::Op;
        const int pick = depth <= 0 ? m_random.bounded(2) : m_random.bounded(12);
        if (pick == 0) {
            e->op = Op::Item;
            e->code = m_codes.at(m_random.bounded(static_cast<int>(m_codes.size())));
        } else if (pick == 1) {
            e->op = Op::Constant;
            e->constant = exponent ? m_random.bounded(4) : constant();
            // Now and then a decimal constant: its digits and a point.
            if (!exponent && m_random.bounded(5) == 0) {
                e->constant = m_random.bounded(100000);
                e->decimals = 1 + m_random.bounded(4);
            }
        } else if (pick == 2) {
            e->op = Op::Negate;
            e->a = expression(depth - 1, exponent);
        } else {
            static const Op binary[] = {Op::Add, Op::Subtract, Op::Multiply, Op::Divide, Op::Power};
            e->op = binary[m_random.bounded(exponent ? 4 : 5)];
            e->a = expression(depth - 1, exponent);
            // Exponents stay small, but now and then one is out of any range.
            e->b = e->op == Op::Power && m_random.bounded(25) != 0 ? expression(0, true) : expression(depth - 1, exponent);
        }
        return e;
    }

    QString print(const Expr &e) { return ::print(e, m_random); }

    // A formula text with one character changed, dropped or added: mostly not a formula.
    QString mutate(QString text)
    {
        static const QString alphabet = QStringLiteral("[]()+-*/^0123456789 a;'");
        const int at = text.isEmpty() ? 0 : m_random.bounded(static_cast<int>(text.size()));
        switch (m_random.bounded(3)) {
        case 0: text.remove(at, 1); break;
        case 1: text.insert(at, alphabet.at(m_random.bounded(static_cast<int>(alphabet.size())))); break;
        default: text.replace(at, 1, alphabet.at(m_random.bounded(static_cast<int>(alphabet.size())))); break;
        }
        return text;
    }

private:
    qint64 constant()
    {
        static const qint64 constants[] = {0,          1,          2,          3,          7,         10,
                                           100,        360,        1000,       65535,      2147483647, 2147483648LL,
                                           4294967296, 3037000500, 3037000499, 9223372036854775807LL};
        if (m_random.bounded(3) == 0)
            return m_random.bounded(50);
        return constants[m_random.bounded(static_cast<int>(std::size(constants)))];
    }

    QStringList m_codes;
    QRandomGenerator m_random;
};

QStringList handWritten()
{
    return {
        "[36]/[41]*100", "[119]/([182]+[192]-[193])", "([119]-[120])/[92]*100", "[153]+[170]-[171]", "[36]/0", "[36]/[142]",
        "[999]", "-[120]^2", "2*3^2", "2^3^2", "-2^2", "1/3", "0-7/2", "[37]/2", "[90]^[153]", "[90]^3", "[120]^-2", "2^-1075",
        "10^308*10", "[182]^40", "[192]^200", "1" + QString("/[182]").repeated(18), "9223372036854775807+1",
        "9223372036854775807*[37]", "2147483647+1", "3037000500*3037000500", "(0-9223372036854775807-1)/(0-1)", "[205]+[213]",
        "[202]/[37]", "[211]", "[36]2", "[36]]", "]", "[3a6]", "", "1--2", "[36] OR 1=1", "1);DROP TABLE func_for--", "100",
        "[59]" + QString("*[59]").repeated(59), "0.1+0.2-0.3", "[36]*0.1+0.2-0.3", "2.675*1", "1.0/3", " 0.5 * [36] ",
        "0.13*[92]/[170]+3.97*1", "[36]^0.5", "1.", ".5", "[220]/[92]*100*360/[219]", "[221]-[48]", "[222]/[120]", "[223]",
        "[224]", "[225]/[220]", "0.04*[220]/(([210]+([220]^2)^0.5/9+(([210]-([220]^2)^0.5/9)^2)^0.5)/2)",
    };
}

} // namespace

TEST(EvaluatorDifferential, GeneratedAndHandWrittenFormulasAgree)
{
    std::vector<std::unique_ptr<TestDatabase>> databases;
    for (TestBackend backend : {TestBackend::SQLite, TestBackend::PostgreSQL}) {
        auto database = std::make_unique<TestDatabase>(backend);
        if (!database->open()) {
            if (backend == TestBackend::PostgreSQL && !database->postgresRequired())
                GTEST_SKIP() << "PostgreSQL not available: " << database->error().toStdString();
            FAIL() << "cannot open the test database: " << database->error().toStdString();
        }
        ASSERT_TRUE(database->createSchema()) << database->error().toStdString();
        const Outcome written = insertFixture(database->db());
        ASSERT_TRUE(written.ok) << written.error.toStdString();
        databases.push_back(std::move(database));
    }

    QHash<QString, double> amounts;
    QStringList codes = {"999", "202", "213", "31", "49"};
    for (const auto &[code, amount] : kAbbreviatedItems) {
        amounts.insert(QString::number(code), QString::fromUtf8(amount).toDouble());
        codes << QString::number(code);
    }
    const Model model{amounts};

    Generator generator(codes, 20240611);
    const QStringList written = handWritten();
    QStringList formulas = written;
    QHash<QString, QString> expected; // the model's text for generated formulas
    while (expected.size() < 2000) {
        const std::unique_ptr<Expr> e = generator.expression(1 + expected.size() % 5);
        const QString text = generator.print(*e);
        if (!Formula::isValidText(text) || expected.contains(text))
            continue; // too deep, or seen
        expected.insert(text, model.text(*e));
        formulas << text;
    }
    for (int i = 0; i < 400; ++i)
        formulas << generator.mutate(formulas.at(written.size() + i));

    std::vector<EvaluationCache> caches(databases.size());
    std::vector<Evaluator> evaluators;
    for (size_t b = 0; b < databases.size(); ++b)
        evaluators.emplace_back(databases[b]->db(), &caches[b]);

    int mismatches = 0;
    int withValue = 0;
    for (const Period &p : {kAbbreviated, kFull}) {
        for (const QString &f : formulas) {
            QStringList texts;
            for (Evaluator &evaluator : evaluators) {
                const Result<QString> r = evaluator.formulaValue(f, p);
                EXPECT_TRUE(r.ok()) << f.toStdString() << ": " << r.error.toStdString();
                texts << r.value;
            }
            const bool modelled = p == kAbbreviated && expected.contains(f);
            const bool agree = texts.size() == 1 || texts.at(0) == texts.at(1);
            const bool asModelled = !modelled || texts.at(0) == expected.value(f);
            if (!Formula::isValidText(f)) {
                EXPECT_EQ(texts.at(0), "") << f.toStdString();
            }
            withValue += texts.at(0).isEmpty() ? 0 : 1;
            if ((!agree || !asModelled) && ++mismatches <= 20) {
                ADD_FAILURE() << "entity " << p.entity << ": " << f.toStdString() << "\n  backends: "
                              << texts.join(" | ").toStdString()
                              << "\n  model: " << (modelled ? expected.value(f).toStdString() : std::string("-"));
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The corpus exercises values, not only failures.
    EXPECT_GT(withValue, formulas.size() / 2);

    // Whole columns, computed from the amounts read per block, give the cell texts: every
    // formula on the periods above, every 23rd on all the fixture's periods and invalid ones.
    const QList<Period> all = kPeriods + QList<Period>{{999, 4, 12}, {1999, 5, 12}, {1999, 4, 0}, kAbbreviated};
    for (int i = 0; i < formulas.size(); ++i) {
        const QList<Period> periods = i % 23 == 0 ? all : QList<Period>{kAbbreviated, kFull};
        for (Evaluator &evaluator : evaluators) {
            QStringList cells;
            for (const Period &p : periods)
                cells << evaluator.formulaValue(formulas.at(i), p).value;
            EXPECT_EQ(evaluator.formulaColumn(formulas.at(i), periods).value, cells) << formulas.at(i).toStdString();
        }
    }
}

using DemoDifferentialTest = ReferenceTest;

// On generated companies, every indicator's columns computed together give the texts the
// backend's own statement gives cell by cell.
TEST_P(DemoDifferentialTest, ComputedColumnsGiveTheReferenceTexts)
{
    ASSERT_TRUE(shell::generateDemoData(db(), {.entities = 6, .seed = 3, .firstYear = 1998, .lastYear = 1999}).ok) << db().lastError().toStdString();
    QList<Period> periods;
    for (const QStringList &row : db().queryRows(QStringLiteral("SELECT DISTINCT subj_id, year_dt, quarter_dt FROM finl_stmt")).rows)
        periods << Period{row[1].toInt(), row[2].toInt(), row[0].toInt()};
    periods << Period{1998, 1, -999999}; // no statements
    QList<int> ids;
    for (const QStringList &row : db().queryRows(QStringLiteral("SELECT func_for_id FROM func_for WHERE inac_ind IN (0, 1)")).rows)
        ids << row[0].toInt();
    ASSERT_TRUE(periods.size() > 40 && ids.size() > 30);

    EvaluationCache cache;
    Evaluator evaluator(db(), &cache);
    const Result<QList<QStringList>> columns = evaluator.indicatorColumns(ids, periods);
    ASSERT_TRUE(columns.ok()) << columns.error.toStdString();
    int withValue = 0;
    for (int c = 0; c < ids.size(); ++c) {
        QStringList cells;
        for (const Period &p : periods)
            cells << Evaluator(db()).indicatorValue(ids.at(c), p).value;
        EXPECT_EQ(columns.value.at(c), cells) << "indicator " << ids.at(c);
        withValue += static_cast<int>(cells.size() - cells.count(QString()));
    }
    EXPECT_GT(withValue, periods.size() * ids.size() / 2);
}

VERNA_ALL_BACKENDS(DemoDifferentialTest);

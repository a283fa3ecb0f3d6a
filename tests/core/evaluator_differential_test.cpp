// The same formulas over the same data on SQLite and PostgreSQL give the same texts, and the
// texts of generated formulas are those of an independent model of the reference semantics.
#include "db/numbertext.h"
#include "evaluator_fixture_test.h"
#include "indicators/evaluationcache.h"
#include "indicators/evaluator.h"
#include "indicators/formula.h"
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
    if (std::isinf(d) || std::isnan(d))
        return std::nullopt;
    return Value{false, 0, d};
}

// A generated formula: its tree, evaluated by the model and printed as formula text.
struct Expr {
    enum class Op { Constant, Item, Negate, Add, Subtract, Multiply, Divide, Power } op = Op::Constant;
    qint64 constant = 0;
    QString code;
    std::unique_ptr<Expr> a;
    std::unique_ptr<Expr> b;

    int precedence() const
    {
        switch (op) {
        case Op::Add:
        case Op::Subtract: return 1;
        case Op::Multiply:
        case Op::Divide: return 2;
        case Op::Power: return 3;
        case Op::Negate: return 4;
        default: return 5;
        }
    }
};

class Model
{
public:
    explicit Model(const QHash<QString, double> &items)
        : m_items(items)
    {
    }

    Maybe eval(const Expr &e) const
    {
        using Op = Expr::Op;
        switch (e.op) {
        case Op::Constant:
            return integral(e.constant);
        case Op::Item: {
            const auto it = m_items.constFind(e.code);
            return it == m_items.constEnd() ? std::nullopt : real(*it);
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
        if (!v)
            return QString();
        return v->integral ? QString::number(v->i) : db::numberText(v->d);
    }

private:
    QHash<QString, double> m_items;
};

QString print(const Expr &e, QRandomGenerator &random)
{
    using Op = Expr::Op;
    auto wrap = [](const QString &s) { return QLatin1Char('(') + s + QLatin1Char(')'); };
    // An extra pair of parentheses now and then, where none is needed.
    auto maybeWrap = [&](const QString &s) { return random.bounded(12) == 0 ? wrap(s) : s; };
    switch (e.op) {
    case Op::Constant:
        return QString::number(e.constant);
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
        QStringLiteral("[36]/[41]*100"), QStringLiteral("[119]/([182]+[192]-[193])"), QStringLiteral("([119]-[120])/[92]*100"),
        QStringLiteral("[153]+[170]-[171]"), QStringLiteral("[36]/0"),   QStringLiteral("[36]/[142]"), QStringLiteral("[999]"),
        QStringLiteral("-[120]^2"),      QStringLiteral("2*3^2"),        QStringLiteral("2^3^2"),      QStringLiteral("-2^2"),
        QStringLiteral("1/3"),           QStringLiteral("0-7/2"),        QStringLiteral("[37]/2"),     QStringLiteral("[90]^[153]"),
        QStringLiteral("[90]^3"),        QStringLiteral("[120]^-2"),     QStringLiteral("2^-1075"),    QStringLiteral("10^308*10"),
        QStringLiteral("[182]^40"),      QStringLiteral("[192]^200"),    QStringLiteral("1/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]/[182]"),
        QStringLiteral("9223372036854775807+1"), QStringLiteral("9223372036854775807*[37]"), QStringLiteral("2147483647+1"),
        QStringLiteral("3037000500*3037000500"), QStringLiteral("(0-9223372036854775807-1)/(0-1)"), QStringLiteral("[205]+[213]"),
        QStringLiteral("[202]/[37]"),    QStringLiteral("[211]"),        QStringLiteral("[36]2"),      QStringLiteral("[36]]"),
        QStringLiteral("]"),             QStringLiteral("[3a6]"),        QString(),                    QStringLiteral("1--2"),
        QStringLiteral("[36] OR 1=1"),   QStringLiteral("1);DROP TABLE func_for--"), QStringLiteral("100"),
        QStringLiteral("[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]*[59]"),
    };
}

class EvaluatorDifferentialTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (TestBackend backend : {TestBackend::SQLite, TestBackend::PostgreSQL}) {
            auto database = std::make_unique<TestDatabase>(backend);
            if (!database->open()) {
                if (backend == TestBackend::PostgreSQL && !database->postgresRequired())
                    GTEST_SKIP() << "PostgreSQL not available: " << database->error().toStdString();
                FAIL() << "cannot open the test database: " << database->error().toStdString();
            }
            ASSERT_TRUE(database->createSchema()) << database->error().toStdString();
            QString error;
            ASSERT_TRUE(insertFixture(database->db(), &error)) << error.toStdString();
            m_databases.push_back(std::move(database));
        }
    }

    std::vector<std::unique_ptr<TestDatabase>> m_databases;
};

} // namespace

TEST_F(EvaluatorDifferentialTest, GeneratedAndHandWrittenFormulasAgree)
{
    QHash<QString, double> amounts;
    QStringList codes;
    for (const FixtureItem &i : abbreviatedItems()) {
        amounts.insert(QString::number(i.code), i.amount.toDouble());
        codes << QString::number(i.code);
    }
    codes << QStringLiteral("999") << QStringLiteral("202") << QStringLiteral("213") << QStringLiteral("31") << QStringLiteral("49");
    const Model model(amounts);

    Generator generator(codes, 20240611);
    QStringList formulas = handWritten();
    QHash<QString, QString> expected; // the model's text for generated formulas
    int generated = 0;
    while (generated < 2000) {
        const std::unique_ptr<Expr> e = generator.expression(1 + generated % 5);
        const QString text = generator.print(*e);
        if (!Formula::isValidText(text) || expected.contains(text))
            continue; // too deep, or seen
        expected.insert(text, model.text(*e));
        formulas << text;
        ++generated;
    }
    for (int i = 0; i < 400; ++i)
        formulas << generator.mutate(formulas.at(handWritten().size() + i));
    ASSERT_GE(formulas.size(), 2000);

    struct Run {
        std::unique_ptr<EvaluationCache> cache = std::make_unique<EvaluationCache>();
        std::unique_ptr<Evaluator> evaluator;
    };
    std::vector<Run> runs(m_databases.size());
    for (size_t b = 0; b < m_databases.size(); ++b)
        runs[b].evaluator = std::make_unique<Evaluator>(m_databases[b]->db(), runs[b].cache.get());

    int mismatches = 0;
    int withValue = 0;
    for (const FixturePeriod &p : {kAbbreviated, kFull}) {
        for (const QString &f : formulas) {
            QStringList texts;
            for (Run &run : runs)
                texts << run.evaluator->formulaValue(f, p.entity, p.year, p.quarter);
            const bool modelled = p.entity == kAbbreviated.entity && expected.contains(f);
            const bool agree = texts.size() == 1 || texts.at(0) == texts.at(1);
            const bool asModelled = !modelled || texts.at(0) == expected.value(f);
            if (!Formula::isValidText(f)) {
                EXPECT_EQ(texts.at(0), QString()) << f.toStdString();
            }
            if (!texts.at(0).isEmpty())
                ++withValue;
            if ((!agree || !asModelled) && ++mismatches <= 20) {
                ADD_FAILURE() << "entity " << p.entity.toStdString() << ": " << f.toStdString() << "\n  backends: "
                              << texts.join(QStringLiteral(" | ")).toStdString()
                              << "\n  model: " << (modelled ? expected.value(f).toStdString() : std::string("-"));
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The corpus exercises values, not only failures.
    EXPECT_GT(withValue, formulas.size() / 2);

    // Whole columns give the cell texts.
    QList<Period> periods;
    for (const FixturePeriod &p : fixturePeriods())
        periods << Period{p.entity, p.year, p.quarter};
    for (int i = 0; i < formulas.size(); i += 23) {
        for (Run &run : runs) {
            QStringList cells;
            for (const Period &p : periods)
                cells << run.evaluator->formulaValue(formulas.at(i), p.entityId, p.year, p.quarter);
            EXPECT_EQ(run.evaluator->formulaColumn(formulas.at(i), periods), cells) << formulas.at(i).toStdString();
        }
    }
}

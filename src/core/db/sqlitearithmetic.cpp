#include "db/sqlitearithmetic.h"

#include <QtGlobal>

#include <cerrno>
#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace verna::db {

namespace {

// A value on its way through verna_calc: NULL, a 64-bit integer or a double.
struct Number {
    enum class Type { Null, Integer, Double } type = Type::Null;
    qint64 i = 0;
    double d = 0;

    static Number none() { return {}; }
    static Number integer(qint64 v) { return {Type::Integer, v, 0}; }
    static Number real(double v)
    {
        // Infinity is an overflow: PostgreSQL raises an error instead.
        if (std::isinf(v) || std::isnan(v))
            return none();
        return {Type::Double, 0, v};
    }
    double asDouble() const { return type == Type::Integer ? static_cast<double>(i) : d; }
};

Number argument(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: return Number::integer(sqlite3_value_int64(value));
    case SQLITE_FLOAT: return Number::real(sqlite3_value_double(value));
    default: return Number::none();
    }
}

// bigint arithmetic: truncating division, no value where PostgreSQL reports "out of range".
Number integral(char op, qint64 a, qint64 b)
{
    qint64 r = 0;
    switch (op) {
    case '+': return __builtin_add_overflow(a, b, &r) ? Number::none() : Number::integer(r);
    case '-': return __builtin_sub_overflow(a, b, &r) ? Number::none() : Number::integer(r);
    case '*': return __builtin_mul_overflow(a, b, &r) ? Number::none() : Number::integer(r);
    default:
        if (b == 0 || (a == std::numeric_limits<qint64>::min() && b == -1))
            return Number::none();
        return Number::integer(a / b);
    }
}

// PostgreSQL's dpow(): no value for 0 to a negative power, a negative number to a fraction,
// and results out of range either way.
Number power(double a, double b)
{
    if ((a == 0.0 && b < 0.0) || (a < 0.0 && std::floor(b) != b))
        return Number::none();
    errno = 0;
    const double r = std::pow(a, b);
    if (errno == EDOM || std::isnan(r)) {
        // Only for exponents beyond 2^63 on some C libraries.
        if (a == 0.0)
            return Number::real(0.0);
        return std::fabs(a) == 1.0 ? Number::real(1.0) : Number::none();
    }
    if (errno == ERANGE || (r == 0.0 && a != 0.0))
        return Number::none();
    return Number::real(r);
}

// double precision arithmetic with PostgreSQL's checks: an underflow to zero has no value.
Number floating(char op, double a, double b)
{
    switch (op) {
    case '+': return Number::real(a + b);
    case '-': return Number::real(a - b);
    case '*': {
        const double r = a * b;
        return r == 0.0 && a != 0.0 && b != 0.0 ? Number::none() : Number::real(r);
    }
    case '/': {
        if (b == 0.0)
            return Number::none();
        const double r = a / b;
        return r == 0.0 && a != 0.0 ? Number::none() : Number::real(r);
    }
    default:
        return power(a, b);
    }
}

// verna_calc('ops', x0, x1, ..., xn): ((x0 op1 x1) op2 x2) ..., integers while both sides are.
void calc(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const auto *ops = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (argc < 2 || !ops || sqlite3_value_bytes(argv[0]) != argc - 2) {
        sqlite3_result_error(context, "verna_calc: operators and operands do not match", -1);
        return;
    }
    Number acc = argument(argv[1]);
    for (int i = 0; i < argc - 2 && acc.type != Number::Type::Null; ++i) {
        const Number next = argument(argv[i + 2]);
        if (next.type == Number::Type::Null)
            acc = Number::none();
        else if (ops[i] != '^' && acc.type == Number::Type::Integer && next.type == Number::Type::Integer)
            acc = integral(ops[i], acc.i, next.i);
        else
            acc = floating(ops[i], acc.asDouble(), next.asDouble());
    }
    switch (acc.type) {
    case Number::Type::Integer: sqlite3_result_int64(context, acc.i); break;
    case Number::Type::Double: sqlite3_result_double(context, acc.d); break;
    case Number::Type::Null: sqlite3_result_null(context); break;
    }
}

void neg(sqlite3_context *context, int, sqlite3_value **argv)
{
    const Number x = argument(argv[0]);
    if (x.type == Number::Type::Integer && x.i != std::numeric_limits<qint64>::min())
        sqlite3_result_int64(context, -x.i);
    else if (x.type == Number::Type::Double)
        sqlite3_result_double(context, -x.d);
    else
        sqlite3_result_null(context);
}

struct Function {
    const char *name;
    int arguments;
    void (*call)(sqlite3_context *, int, sqlite3_value **);
};

const Function functions[] = {
    {"verna_calc", -1, calc},
    {"verna_neg", 1, neg},
};

} // namespace

bool registerSqliteArithmetic(sqlite3 *sqlite)
{
    bool ok = sqlite != nullptr;
    for (const Function &f : functions) {
        ok = ok
            && sqlite3_create_function(sqlite, f.name, f.arguments, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, f.call, nullptr, nullptr)
                == SQLITE_OK;
    }
    return ok;
}

} // namespace verna::db

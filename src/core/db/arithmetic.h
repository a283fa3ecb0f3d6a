#pragma once

#include <QtGlobal>

#include <cerrno>
#include <cmath>
#include <limits>

namespace verna::db::arithmetic {

// The arithmetic formulas are computed with on every backend: PostgreSQL's bigint and double
// precision operators, where an error there (overflow, underflow, a power without a real
// value) and a division by zero are no value. The SQLite functions and the computed analysis
// fill share it, so both give the texts PostgreSQL gives.
struct Number {
    enum class Type : unsigned char { Null, Integer, Double } type = Type::Null;
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
    bool isNull() const { return type == Type::Null; }
    double asDouble() const { return type == Type::Integer ? static_cast<double>(i) : d; }
};

// bigint arithmetic: truncating division, no value where PostgreSQL reports "out of range".
inline Number integral(char op, qint64 a, qint64 b)
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
inline Number power(double a, double b)
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
inline Number floating(char op, double a, double b)
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

// One operator of "+-*/^": integers while both sides are (never for "^"), NULL in, NULL out.
inline Number apply(char op, const Number &a, const Number &b)
{
    if (a.isNull() || b.isNull())
        return Number::none();
    if (op != '^' && a.type == Number::Type::Integer && b.type == Number::Type::Integer)
        return integral(op, a.i, b.i);
    return floating(op, a.asDouble(), b.asDouble());
}

inline Number negate(const Number &x)
{
    if (x.type == Number::Type::Integer && x.i != std::numeric_limits<qint64>::min())
        return Number::integer(-x.i);
    if (x.type == Number::Type::Double)
        return Number::real(-x.d);
    return Number::none();
}

} // namespace verna::db::arithmetic

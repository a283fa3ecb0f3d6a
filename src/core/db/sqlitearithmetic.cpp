#include "db/sqlitearithmetic.h"

#include "db/arithmetic.h"

#include <sqlite3.h>

namespace verna::db {

namespace {

using arithmetic::Number;

Number argument(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: return Number::integer(sqlite3_value_int64(value));
    case SQLITE_FLOAT: return Number::real(sqlite3_value_double(value));
    default: return Number::none();
    }
}

// verna_calc('ops', x0, x1, ..., xn): ((x0 op1 x1) op2 x2) ..., integers while both sides are.
void calc(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const auto *ops = argc < 2 ? nullptr : reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (!ops || sqlite3_value_bytes(argv[0]) != argc - 2) {
        sqlite3_result_error(context, "verna_calc: operators and operands do not match", -1);
        return;
    }
    Number acc = argument(argv[1]);
    for (int i = 0; i < argc - 2 && !acc.isNull(); ++i)
        acc = arithmetic::apply(ops[i], acc, argument(argv[i + 2]));
    switch (acc.type) {
    case Number::Type::Integer: sqlite3_result_int64(context, acc.i); break;
    case Number::Type::Double: sqlite3_result_double(context, acc.d); break;
    case Number::Type::Null: sqlite3_result_null(context); break;
    }
}

void neg(sqlite3_context *context, int, sqlite3_value **argv)
{
    const Number x = arithmetic::negate(argument(argv[0]));
    if (x.type == Number::Type::Integer)
        sqlite3_result_int64(context, x.i);
    else if (x.type == Number::Type::Double)
        sqlite3_result_double(context, x.d);
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

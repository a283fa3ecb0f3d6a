#pragma once

struct sqlite3;

namespace verna::db {

// Registers on an SQLite connection the arithmetic that formulas are evaluated with there:
// verna_calc('ops', x0, x1, ...) computes ((x0 op1 x1) op2 x2) ... for ops of "+-*/^", and
// verna_neg(x) is -x. Integers stay 64-bit integers until a double or "^" meets them. They
// follow PostgreSQL's bigint and double precision operators, except that where PostgreSQL
// raises an error (overflow, underflow, a power without a real value) they give NULL, and a
// division by zero is NULL as the NULLIF emitted for PostgreSQL makes it there.
// Every SQLite connection gets them when it opens (registerSqliteFunctions).
bool registerSqliteArithmetic(sqlite3 *sqlite);

} // namespace verna::db

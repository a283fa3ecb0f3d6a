#pragma once

#include <QString>

class QSqlDatabase;

namespace verna::db {

// Name of the collation declared on every text column of the embedded database.
inline constexpr const char *kSqliteTextCollation = "CZ_CI";

// Gives an open SQLite connection what T-SQL texts expect: text comparison that ignores
// case (Czech letters included) and trailing blanks, a Unicode LIKE with an escape
// character, and the arithmetic formulas are evaluated with (sqlitearithmetic.h).
bool registerSqliteFunctions(QSqlDatabase &db);

// The LIKE of those texts, exposed for tests: % and _ wildcards, case-insensitive.
bool sqlLikeMatch(const QString &pattern, const QString &value, QChar escape = QChar());

// The collation order: <0, 0, >0.
int compareText(const QString &a, const QString &b);

} // namespace verna::db

#pragma once

#include "db/backend.h"

#include <QCollator>
#include <QString>
#include <QStringList>

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

// What name searches compare on SQLite and PostgreSQL: accented letters of Czech and its
// neighbours as their base letter, ASCII in lower case ("Český" → "cesky"). The same mapping on
// both backends, so a search finds the same names on either.
QString searchFold(const QString &text);

// The SQL expression that folds operand as searchFold does and that the name indexes cover:
// verna_fold() on SQLite (registered on the connection), translate() on PostgreSQL.
QString searchFoldSql(const QString &operand, Backend backend);

// The same fold in plain SQLite, for the stored search keys that other tools' writes keep in
// step too: the first expression folds operand part of the way, each next one goes on from
// the column `folding` holding the previous step's result.
QStringList searchFoldSqliteSteps(const QString &operand, const QString &folding);

// The stored name-order key of SQLite: its byte order is the letter order of the collation
// (compareText before accents and case decide) for names written in ASCII and the letters of
// Czech and its neighbours: blanks before signs, signs before digits, digits before letters,
// "č" after all of "c", "ch" after "h". A name holding any other character gets a key starting
// with "\x01": such names are few, and the collation puts them in place. Names of equal keys
// differ only in accents and case.
QString nameOrderKey(const QString &name);

// The same key in plain SQLite, in steps as searchFoldSqliteSteps; the last step marks the
// names of other characters.
QStringList nameOrderSqliteSteps(const QString &operand, const QString &ordering);

// The collation order: <0, 0, >0.
int compareText(const QString &a, const QString &b);

// A key of the text that orders as compareText does, for sorting many texts.
QCollatorSortKey textSortKey(const QString &text);

} // namespace verna::db

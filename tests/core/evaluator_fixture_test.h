#pragma once

// Statements, items and indicators that the evaluator tests run on, the same on every backend.

#include "db/database.h"

#include <QHash>
#include <functional>
#include <ostream>

#include "support/printing.h"
#include <QList>
#include <QString>

namespace verna::test::evaluator {

struct FixtureItem {
    int code;
    QString amount;
};

struct FixturePeriod {
    QString entity;
    QString year;
    QString quarter;
};

// Entity 12, 1999 Q4: abbreviated balance sheet and income statement.
inline const FixturePeriod kAbbreviated{QStringLiteral("12"), QStringLiteral("1999"), QStringLiteral("4")};
// Entity -5, 1999 Q4: full statements, items 202..213 computed by indicators 17..28.
inline const FixturePeriod kFull{QStringLiteral("-5"), QStringLiteral("1999"), QStringLiteral("4")};
// Entity 40, 2000 Q1: a balance sheet and no income statement.
inline const FixturePeriod kNoIncome{QStringLiteral("40"), QStringLiteral("2000"), QStringLiteral("1")};
// Entity 41, 2000 Q2: two active balance sheets that both hold item 92.
inline const FixturePeriod kTwoSheets{QStringLiteral("41"), QStringLiteral("2000"), QStringLiteral("2")};
// Entity 42, 2000 Q3: item 92 only in a deleted statement.
inline const FixturePeriod kDeleted{QStringLiteral("42"), QStringLiteral("2000"), QStringLiteral("3")};
// Entity 43, 2001 Q1: a full and an abbreviated income statement, both active.
inline const FixturePeriod kTwoForms{QStringLiteral("43"), QStringLiteral("2001"), QStringLiteral("1")};

QList<FixturePeriod> fixturePeriods();

// Items of the abbreviated period (entity 12), by code, as stored.
const QList<FixtureItem> &abbreviatedItems();

// Writes the fixture: statements of the periods above and indicators 17..28 ("[31]", "[32]",
// ... as the reference data computes items 202..213), 100 "[36]/[41]*100" and a few more.
bool insertFixture(db::Database &db, QString *error = nullptr);

// Number of database calls made while running f (the idle hook fires after each one).
int countCalls(db::Database &db, const std::function<void()> &f);

} // namespace verna::test::evaluator

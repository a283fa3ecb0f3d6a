#pragma once

// Entities, statements, items and indicators the evaluator tests run on, the same on every backend.

#include "db/database.h"
#include "indicators/period.h"

#include <QList>
#include <utility>
#include <vector>

#include "support/printing.h"

namespace verna::test::evaluator {

using indicators::Period;

inline constexpr Period kAbbreviated{1999, 4, 12}; // abbreviated balance sheet and income statement
inline constexpr Period kFull{1999, 4, -5};        // full statements: items 202..213 computed by indicators 17..28
inline constexpr Period kNoIncome{2000, 1, 40};    // a balance sheet and no income statement
inline constexpr Period kTwoSheets{2000, 2, 41};   // two active balance sheets that both hold item 92
inline constexpr Period kDeleted{2000, 3, 42};     // item 92 only in a deleted statement
inline constexpr Period kTwoForms{2001, 1, 43};    // a full and an abbreviated income statement, both active
inline const QList<Period> kPeriods = {kAbbreviated, kFull, kNoIncome, kTwoSheets, kDeleted, kTwoForms};

// Items of the abbreviated period (entity 12): code and amount as stored.
inline const std::vector<std::pair<int, const char *>> kAbbreviatedItems = {
    {92, "809550"}, {119, "401220.5"}, {120, "-200600.25"}, {142, "0"},    {153, "0.1"},   {170, "0.2"},
    {171, "0.3"},   {182, "123456789.12"}, {192, "-0.01"},  {36, "8750"},  {37, "3"},      {41, "341260"},
    {42, "-7"},     {48, "0.5"},       {59, "1234567.89"},  {90, "-0.5"},  {205, "9561"},  {213, "-1250"},
    {77, "-34.5"},  {210, "12"},
};

// Writes the fixture: the entities and statements of the periods above, indicators 17..28
// ("[31]", "[32]", ... as the reference data computes items 202..213), 100 "[36]/[41]*100"
// and a few more.
Outcome insertFixture(db::Database &db);

} // namespace verna::test::evaluator

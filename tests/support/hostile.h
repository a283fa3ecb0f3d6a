#pragma once

#include <QStringList>

namespace verna::test {

// The hostile input corpus (tests/data/hostile.txt): apostrophes, SQL fragments, LIKE
// metacharacters, control characters, NUL, right-to-left text, emoji, numbers a parser may
// misread, spreadsheet formulas and a 10,000-character text.
QStringList hostileInputs();

} // namespace verna::test

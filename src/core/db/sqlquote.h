#pragma once

#include <QString>
#include <optional>

namespace verna::db {

// The one quoting helper: a text value spliced into SQL, apostrophes doubled, between quotes.
QString quoted(const QString &text);

// A name spliced into SQL as an identifier (a role, a schema): between double quotes, inner
// double quotes doubled, its case kept.
QString quotedIdentifier(const QString &name);

// Doubles apostrophes without adding the surrounding quotes (for pieces inside a quoted literal).
QString escapeApostrophes(const QString &text);

// Whole decimal integer within 32 bits ("^-?[0-9]+$"); anything else is refused.
std::optional<qint32> parseId(const QString &text);
bool isId(const QString &text);

// Four-digit year and quarter 1..4, the only forms a period takes before it reaches SQL.
bool isYear(const QString &text);
bool isQuarter(const QString &text);

} // namespace verna::db

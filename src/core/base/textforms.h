#pragma once

#include <QString>
#include <QStringList>

// Plain text forms that the data layer, the entity stores and the windows share. No database.
namespace verna::base {

// Left-pads an IČO with zeros to 8 characters; longer texts stay as they are.
QString &padIco(QString &ico);

// The IČO check digit of the first seven digits (mod 11): valid when it equals the eighth.
int icoCheckDigit(const QString &firstSeven);
bool isValidIco(const QString &ico);

// The name without apostrophes, blanks and . _ ( ) / \ - , : — what name searches compare.
QString searchForm(const QString &name);

// The lines a note is stored in: 255 characters each, the last one possibly empty.
// A character outside the basic plane is never cut in two.
QStringList noteLines(const QString &note);

} // namespace verna::base

#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace verna::indicators {

// A statement line as the indicator editor lists it: its text and its code.
struct ItemName {
    QString text;
    int code = 0;
};

// The formula as the user reads it: every "[code]" by its line's text, lines in list order.
QString displayFormula(const QString &stored, const QList<ItemName> &items);

// The formula as it is stored: line texts become "[code]" (at each place the longest text that
// matches, so a text inside a longer one never corrupts it), blanks go, a "." stays between
// two digits. nullopt when anything else is left, rather than dropping it and changing the
// formula's meaning.
std::optional<QString> storedFormula(const QString &display, const QList<ItemName> &items);

} // namespace verna::indicators

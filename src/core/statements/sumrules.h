#pragma once

#include "db/outcome.h"
#include "statements/amount.h"

#include <QHash>
#include <QList>
#include <QString>
#include <utility>

namespace verna::db {
class Database;
}

namespace verna::statements {

// One sum rule of a statement form: the left line equals the signed sum of the right lines.
struct SumRule {
    int type = 0; // 27 balance sheet, 28 income statement
    int form = 0; // 2 abbreviated, 4 full
    int left = 0;
    QString leftName; // the left line's name, for the user
    QList<std::pair<int, int>> terms; // (sign +1/-1, line code), in the rule's order

    // "92 = 93 + 94 + 119 + 146"
    QString text() const;
};

// A rule that does not hold, with both sides' values.
struct RuleFailure {
    SumRule rule;
    Amount left;
    Amount right;

    // "Nesouhlasí součtová kontrola pro: <name> (<rule>): levá strana …, pravá strana …"
    QString message() const;
};

// The active sum rules, read once; then evaluated over typed amounts in exact decimals.
class SumRules
{
public:
    // All active rules in their stored order with the names of their left lines. A rule whose
    // right side is not line codes joined by "+" and "-" is an error of the data.
    static Result<SumRules> load(db::Database &db);

    QList<SumRule> rules(int type, int form) const;

    // Every rule of the statement type and form that the amounts (by line code) break; a line
    // without an amount counts as 0. A sum outside the arithmetic's range breaks its rule.
    QList<RuleFailure> check(int type, int form, const QHash<int, Amount> &amounts) const;

    // Parses a right side ("36+37-204"); false when it is anything else.
    static bool parseTerms(const QString &rightSide, QList<std::pair<int, int>> &terms);

private:
    QList<SumRule> m_rules;
};

} // namespace verna::statements

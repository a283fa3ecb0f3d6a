#pragma once

#include "statements/statementstore.h"

namespace verna::test {

// An abbreviated pair of the entity's period with every listed line 0 but line 193, which no sum
// rule holds: it passes every rule, and line 193 marks which pair is stored.
inline statements::StatementPair markedPair(const QList<statements::StatementLine> &balance, const QList<statements::StatementLine> &income,
                                            qint32 entity, int year, int quarter, qint64 line193)
{
    statements::StatementPair pair{entity, year, quarter, false, {}, {}};
    for (const auto &[lines, target] : {std::pair{&balance, &pair.balance}, std::pair{&income, &pair.income}}) {
        for (const statements::StatementLine &line : *lines)
            target->append({line.code, statements::Amount::whole(line.code == 193 ? line193 : 0).value()});
    }
    return pair;
}

// The same with the line lists read from the database.
inline statements::StatementPair markedPair(statements::StatementStore &store, qint32 entity, int year, int quarter, qint64 line193)
{
    return markedPair(store.lines(27, false).value, store.lines(28, false).value, entity, year, quarter, line193);
}

} // namespace verna::test

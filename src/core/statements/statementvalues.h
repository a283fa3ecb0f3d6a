#pragma once

#include "db/outcome.h"

#include <QString>

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::statements {

using verna::Result;

// The amount of one item of one statement as plain decimal text; "" when the statement does
// not hold the item (or holds it inactive or NULL) and when stmtId is no whole number (no SQL
// runs then). A failed read is an error. The SQL is left in the shared SQL text.
Result<QString> getHodnotaPolozky(db::Database &db, int itemCode, const QString &stmtId);

// An indicator evaluated for the entity, year and quarter of one statement; "" when the
// statement does not exist or the indicator gives no value.
Result<QString> getHodnotaUkazatele(db::Database &db, indicators::Evaluator &evaluator, int formulaId, const QString &stmtId);

// The display line of a row: the name cut or padded to 40 characters (name receives that
// form), then the value right-aligned in 15 characters; a longer value is kept whole.
QString formatRadekPolozky(QString &name, const QString &value);

} // namespace verna::statements

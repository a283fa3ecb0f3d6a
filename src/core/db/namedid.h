#pragma once

#include "db/outcome.h"

#include <QList>
#include <QString>

namespace verna::db {

class Database;

// A line of a list: the text it shows and the id it carries.
struct NamedId {
    QString name;
    qint32 id = 0;
};

// The rows of a query of two columns, a name and an id. A row whose id is no id is left out;
// a failed read is an error.
Result<QList<NamedId>> readNamedIds(Database &database, const QString &sql);

} // namespace verna::db

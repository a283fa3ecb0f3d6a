#pragma once

#include "db/database.h"

#include <QTemporaryDir>

namespace verna::test {

// SQLite database files in a temporary folder for window tests.
class SqliteFixture
{
public:
    enum class Content {
        Empty,        // a file without tables
        Tables,       // the tables only
        CodeLines,    // the tables and the code-list lines the main window checks
        ReferenceData // the tables with the application's reference data
    };

    QString path(const QString &name = QStringLiteral("verna.sqlite")) const { return m_dir.filePath(name); }

    // Creates a database file; "" on success, else the reason.
    QString create(const QString &path, Content content);

    // Creates verna.sqlite with content and opens database on it.
    QString open(db::Database &database, Content content);

private:
    QTemporaryDir m_dir;
};

} // namespace verna::test

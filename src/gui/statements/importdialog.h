#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

namespace verna::db {
class Database;
}

namespace verna::statements {

// "Importovat výkazy…": asks for a CSV or XLSX file and imports it as the window's long task
// (Stop ends it with nothing written). When the file is refused for occupied periods, unknown
// IČOs or broken statements, offers to replace, to create the entities, or to keep what
// passed, and imports again. Shows the summary; true when statements were written.
bool importStatements(QWidget *window, QAbstractButton *stopButton, db::Database &db);

} // namespace verna::statements

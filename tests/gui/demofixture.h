#pragma once

#include "db/database.h"
#include "shell/appstate.h"
#include "sqlitefixture.h"

namespace verna::test {

// The one seeded demo database of the window tests, made on first use and kept for the
// test binary: reference data, twelve demo entities with statements for 1998 and 1999, and
// the entities and branches of the search tests (names with "Qx" and "Qz", branch 99001).
// Windows only read it; a test that changes it puts it back.
class DemoFixture
{
public:
    static DemoFixture &get();

    db::Database &db() { return m_db; }
    shell::AppState &state() { return *m_state; }

    // Runs SQL on it; "" on success, else the reason.
    QString run(const QString &sql);

    static constexpr qint32 kBranch = 99001;

private:
    DemoFixture();
    QString seed();

    SqliteFixture m_files;
    db::Database m_db;
    std::unique_ptr<shell::AppState> m_state;
};

} // namespace verna::test

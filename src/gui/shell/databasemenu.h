#pragma once

#include "db/databaselocation.h"

#include <QObject>

class QAction;
class QMenu;

namespace verna::shell {

class AppState;
class frmHlavni;

// The database items of the "Soubor" menu: "Připojit k databázi…" and "Naposledy použité".
// A switch first tries the new database on a connection of its own; only when it can be
// used are the windows closed (each asked as on closing) and the shared connection moved.
// A failure keeps the current database and says why. A data source is logged in to first
// (logInTo). The frame's title names the database, with a lock when the link is encrypted.
class DatabaseMenu : public QObject
{
    Q_OBJECT
public:
    // Adds the items to the menu before the action `before`.
    DatabaseMenu(frmHlavni &main, AppState &state, QMenu *menu, QAction *before);

    // Moves the application to the location; false when it stayed where it was.
    bool switchTo(const db::DatabaseLocation &location);
    void showDialog(const std::optional<db::DatabaseLocation> &preset = std::nullopt);

private:
    void fillRecent();
    void openRecent(const db::DatabaseLocation &location);
    void showInTitle();
    // Once a session: a remote server reached without encryption is named in a warning.
    void warnIfUnencrypted();

    frmHlavni &m_main;
    AppState &m_state;
    QMenu *m_recent = nullptr;
    bool m_warnedUnencrypted = false;
};

} // namespace verna::shell

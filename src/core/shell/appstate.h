#pragma once

#include "base/itemcodes.h"
#include "db/outcome.h"
#include "db/rights.h"

#include <QList>
#include <QObject>
#include <QString>
#include <optional>
#include <utility>

namespace verna::db {
class Database;
}

namespace verna::shell {

// The item-code lists live on the ground floor; the old name stays for the windows.
using ItemCodes = base::ItemCodes;

// The shared state of the application: one instance, passed to the windows that need it.
class AppState : public QObject
{
    Q_OBJECT
public:
    explicit AppState(db::Database &database, QObject *parent = nullptr);

    db::Database &database() const { return m_database; }

    // What the user may change on the open database; the windows disable the rest.
    const db::Rights &rights() const { return m_rights; }
    // Reads the rights after connecting. A failed read leaves no rights, with the reason.
    Outcome readRights();

    // Entity the next entity-editing or data-selection window shows; none = show everything.
    std::optional<qint32> entityToOpen() const { return m_entityToOpen; }
    void setEntityToOpen(std::optional<qint32> id) { m_entityToOpen = id; }

    // Group the next groups window opens; none = a new group. The window takes it on opening.
    std::optional<qint32> groupToEdit() const { return m_groupToEdit; }
    void setGroupToEdit(std::optional<qint32> id) { m_groupToEdit = id; }
    std::optional<qint32> takeGroupToEdit() { return std::exchange(m_groupToEdit, std::nullopt); }

    // Indicator or indicator group the editor and the groups window select when they next
    // rebuild their lists; none = the first entry. Taken by the rebuild.
    std::optional<qint32> selectionAfterReload() const { return m_selectionAfterReload; }
    void setSelectionAfterReload(std::optional<qint32> id) { m_selectionAfterReload = id; }
    std::optional<qint32> takeSelectionAfterReload() { return std::exchange(m_selectionAfterReload, std::nullopt); }

private:
    db::Database &m_database;
    db::Rights m_rights = db::Rights::all();
    std::optional<qint32> m_entityToOpen;
    std::optional<qint32> m_groupToEdit;
    std::optional<qint32> m_selectionAfterReload;
};

} // namespace verna::shell

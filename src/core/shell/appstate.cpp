#include "shell/appstate.h"

namespace verna::shell {

AppState::AppState(db::Database &database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

Outcome AppState::readRights()
{
    const Result<db::Rights> read = db::Rights::read(m_database);
    m_rights = read.ok() ? read.value : db::Rights::none();
    return read.outcome();
}

} // namespace verna::shell

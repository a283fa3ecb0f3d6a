#include "shell/appstate.h"

namespace verna::shell {

AppState::AppState(db::Database &database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

} // namespace verna::shell

#pragma once

#include "base/textforms.h"
#include "entities/groupmembers.h"
#include "entities/notes.h"

#include <QString>

namespace verna::db {
class Database;
}

namespace verna::shell {

// The shared operations every window uses, under the names the windows have always called
// them; each lives in the room of its data. None of them shows a message.
namespace modHlavni {

// First column of the first row as text; "" for no row, a NULL or any error.
QString singleValue(db::Database &db, const QString &sql);

using base::noteLines;
using base::padIco;
using base::searchForm;
using entities::entitiesToAdd;
using entities::groupMembers;
using entities::isSingleEntity;
using entities::loadNote;
using entities::noteLineInsert;
using entities::storeNote;

} // namespace modHlavni

} // namespace verna::shell

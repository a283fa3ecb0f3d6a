#include "commandline.h"
#include "commands.h"

#include "db/database.h"
#include "entities/entitysearch.h"

namespace verna::cli {

// Lists id, IČO and name of the entities whose name or IČO holds the text, so a script can go
// from the IČO a user sees to the id that analyze --entities takes.
int commandFind(const Options &options, QTextStream &out, QTextStream &err)
{
    if (options.rest.size() != 1 || options.rest.front().trimmed().isEmpty()) {
        err << "Příkaz find potřebuje jeden text: název, IČO nebo jejich část.\n";
        return UsageError;
    }
    db::Database database;
    if (!openDatabase(database, options, err))
        return DatabaseError;
    entities::EntitySearch search(database);
    const auto found = search.find(options.rest.front());
    if (!found.ok()) {
        err << "Hledání nelze dokončit: " << found.error << "\n";
        return DatabaseError;
    }
    for (const entities::FoundEntity &entity : found.value)
        out << entity.id << "\t" << entity.ico << "\t" << entity.name << "\n";
    return Success;
}

} // namespace verna::cli

// The national scale: a fixture of 1,000,000 companies with one year-end statement pair each,
// on SQLite and on a PostgreSQL copy, both kept between runs.
#include "benchmarks.h"

#include "db/database.h"

using namespace verna;

void benchNational(BenchContext &context)
{
    context.table.add(Figure::Status::Pending, QStringLiteral("national fixture"), QStringLiteral("made"), QStringLiteral("not built yet"));
}

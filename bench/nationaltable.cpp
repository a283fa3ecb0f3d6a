// The analysis table of the national fixture in the window.
#include "benchmarks.h"

void benchNationalTable(BenchContext &context, const QString &)
{
    context.table.add(Figure::Status::Pending, QStringLiteral("analysis table in the window"), QStringLiteral("< 2 GB, page < 100 ms"),
                      QStringLiteral("not measured yet"));
}

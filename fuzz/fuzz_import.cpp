// Any bytes through the CSV and XLSX readers of the statement import: no crash, no hang, and
// only rows that hold something, within the column limit, in file order.
#include "fuzzcheck.h"
#include "statements/importreaders.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

using namespace verna;
using namespace verna::statements;

namespace {

void checkRows(const Result<ImportRows> &rows, bool ordered)
{
    if (!rows.ok()) {
        FUZZ_CHECK(rows.value.isEmpty());
        return;
    }
    int last = 0;
    for (const ImportRow &row : rows.value) {
        FUZZ_CHECK(row.line >= 1);
        FUZZ_CHECK(!ordered || row.line > last);
        last = row.line;
        FUZZ_CHECK(!row.cells.isEmpty() && row.cells.size() <= kMaxImportColumns);
        bool something = false;
        for (const QString &cell : row.cells)
            something = something || !cell.trimmed().isEmpty();
        FUZZ_CHECK(something);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkRows(readCsv(bytes), true);
    // XLSX rows carry the numbers the sheet gives them, which need not ascend.
    checkRows(readXlsx(bytes), false);
    return 0;
}

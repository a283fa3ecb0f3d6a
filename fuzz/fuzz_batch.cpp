// Any text through the batch splitter and the translation layer: no crash; pieces are
// trimmed, non-empty and stay whole when split again; key tables are plain names; and a
// quoted literal built from the input stays one literal, unchanged, in one statement.
#include "db/sqlquote.h"
#include "db/tsqltranslator.h"
#include "fuzzcheck.h"

#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>

using namespace verna::db;

namespace {

void checkStatement(const QString &piece)
{
    static const QRegularExpression name(QStringLiteral("^[a-z0-9_]+$")); // spliced into LOCK TABLE
    for (Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        const tsql::Translation t = tsql::translate(piece, backend);
        tsql::classify(t.sql, backend);
        for (const QString &table : t.keyTables)
            FUZZ_CHECK(name.match(table).hasMatch());
    }
    tsql::classify(piece);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList pieces = tsql::splitBatch(text);
    for (const QString &piece : pieces) {
        FUZZ_CHECK(!piece.isEmpty() && piece == piece.trimmed());
        FUZZ_CHECK(text.contains(piece));
        checkStatement(piece);
    }

    // Typed text spliced into SQL through the quoting helper is data: one plain statement
    // whose translation still holds the literal as it was built.
    const QString literal = quoted(text);
    const QString insert = QStringLiteral("INSERT INTO text VALUES((select (min(row_id)-1) from text),getdate(),0,1,1,") + literal
        + QStringLiteral(")");
    const QStringList split = tsql::splitBatch(QStringLiteral("BEGIN TRAN\r") + insert + QStringLiteral("\rCOMMIT TRAN"));
    FUZZ_CHECK(split.size() == 3 && split.at(1) == insert.trimmed());
    for (Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        const tsql::Translation t = tsql::translate(insert, backend);
        FUZZ_CHECK(tsql::classify(t.sql, backend) == tsql::StatementKind::Plain);
        FUZZ_CHECK(t.sql.contains(literal));
        FUZZ_CHECK(t.keyTables == QStringList{QStringLiteral("text")});
    }
    return 0;
}

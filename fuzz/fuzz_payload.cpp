// Any text through the payload parser: no crash, and what it accepts is rebuilt to a payload
// that parses the same and carries nothing but ids, indices and key letters.
#include "fuzzcheck.h"
#include "selection/payload.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace verna::selection;

namespace {

bool sameNode(const NodeKey &a, const NodeKey &b)
{
    return a.kind == b.kind && a.argument == b.argument && a.id == b.id && a.year == b.year && a.quarter == b.quarter
        && a.code == b.code;
}

void checkPayload(const QString &text)
{
    const std::optional<Payload> p = Payload::parse(text);
    if (!p)
        return;
    const QString rebuilt = p->text();
    for (const QChar c : rebuilt)
        FUZZ_CHECK(c.isLetterOrNumber() || QStringLiteral("*/#&@_-").contains(c));
    const std::optional<Payload> q = Payload::parse(rebuilt);
    FUZZ_CHECK(q.has_value());
    FUZZ_CHECK(q->kind() == p->kind());
    FUZZ_CHECK(q->entityIds() == p->entityIds());
    FUZZ_CHECK(q->indices() == p->indices());
    FUZZ_CHECK(sameNode(q->node(), p->node()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkPayload(QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));

    // The bytes as numbers for the builders: what they build always parses back.
    QList<qint32> ids;
    QList<int> indices;
    for (size_t i = 0; i + 4 <= size && ids.size() < 16; i += 4) {
        qint32 v = 0;
        std::memcpy(&v, data + i, sizeof v);
        ids << v;
        indices << (v & 0xffff);
    }
    for (const QString &built : {Payload::entitySelection(ids), Payload::indicatorsSeveral(indices),
                                 Payload::aggregate(ids.value(0)), Payload::indicatorOne(ids.value(1))}) {
        if (built.isEmpty())
            continue;
        FUZZ_CHECK(Payload::parse(built).has_value());
        checkPayload(built);
    }
    return 0;
}

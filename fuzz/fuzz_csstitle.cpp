// Any first bytes of a style sheet through the title reader: no crash, a title of one trimmed
// line taken from the file (else the file name), and nothing that escapes the report's HTML.
#include "fuzzcheck.h"
#include "report/html.h"
#include "report/stylesheets.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

using namespace verna::report;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray head(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString fileName = QStringLiteral("styl.css");
    const QString title = styleTitle(fileName, head);
    FUZZ_CHECK(!title.isEmpty());
    FUZZ_CHECK(!title.contains(QLatin1Char('\n')) && !title.contains(QLatin1Char('\r')));
    FUZZ_CHECK(title == title.trimmed());
    const QString firstLine = QString::fromUtf8(head.left(head.indexOf('\n') < 0 ? head.size() : head.indexOf('\n')));
    if (!firstLine.startsWith(QLatin1String("/* NAZEV:")) && !firstLine.startsWith(QStringLiteral("\uFEFF/* NAZEV:")))
        FUZZ_CHECK(title == fileName);
    else if (title != fileName)
        FUZZ_CHECK(firstLine.contains(title));
    const QString html = escaped(title);
    for (const char c : {'<', '>', '"', '\''})
        FUZZ_CHECK(!html.contains(QLatin1Char(c)));
    return 0;
}

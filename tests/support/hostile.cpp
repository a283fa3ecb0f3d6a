#include "support/hostile.h"

#include <QFile>

namespace verna::test {

QStringList hostileInputs()
{
    QFile file(QStringLiteral(VERNA_TEST_DATA "/hostile.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line == QLatin1String("@LONG")) {
            QString text;
            while (text.size() < 10000)
                text += QStringLiteral("Dlouhý text O'Neill % _ [x] ");
            out << text.left(10000);
            continue;
        }
        QString text;
        for (int i = 0; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (c != QLatin1Char('\\') || i + 1 == line.size()) {
                text += c;
                continue;
            }
            switch (line.at(++i).unicode()) {
            case '0': text += QChar(0); break;
            case 't': text += QLatin1Char('\t'); break;
            case 'r': text += QLatin1Char('\r'); break;
            case 'n': text += QLatin1Char('\n'); break;
            case 'e': text += QChar(0x1b); break;
            default: text += line.at(i); break;
            }
        }
        out << text;
    }
    return out;
}

} // namespace verna::test

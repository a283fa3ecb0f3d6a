#include "base/textforms.h"

#include <QRegularExpression>

namespace verna::base {

QString &padIco(QString &ico)
{
    while (ico.size() < 8)
        ico.prepend(QLatin1Char('0'));
    return ico;
}

int icoCheckDigit(const QString &firstSeven)
{
    int sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += (8 - i) * firstSeven.at(i).digitValue();
    const int r = sum % 11;
    return (11 - r) % 10;
}

bool isValidIco(const QString &ico)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{8}$"));
    return digits.match(ico).hasMatch() && icoCheckDigit(ico.left(7)) == ico.at(7).digitValue();
}

QString searchForm(const QString &name)
{
    static const QString dropped = QStringLiteral("' ._()/\\-,:");
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (!dropped.contains(c))
            out += c;
    }
    return out;
}

QStringList noteLines(const QString &note)
{
    constexpr int kLine = 255;
    const int size = static_cast<int>(note.size());
    QStringList lines;
    int start = 0;
    while (true) {
        int length = std::min(kLine, size - start);
        // Keep a surrogate pair together; that line then holds 254 units.
        if (length == kLine && note.at(start + length - 1).isHighSurrogate())
            --length;
        lines << note.mid(start, length);
        start += length;
        if (length < kLine && start >= size)
            return lines; // a note whose length is a multiple of 255 ends with an empty line
    }
}

} // namespace verna::base

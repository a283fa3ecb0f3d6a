#pragma once

#include <QString>
#include <ostream>

// Readable failures: gtest prints a QString as its characters.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

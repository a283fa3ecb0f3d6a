#pragma once

#include <QString>
#include <QStringList>

namespace verna::report {

// Every line a report section writes ends with CR LF.
inline constexpr QLatin1StringView kEol("\r\n");

// Text from the database or the user as HTML: "&", "<", ">", '"' and "'" escaped.
QString escaped(const QString &text);

// A local path as a file URL fit for HREF and codebase ("file:///…", percent-encoded, then
// escaped for an attribute). A folder keeps its trailing slash.
QString fileUrl(const QString &path);

// The lines joined, each ended by CR LF.
QString lines(const QStringList &lines);

} // namespace verna::report

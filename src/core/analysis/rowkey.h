#pragma once

#include <QString>
#include <optional>

namespace verna::analysis {

// A period of an entity: the key "1999_2_1234" (year, quarter, entity id) that rows,
// quarter nodes and quarter payloads carry.
struct RowKey {
    int year = 0;
    int quarter = 0;
    qint32 entity = 0;

    QString toString() const;
    QString yearText() const { return QString::number(year); }
    QString quarterText() const { return QString::number(quarter); }
    QString entityText() const { return QString::number(entity); }
    QString periodText() const { return yearText() + QLatin1Char('/') + quarterText(); }

    // nullopt unless the text is exactly four digits, "_", a quarter 1..4, "_", a whole 32-bit id.
    static std::optional<RowKey> parse(const QString &text);

    friend bool operator==(const RowKey &, const RowKey &) = default;
};

} // namespace verna::analysis

#pragma once

#include <QHashFunctions>
#include <QString>
#include <optional>

namespace verna::indicators {

// A period of an entity: the one shape rows, tree nodes, payloads and the evaluator share.
// Text only where SQL or a key is written.
struct Period {
    int year = 0;
    int quarter = 0;
    qint32 entity = 0;

    // A four-digit year and a quarter 1..4.
    bool isValid() const { return year >= 1000 && year <= 9999 && quarter >= 1 && quarter <= 4; }

    QString yearText() const { return QString::number(year); }
    QString quarterText() const { return QString::number(quarter); }
    QString entityText() const { return QString::number(entity); }
    QString periodText() const { return yearText() + QLatin1Char('/') + quarterText(); }

    // The analysis row key "1999_2_1234": year, "_", quarter, "_", entity id.
    QString toString() const;
    // nullopt unless the text is exactly four digits, "_", a quarter 1..4, "_", a whole 32-bit id.
    static std::optional<Period> parse(const QString &text);
    // From the three texts a caller typed or passed; nullopt unless each one is checked sound
    // (a whole 32-bit id, four digits, a quarter 1..4).
    static std::optional<Period> fromTexts(const QString &entity, const QString &year, const QString &quarter);

    friend bool operator==(const Period &, const Period &) = default;
    friend size_t qHash(const Period &p, size_t seed = 0) { return qHashMulti(seed, p.year, p.quarter, p.entity); }
};

} // namespace verna::indicators

#pragma once

#include <QString>
#include <optional>

namespace verna::selection {

// A node key of the data-selection tree or of the analysis window's tree, checked and read:
// the kind (two letters, or "Q" for a quarter node) and the numbers its argument carries.
// Keys that payloads bring in are parsed here before any of their numbers is used.
struct NodeKey {
    QString kind;
    QString argument; // the key after the kind, as carried
    qint32 id = 0;    // the entity, statement or item row the key names
    int year = 0;     // YR, YV, SY, SQ
    int quarter = 0;  // SQ
    qint32 code = 0;  // AC: the branch code; IZ statement_code: the item code

    QString text() const { return kind + argument; }

    // Data-selection tree: SU, ob, pz, CR, CV + id; AC + code_id; YR, YV + year_id; Q + statement;
    // QW, QV, QZ, QP, QF, QG and their N forms + statement; IP + row; IZ + row or statement_code.
    static std::optional<NodeKey> parseTreeKey(const QString &key);
    // Analysis tree: SU + id, SY + year_id, SQ + year_quarter_id.
    static std::optional<NodeKey> parseAnalysisKey(const QString &key);
};

} // namespace verna::selection

#pragma once

#include "db/outcome.h"
#include "selection/nodekey.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::indicators {
class Evaluator;
}

namespace verna::selection {

using verna::Result;

// A node of the data-selection tree as the core reads it: key ("" for none), text, tag and
// the children filled when the node is added.
struct TreeNode {
    QString key;
    QString text;
    QString tag;
    QList<TreeNode> children;
};

// The read queries of the data-selection tree. Every id is a checked integer before it is
// spliced; a failed read is an error. Names are the current ones (inac_ind = 0), once.
class TreeData
{
public:
    TreeData(db::Database &db, indicators::Evaluator &evaluator);

    // An entity with identification, branches, note, memberships and statements down to the
    // statement views; nullopt when no live entity has the id or shouldStop ended the read.
    Result<std::optional<TreeNode>> entity(qint32 id, const std::function<bool()> &shouldStop = {});
    // The item lines of a statement view (QW, QV, QZ, QF, QP, QG), in display order.
    Result<QList<TreeNode>> viewItems(const NodeKey &view);
    // Names of a group's members, for the group node.
    Result<QStringList> memberNames(qint32 group, const std::function<bool()> &shouldStop = {});

    // A view's key once its items are loaded: "Q..." becomes "N...".
    static QString loadedKey(const QString &key);

private:
    Result<QList<TreeNode>> statements(qint32 id, int type, const std::function<bool()> &shouldStop);
    Result<QList<TreeNode>> branches(qint32 id);
    Result<TreeNode> itemLines(const QString &statement, const QString &keyPrefix, const QList<int> *codes);

    db::Database &m_db;
    indicators::Evaluator &m_evaluator;
};

} // namespace verna::selection

#pragma once

#include "selection/nodekey.h"

#include <QList>
#include <QString>
#include <optional>

namespace verna::selection {

// The text payloads that windows hand each other by drag and drop: a marker at the start
// ("*/*", "/*/", "#&#", "@&@") and the rest. Builders make the texts (an empty text: nothing
// to drag); parse() reads one and checks every id, year, quarter and index in it. A text that
// fails the check is no payload at all, so receivers ignore it before building any SQL.
class Payload
{
public:
    enum class Kind {
        SingleEntity,      // "*/*" + id
        EntityList,        // "/*/" + ids joined by "_"
        TreeNode,          // "#&#" + data-selection tree key (an OKEČ branch: "#&#AC" + code_id)
        AnalysisNode,      // "@&@" + analysis tree key (SU, SY, SQ)
        Aggregate,         // "@&@AF" + list index
        IndicatorsSeveral, // "@&@FS" + each list index followed by "_"
        IndicatorOne,      // "@&@FC" + list index
    };

    static inline const QString kSingleEntity = QStringLiteral("*/*");
    static inline const QString kEntityList = QStringLiteral("/*/");
    static inline const QString kTreeNode = QStringLiteral("#&#");
    static inline const QString kBranch = QStringLiteral("#&#AC");
    static inline const QString kAnalysis = QStringLiteral("@&@");
    static inline const QString kAggregate = QStringLiteral("@&@AF");
    static inline const QString kIndicatorsSeveral = QStringLiteral("@&@FS");
    static inline const QString kIndicatorOne = QStringLiteral("@&@FC");

    static QString singleEntity(qint32 id);
    // "" for an empty list: with nothing selected no drag starts.
    static QString entityList(const QList<qint32> &ids);
    // What a list of entities drags: one selected entity alone, several as a list, none nothing.
    static QString entitySelection(const QList<qint32> &selectedIds);
    // "" unless the key is a valid key of the tree.
    static QString treeNode(const QString &key);
    static QString analysisNode(const QString &key);
    // "" for a negative index.
    static QString aggregate(int index);
    // Positions in ascending order, each followed by "_"; "" when empty or one is negative.
    static QString indicatorsSeveral(QList<int> indices);
    static QString indicatorOne(int index);
    // What the indicator list drags: several selected positions as a list, else the current one.
    static QString indicatorSelection(const QList<int> &selected, int current);

    static std::optional<Payload> parse(const QString &text);

    Kind kind() const { return m_kind; }
    // SingleEntity: one id; EntityList: every id, in order.
    const QList<qint32> &entityIds() const { return m_ids; }
    // TreeNode and AnalysisNode.
    const NodeKey &node() const { return m_node; }
    // Aggregate and IndicatorOne: one index; IndicatorsSeveral: every index, in order.
    const QList<int> &indices() const { return m_indices; }
    // The branch code of an OKEČ branch node ("#&#AC").
    std::optional<qint32> branchCode() const;

    // What a drop adds to an entity tree: an entity selection, whose groups stand for their
    // members, or an entity node ("SU") of the other tree (otherTree: TreeNode or
    // AnalysisNode), taken as it is; nullopt for anything else.
    struct EntityDrop {
        QList<qint32> ids;
        bool expandGroups = false;
    };
    std::optional<EntityDrop> entityDrop(Kind otherTree) const;

    // The payload's text as the builders write it.
    QString text() const;

private:
    Kind m_kind = Kind::SingleEntity;
    QList<qint32> m_ids;
    NodeKey m_node;
    QList<int> m_indices;
};

} // namespace verna::selection

#include "selection/payload.h"

#include "db/sqlquote.h"

#include <QStringList>
#include <algorithm>

namespace verna::selection {

namespace {

// A list position: digits only, within 32 bits.
std::optional<int> parseIndex(const QString &text)
{
    if (text.startsWith(QLatin1Char('-')))
        return std::nullopt;
    return db::parseId(text);
}

QString joined(const QList<qint32> &ids)
{
    QStringList parts;
    for (qint32 id : ids)
        parts << QString::number(id);
    return parts.join(QLatin1Char('_'));
}

} // namespace

QString Payload::singleEntity(qint32 id)
{
    return kSingleEntity + QString::number(id);
}

QString Payload::entityList(const QList<qint32> &ids)
{
    return ids.isEmpty() ? QString() : kEntityList + joined(ids);
}

QString Payload::entitySelection(const QList<qint32> &selectedIds)
{
    if (selectedIds.size() == 1)
        return singleEntity(selectedIds.front());
    return entityList(selectedIds);
}

QString Payload::treeNode(const QString &key)
{
    return NodeKey::parseTreeKey(key) ? kTreeNode + key : QString();
}

QString Payload::analysisNode(const QString &key)
{
    return NodeKey::parseAnalysisKey(key) ? kAnalysis + key : QString();
}

QString Payload::aggregate(int index)
{
    return index < 0 ? QString() : kAggregate + QString::number(index);
}

QString Payload::indicatorsSeveral(QList<int> indices)
{
    if (indices.isEmpty() || std::any_of(indices.begin(), indices.end(), [](int i) { return i < 0; }))
        return QString();
    std::sort(indices.begin(), indices.end());
    QString text = kIndicatorsSeveral;
    for (int i : indices)
        text += QString::number(i) + QLatin1Char('_');
    return text;
}

QString Payload::indicatorOne(int index)
{
    return index < 0 ? QString() : kIndicatorOne + QString::number(index);
}

QString Payload::indicatorSelection(const QList<int> &selected, int current)
{
    if (selected.size() > 1)
        return indicatorsSeveral(selected);
    return indicatorOne(current);
}

std::optional<Payload> Payload::parse(const QString &text)
{
    Payload p;
    if (text.startsWith(kSingleEntity)) {
        const auto id = db::parseId(text.mid(kSingleEntity.size()));
        if (!id)
            return std::nullopt;
        p.m_kind = Kind::SingleEntity;
        p.m_ids = {*id};
        return p;
    }
    if (text.startsWith(kEntityList)) {
        // Ids joined by "_": "1-2", "--5", "1__2", a trailing "_" or any other separator
        // make the whole payload invalid rather than a guess at what was meant.
        const QString rest = text.mid(kEntityList.size());
        if (rest.isEmpty())
            return std::nullopt;
        for (const QString &part : rest.split(QLatin1Char('_'))) {
            const auto id = db::parseId(part);
            if (!id)
                return std::nullopt;
            p.m_ids << *id;
        }
        p.m_kind = Kind::EntityList;
        return p;
    }
    if (text.startsWith(kTreeNode)) {
        const auto key = NodeKey::parseTreeKey(text.mid(kTreeNode.size()));
        if (!key)
            return std::nullopt;
        p.m_kind = Kind::TreeNode;
        p.m_node = *key;
        return p;
    }
    if (text.startsWith(kAggregate) || text.startsWith(kIndicatorOne)) {
        const auto index = parseIndex(text.mid(kAggregate.size()));
        if (!index)
            return std::nullopt;
        p.m_kind = text.startsWith(kAggregate) ? Kind::Aggregate : Kind::IndicatorOne;
        p.m_indices = {*index};
        return p;
    }
    if (text.startsWith(kIndicatorsSeveral)) {
        const QString rest = text.mid(kIndicatorsSeveral.size());
        if (!rest.endsWith(QLatin1Char('_')))
            return std::nullopt;
        for (const QString &part : rest.chopped(1).split(QLatin1Char('_'))) {
            const auto index = parseIndex(part);
            if (!index)
                return std::nullopt;
            p.m_indices << *index;
        }
        p.m_kind = Kind::IndicatorsSeveral;
        return p;
    }
    if (text.startsWith(kAnalysis)) {
        const auto key = NodeKey::parseAnalysisKey(text.mid(kAnalysis.size()));
        if (!key)
            return std::nullopt;
        p.m_kind = Kind::AnalysisNode;
        p.m_node = *key;
        return p;
    }
    return std::nullopt;
}

std::optional<qint32> Payload::branchCode() const
{
    if (m_kind == Kind::TreeNode && m_node.kind == QLatin1String("AC"))
        return m_node.code;
    return std::nullopt;
}

std::optional<Payload::EntityDrop> Payload::entityDrop(Kind otherTree) const
{
    if (m_kind == Kind::SingleEntity || m_kind == Kind::EntityList)
        return EntityDrop{m_ids, true};
    if (m_kind == otherTree && m_node.kind == QLatin1String("SU"))
        return EntityDrop{{m_node.id}, false};
    return std::nullopt;
}

QString Payload::text() const
{
    switch (m_kind) {
    case Kind::SingleEntity:
        return singleEntity(m_ids.value(0));
    case Kind::EntityList:
        return entityList(m_ids);
    case Kind::TreeNode:
        return kTreeNode + m_node.text();
    case Kind::AnalysisNode:
        return kAnalysis + m_node.text();
    case Kind::Aggregate:
        return aggregate(m_indices.value(0));
    case Kind::IndicatorsSeveral: {
        // Kept in the order carried, as the receiver adds the columns in that order.
        QString text = kIndicatorsSeveral;
        for (int i : m_indices)
            text += QString::number(i) + QLatin1Char('_');
        return text;
    }
    case Kind::IndicatorOne:
        return indicatorOne(m_indices.value(0));
    }
    return QString();
}

} // namespace verna::selection

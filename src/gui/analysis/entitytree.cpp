#include "analysis/entitytree.h"

#include "analysis/analysisdata.h"
#include "analysis/rowkey.h"

#include <QTreeWidgetItemIterator>

namespace verna::analysis {

namespace {
constexpr int kEntityRole = Qt::UserRole + 1;

QTreeWidgetItem *node(const QString &key, const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, EntityTree::kKeyRole, key);
    return item;
}
} // namespace

Result<std::optional<EntityNodes>> readEntityNodes(AnalysisData &data, qint32 id, const std::function<bool()> &shouldStop)
{
    using Nodes = Result<std::optional<EntityNodes>>;
    const auto identity = data.entityIdentity(id);
    if (!identity.ok())
        return Nodes::failure(identity.error);
    if (!identity.value)
        return {};
    EntityNodes nodes;
    nodes.id = id;
    nodes.text = identity.value->first + QLatin1Char(' ') + identity.value->second;
    const auto years = data.yearsOf(id);
    if (!years.ok())
        return Nodes::failure(years.error);
    for (int year : years.value) {
        if (shouldStop && shouldStop())
            return {};
        const auto quarters = data.treeQuarters(id, year);
        if (!quarters.ok())
            return Nodes::failure(quarters.error);
        nodes.years.append({year, quarters.value});
    }
    return {nodes, {}};
}

EntityTree::EntityTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setDragEnabled(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

bool EntityTree::hasEntity(qint32 id) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->data(0, kEntityRole).toInt() == id)
            return true;
    }
    return false;
}

QList<qint32> EntityTree::entities() const
{
    QList<qint32> ids;
    for (int i = 0; i < topLevelItemCount(); ++i)
        ids << topLevelItem(i)->data(0, kEntityRole).toInt();
    return ids;
}

void EntityTree::addEntity(const EntityNodes &nodes)
{
    if (hasEntity(nodes.id))
        return;
    const QString id = QString::number(nodes.id);
    QTreeWidgetItem *root = node(QStringLiteral("SU") + id, nodes.text);
    root->setData(0, kEntityRole, nodes.id);
    for (const EntityNodes::Year &y : nodes.years) {
        const QString year = QString::number(y.year);
        QTreeWidgetItem *yearNode = node(QStringLiteral("SY") + year + QLatin1Char('_') + id, year);
        for (int quarter : y.quarters) {
            const RowKey key{y.year, quarter, nodes.id};
            yearNode->addChild(node(QStringLiteral("SQ") + key.toString(), key.quarterText() + QStringLiteral(". Q")));
        }
        root->addChild(yearNode);
    }
    addTopLevelItem(root);
}

QString EntityTree::selectedKey() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->data(0, kKeyRole).toString();
}

QTreeWidgetItem *EntityTree::findKey(const QString &key) const
{
    for (QTreeWidgetItemIterator it(const_cast<EntityTree *>(this)); *it; ++it) {
        if ((*it)->data(0, kKeyRole).toString() == key)
            return *it;
    }
    return nullptr;
}

void EntityTree::startDrag(Qt::DropActions)
{
    if (m_starter)
        m_starter();
}

} // namespace verna::analysis

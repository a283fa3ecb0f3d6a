#include "selection/datatree.h"

#include "selection/treedata.h"

#include <QTreeWidgetItemIterator>

namespace verna::selection {

namespace {
QTreeWidgetItem *item(const TreeNode &node)
{
    auto *out = new QTreeWidgetItem(QStringList{node.text});
    out->setData(0, DataTree::kKeyRole, node.key);
    out->setData(0, DataTree::kTagRole, node.tag);
    DataTree::addChildren(out, node.children);
    return out;
}
} // namespace

DataTree::DataTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setDragEnabled(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Item lines are aligned in columns.
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    setFont(fixed);
}

bool DataTree::hasEntity(qint32 id) const
{
    return entities().contains(id);
}

QList<qint32> DataTree::entities() const
{
    QList<qint32> ids;
    for (int i = 0; i < topLevelItemCount(); ++i)
        ids << topLevelItem(i)->data(0, kEntityRole).toInt();
    return ids;
}

void DataTree::addEntity(qint32 id, const TreeNode &node)
{
    if (hasEntity(id))
        return;
    QTreeWidgetItem *root = item(node);
    root->setData(0, kEntityRole, id);
    addTopLevelItem(root);
}

void DataTree::addChildren(QTreeWidgetItem *parent, const QList<TreeNode> &nodes)
{
    QList<QTreeWidgetItem *> items;
    for (const TreeNode &node : nodes)
        items << item(node);
    parent->addChildren(items);
}

QTreeWidgetItem *DataTree::findKey(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<DataTree *>(this)); *it; ++it) {
        if (DataTree::key(*it) == key)
            return *it;
    }
    return nullptr;
}

QString DataTree::key(const QTreeWidgetItem *item)
{
    return item ? item->data(0, kKeyRole).toString() : QString();
}

QString DataTree::tag(const QTreeWidgetItem *item)
{
    return item ? item->data(0, kTagRole).toString() : QString();
}

QString DataTree::selectedKey() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : key(selected.front());
}

void DataTree::startDrag(Qt::DropActions)
{
    if (m_starter)
        m_starter();
}

} // namespace verna::selection

#pragma once

#include <QTreeWidget>
#include <functional>

namespace verna::selection {

struct TreeNode;

// tvwData of the data-selection window: keyed nodes (the key and the tag kept in item data),
// entities at the top level. A drag starts through the window, with the node's key.
class DataTree : public QTreeWidget
{
    Q_OBJECT
public:
    static constexpr int kKeyRole = Qt::UserRole;
    static constexpr int kTagRole = Qt::UserRole + 1;
    static constexpr int kEntityRole = Qt::UserRole + 2;

    explicit DataTree(QWidget *parent = nullptr);

    bool hasEntity(qint32 id) const;
    QList<qint32> entities() const;
    // Adds an entity's node with all its children at the top level.
    void addEntity(qint32 id, const TreeNode &node);
    // Adds nodes under parent.
    static void addChildren(QTreeWidgetItem *parent, const QList<TreeNode> &nodes);
    QTreeWidgetItem *findKey(const QString &key) const;
    static QString key(const QTreeWidgetItem *item);
    static QString tag(const QTreeWidgetItem *item);
    QString selectedKey() const;

    void setDragStarter(std::function<void()> starter) { m_starter = std::move(starter); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::function<void()> m_starter;
};

} // namespace verna::selection

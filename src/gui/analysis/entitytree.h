#pragma once

#include "db/outcome.h"

#include <QList>
#include <QTreeWidget>
#include <functional>
#include <optional>

namespace verna::analysis {

class AnalysisData;
using verna::Result;

// What the analysis window's tree shows of one entity: "IČO name", its years and, under each
// year, the quarters that have an income statement.
struct EntityNodes {
    struct Year {
        int year = 0;
        QList<int> quarters;
    };
    qint32 id = 0;
    QString text;
    QList<Year> years;
};

// Reads an entity's nodes; nullopt when no live entity has the id or shouldStop ended it, an
// error when a read failed.
Result<std::optional<EntityNodes>> readEntityNodes(AnalysisData &data, qint32 id, const std::function<bool()> &shouldStop = {});

// tvwData: entities ("SU" + id), their years ("SY" + year + "_" + id) and quarters ("SQ" +
// row key, text "N. Q"); each node's key is kept in its item data.
class EntityTree : public QTreeWidget
{
    Q_OBJECT
public:
    static constexpr int kKeyRole = Qt::UserRole;

    explicit EntityTree(QWidget *parent = nullptr);

    bool hasEntity(qint32 id) const;
    // The entities in the order they were added.
    QList<qint32> entities() const;
    // Adds the entity's nodes unless the entity is there already.
    void addEntity(const EntityNodes &nodes);
    // Key of the selected node, "" for none.
    QString selectedKey() const;
    QTreeWidgetItem *findKey(const QString &key) const;

    void setDragStarter(std::function<void()> starter) { m_starter = std::move(starter); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::function<void()> m_starter;
};

} // namespace verna::analysis

#include "selection/frmvyberdat.h"

#include "db/sqlquote.h"
#include "entities/groupmembers.h"
#include "indicators/evaluator.h"
#include "selection/datatree.h"
#include "selection/payload.h"
#include "selection/treedata.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace verna::selection {

// What a long task reads with; it holds its own reference, so it outlives a closed window.
struct frmVyberDat::Session {
    explicit Session(db::Database &database)
        : db(database)
        , evaluator(database)
        , data(database, evaluator)
    {
    }

    db::Database &db;
    indicators::Evaluator evaluator;
    TreeData data;
};

frmVyberDat::frmVyberDat(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_session(std::make_shared<Session>(state.database()))
{
    setObjectName(QStringLiteral("frmVyberDat"));
    setWindowTitle(kCaption);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tvwData = new DataTree(this);
    m_tvwData->setObjectName(QStringLiteral("tvwData"));
    m_tvwData->setDragStarter([this] { tvwData_OLEStartDrag(); });
    layout->addWidget(m_tvwData);
    ui::acceptTextDrops(m_tvwData, [this](const QString &text, const QPoint &) { tvwData_OLEDragDrop(text); });
    connect(m_tvwData, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *node) { tvwData_NodeClick(node); });
    Form_Load();
}

frmVyberDat::~frmVyberDat() = default;

void frmVyberDat::Form_Load()
{
    shell::frmHlavni::sizeChild(this, 0.5, 0.4, QSize(560, 420));
    // The handed-over entity is added once the window stands in its frame.
    if (const std::optional<qint32> entity = m_state.entityToOpen())
        QTimer::singleShot(0, this, [this, id = *entity] { addEntities({id}, true); });
}

void frmVyberDat::showFailure(const QString &what, const QString &reason)
{
    ui::databaseFailure(this, kCaption, what, reason);
}

void frmVyberDat::tvwData_OLEDragDrop(const QString &text)
{
    if (ui::isBusy(this))
        return;
    const auto payload = Payload::parse(text);
    if (const auto drop = payload ? payload->entityDrop(Payload::Kind::AnalysisNode) : std::nullopt)
        addEntities(drop->ids, drop->expandGroups);
}

void frmVyberDat::tvwData_OLEStartDrag()
{
    if (ui::isBusy(this))
        return;
    const QString payload = Payload::treeNode(m_tvwData->selectedKey());
    if (!payload.isEmpty())
        ui::startTextDrag(m_tvwData, payload);
}

void frmVyberDat::addEntities(const QList<qint32> &ids, bool expandGroups)
{
    const std::shared_ptr<Session> session = m_session;
    const QPointer<DataTree> tree = m_tvwData;
    QString failure;
    const ui::TaskEnd end = ui::runLongTask(this, nullptr, [&](ui::LongTask &task) {
        for (qint32 id : ids) {
            const Result<QList<qint32>> entities = entities::entitiesToAdd(session->db, id, expandGroups);
            if (!entities.ok()) {
                failure = entities.error;
                return;
            }
            for (qint32 entity : entities.value) {
                if (!task.next())
                    return;
                if (tree->hasEntity(entity))
                    continue;
                // Read whole, then added whole: a stopped read leaves nothing behind.
                const auto node = session->data.entity(entity, task.stopCheck());
                if (!node.ok()) {
                    failure = node.error;
                    return;
                }
                if (task.stopped())
                    return;
                if (node.value)
                    tree->addEntity(entity, *node.value);
            }
        }
    });
    if (end != ui::TaskEnd::WindowGone && !failure.isEmpty())
        showFailure(QStringLiteral("Subjekty nelze přidat, databáze ohlásila chybu."), failure);
}

void frmVyberDat::tvwData_NodeClick(QTreeWidgetItem *node)
{
    if (!node || ui::isBusy(this))
        return;
    if (DataTree::tag(node).startsWith(QLatin1String("SK")))
        loadMembers(node);
    else
        loadView(node);
}

void frmVyberDat::loadView(QTreeWidgetItem *node)
{
    const auto key = NodeKey::parseTreeKey(DataTree::key(node));
    static const QStringList views = {QStringLiteral("QW"), QStringLiteral("QV"), QStringLiteral("QZ"),
                                      QStringLiteral("QF"), QStringLiteral("QP"), QStringLiteral("QG")};
    if (!key || !views.contains(key->kind))
        return;
    const std::shared_ptr<Session> session = m_session;
    Result<QList<TreeNode>> items;
    const ui::TaskEnd end = ui::runLongTask(this, nullptr, [&](ui::LongTask &) { items = session->data.viewItems(*key); });
    if (end == ui::TaskEnd::WindowGone || end == ui::TaskEnd::Refused)
        return;
    if (!items.ok()) {
        showFailure(QStringLiteral("Položky stromu nelze načíst, databáze ohlásila chybu."), items.error);
        return;
    }
    DataTree::addChildren(node, items.value);
    node->setData(0, DataTree::kKeyRole, TreeData::loadedKey(key->text()));
    node->setExpanded(true);
}

void frmVyberDat::loadMembers(QTreeWidgetItem *node)
{
    const auto group = db::parseId(DataTree::tag(node).mid(2));
    if (!group)
        return;
    const std::shared_ptr<Session> session = m_session;
    Result<QStringList> names;
    bool stopped = false;
    const ui::TaskEnd end = ui::runLongTask(this, nullptr, [&](ui::LongTask &task) {
        names = session->data.memberNames(*group, task.stopCheck());
        stopped = task.stopped();
    });
    if (end == ui::TaskEnd::WindowGone || end == ui::TaskEnd::Refused || stopped)
        return;
    if (!names.ok()) {
        showFailure(QStringLiteral("Členy skupiny nelze načíst, databáze ohlásila chybu."), names.error);
        return;
    }
    QList<TreeNode> members;
    for (const QString &name : std::as_const(names.value))
        members.append(TreeNode{{}, name, {}, {}});
    DataTree::addChildren(node, members);
    node->setData(0, DataTree::kTagRole, QStringLiteral("NK") + QString::number(*group));
    node->setExpanded(true);
}

} // namespace verna::selection

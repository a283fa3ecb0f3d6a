#include "entities/foundlist.h"

#include "ui/messages.h"

namespace verna::entities {

FoundList::FoundList(QObject *parent)
    : QAbstractListModel(parent)
{
}

void FoundList::append(const ListItem &line)
{
    m_texts.append(line.text.toUtf8());
    m_ends.push_back(m_texts.size());
    m_ids.push_back(line.id);
    // The first lines show at once; the rest join in one step per turn of the event loop, so
    // the views lay out and paint once per batch rather than once per line.
    if (m_shown == 0) {
        showTaken();
    } else if (!m_batchPosted) {
        m_batchPosted = true;
        QMetaObject::invokeMethod(this, &FoundList::showTaken, Qt::QueuedConnection);
    }
}

void FoundList::showTaken()
{
    m_batchPosted = false;
    const int taken = static_cast<int>(m_ids.size());
    if (taken == m_shown)
        return;
    beginInsertRows({}, m_shown, taken - 1);
    m_shown = taken;
    endInsertRows();
}

void FoundList::clear()
{
    beginResetModel();
    m_texts = QByteArray();
    std::vector<qsizetype>().swap(m_ends);
    std::vector<qint32>().swap(m_ids);
    m_shown = 0;
    endResetModel();
}

QString FoundList::text(int row) const
{
    const qsizetype begin = row > 0 ? m_ends[row - 1] : 0;
    return QString::fromUtf8(m_texts.constData() + begin, m_ends[row] - begin);
}

qint32 FoundList::id(int row) const
{
    return m_ids[row];
}

int FoundList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

QVariant FoundList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row());
    case Qt::ToolTipRole: // long names show whole in the narrow window
        return ui::plainToolTip(text(index.row()));
    case Qt::UserRole:
        return id(index.row());
    default:
        return {};
    }
}

Qt::ItemFlags FoundList::flags(const QModelIndex &index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsDragEnabled;
}

} // namespace verna::entities

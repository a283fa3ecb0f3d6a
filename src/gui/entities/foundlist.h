#pragma once

#include "entities/entitysearch.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <vector>

namespace verna::entities {

// The lines of the search window's result list, light enough for a listing of a million
// entities: the texts in one UTF-8 buffer with their ends, the ids beside them. Lines are
// taken in as the search reads them and shown in batches: views hear of the lines taken since
// the last batch once per turn of the event loop, and at once of the first lines of a listing.
class FoundList : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit FoundList(QObject *parent = nullptr);

    // Takes a line in; it shows with the next batch.
    void append(const ListItem &line);
    // Shows the lines taken in so far now (a listing's end).
    void showTaken();
    // Drops every line and gives its memory back.
    void clear();

    // The line's text and id; the row is one the views know.
    QString text(int row) const;
    qint32 id(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QByteArray m_texts;
    std::vector<qsizetype> m_ends; // where each line's text ends in m_texts
    std::vector<qint32> m_ids;
    int m_shown = 0;               // lines the views know; those after them wait for the batch
    bool m_batchPosted = false;
};

} // namespace verna::entities

#include "entities/notes.h"

#include "base/textforms.h"
#include "db/audit.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"

namespace verna::entities {

QString noteLineInsert(int dialect, int textId, int sequence, const QString &line)
{
    const QString values = QStringLiteral(",0,%1,%2,").arg(textId).arg(sequence) + db::quoted(line) + QStringLiteral(")");
    if (dialect == 2) {
        return QStringLiteral("DECLARE @row int\rselect @row = (min(row_id)-1) from text\rINSERT INTO text VALUES(@row,null")
            + values;
    }
    return QStringLiteral("INSERT INTO text VALUES((select (min(row_id)-1) from text),getdate()") + values;
}

Outcome storeNote(db::Database &db, const QString &entityId, const QString &note, int dialect)
{
    if (!db::isId(entityId))
        return Outcome::failure(QStringLiteral("Neplatné číslo subjektu: ") + entityId);
    // A note written as part of a larger write (a new entity) is recorded by that write.
    const bool recorded = !db.inTransaction();
    db::Transaction tx(db);
    if (!tx.isActive())
        return Outcome::failure(db.lastError());
    // Two writers must not both take max(text_id)+1.
    if (Outcome locked = db.serialiseWriters(QStringLiteral("text")); !locked)
        return locked;
    // Ids read back go into SQL too: they are checked as numbers like any other id.
    const Result<QString> oldId = db.readValue(QStringLiteral("SELECT text_id FROM subj WHERE subj_id = ") + entityId);
    if (!oldId.ok())
        return oldId.outcome();
    if (!oldId.value.isEmpty()) {
        const auto id = db::parseId(oldId.value);
        if (!id)
            return Outcome::failure(QStringLiteral("Neplatné číslo poznámky: ") + oldId.value);
        if (Outcome deleted = db.execute(QStringLiteral("DELETE FROM text WHERE text_id = %1").arg(*id)); !deleted)
            return deleted;
    }
    const Result<QString> maxId = db.readValue(QStringLiteral("SELECT max(text_id) FROM text"));
    if (!maxId.ok())
        return maxId.outcome();
    const auto max = maxId.value.isEmpty() ? std::optional<qint32>(0) : db::parseId(maxId.value);
    if (!max)
        return Outcome::failure(QStringLiteral("Neplatné číslo poznámky: ") + maxId.value);
    const int textId = *max + 1;
    const QStringList lines = base::noteLines(note);
    for (int k = 0; k < lines.size(); ++k) {
        if (Outcome inserted = db.execute(noteLineInsert(dialect, textId, k + 1, lines.at(k))); !inserted)
            return inserted;
    }
    if (Outcome linked = db.execute(QStringLiteral("UPDATE subj SET text_id = %1 WHERE subj_id = ").arg(textId) + entityId); !linked)
        return linked;
    if (recorded) {
        const qint32 entity = db::parseId(entityId).value_or(0);
        if (Outcome o = db::audit::record(db, {{db::audit::kChange, db::audit::kNote, entity, entity, QStringLiteral("poznámka")}}); !o)
            return o;
    }
    if (!tx.commit())
        return Outcome::failure(db.lastError());
    return Outcome::success();
}

Result<QString> loadNote(db::Database &db, const QString &entityId)
{
    if (!db::isId(entityId))
        return {};
    const Result<QString> linked = db.readValue(QStringLiteral("SELECT text_id FROM subj WHERE inac_ind = 0 AND subj_id = ") + entityId);
    if (!linked.ok())
        return linked;
    const auto textId = db::parseId(linked.value);
    if (!textId)
        return {};
    Result<QString> note;
    db::RecordSet rs = db.openRecordSet(QStringLiteral("SELECT line_txt FROM text WHERE text_id = ") + QString::number(*textId)
                                        + QStringLiteral(" ORDER BY seq_nbr"));
    while (rs.next())
        note.value += rs.text(0);
    // next() ends both at the last line and on a failure: half a note is no note.
    if (!rs.error().isEmpty())
        return Result<QString>::failure(rs.error());
    return note;
}

} // namespace verna::entities

#include "shell/modhlavni.h"

#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"

namespace verna::shell::modHlavni {

QString singleValue(db::Database &db, const QString &sql)
{
    return db.singleValue(sql);
}

Result<bool> isSingleEntity(db::Database &db, const QString &entityId)
{
    if (!db::isId(entityId))
        return {false, {}};
    const db::Rows rows = db.queryRows(
        QStringLiteral("SELECT subj_id FROM ident WHERE form_type_cd = 215 AND inac_ind IN(0,1) AND subj_id = '") + entityId
        + QStringLiteral("'"));
    if (!rows.ok())
        return Result<bool>::failure(rows.error);
    return {rows.rows.isEmpty(), {}};
}

Result<QList<qint32>> groupMembers(db::Database &db, qint32 group)
{
    const db::Rows rows = db.queryRows(QStringLiteral("SELECT mem_id FROM mem WHERE subj_id = ") + QString::number(group)
                                       + QStringLiteral(" AND inac_ind = 0"));
    if (!rows.ok())
        return Result<QList<qint32>>::failure(rows.error);
    Result<QList<qint32>> members;
    for (const QStringList &row : rows.rows) {
        if (const auto id = db::parseId(row.value(0)))
            members.value << *id;
    }
    return members;
}

Result<QList<qint32>> entitiesToAdd(db::Database &db, qint32 entity, bool expandGroups)
{
    const Result<bool> single = expandGroups ? isSingleEntity(db, QString::number(entity)) : Result<bool>{true, {}};
    if (!single.ok())
        return Result<QList<qint32>>::failure(single.error);
    if (single.value)
        return {{entity}, {}};
    return groupMembers(db, entity);
}

QString &padIco(QString &ico)
{
    while (ico.size() < 8)
        ico.prepend(QLatin1Char('0'));
    return ico;
}

QString searchForm(const QString &name)
{
    static const QString dropped = QStringLiteral("' ._()/\\-,:");
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (!dropped.contains(c))
            out += c;
    }
    return out;
}

QStringList noteLines(const QString &note)
{
    constexpr int kLine = 255;
    const int size = static_cast<int>(note.size());
    QStringList lines;
    int start = 0;
    while (true) {
        int length = std::min(kLine, size - start);
        // Keep a surrogate pair together; that line then holds 254 units.
        if (length == kLine && note.at(start + length - 1).isHighSurrogate())
            --length;
        lines << note.mid(start, length);
        start += length;
        if (length < kLine && start >= size)
            return lines; // a note whose length is a multiple of 255 ends with an empty line
    }
}

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
    const QStringList lines = noteLines(note);
    for (int k = 0; k < lines.size(); ++k) {
        if (Outcome inserted = db.execute(noteLineInsert(dialect, textId, k + 1, lines.at(k))); !inserted)
            return inserted;
    }
    if (Outcome linked = db.execute(QStringLiteral("UPDATE subj SET text_id = %1 WHERE subj_id = ").arg(textId) + entityId); !linked)
        return linked;
    if (!tx.commit())
        return Outcome::failure(db.lastError());
    return Outcome::success();
}

QString loadNote(db::Database &db, const QString &entityId)
{
    if (!db::isId(entityId))
        return QString();
    const auto textId = db::parseId(db.singleValue(QStringLiteral("SELECT text_id FROM subj WHERE inac_ind = 0 AND subj_id = ") + entityId));
    if (!textId)
        return QString();
    QString note;
    db::RecordSet rs = db.openRecordSet(QStringLiteral("SELECT line_txt FROM text WHERE text_id = ") + QString::number(*textId)
                                        + QStringLiteral(" ORDER BY seq_nbr"));
    while (rs.next())
        note += rs.text(0);
    return note;
}

} // namespace verna::shell::modHlavni

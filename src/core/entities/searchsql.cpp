#include "entities/searchsql.h"

#include "base/textforms.h"
#include "db/sqlitefunctions.h"
#include "db/sqlquote.h"

#include <QStringList>

namespace verna::entities {

namespace {

QString joinedCodes(const QList<qint32> &codes)
{
    QStringList parts;
    for (qint32 code : codes)
        parts << QString::number(code);
    return parts.join(QLatin1Char(','));
}

QString firstUpper(const QString &text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

const QString kEntityColumns = QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(n.name_txt)), RTRIM(LTRIM(i.ident_txt)), n.subj_id ");

} // namespace

QString likeLiteralText(const QString &typed)
{
    QString out;
    out.reserve(typed.size() + 8);
    for (const QChar c : typed) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('['))
            out += QLatin1Char('[') + c + QLatin1Char(']');
        else
            out += c;
    }
    return db::escapeApostrophes(out);
}

QString likePatternText(const QString &typed)
{
    QStringList pieces = typed.split(QLatin1Char('%'));
    for (QString &piece : pieces)
        piece = likeLiteralText(piece);
    return pieces.join(QLatin1Char('%'));
}

namespace searchSql {

QString legalForms()
{
    return QStringLiteral("SELECT RTRIM(LTRIM(value_txt)), RTRIM(LTRIM(val_agn)) FROM cd_val WHERE tbl_cd = 1 AND inac_ind = 0");
}

QString classificationLists()
{
    return QStringLiteral("SELECT RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE tbl_cd = 216 AND inac_ind = 0");
}

QString byName(const NameQuery &query)
{
    QString sql = QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)), n.subj_id FROM ident i, name n ")
        + QStringLiteral("WHERE i.subj_id = n.subj_id AND i.inac_ind = 0 AND n.inac_ind = 0 ");
    if (query.legalForms.size() > 1)
        sql += QStringLiteral("AND i.form_type_cd IN(") + joinedCodes(query.legalForms) + QStringLiteral(") ");
    else if (query.legalForms.size() == 1)
        sql += QStringLiteral("AND i.form_type_cd = ") + QString::number(query.legalForms.front()) + QLatin1Char(' ');

    QString ico = query.ico.trimmed();
    const QString name = query.name.trimmed();
    if (!ico.isEmpty()) {
        sql += QStringLiteral("AND i.ident_txt LIKE '") + likeLiteralText(base::padIco(ico)) + QStringLiteral("' ");
    } else if (!(name.isEmpty() && !query.legalForms.isEmpty())) {
        // A typed "%" is the one wildcard a user may type ("%ova", "Str%Lhota"); everything
        // else typed matches itself.
        const QString form = base::searchForm(firstUpper(name));
        sql += QStringLiteral("AND n.srch_name_txt LIKE '") + likePatternText(form) + QStringLiteral("%' ");
    }
    sql += QStringLiteral("AND i.inac_ind = 0 ORDER BY 2");
    return sql;
}

namespace {

// The folded pattern of a name search, the literal start before any "%", and the longest typed
// piece: trigrams (three characters at least) narrow a search anywhere.
struct FoldedName {
    QString form;
    QString prefix;
    QString piece;

    explicit FoldedName(const NameQuery &query)
        : form(db::searchFold(base::searchForm(query.name.trimmed())))
    {
        if (query.anywhere && !form.startsWith(QLatin1Char('%')))
            form.prepend(QLatin1Char('%'));
        const qsizetype wildcard = form.indexOf(QLatin1Char('%'));
        prefix = form.left(wildcard < 0 ? form.size() : wildcard);
        for (const QString &part : form.split(QLatin1Char('%'))) {
            if (part.size() > piece.size())
                piece = part;
        }
    }
};

// Backslash escapes what the user typed for LIKE; a typed "%" stays the one wildcard.
QString backslashEscaped(const QString &typed)
{
    QString pattern;
    for (const QChar c : typed) {
        if (c == QLatin1Char('_') || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern;
}

// The first three characters (code points, as the server counts them) of a folded start, or all
// of a shorter one.
QString startLetters(const QString &prefix)
{
    const QList<uint> points = prefix.toUcs4();
    const QList<uint> first = points.mid(0, 3);
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(first.constData()), first.size());
}

// Letters as the server's left() counts them: a character past U+FFFF is one, not two.
qsizetype startLength(const QString &prefix)
{
    return std::min<qsizetype>(3, prefix.toUcs4().size());
}

} // namespace

bool inFoldOrder(const NameQuery &query, db::Backend backend, bool withSearchKeys)
{
    return backend == db::Backend::SQLite && withSearchKeys && query.ico.trimmed().isEmpty();
}

QString byNameFolded(const NameQuery &query, db::Backend backend, bool withSearchKeys, bool manyTrigramHits)
{
    const bool sqlite = backend == db::Backend::SQLite;
    QString ico = query.ico.trimmed();
    const QString name = query.name.trimmed();
    const bool byName = ico.isEmpty() && !(name.isEmpty() && !query.legalForms.isEmpty());
    const FoldedName folded(query);
    const QString &form = folded.form;
    const QString &prefix = folded.prefix;
    const QString &piece = folded.piece;
    const bool keyOrder = inFoldOrder(query, backend, withSearchKeys);
    // PostgreSQL joins the few names a prefix or trigrams find to their identifiers one seek
    // each; left to itself it hashes the whole identifier table for them. OFFSET 0 keeps the
    // planner from turning the lateral lookup back into a plain join.
    const bool seekIdents = backend == db::Backend::PostgreSQL && byName && (!prefix.isEmpty() || piece.size() >= 3);
    const bool storedKeys = sqlite && withSearchKeys && (byName || keyOrder);
    const QString like = db::quoted(backslashEscaped(form) + QLatin1Char('%')) + (sqlite ? QStringLiteral(" ESCAPE '\\'") : QString());
    // SQLite seeks the stored keys' index by a range; PostgreSQL takes the prefix from LIKE itself.
    const auto range = [&](const QString &column) {
        return QStringLiteral("%1 >= %2 AND %1 < %3 ").arg(column, db::quoted(prefix), db::quoted(prefix + QString::fromUcs4(U"\U0010FFFF")));
    };
    // Anywhere in the name: the trigram table narrows the rows to those holding the longest typed
    // piece, LIKE then checks the whole pattern.
    const QString trigrams = QStringLiteral("row_id IN (SELECT rowid FROM name_fold WHERE name_fold MATCH %1) ")
                                 .arg(db::quoted(QLatin1Char('"') + QString(piece).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"')));
    // A prefix, or trigrams that find a few names, narrow the search: those rows are put in key
    // order from the index alone, before any name or identifier is read, and the first of many
    // come at once. Trigrams that find many names are checked along the key order instead.
    const bool narrowed = keyOrder && byName && (!prefix.isEmpty() || (piece.size() >= 3 && !manyTrigramHits));
    QString sql = QStringLiteral("SELECT TRIM(i.ident_txt), TRIM(n.name_txt), n.subj_id");
    if (keyOrder)
        sql += QStringLiteral(", f.ord_txt");
    if (narrowed) {
        // LIMIT keeps the sorted rows a subquery SQLite reads first (CROSS JOIN) and in its order.
        sql += QStringLiteral(" FROM (SELECT row_id, ord_txt FROM name_srch WHERE %1AND fold_txt LIKE %2 ORDER BY ord_txt LIMIT -1) f "
                              "CROSS JOIN name n CROSS JOIN ident i WHERE f.row_id = n.row_id AND i.subj_id = n.subj_id AND ")
                   .arg(prefix.isEmpty() ? trigrams : range(QStringLiteral("fold_txt")), like);
    } else if (keyOrder) {
        // In key order the index leads: the legal forms' index must not take its place and leave all
        // rows to be sorted before the first.
        sql += QStringLiteral(" FROM name_srch f INDEXED BY ix_name_srch_ord CROSS JOIN name n CROSS JOIN ident i "
                              "WHERE f.row_id = n.row_id AND i.subj_id = n.subj_id AND ");
        if (byName && piece.size() >= 3)
            sql += QStringLiteral("f.") + trigrams + QStringLiteral("AND ");
    } else if (seekIdents) {
        sql += QStringLiteral(" FROM name n CROSS JOIN LATERAL (SELECT ident_txt, inac_ind, form_type_cd FROM ident "
                              "WHERE subj_id = n.subj_id OFFSET 0) i WHERE ");
    } else {
        sql += QStringLiteral(" FROM ident i, name n") + (storedKeys ? QStringLiteral(", name_srch f") : QString())
            + QStringLiteral(" WHERE i.subj_id = n.subj_id AND ") + (storedKeys ? QStringLiteral("f.row_id = n.row_id AND ") : QString());
    }
    sql += QStringLiteral("i.inac_ind = 0 AND n.inac_ind = 0 ");
    if (query.legalForms.size() > 1)
        sql += QStringLiteral("AND i.form_type_cd IN(") + joinedCodes(query.legalForms) + QStringLiteral(") ");
    else if (query.legalForms.size() == 1)
        sql += QStringLiteral("AND i.form_type_cd = ") + QString::number(query.legalForms.front()) + QLatin1Char(' ');

    if (!ico.isEmpty()) {
        sql += QStringLiteral("AND i.ident_txt = ") + db::quoted(base::padIco(ico)) + QLatin1Char(' ');
    } else if (byName && !narrowed) {
        const QString foldedName = storedKeys ? QStringLiteral("f.fold_txt") : db::searchFoldSql(QStringLiteral("n.srch_name_txt"), backend);
        // PostgreSQL: three letters of a typed start pick the names in ix_name_start, which holds
        // them in name order: a large result starts at once, a small one is sorted.
        if (!sqlite && startLength(prefix) == 3)
            sql += QStringLiteral("AND left(%1, 3) = %2 ").arg(foldedName, db::quoted(startLetters(prefix)));
        if (sqlite && !prefix.isEmpty())
            sql += QStringLiteral("AND ") + range(foldedName);
        sql += QStringLiteral("AND %1 LIKE %2 ").arg(foldedName, like);
    }
    if (narrowed)
        return sql.trimmed();
    if (keyOrder)
        return sql + QStringLiteral("ORDER BY f.ord_txt");
    // PostgreSQL: a typed start of one or two letters finds its rows by the folded-name index
    // faster than a walk of all names in their order (ix_name_order) would reach them; the
    // appended "" keeps that walk out of the plan and the order as it is.
    if (!sqlite && seekIdents && !prefix.isEmpty() && startLength(prefix) < 3)
        return sql + QStringLiteral("ORDER BY TRIM(n.name_txt || '') COLLATE verna_ci");
    sql += QStringLiteral("ORDER BY TRIM(n.name_txt) COLLATE ")
        + (sqlite ? QString::fromLatin1(db::kSqliteTextCollation) : QStringLiteral("verna_ci"));
    return sql;
}

QString trigramHits(const NameQuery &query, int limit, db::Backend backend)
{
    const FoldedName folded(query);
    if (!query.ico.trimmed().isEmpty() || !folded.prefix.isEmpty() || folded.piece.size() < 3)
        return QString();
    if (backend == db::Backend::PostgreSQL) {
        // One arg() call: a typed "%1" in the pattern must not take the limit's place.
        return QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM name WHERE %1 LIKE %2 LIMIT %3) x")
            .arg(db::searchFoldSql(QStringLiteral("srch_name_txt"), backend),
                 db::quoted(QLatin1Char('%') + backslashEscaped(folded.piece) + QLatin1Char('%')), QString::number(limit));
    }
    return QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM name_fold WHERE name_fold MATCH %1 LIMIT %2)")
        .arg(db::quoted(QLatin1Char('"') + QString(folded.piece).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"')),
             QString::number(limit));
}

QString byIcoPart(const QString &digits)
{
    return QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)), n.subj_id FROM ident i, name n ")
        + QStringLiteral("WHERE i.subj_id = n.subj_id AND i.inac_ind = 0 AND n.inac_ind = 0 AND i.ident_txt LIKE '%")
        + likeLiteralText(digits) + QStringLiteral("%' ORDER BY 2");
}

QString branches(const BranchQuery &query)
{
    QString sql = QStringLiteral("SELECT RTRIM(LTRIM(short_txt)), RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE tbl_cd ");
    if (query.classifications.size() > 1)
        sql += QStringLiteral(" IN(") + joinedCodes(query.classifications) + QStringLiteral(") ");
    else if (query.classifications.size() == 1)
        sql += QStringLiteral(" = ") + QString::number(query.classifications.front()) + QLatin1Char(' ');
    else // branch lists only, never the other code lists
        sql += QStringLiteral(" IN(SELECT val_agn FROM cd_val WHERE tbl_cd = 216 AND inac_ind = 0) ");
    sql += QStringLiteral("AND inac_ind = 0 AND short_txt LIKE '") + likePatternText(query.code.trimmed()) + QStringLiteral("%' ")
        + QStringLiteral("AND value_txt LIKE '") + likePatternText(firstUpper(query.name.trimmed()))
        + QStringLiteral("%' ORDER BY seq_nbr");
    return sql;
}

QString branchEntities(qint32 branch, bool mainOnly)
{
    QString sql = kEntityColumns + QStringLiteral("FROM name n, ident i, actv a ")
        + QStringLiteral("WHERE n.subj_id = i.subj_id AND n.subj_id = a.subj_id AND n.inac_ind = 0 ")
        + QStringLiteral("AND i.inac_ind = 0 AND a.inac_ind = 0 AND actv_cd = ") + QString::number(branch) + QLatin1Char(' ');
    if (mainOnly)
        sql += QStringLiteral("AND actv_nbr = 1 ");
    sql += QStringLiteral("ORDER BY 1");
    return sql;
}

QString mainBranch(qint32 entity)
{
    return QStringLiteral("SELECT DISTINCT actv_cd FROM actv WHERE subj_id = ") + QString::number(entity)
        + QStringLiteral(" AND inac_ind = 0 AND actv_nbr = 1");
}

QString sameBranchEntities(qint32 entity)
{
    // The entity's own branches count only while they are live.
    return kEntityColumns + QStringLiteral("FROM name n, ident i, actv a1, actv a2 ")
        + QStringLiteral("Where n.subj_id = i.subj_id And n.subj_id = a1.subj_id And n.inac_ind = 0 ")
        + QStringLiteral("AND i.inac_ind = 0 AND a1.inac_ind = 0 AND a1.actv_cd = a2.actv_cd AND a2.subj_id = ")
        + QString::number(entity) + QStringLiteral(" AND a2.inac_ind = 0 ORDER BY 1");
}

QString sameBranchEntitiesPostgres(const QList<qint32> &branches)
{
    return QStringLiteral("SELECT TRIM(n.name_txt), TRIM(i.ident_txt), n.subj_id FROM name n, ident i "
                          "WHERE n.subj_id = i.subj_id AND n.inac_ind = 0 AND i.inac_ind = 0 "
                          "AND EXISTS (SELECT 1 FROM actv a1 WHERE a1.subj_id = n.subj_id AND a1.inac_ind = 0 AND a1.actv_cd IN (%1)) "
                          // Two live names of one entity that compare equal list once, as under DISTINCT.
                          "AND NOT EXISTS (SELECT 1 FROM name n2 WHERE n2.subj_id = n.subj_id AND n2.inac_ind = 0 "
                          "AND n2.row_id < n.row_id AND TRIM(n2.name_txt) = TRIM(n.name_txt)) "
                          "ORDER BY TRIM(n.name_txt) COLLATE verna_ci, 2, 3")
        .arg(joinedCodes(branches));
}

} // namespace searchSql

} // namespace verna::entities

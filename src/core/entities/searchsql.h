#pragma once

#include "db/backend.h"

#include <QList>
#include <QString>

namespace verna::entities {

// What the name mode of the search window searches with.
struct NameQuery {
    QString name;              // the name box as typed
    QString ico;               // the IČO box as typed; when filled, the name is ignored
    QList<qint32> legalForms;  // codes of the selected legal forms; none means all
    bool anywhere = false;     // the name anywhere in the entity's name, not only at its start
};

// What the branch mode searches with.
struct BranchQuery {
    QString code;                 // start of the branch code (the IČO box)
    QString name;                 // start of the branch name (the name box)
    QList<qint32> classifications; // selected branch classification lists; none means all of list 216
};

// A typed text as the inside of a T-SQL LIKE literal that matches exactly that text:
// apostrophes doubled, "%", "_" and "[" each in brackets.
QString likeLiteralText(const QString &typed);

// The same, except that a typed "%" stays the wildcard it is for the user.
QString likePatternText(const QString &typed);

// The SQL texts of the search window. Every number is a checked integer and every typed
// text goes through likeLiteralText or likePatternText, so nothing typed can end the literal or
// widen the match beyond the "%" the user typed.
namespace searchSql {

QString legalForms();
QString classificationLists();

// Identifier, name and id of the entities that match; ordered by name.
QString byName(const NameQuery &query);

// Code, name and code value of the branches that match; ordered as the list orders them.
QString branches(const BranchQuery &query);

// The name search as SQLite and PostgreSQL run it: the same rows as byName, with names compared
// without diacritics ("cesky" finds "Český"), through the folded-name index.
// withSearchKeys: the SQLite database stores the folded names and the names' order keys
// (name_srch) and their trigrams (name_fold); a file of an older schema, read as it is, folds
// each name in the query instead.
// manyTrigramHits: a search anywhere whose trigrams find many names (trigramHits) checks them
// along the order keys rather than sorting them first.
QString byNameFolded(const NameQuery &query, db::Backend backend, bool withSearchKeys = true, bool manyTrigramHits = false);

// How many names, up to limit, hold the longest typed piece of a search anywhere in the name, by
// the trigrams (SQLite with the stored keys, PostgreSQL); "" when the search does not go by them.
QString trigramHits(const NameQuery &query, int limit, db::Backend backend = db::Backend::SQLite);

// Whether byNameFolded hands its rows in the order of the names' order keys (a fourth column)
// rather than sorted by name: on SQLite with the stored keys, for every search by name. A large
// result then starts at once, with no sort of whole rows before the first; EntitySearch puts
// the rows of one key in name order as they come.
bool inFoldOrder(const NameQuery &query, db::Backend backend, bool withSearchKeys = true);

// Identifier, name and id of the live entities whose IČO contains the digits.
QString byIcoPart(const QString &digits);

// Name, identifier and id of the entities with the branch (as main branch only, if asked).
QString branchEntities(qint32 branch, bool mainOnly);

// The main branch of an entity, for the single-value query.
QString mainBranch(qint32 entity);

// Name, identifier and id of the entities sharing any live branch with the entity.
QString sameBranchEntities(qint32 entity);

// The same rows in the same order as PostgreSQL runs them, given the entity's live branch codes:
// with the codes known, the planner tells a large branch (read in name order, ix_name_order, the
// first rows at once) from a small one (sorted). Each entity once, as DISTINCT gives it.
QString sameBranchEntitiesPostgres(const QList<qint32> &branches);

} // namespace searchSql

} // namespace verna::entities

#pragma once

#include "db/outcome.h"
#include "entities/entitysearch.h"

#include <QList>
#include <QString>
#include <optional>

namespace verna::db {
class Database;
}

namespace verna::entities {

// What the new-entity window collects.
struct NewEntity {
    QString ico;   // eight digits
    QString name;  // as typed; stored trimmed
    std::optional<qint32> entityType;
    std::optional<qint32> legalForm;
    QString note;
    // Branch codes by position, the main branch first; 0 = none.
    QList<qint32> branches;
};

// The end of a write that the user may be refused: the new id, or the Czech message of a
// refusal (the input was wrong, nothing written), or the database's reason for a failure.
struct Written {
    qint32 id = 0;
    QString refusal;
    QString error;
    bool ok() const { return refusal.isEmpty() && error.isEmpty(); }
};

// One group an entity belongs to; active = the membership takes part (state 0).
struct Membership {
    qint32 group = 0;
    QString name;
    bool active = true;
};

struct EntityDetails {
    QString name;
    QString ico;
    QString note;
    QList<ListItem> branches;
    QList<Membership> groups;
};

// The entity writes of the new-entity and entity-editing windows. Every write is one
// transaction: it is all there after the commit or nothing of it is.
class EntityStore
{
public:
    // Branch positions: the main branch is 1, the secondary ones 2..6, as the delivered data
    // numbers them and as the main-branch searches read them.
    static constexpr int kMainBranch = 1;
    static constexpr int kBranchSlots = 6;

    explicit EntityStore(db::Database &db, int dialect = 1);

    // The lists of the new-entity window: legal forms without the group form, entity types,
    // and the OKEČ branches ("code name").
    Result<QList<ListItem>> legalForms();
    Result<QList<ListItem>> entityTypes();
    Result<QList<ListItem>> branchCodes();

    // The first input error of an entity, in the order the window checks, or "".
    static QString inputError(const NewEntity &entity);

    // Creates the entity with its name, note and branches; refused when the input is wrong or
    // a live entity has the IČO already ("IČO … má přiřazen subjekt …").
    Written create(const NewEntity &entity);

    Result<EntityDetails> load(qint32 id);

    // Replaces the name (the old row stays as a deleted one) and/or the note, all in one.
    Outcome save(qint32 id, const std::optional<QString> &name, const std::optional<QString> &note);

    // Switches a membership on or off; a removed membership (state 2) stays removed.
    Outcome setMembership(qint32 group, qint32 member, bool active);

    // Marks the entity and all attached to it deleted (statement lines stay as they are).
    Outcome remove(qint32 id);

private:
    Result<QList<ListItem>> codeList(const QString &sql, const QList<qint32> &skipped = {});

    db::Database &m_db;
    int m_dialect;
};

} // namespace verna::entities

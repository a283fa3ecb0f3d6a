#include "db/audit.h"
#include "db/schema.h"
#include "entities/entitystore.h"
#include "statements/statementstore.h"
#include "support/statementpair.h"
#include "support/testdatabase.h"

#include <QUuid>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class AuditTest : public ReferenceTest
{
protected:
    qint32 newEntity(const QString &ico, const QString &name)
    {
        const entities::Written w = entities::EntityStore(db()).create({ico, name, 2, 1112, {}, {3029}});
        EXPECT_TRUE(w.ok()) << w.refusal.toStdString() << w.error.toStdString();
        return w.id;
    }

    QList<db::audit::Entry> history(qint32 entity)
    {
        const auto rows = db::audit::history(db(), {entity, {}});
        EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
        return rows.value;
    }

    Outcome sql(const QString &statement) { return db().executeNative(statement); }
};

} // namespace

// verna-db history lists an entity's changes newest first, once each (on PostgreSQL the
// triggers leave VERNA's own writes alone), and a statement saved over its period names the
// one it replaced.
TEST_P(AuditTest, HistoryPrintsAStatementChangeWithTheStatementItReplacedAndAnOlderSchemaGetsTheTrail)
{
    const qint32 entity = newEntity(u"27074358"_s, u"Historie s.r.o."_s);
    statements::StatementStore store(db());
    const statements::SavedPair first = store.save(markedPair(store, entity, 2010, 1, 5));
    ASSERT_TRUE(first.ok()) << first.reason().toStdString();
    const statements::SavedPair changed = store.save(markedPair(store, entity, 2010, 1, 5), statements::SaveOptions{std::nullopt, true});
    ASSERT_TRUE(changed.ok()) << changed.reason().toStdString();

    const ToolRun run = vernaDb({u"history"_s, u"--entity"_s, QString::number(entity)});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << run.out.toStdString();
    EXPECT_TRUE(lines.last().contains(u"\tvložení\tsubjekt\t%1\t%1\tHistorie s.r.o.\t"_s.arg(entity))) << lines.last().toStdString();
    const QString balance = u"\tzměna\tvýkaz\t%1\t%2\trozvaha 2010/1\t%3"_s.arg(changed.ids.balance).arg(entity).arg(first.ids.balance);
    EXPECT_EQ(lines.filter(balance).size(), 1) << run.out.toStdString();
    // Who: never empty, and on a server the server's user.
    EXPECT_FALSE(lines.first().section(u'\t', 1, 1).isEmpty());
    if (GetParam() == TestBackend::PostgreSQL) {
        EXPECT_EQ(lines.first().section(u'\t', 1, 1), db().singleValue(u"SELECT CURRENT_USER"_s));
    }
    const ToolRun since = vernaDb({u"history"_s, u"--since"_s, u"2000-01-01"_s});
    EXPECT_EQ(since.out, run.out) << since.err.toStdString();
    if (GetParam() == TestBackend::SQLite) {
        // The file keeps UTC: a day starts at the user's midnight, 22:30 UTC the evening before at UTC+2.
        ASSERT_TRUE(sql(u"INSERT INTO audit_log (chng_dt, user_txt, action_txt, obj_type_txt, obj_id, label_txt) VALUES "
                        "('2024-04-30T22:30:00Z', 'u', 'změna', 'subjekt', 1, 'po půlnoci'), "
                        "('2024-04-30T21:30:00Z', 'u', 'změna', 'subjekt', 1, 'před půlnocí')"_s)
                        .ok);
        const ToolRun may = runVernaDb({u"--db"_s, testDatabase().dbOption(), u"history"_s, u"--since"_s, u"2024-05-01"_s},
                                       testDatabase().childEnvironment() << u"TZ=CEST-2"_s);
        EXPECT_TRUE(may.out.contains(u"po půlnoci"_s) && !may.out.contains(u"před půlnocí"_s)) << may.out.toStdString() << may.err.toStdString();
    }
    EXPECT_EQ(vernaDb({u"history"_s}).exitCode, 2);
    EXPECT_EQ(vernaDb({u"history"_s, u"--since"_s, u"2024-13-01"_s}).exitCode, 2);

    // A database of the third schema gets the audit trail, with its rows kept.
    const qint32 older = newEntity(u"25596641"_s, u"Starší s.r.o."_s);
    ASSERT_TRUE(sql(u"DROP TABLE audit_log"_s).ok);
    if (GetParam() == TestBackend::PostgreSQL) {
        ASSERT_TRUE(sql(u"DROP FUNCTION verna_audit_row() CASCADE"_s).ok && sql(u"DROP FUNCTION verna_audit_guard() CASCADE"_s).ok);
    }
    ASSERT_TRUE(sql(u"UPDATE schema_ver SET ver_nbr = 3"_s).ok);
    const Outcome upgraded = db::Schema::upgrade(db());
    ASSERT_TRUE(upgraded.ok) << upgraded.error.toStdString();
    EXPECT_EQ(db::Schema::version(db()).value, db::Schema::kVersion);
    EXPECT_EQ(db().singleValue(u"SELECT name_txt FROM name WHERE subj_id = %1 AND inac_ind = 0"_s.arg(older)), u"Starší s.r.o."_s);
    ASSERT_TRUE(entities::EntityStore(db()).save(older, u"Novější s.r.o."_s, std::nullopt).ok);
    const QList<db::audit::Entry> rows = history(older);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.front().action, db::audit::kChange);
    EXPECT_EQ(rows.front().label, u"Novější s.r.o."_s);
}

// On PostgreSQL a write made beside VERNA with plain SQL is recorded by the triggers, and the
// trail's rows are changed or deleted by administrators only, whatever else a role may.
TEST_P(AuditTest, PlainSqlIsAuditedOnPostgresAndOnlyAdministratorsChangeTheTrail)
{
    if (GetParam() != TestBackend::PostgreSQL)
        GTEST_SKIP() << "the server's triggers and roles";
    const qint32 entity = newEntity(u"27074358"_s, u"Spouště s.r.o."_s);
    ASSERT_TRUE(sql(u"UPDATE name SET name_txt = 'Jinak s.r.o.' WHERE subj_id = %1"_s.arg(entity)).ok);
    QList<db::audit::Entry> rows = history(entity);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.front().action, db::audit::kChange);
    EXPECT_EQ(rows.front().kind, db::audit::kEntity);
    EXPECT_TRUE(rows.front().label.contains(u"name"_s)) << rows.front().label.toStdString();
    EXPECT_EQ(rows.front().user, db().singleValue(u"SELECT CURRENT_USER"_s));
    // So is SQL typed to verna-db, though VERNA runs it.
    ASSERT_EQ(vernaDb({u"sql"_s, u"UPDATE name SET name_txt = 'Znovu s.r.o.' WHERE subj_id = %1"_s.arg(entity)}).exitCode, 0);
    EXPECT_EQ(history(entity).size(), 3);

    // Roles are the cluster's: the test's own one goes at the end.
    const QString role = u"verna_audit_test_"_s + QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QString schema = db().singleValue(u"SELECT current_schema()"_s);
    for (const QString &name : {u"verna_ctenar"_s, u"verna_analytik"_s, u"verna_editor"_s, u"verna_spravce"_s})
        ASSERT_TRUE(sql(u"DO $$ BEGIN CREATE ROLE %1 NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$"_s.arg(name)).ok);
    for (const QString &grant : db::audit::grantStatements())
        ASSERT_TRUE(sql(grant).ok) << grant.toStdString();
    for (const QString &setup : {u"CREATE ROLE %1 NOLOGIN IN ROLE verna_editor"_s, u"GRANT USAGE ON SCHEMA %2 TO %1"_s,
                                 u"GRANT UPDATE, DELETE ON audit_log TO %1"_s})
        ASSERT_TRUE(sql(setup.arg(role, schema)).ok) << setup.toStdString();
    const auto as = [&](const QString &statement) {
        EXPECT_TRUE(sql(u"SET ROLE "_s + role).ok);
        const Outcome done = sql(statement);
        EXPECT_TRUE(sql(u"RESET ROLE"_s).ok);
        return done;
    };
    // An editor adds rows, and even granted the privileges changes and deletes none.
    EXPECT_TRUE(as(u"INSERT INTO audit_log (action_txt, obj_type_txt) VALUES ('změna', 'subjekt')"_s).ok);
    const Outcome changed = as(u"UPDATE audit_log SET user_txt = 'nikdo'"_s);
    EXPECT_TRUE(!changed.ok && changed.error.contains(u"verna_spravce"_s)) << changed.error.toStdString();
    EXPECT_FALSE(as(u"DELETE FROM audit_log"_s).ok);
    EXPECT_EQ(history(entity).size(), 3);
    // An administrator may.
    ASSERT_TRUE(sql(u"GRANT verna_spravce TO "_s + role).ok);
    EXPECT_TRUE(as(u"DELETE FROM audit_log WHERE subj_id = %1"_s.arg(entity)).ok);
    EXPECT_TRUE(history(entity).isEmpty());
    for (const QString &cleanup : {u"DROP OWNED BY %1"_s, u"DROP ROLE %1"_s})
        EXPECT_TRUE(sql(cleanup.arg(role)).ok);
}

VERNA_ALL_BACKENDS(AuditTest);

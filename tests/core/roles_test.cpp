#include "db/audit.h"
#include "db/rights.h"
#include "db/roles.h"
#include "db/schema.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"
#include "statements/importreaders.h"
#include "statements/statementimport.h"
#include "statements/statementstore.h"
#include "support/statementpair.h"
#include "support/testdatabase.h"

#include <QUuid>
#include <functional>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class RolesTest : public ReferenceTest
{
protected:
    // A login name no other run of the tests uses (the roles are the whole server's).
    static QString freshName(int k) { return u"u"_s + QUuid::createUuid().toString(QUuid::Id128).left(12) + u"_%1"_s.arg(k); }

    // A connection as the login, to this test's tables.
    Outcome connectAs(db::Database &user, const QString &name, const QString &password)
    {
        db::DatabaseLocation location = db::DatabaseLocation::odbc(db::kDefaultDsn);
        location.user = name;
        location.password = password;
        if (const Outcome opened = user.open(location); !opened)
            return opened;
        const QString schema = db().queryNative(u"SELECT current_schema()"_s).value.value(0).value(0).toString();
        return user.executeNative(u"SET search_path TO "_s + schema);
    }
};

// A core writer tried by a user: "" when it wrote, else its reason.
struct Writer {
    const char *name;
    db::Right right;
    std::function<QString(db::Database &, int k)> run;
};

} // namespace

// Roles are made on a server only, by the tables' owner, as often as asked; every table has
// the right that writes it, so a new table cannot be left without grants.
TEST_P(RolesTest, RolesAreMadeOnAServerOnlyAndEachRoleWritesExactlyWhatItsRightsAllow)
{
    for (const QString &table : db::Schema::tableNames()) {
        if (table == db::audit::kTable)
            continue; // every writer adds to it: granted apart, by the audit trail's own lines
        const auto &list = db::tableRights();
        EXPECT_TRUE(std::any_of(list.begin(), list.end(), [&](const db::TableRight &t) { return table == QLatin1String(t.table); }))
            << table.toStdString() << " has no right in the table list";
    }
    if (GetParam() == TestBackend::SQLite) {
        const ToolRun run = vernaDb({u"roles"_s});
        EXPECT_TRUE(run.exitCode == 2 && run.err.contains(u"jen na databázovém serveru"_s)) << run.err.toStdString();
        // A file: everything when it can be written, nothing when opened for reading only.
        EXPECT_TRUE(db::Rights::read(db()).value.canWriteCodeLists());
        db::DatabaseLocation readOnly = db().location();
        readOnly.readOnly = true;
        db::Database reader;
        ASSERT_TRUE(reader.open(readOnly).ok);
        const Result<db::Rights> rights = db::Rights::read(reader);
        ASSERT_TRUE(rights.ok());
        for (const db::Right right : db::kAllRights)
            EXPECT_FALSE(rights.value.can(right));
        return;
    }
    for (int run = 0; run < 2; ++run) {
        const ToolRun roles = vernaDb({u"roles"_s});
        ASSERT_EQ(roles.exitCode, 0) << "run " << run << ": " << roles.err.toStdString();
    }
    const auto foreign = db().queryNative(u"SELECT count(*) FROM pg_tables WHERE schemaname = current_schema() "
                                          "AND tableowner <> 'verna_vlastnik'"_s);
    ASSERT_TRUE(foreign.ok()) << foreign.error.toStdString();
    EXPECT_EQ(foreign.value.front().value(0).toInt(), 0);

    // A login made with the password on standard input, moved to another role, removed.
    const QString name = freshName(0);
    EXPECT_EQ(vernaDb({u"user"_s, u"add"_s, u"ne-platné"_s, u"--role"_s, db::kReaderRole}, "x\n").exitCode, 2);
    const ToolRun added = vernaDb({u"user"_s, u"add"_s, name, u"--role"_s, db::kReaderRole}, "Heslo' 1\n");
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    {
        db::Database user;
        const Outcome connected = connectAs(user, name, u"Heslo' 1"_s);
        ASSERT_TRUE(connected.ok) << connected.error.toStdString();
        EXPECT_FALSE(db::Rights::read(user).value.canWriteStatements());
        const ToolRun moved = vernaDb({u"user"_s, u"role"_s, name, db::kEditorRole});
        ASSERT_EQ(moved.exitCode, 0) << moved.err.toStdString();
        EXPECT_TRUE(db::Rights::read(user).value.canWriteStatements());
        EXPECT_FALSE(db::Rights::read(user).value.canWriteCodeLists());
    }
    const ToolRun removed = vernaDb({u"user"_s, u"remove"_s, name});
    EXPECT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    db::Database gone;
    EXPECT_FALSE(connectAs(gone, name, u"Heslo' 1"_s).ok);

    // A login of each role tries every kind of write: what its role allows is written, the rest is refused by
    // the server with the Czech reason and leaves the database as it was. The rights read at connection say the
    // same beforehand.
    ASSERT_TRUE(db::setupRoles(db()).ok);
    const entities::Written entity = entities::EntityStore(db()).create({u"27074358"_s, u"Role s.r.o."_s, 2, 1112, {}, {3029}});
    ASSERT_TRUE(entity.ok()) << entity.error.toStdString();
    statements::StatementStore lineSource(db());
    const QList<statements::StatementLine> balanceLines = lineSource.lines(27, false).value;
    const QList<statements::StatementLine> incomeLines = lineSource.lines(28, false).value;
    ASSERT_FALSE(balanceLines.isEmpty());

    const QStringList icos = {u"63998530"_s, u"00176150"_s, u"60193336"_s, u"45274649"_s};
    const std::vector<Writer> writers = {
        {"indicator", db::Right::Indicators,
         [](db::Database &d, int k) { return indicators::IndicatorStore(d).create({u"Ukazatel role %1"_s.arg(k), u"[1]+[2]"_s, {}}).error; }},
        {"indicator group", db::Right::Indicators, [](db::Database &d, int k) {
             return indicators::IndicatorGroups(d).create(u"Skupina role %1"_s.arg(k), {}, {1}).error;
         }},
        {"group of entities", db::Right::Groups, [&](db::Database &d, int k) {
             const entities::Written w = entities::GroupStore(d).create(u"Skupina subjektů %1"_s.arg(k), {}, {entity.id});
             return w.refusal + w.error;
         }},
        {"entity", db::Right::Entities, [&](db::Database &d, int k) {
             const entities::Written w = entities::EntityStore(d).create({icos.at(k), u"Subjekt %1"_s.arg(k), 2, 1112, {}, {3029}});
             return w.refusal + w.error;
         }},
        {"statement", db::Right::Statements, [&](db::Database &d, int k) {
             return statements::StatementStore(d).save(markedPair(balanceLines, incomeLines, entity.id, 2000 + k, 1, 5)).reason();
         }},
        {"import", db::Right::Statements, [](db::Database &d, int k) {
             const QByteArray file = u"ico;nazev;rok;ctvrtleti;vykaz;rozsah;radek;castka\n"
                                     "27074358;Role s.r.o.;%1;2;rozvaha;zkraceny;193;7\n"
                                     "27074358;Role s.r.o.;%1;2;vysledovka;zkraceny;202;0\n"_s.arg(2010 + k).toUtf8();
             const Result<statements::ImportRows> rows = statements::readCsv(file);
             if (!rows.ok())
                 return rows.error;
             const statements::ImportSummary summary = statements::StatementImport(d).importRows(rows.value, {});
             return summary.complete() ? QString() : summary.error + summary.lines().join(u'\n');
         }},
        {"code list", db::Right::CodeLists, [](db::Database &d, int) {
             return d.execute(u"UPDATE cd_val SET seq_nbr = seq_nbr WHERE val_agn = 0"_s).error;
         }},
    };
    const QStringList roles = {db::kReaderRole, db::kAnalystRole, db::kEditorRole, db::kAdminRole};
    for (int k = 0; k < roles.size(); ++k) {
        const QString name = freshName(k);
        const QString password = u"tajné'heslo %1"_s.arg(k); // an apostrophe goes through the quoting
        ASSERT_TRUE(db::addUser(db(), name, roles.at(k), password).ok);
        {
            db::Database user;
            const Outcome connected = connectAs(user, name, password);
            ASSERT_TRUE(connected.ok) << connected.error.toStdString();
            // Roles are set by the tables' owner only; logins are made by an administrator only.
            EXPECT_TRUE(db::setupRoles(user).error.contains(u"Role může nastavit jen"_s)) << roles.at(k).toStdString();
            const QString made = freshName(9);
            EXPECT_EQ(db::addUser(user, made, db::kReaderRole, u"x"_s).ok, roles.at(k) == db::kAdminRole) << roles.at(k).toStdString();
            if (roles.at(k) == db::kAdminRole) {
                EXPECT_TRUE(db::removeUser(user, made).ok);
            }
            const Result<db::Rights> rights = db::Rights::read(user);
            ASSERT_TRUE(rights.ok()) << rights.error.toStdString();
            for (const Writer &writer : writers) {
                const bool allowed = k >= roles.indexOf(db::roleFor(writer.right));
                EXPECT_EQ(rights.value.can(writer.right), allowed) << roles.at(k).toStdString() << " " << writer.name;
                const QStringList before = allRows();
                const QString error = writer.run(user, k);
                if (allowed) {
                    EXPECT_EQ(error, QString()) << roles.at(k).toStdString() << " " << writer.name;
                } else {
                    EXPECT_TRUE(error.contains(u"Nemáte oprávnění"_s)) << roles.at(k).toStdString() << " " << writer.name << ": "
                                                                       << error.toStdString();
                    EXPECT_EQ(allRows(), before) << roles.at(k).toStdString() << " " << writer.name;
                }
                EXPECT_FALSE(user.inTransaction());
            }
        }
        EXPECT_TRUE(db::removeUser(db(), name).ok);
    }
}

VERNA_ALL_BACKENDS(RolesTest);

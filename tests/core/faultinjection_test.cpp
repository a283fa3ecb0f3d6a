#include "db/schema.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"
#include "shell/modhlavni.h"
#include "support/testdatabase.h"

#include <functional>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class FaultInjectionTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }

    // Every row of every table, sorted: equal dumps mean equal databases.
    QStringList dump()
    {
        QStringList out;
        for (const QString &table : db::Schema::tableNames()) {
            const db::Rows rows = db().queryRows(u"SELECT * FROM "_s + table);
            EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
            QStringList lines;
            for (const QStringList &row : rows.rows)
                lines << table + u':' + row.join(u'|');
            lines.sort();
            out += lines;
        }
        return out;
    }
};

struct Write {
    const char *name;
    std::function<bool()> run;
};

} // namespace

// Each multi-statement write fails at its 1st, 2nd, ... statement in turn: after every one
// of them the database is as before and no transaction is left open; then it succeeds.
TEST_P(FaultInjectionTest, EveryWriteIsWholeOrNotThereAtAnyFailingStatement)
{
    entities::EntityStore entities(db());
    entities::GroupStore groups(db());
    indicators::IndicatorStore indicators(db());
    indicators::IndicatorGroups indicatorGroups(db());
    const QString longNote = QString(600, u'ř') + u"'; DROP TABLE text; --"_s;
    qint32 entity = 0, other = 0, group = 0, indicator = 0, indicatorGroup = 0;
    const std::vector<Write> writes = {
        {"new entity", [&] {
             const entities::Written w = entities.create({u"27074358"_s, u"Poruchy s.r.o."_s, 2, 1112, longNote, {3029, 3001}});
             entity = w.id;
             return w.ok();
         }},
        {"second entity", [&] {
             const entities::Written w = entities.create({u"25596641"_s, u"Druhá a.s."_s, 2, 1112, {}, {3029}});
             other = w.id;
             return w.ok();
         }},
        {"note", [&] { return shell::modHlavni::storeNote(db(), QString::number(entity), u"nová\r\npoznámka"_s).ok; }},
        {"entity editing", [&] { return entities.save(entity, u"Poruchy 2 s.r.o."_s, longNote).ok; }},
        {"new group", [&] {
             const entities::Written w = groups.create(u"Skupina poruch"_s, u"pozn."_s, {entity});
             group = w.id;
             return w.ok();
         }},
        {"group members", [&] { return groups.addMembers(group, {other}).ok(); }},
        {"membership off", [&] { return entities.setMembership(group, other, false).ok; }},
        {"member removed", [&] { return groups.removeMember(group, other).ok; }},
        {"group renamed", [&] { return groups.rename(group, u"Skupina poruch 2"_s).ok(); }},
        {"group note", [&] { return groups.storeNote(group, longNote).ok; }},
        {"new indicator", [&] {
             const auto s = indicators.create({u"Porucha"_s, u"[1]+[2]"_s, longNote});
             indicator = s.value.id;
             return s.ok() && !s.value.nameTaken;
         }},
        {"indicator changed", [&] {
             const auto s = indicators.change(indicator, u"Porucha 2"_s, u"popis"_s, u"[1]*2"_s);
             return s.ok() && !s.value.nameTaken;
         }},
        {"new indicator group", [&] {
             const auto s = indicatorGroups.create(u"Poruchové"_s, u"popis"_s, {indicator, 1});
             indicatorGroup = s.value.id;
             return s.ok() && !s.value.nameTaken;
         }},
        {"indicator group changed", [&] {
             const auto s = indicatorGroups.change(indicatorGroup, u"Poruchové 2"_s, u"jiný popis"_s, {2});
             return s.ok() && !s.value.nameTaken;
         }},
        {"indicator group member removed", [&] { return indicatorGroups.removeMember(indicatorGroup, 2).ok; }},
        {"indicator group deleted", [&] { return indicatorGroups.remove(indicatorGroup).ok; }},
        {"indicator deleted", [&] { return indicators.remove(indicator).ok; }},
        {"group deleted", [&] { return groups.remove(group).ok; }},
        {"entity deleted", [&] { return entities.remove(entity).ok; }},
    };
    int faults = 0;
    for (const Write &write : writes) {
        for (int n = 1;; ++n) {
            const QStringList before = dump();
            db::Database::failStatementForTesting(n);
            const bool ok = write.run();
            const bool hit = db::Database::statementsRunForTesting() >= n;
            db::Database::failStatementForTesting(0);
            ASSERT_FALSE(db().inTransaction()) << write.name << " at statement " << n;
            if (!hit) {
                ASSERT_TRUE(ok) << write.name << ": " << db().lastError().toStdString();
                break;
            }
            ++faults;
            EXPECT_FALSE(ok) << write.name << " succeeded although its statement " << n << " failed";
            ASSERT_EQ(dump(), before) << write.name << " at statement " << n;
        }
    }
    std::cout << "[ figures  ] " << writes.size() << " writes, " << faults << " faults injected, database as before after each\n";
}

VERNA_ALL_BACKENDS(FaultInjectionTest);

#include "db/audit.h"
#include "db/schema.h"
#include "indicators/emptyvalue.h"
#include "indicators/evaluator.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "entities/notes.h"
#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"
#include "selection/treedata.h"
#include "shell/demodata.h"
#include "statements/importreaders.h"
#include "statements/statementimport.h"
#include "statements/statementstore.h"
#include "support/statementpair.h"
#include "support/testdatabase.h"

#include <functional>

using namespace verna;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

class FaultInjectionTest : public ReferenceTest
{
protected:
    // The audit rows after the given key, as "action kind", sorted; their greatest key.
    std::pair<QStringList, qint64> auditRowsAfter(qint64 key)
    {
        const auto rows = db().queryNative(u"SELECT row_id, action_txt, obj_type_txt FROM audit_log WHERE row_id > %1"_s.arg(key));
        EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
        QStringList out;
        for (const QVariantList &row : rows.value) {
            out << row.value(1).toString() + u' ' + row.value(2).toString();
            key = std::max(key, row.value(0).toLongLong());
        }
        out.sort();
        return {out, key};
    }
};

struct Write {
    const char *name;
    std::function<bool()> run;
    QStringList audited; // the audit rows a success leaves, as "action kind", sorted
};

} // namespace

// Each multi-statement write fails at its 1st, 2nd, ... statement in turn: after every one
// of them the database is as before (its audit trail too) and no transaction is left open;
// then it succeeds and leaves exactly its own audit rows.
TEST_P(FaultInjectionTest, EveryWriteIsWholeOrNotThereAndEveryReadReportsAFailingStatement)
{
    entities::EntityStore entities(db());
    entities::GroupStore groups(db());
    indicators::IndicatorStore indicators(db());
    indicators::IndicatorGroups indicatorGroups(db());
    const QString longNote = QString(600, u'ř') + u"'; DROP TABLE text; --"_s;
    statements::StatementStore statementStore(db());
    statements::StatementImport statementImport(db());
    qint32 entity = 0, other = 0, group = 0, indicator = 0, indicatorGroup = 0;
    statements::PairIds pairIds, replacedPair;
    // An abbreviated pair of zeros but one line outside the sum rules: every line is written.
    // The line lists are read here, before any statement is made to fail.
    const QList<statements::StatementLine> balanceLines = statementStore.lines(27, false).value;
    const QList<statements::StatementLine> incomeLines = statementStore.lines(28, false).value;
    const auto statementPair = [&](int year) { return markedPair(balanceLines, incomeLines, entity, year, 1, 5); };
    const QByteArray importFile = "ico;nazev;rok;ctvrtleti;vykaz;rozsah;radek;castka\n"
                                  "25596641;Druhá a.s.;2011;2;rozvaha;zkraceny;193;7\n"
                                  "25596641;Druhá a.s.;2011;2;vysledovka;zkraceny;202;0\n"
                                  "48135445;Nová z importu s.r.o.;2011;2;rozvaha;zkraceny;193;3\n"
                                  "48135445;Nová z importu s.r.o.;2011;2;vysledovka;zkraceny;202;0\n";
    // Keep the new row's id; say whether the write succeeded.
    const auto made = [](qint32 &id, const entities::Written &w) {
        id = w.id;
        return w.ok();
    };
    const auto saved = [](qint32 &id, const auto &s) {
        id = s.ok() ? s.value.id : id;
        return s.ok() && !s.value.nameTaken;
    };
    const std::vector<Write> writes = {
        {"new entity", [&] { return made(entity, entities.create({u"27074358"_s, u"Poruchy s.r.o."_s, 2, 1112, longNote, {3029, 3001}})); },
         {u"vložení subjekt"_s}},
        {"second entity", [&] { return made(other, entities.create({u"25596641"_s, u"Druhá a.s."_s, 2, 1112, {}, {3029}})); },
         {u"vložení subjekt"_s}},
        {"note", [&] { return entities::storeNote(db(), QString::number(entity), u"nová\r\npoznámka"_s).ok; }, {u"změna poznámka"_s}},
        {"entity editing", [&] { return entities.save(entity, u"Poruchy 2 s.r.o."_s, longNote).ok; }, {u"změna subjekt"_s}},
        {"new group", [&] { return made(group, groups.create(u"Skupina poruch"_s, u"pozn."_s, {entity})); }, {u"vložení skupina subjektů"_s}},
        {"group members", [&] { return groups.addMembers(group, {other}).ok(); }, {u"změna skupina subjektů"_s}},
        {"membership off", [&] { return entities.setMembership(group, other, false).ok; }, {u"změna skupina subjektů"_s}},
        {"member removed", [&] { return groups.removeMember(group, other).ok; }, {u"změna skupina subjektů"_s}},
        {"group renamed", [&] { return groups.rename(group, u"Skupina poruch 2"_s).ok(); }, {u"změna skupina subjektů"_s}},
        {"group note", [&] { return groups.storeNote(group, longNote).ok; }, {u"změna poznámka"_s}},
        {"new indicator", [&] { return saved(indicator, indicators.create({u"Porucha"_s, u"[1]+[2]"_s, longNote})); }, {u"vložení ukazatel"_s}},
        {"indicator changed", [&] { return saved(indicator, indicators.change(indicator, u"Porucha 2"_s, u"popis"_s, u"[1]*2"_s)); },
         {u"změna ukazatel"_s}},
        {"new indicator group", [&] { return saved(indicatorGroup, indicatorGroups.create(u"Poruchové"_s, u"popis"_s, {indicator, 1})); },
         {u"vložení skupina ukazatelů"_s}},
        {"indicator group changed",
         [&] { return saved(indicatorGroup, indicatorGroups.change(indicatorGroup, u"Poruchové 2"_s, u"jiný popis"_s, {2})); },
         {u"změna skupina ukazatelů"_s}},
        {"indicator group member removed", [&] { return indicatorGroups.removeMember(indicatorGroup, 2).ok; }, {u"změna skupina ukazatelů"_s}},
        {"indicator group deleted", [&] { return indicatorGroups.remove(indicatorGroup).ok; }, {u"smazání skupina ukazatelů"_s}},
        {"indicator deleted", [&] { return indicators.remove(indicator).ok; }, {u"smazání ukazatel"_s}},
        {"statement pair", [&] {
             const statements::SavedPair saved = statementStore.save(statementPair(2010));
             pairIds = saved.ids;
             return saved.ok();
         }, {u"vložení výkaz"_s, u"vložení výkaz"_s}},
        {"statement pair changed", [&] {
             replacedPair = pairIds;
             const statements::SavedPair saved = statementStore.save(statementPair(2010), statements::SaveOptions{pairIds, false});
             if (saved.ok())
                 pairIds = saved.ids;
             return saved.ok();
         }, {u"změna výkaz"_s, u"změna výkaz"_s}},
        {"statement pair deleted", [&] { return statementStore.remove(pairIds).ok; }, {u"smazání výkaz"_s, u"smazání výkaz"_s}},
        {"import", [&] {
             const Result<statements::ImportRows> rows = statements::readCsv(importFile);
             return rows.ok() && statementImport.importRows(rows.value, {.createEntities = true, .progress = {}, .stopRequested = {}}).complete();
         }, {u"import subjekt"_s, u"import výkaz"_s, u"import výkaz"_s, u"import výkaz"_s, u"import výkaz"_s}},
        {"demo data",
         [&] { return shell::generateDemoData(db(), {.entities = 1, .firstYear = 1999, .lastYear = 1999, .firstQuarter = 4, .lastQuarter = 4}).ok; },
         {u"vložení ukázková data"_s}},
        {"group deleted", [&] { return groups.remove(group).ok; }, {u"smazání skupina subjektů"_s}},
        {"entity deleted", [&] { return entities.remove(entity).ok; }, {u"smazání subjekt"_s}},
    };
    int faults = 0;
    qint64 audited = auditRowsAfter(0).second;
    for (const Write &write : writes) {
        for (int n = 1;; ++n) {
            const QStringList before = allRows();
            db().failStatementForTesting(n);
            const bool ok = write.run();
            const bool hit = db().statementsRunForTesting() >= n;
            db().failStatementForTesting(0);
            ASSERT_FALSE(db().inTransaction()) << write.name << " at statement " << n;
            if (!hit) {
                ASSERT_TRUE(ok) << write.name << ": " << db().lastError().toStdString();
                const auto [rows, last] = auditRowsAfter(audited);
                EXPECT_EQ(rows, write.audited) << write.name;
                audited = last;
                break;
            }
            ++faults;
            EXPECT_FALSE(ok) << write.name << " succeeded although its statement " << n << " failed";
            ASSERT_EQ(allRows(), before) << write.name << " at statement " << n;
        }
    }
    // The changed pair's rows name the statements it replaced, kept as inactive rows.
    const auto history = db::audit::history(db(), {entity, {}});
    ASSERT_TRUE(history.ok()) << history.error.toStdString();
    QSet<qint32> replaced;
    for (const db::audit::Entry &e : history.value) {
        if (e.action == db::audit::kChange && e.kind == db::audit::kStatement)
            replaced.insert(e.replaced.value_or(0));
    }
    EXPECT_EQ(replaced, (QSet<qint32>{replacedPair.balance, replacedPair.income}));
    std::cout << "[ figures  ] " << writes.size() << " writes, " << faults << " faults injected, database as before after each\n";

    // Each read fails at its 1st, 2nd, ... statement in turn: it reports the failure, never a value made of what
    // it read before (no note, an empty line, a misleading reason).
    entities::EntityStore store(db());
    entities::GroupStore groupStore(db());
    const entities::Written reading = store.create({u"27074358"_s, u"Čtení s.r.o."_s, 2, 1112, u"poznámka"_s, {3029}});
    ASSERT_TRUE(reading.ok()) << reading.error.toStdString();
    const entities::Written readGroup = groupStore.create(u"Skupina čtení"_s, u"pozn."_s, {reading.id});
    ASSERT_TRUE(readGroup.ok()) << readGroup.error.toStdString();
    indicators::Evaluator evaluator(db());
    selection::TreeData tree(db(), evaluator);
    const std::vector<Write> reads = {
        {"note", [&] { return entities::loadNote(db(), QString::number(reading.id)).ok(); }, {}},
        {"entity", [&] { return store.load(reading.id).ok(); }, {}},
        {"group", [&] { return groupStore.load(readGroup.id).ok(); }, {}},
        {"tree", [&] { return tree.entity(reading.id).ok(); }, {}},
        // A full income statement: [202] is expanded by its indicator's formula.
        {"why no value", [&] { return indicators::whyNoValue(db(), std::nullopt, u"[202]/[1]"_s, u"3366"_s, u"1996"_s, u"4"_s).ok(); }, {}},
        {"schema version", [&] { return db::Schema::version(db()).ok(); }, {}},
    };
    for (const Write &read : reads) {
        for (int n = 1;; ++n) {
            db().failStatementForTesting(n);
            const bool ok = read.run();
            const bool hit = db().statementsRunForTesting() >= n;
            db().failStatementForTesting(0);
            if (!hit) {
                ASSERT_TRUE(ok) << read.name << ": " << db().lastError().toStdString();
                break;
            }
            EXPECT_FALSE(ok) << read.name << " answered although its statement " << n << " failed";
        }
    }
}

VERNA_ALL_BACKENDS(FaultInjectionTest);

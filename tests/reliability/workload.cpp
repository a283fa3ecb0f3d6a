#include "workload.h"

#include "analysis/analysisdata.h"
#include "analysis/analysisengine.h"
#include "analysis/analysismodel.h"
#include "analysis/evaluatorsource.h"
#include "base/textforms.h"
#include "db/database.h"
#include "db/databaselocation.h"
#include "db/schema.h"
#include "entities/entitysearch.h"
#include "entities/entitystore.h"
#include "entities/groupstore.h"
#include "entities/notes.h"
#include "indicators/indicatorstore.h"
#include "shell/startup.h"
#include "statements/statementstore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace verna::reliability {

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kReference = 3366;

// One line per event, written through at once so that a kill loses none that was acknowledged.
class Log
{
public:
    explicit Log(const QString &path)
        : m_file(path)
    {
        m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    void write(const QStringList &fields) { m_file.write((fields.join(u'\t') + u'\n').toUtf8()); }

private:
    QFile m_file;
};

QString oneLine(QString text)
{
    return text.replace(u'\n', u' ').replace(u'\r', u' ').replace(u'\t', u' ');
}

QString encoded(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

QString decoded(const QString &text)
{
    return QString::fromUtf8(QByteArray::fromBase64(text.toLatin1()));
}

// The end of one write: its acknowledgement fields (the first is its log tag), or the error.
struct Attempt {
    QStringList ack;
    QString error;
};

// The application's writes, as the windows make them. A new kind of write (statement saves,
// imports) is one more method here, one more entry in operations() and one verifier in check().
class Writer
{
public:
    Writer(db::Database &db, int index, Log &log)
        : m_db(db), m_index(index), m_log(log), m_entities(db), m_groups(db), m_indicators(db), m_statements(db)
    {
    }

    Attempt entity()
    {
        // A demo run beside the writer draws its IČOs at random and may take one of these first:
        // that refusal is the application's right answer, and the writer moves to the next number.
        for (int attempt = 0;; ++attempt) {
            const int n = ++m_count;
            const QString first = QString::number(9000000 + m_index * 10000 + n % 10000);
            const QString ico = first + QString::number(base::icoCheckDigit(first));
            const QString name = u"Zátěž %1-%2 O'Brien & syn"_s.arg(m_index).arg(n);
            const entities::Written w = m_entities.create({ico, name, 2, 1112, {}, {3029}});
            if (!w.ok() && w.error.isEmpty() && attempt < 5)
                continue;
            if (!w.ok())
                return {{}, w.refusal + w.error};
            m_mine << w.id;
            return {{u"E"_s, QString::number(w.id), ico, name}, {}};
        }
    }

    Attempt group()
    {
        const QString name = u"Skupina zátěže %1-%2"_s.arg(m_index).arg(++m_count);
        const qint32 member = pick();
        const entities::Written w = m_groups.create(name, u"%_[ poznámka"_s, {member});
        if (!w.ok())
            return {{}, w.refusal + w.error};
        return {{u"G"_s, QString::number(w.id), name, QString::number(member)}, {}};
    }

    Attempt note()
    {
        const qint32 entity = pick();
        const QString text = u"Poznámka %1 'ř' \r\n"_s.arg(++m_count)
            + QString(static_cast<int>(QRandomGenerator::global()->bounded(700)), u'x');
        // Tried before it is acknowledged: after a kill the database may hold it unacknowledged.
        m_log.write({u"n"_s, QString::number(entity), encoded(text)});
        if (const Outcome o = entities::storeNote(m_db, QString::number(entity), text); !o)
            return {{}, o.error};
        return {{u"N"_s, QString::number(entity), encoded(text)}, {}};
    }

    Attempt indicator()
    {
        const QString name = u"Zátěžový ukazatel %1-%2"_s.arg(m_index).arg(++m_count);
        const auto saved = m_indicators.create({name, u"[1]+[2]"_s, u"popis"_s});
        if (!saved.ok() || saved.value.nameTaken)
            return {{}, saved.ok() ? u"název je obsazen"_s : saved.error};
        return {{u"I"_s, QString::number(saved.value.id), name}, {}};
    }

    // A pair for a random quarter of one of this writer's companies, replacing what the period
    // held; line 193 (in no sum rule) carries a marker the check looks for.
    Attempt statement()
    {
        const qint32 entity = pick();
        const int year = 2000 + static_cast<int>(QRandomGenerator::global()->bounded(10));
        const int quarter = 1 + static_cast<int>(QRandomGenerator::global()->bounded(4));
        const int marker = ++m_count;
        statements::StatementPair pair{entity, year, quarter, false, {}, {}};
        for (const auto &[type, lines] : {std::pair{27, &pair.balance}, std::pair{28, &pair.income}}) {
            const auto listed = m_statements.lines(type, false);
            if (!listed.ok())
                return {{}, listed.error};
            for (const statements::StatementLine &line : listed.value)
                lines->append({line.code, statements::Amount::whole(line.code == 193 ? marker : 0).value()});
        }
        const statements::SavedPair saved = m_statements.save(pair, statements::SaveOptions{std::nullopt, true});
        if (!saved.ok())
            return {{}, saved.reason()};
        return {{u"S"_s, QString::number(saved.ids.balance), QString::number(saved.ids.income), QString::number(marker)}, {}};
    }

    struct Operation {
        const char *name;
        Attempt (Writer::*run)();
    };
    // Each as often as it stands here: entities twice as often as the rest.
    static const std::vector<Operation> &operations()
    {
        static const std::vector<Operation> ops = {{"entity", &Writer::entity}, {"entity", &Writer::entity}, {"group", &Writer::group},
                                                   {"note", &Writer::note},     {"indicator", &Writer::indicator}, {"statement", &Writer::statement}};
        return ops;
    }

    bool hasEntities() const { return !m_mine.isEmpty(); }

private:
    qint32 pick() const { return m_mine.at(QRandomGenerator::global()->bounded(m_mine.size())); }

    db::Database &m_db;
    int m_index;
    Log &m_log;
    entities::EntityStore m_entities;
    entities::GroupStore m_groups;
    indicators::IndicatorStore m_indicators;
    statements::StatementStore m_statements;
    QList<qint32> m_mine;
    int m_count = 0;
};

bool open(db::Database &db, const QString &dbOption, Log &log)
{
    if (const Outcome o = shell::openDatabase(db, db::parseDatabaseOption(dbOption)); !o) {
        log.write({u"F"_s, u"open"_s, oneLine(o.error)});
        return false;
    }
    return true;
}

qint64 count(db::Database &db, const QString &sql, Report &report)
{
    const Result<QString> v = db.readValue(sql);
    if (!v.ok()) {
        report.line(u"check query failed: "_s + v.error, 1);
        return 0;
    }
    return v.value.toLongLong();
}

QString percentile(std::vector<double> &values, double p)
{
    if (values.empty())
        return u"-"_s;
    std::sort(values.begin(), values.end());
    return QString::number(values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))], 'f', 1) + u" ms"_s;
}

} // namespace

int runWriter(const QString &dbOption, int seconds, const QString &logPath, int index)
{
    Log log(logPath);
    db::Database db;
    if (!open(db, dbOption, log))
        return 1;
    Writer writer(db, index, log);
    const auto &ops = Writer::operations();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        const auto &op = ops.at(writer.hasEntities() ? QRandomGenerator::global()->bounded(int(ops.size())) : 0);
        QElapsedTimer took;
        took.start();
        const Attempt a = (writer.*(op.run))();
        const QString ms = QString::number(took.nsecsElapsed() / 1e6, 'f', 2);
        log.write(a.error.isEmpty() ? a.ack : QStringList{u"F"_s, QString::fromLatin1(op.name), oneLine(a.error)});
        log.write({u"L"_s, ms});
    }
    return 0;
}

int runReader(const QString &dbOption, int seconds, const QString &logPath)
{
    Log log(logPath);
    db::Database db;
    if (!open(db, dbOption, log))
        return 1;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        QElapsedTimer took;
        took.start();
        QString error;
        // A search over the names the writers are adding, and an analysis of the reference entity.
        entities::EntitySearch search(db);
        int found = 0;
        const entities::Listing listing = search.byName(entities::NameQuery{u"Zátěž"_s, {}, {}, false},
                                                        [&found](const entities::ListItem &, int) { ++found; });
        if (!listing.ok())
            error = listing.error;
        analysis::AnalysisData data(db);
        analysis::AnalysisModel model(QLocale::c());
        analysis::EvaluatorSource source(db);
        analysis::AnalysisEngine engine(model, data, source);
        const auto years = data.yearsOf(kReference);
        const auto indicators = data.indicators(0);
        if (error.isEmpty() && (!years.ok() || !indicators.ok()))
            error = years.ok() ? indicators.error : years.error;
        if (error.isEmpty() && !years.value.isEmpty()) {
            if (const auto added = engine.addYearRows(kReference, years.value.last()); !added.ok())
                error = added.error;
            for (int i = 0; error.isEmpty() && i < std::min<qsizetype>(3, indicators.value.size()); ++i) {
                if (const Outcome o = engine.addIndicator(indicators.value.at(i).id, indicators.value.at(i).name); !o)
                    error = o.error;
            }
            if (error.isEmpty() && model.dataRowCount() == 0)
                error = u"analýza bez řádků"_s;
        }
        log.write({u"R"_s, QString::number(took.nsecsElapsed() / 1e6, 'f', 2)});
        if (!error.isEmpty())
            log.write({u"F"_s, u"read"_s, oneLine(error)});
    }
    return 0;
}

const char *backendName(db::Database &db)
{
    return db.backend() == db::Backend::PostgreSQL ? "PostgreSQL" : "SQLite (one shared file)";
}

void Report::line(const QString &what, qint64 faults, const QString &figures)
{
    m_lines.push_back({what, faults, figures});
}

void Report::print() const
{
    for (const Line &l : m_lines) {
        std::printf("  %-4s %s%s%s\n", l.faults ? "FAIL" : "ok", qPrintable(l.what), l.figures.isEmpty() ? "" : ": ", qPrintable(l.figures));
        if (l.faults)
            std::printf("       %lld faults\n", static_cast<long long>(l.faults));
    }
    std::printf("%s\n", clean() ? "nothing lost, duplicated or broken" : "FAULTS FOUND");
    std::fflush(stdout);
}

bool Report::clean() const
{
    return std::all_of(m_lines.begin(), m_lines.end(), [](const Line &l) { return l.faults == 0; });
}

void Report::addWholeness(db::Database &db)
{
    const std::vector<std::pair<QString, QString>> orphans = {
        {u"identifiers, names, branches without their entity"_s,
         u"SELECT count(*) FROM ident x WHERE NOT EXISTS (SELECT 1 FROM subj s WHERE s.subj_id = x.subj_id)"_s +
             u" UNION ALL SELECT count(*) FROM name x WHERE NOT EXISTS (SELECT 1 FROM subj s WHERE s.subj_id = x.subj_id)"_s +
             u" UNION ALL SELECT count(*) FROM actv x WHERE NOT EXISTS (SELECT 1 FROM subj s WHERE s.subj_id = x.subj_id)"_s},
        {u"entities without identifier or name"_s,
         QStringLiteral("SELECT count(*) FROM subj s WHERE NOT EXISTS (SELECT 1 FROM ident x WHERE x.subj_id = s.subj_id) "
                        "OR NOT EXISTS (SELECT 1 FROM name x WHERE x.subj_id = s.subj_id)")},
        {u"memberships of missing groups or entities"_s,
         QStringLiteral("SELECT count(*) FROM mem m WHERE NOT EXISTS (SELECT 1 FROM subj s WHERE s.subj_id = m.subj_id) "
                        "OR NOT EXISTS (SELECT 1 FROM subj s WHERE s.subj_id = m.mem_id)")},
        {u"note lines no entity points to, or notes without lines"_s,
         u"SELECT count(*) FROM text t WHERE NOT EXISTS (SELECT 1 FROM subj s WHERE s.text_id = t.text_id)"_s +
             QStringLiteral(" UNION ALL SELECT count(*) FROM subj s WHERE s.text_id IS NOT NULL AND NOT EXISTS "
                            "(SELECT 1 FROM text t WHERE t.text_id = s.text_id)")},
        {u"statements of missing entities, items of missing statements, statements without items"_s,
         u"SELECT count(*) FROM finl_stmt f WHERE NOT EXISTS (SELECT 1 FROM subj s WHERE s.subj_id = f.subj_id)"_s +
             u" UNION ALL SELECT count(*) FROM finl_item i WHERE NOT EXISTS (SELECT 1 FROM finl_stmt f WHERE f.finl_stmt_id = i.finl_stmt_id)"_s +
             u" UNION ALL SELECT count(*) FROM finl_stmt f WHERE NOT EXISTS (SELECT 1 FROM finl_item i WHERE i.finl_stmt_id = f.finl_stmt_id)"_s},
        // Statements of one kind and fill level have one number of items: none was cut short.
        {u"statements cut short"_s,
         QStringLiteral("SELECT count(*) FROM (SELECT stmt_type_cd, fill_lvl_ind FROM (SELECT f.finl_stmt_id, f.stmt_type_cd, f.fill_lvl_ind, "
                        "count(*) AS n FROM finl_stmt f, finl_item i WHERE i.finl_stmt_id = f.finl_stmt_id AND f.subj_id <> 3366 "
                        "GROUP BY f.finl_stmt_id, f.stmt_type_cd, f.fill_lvl_ind) x GROUP BY stmt_type_cd, fill_lvl_ind "
                        "HAVING count(DISTINCT n) > 1) y")},
    };
    for (const auto &[what, sql] : orphans) {
        qint64 faults = 0;
        const db::Rows rows = db.queryRows(sql);
        if (!rows.ok())
            faults = 1;
        for (const QStringList &r : rows.rows)
            faults += r.value(0).toLongLong();
        line(what, faults, rows.ok() ? u"none"_s : rows.error);
    }
    if (db.backend() == db::Backend::SQLite) {
        const auto integrity = db.queryNative(u"PRAGMA integrity_check"_s);
        const QString verdict = integrity.ok() && !integrity.value.isEmpty() ? integrity.value.front().value(0).toString() : integrity.error;
        line(u"SQLite integrity check"_s, verdict == u"ok"_s ? 0 : 1, verdict);
    }
    const qint64 statements = count(db, u"SELECT count(*) FROM finl_stmt WHERE subj_id <> 3366"_s, *this);
    const qint64 entities = count(db, u"SELECT count(*) FROM subj WHERE subj_id <> 3366"_s, *this);
    line(u"rows there at the end"_s, 0, u"%1 entities and groups, %2 whole statements"_s.arg(entities).arg(statements));
}

Report check(db::Database &db, const QStringList &logs, bool killed)
{
    Report report;
    // What the database holds now.
    QHash<qint32, QPair<QString, QString>> named;
    for (const QStringList &r : db.queryRows(QStringLiteral("SELECT i.subj_id, RTRIM(i.ident_txt), n.name_txt FROM ident i, name n "
                                                            "WHERE i.subj_id = n.subj_id AND i.inac_ind = 0 AND n.inac_ind = 0")).rows)
        named.insert(r[0].toInt(), {r[1], r[2]});
    QSet<QPair<qint32, qint32>> members;
    for (const QStringList &r : db.queryRows(u"SELECT subj_id, mem_id FROM mem"_s).rows)
        members.insert({r[0].toInt(), r[1].toInt()});
    // Line 193 of every stored balance sheet and the statements that exist, by id.
    QHash<qint32, qint64> markers;
    for (const QStringList &r : db.queryRows(u"SELECT finl_stmt_id, amt_val FROM finl_item WHERE item_type_cd = 193"_s).rows)
        markers.insert(r[0].toInt(), static_cast<qint64>(r[1].toDouble()));
    QSet<qint32> statementIds;
    for (const QStringList &r : db.queryRows(u"SELECT finl_stmt_id FROM finl_stmt"_s).rows)
        statementIds.insert(r[0].toInt());
    QHash<qint32, QString> indicators;
    for (const QStringList &r : db.queryRows(u"SELECT func_for_id, func_for_name FROM func_for WHERE inac_ind = 0"_s).rows)
        indicators.insert(r[0].toInt(), r[1]);

    // Each acknowledged write found as acknowledged; a note as its last acknowledged text, or
    // one tried after it when the writer was killed.
    qint64 acknowledged = 0, lost = 0, failed = 0, deadlocks = 0, reads = 0, readFailures = 0;
    std::vector<double> writeMs, readMs;
    QMap<QString, qint64> failures;
    for (const QString &path : logs) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        struct Note {
            bool acknowledged = false;
            QStringList texts; // the last acknowledged text, then the ones tried after it
        };
        std::map<qint32, Note> notes;
        for (const QByteArray &raw : file.readAll().split('\n')) {
            const QStringList f = QString::fromUtf8(raw).split(u'\t');
            const QString tag = f.value(0);
            acknowledged += tag.size() == 1 && u"EGISN"_s.contains(tag);
            if (tag == u"L"_s) {
                writeMs.push_back(f.value(1).toDouble());
            } else if (tag == u"R"_s) {
                ++reads;
                readMs.push_back(f.value(1).toDouble());
            } else if (tag == u"F"_s) {
                (f.value(1) == u"read"_s ? readFailures : failed)++;
                deadlocks += f.value(2).contains(u"deadlock"_s, Qt::CaseInsensitive);
                failures[f.value(1) + u": "_s + f.value(2).left(160)]++;
            } else if (tag == u"E"_s) {
                lost += named.value(f.value(1).toInt()) != qMakePair(f.value(2), f.value(3));
            } else if (tag == u"G"_s) {
                lost += named.value(f.value(1).toInt()).second != f.value(2) || !members.contains({f.value(1).toInt(), f.value(3).toInt()});
            } else if (tag == u"I"_s) {
                lost += indicators.value(f.value(1).toInt()) != f.value(2);
            } else if (tag == u"S"_s) {
                // A later save of the same period retires a pair but keeps its rows.
                lost += markers.value(f.value(1).toInt(), -1) != f.value(3).toLongLong() || !statementIds.contains(f.value(2).toInt());
            } else if (tag == u"N"_s) {
                notes[f.value(1).toInt()] = {true, {decoded(f.value(2))}};
            } else if (tag == u"n"_s && killed) {
                notes[f.value(1).toInt()].texts << decoded(f.value(2));
            }
        }
        for (const auto &[entity, note] : notes) {
            if (note.acknowledged)
                lost += !note.texts.contains(entities::loadNote(db, QString::number(entity)).value);
        }
    }
    report.line(u"acknowledged writes found in the database"_s, lost,
                u"%1 writes tried, %2 acknowledged and checked, %3 refused or failed"_s.arg(acknowledged + failed).arg(acknowledged).arg(failed));
    report.line(u"deadlock failures"_s, deadlocks, QString::number(deadlocks));
    report.line(u"writes failed"_s, failed, QString::number(failed));
    report.line(u"reads failed"_s, readFailures, u"%1 of %2 searches and analyses"_s.arg(readFailures).arg(reads));
    for (auto it = failures.begin(); it != failures.end(); ++it)
        std::printf("    %lld× %s\n", static_cast<long long>(it.value()), qPrintable(it.key()));
    report.line(u"write latency"_s, 0, u"p50 %1, p99 %2"_s.arg(percentile(writeMs, 0.5), percentile(writeMs, 0.99)));
    report.line(u"read latency (search + analysis)"_s, 0, u"p50 %1, p99 %2"_s.arg(percentile(readMs, 0.5), percentile(readMs, 0.99)));

    // No key twice.
    qint64 duplicates = 0;
    for (const QString &table : db::Schema::tableNames())
        duplicates += count(db, u"SELECT count(*) FROM (SELECT row_id FROM %1 GROUP BY row_id HAVING count(*) > 1) x"_s.arg(table), report);
    for (const char *key : {"subj subj_id", "func_for func_for_id", "func_grp func_grp_id", "subj text_id", "finl_stmt finl_stmt_id"}) {
        const QStringList k = QString::fromLatin1(key).split(u' ');
        duplicates += count(db, u"SELECT count(*) FROM (SELECT %2 FROM %1 WHERE %2 IS NOT NULL GROUP BY %2 HAVING count(*) > 1) x"_s.arg(k[0], k[1]),
                            report);
    }
    report.line(u"duplicate keys"_s, duplicates, QString::number(duplicates));
    return report;
}

} // namespace verna::reliability

// Statement import from CSV and XLSX: layouts, encodings, the sum rules of typed entry, and
// all-or-nothing writing.
#include "analysis/tableexport.h"
#include "base/itemcodes.h"
#include "base/textforms.h"
#include "db/audit.h"
#include "db/transaction.h"
#include "entities/entitystore.h"
#include "indicators/evaluator.h"
#include "statements/importreaders.h"
#include "statements/statementimport.h"
#include "statements/statementstore.h"
#include "support/files.h"
#include "support/testdatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QThread>
#include <zip.h>

using namespace verna;
using namespace verna::statements;
using namespace verna::test;
using namespace Qt::StringLiterals;

namespace {

const QStringList kLongHeader = {u"ico"_s, u"nazev"_s, u"rok"_s, u"ctvrtleti"_s, u"vykaz"_s, u"rozsah"_s, u"radek"_s, u"castka"_s};

// An abbreviated pair of the reference company 3366 (1996/4): its lines in form order, amounts
// in whole thousands. Any multiple of it passes the same sum rules.
struct Pair {
    QList<std::pair<int, qint64>> balance;
    QList<std::pair<int, qint64>> income;
};

Pair referencePair(db::Database &db)
{
    Pair p;
    const auto amount = [&db](int code) {
        return db.singleValue(u"SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.finl_stmt_id = i.finl_stmt_id "
                               "AND s.subj_id = 3366 AND s.year_dt = 1996 AND s.quarter_dt = 4 AND i.item_type_cd = %1"_s.arg(code))
            .toLongLong();
    };
    for (int code : base::ItemCodes::abbreviatedBalanceSheet())
        p.balance.append({code, amount(code)});
    indicators::Evaluator evaluator(db);
    const QList<int> &computed = base::ItemCodes::computedItems();
    for (int code : base::ItemCodes::abbreviatedIncomeStatement()) {
        const qsizetype i = computed.indexOf(code);
        const qint64 value = i < 0 ? amount(code)
                                   : evaluator.indicatorValue(base::ItemCodes::computedItemFormulas().at(i), {1996, 4, 3366}).value.toLongLong();
        p.income.append({code, value});
    }
    return p;
}

// amount * halves / 2, exactly, with the given decimal separator.
QString scaled(qint64 amount, int halves, QChar separator)
{
    const qint64 doubled = amount * halves;
    QString text = QString::number(doubled / 2);
    if (doubled % 2 != 0) {
        if (doubled < 0 && doubled / 2 == 0)
            text = u"-0"_s;
        text += separator + u"5"_s;
    }
    return text;
}

// Long-layout rows of the pair for an entity and period, amounts scaled.
QList<QStringList> longRows(const Pair &p, const QString &ico, const QString &name, int year, int quarter, int halves,
                            QChar separator = QLatin1Char(','))
{
    QList<QStringList> rows;
    for (const auto &[type, lines] : {std::pair{u"rozvaha"_s, &p.balance}, std::pair{u"vysledovka"_s, &p.income}}) {
        for (const auto &[code, amount] : *lines)
            rows << QStringList{ico, name, QString::number(year), QString::number(quarter), type, u"zkraceny"_s, QString::number(code),
                                scaled(amount, halves, separator)};
    }
    return rows;
}

QByteArray csvOf(const QStringList &header, const QList<QStringList> &rows, QChar separator = QLatin1Char(';'))
{
    QString text;
    for (const QStringList &row : QList<QStringList>{header} + rows) {
        QStringList fields;
        for (QString f : row) {
            if (f.contains(separator) || f.contains(QLatin1Char('"')) || f.contains(QLatin1Char('\n')))
                f = QLatin1Char('"') + f.replace(u"\""_s, u"\"\""_s) + QLatin1Char('"');
            fields << f;
        }
        text += fields.join(separator) + u"\r\n"_s;
    }
    return text.toUtf8();
}

QString validIco(int n)
{
    const QString first = QString::number(2000000 + n * 7919);
    return first + QString::number(base::icoCheckDigit(first));
}

// A zip archive of the members, each deflated or, with method, stored and then marked as packed
// by that method (one libzip cannot unpack).
QByteArray zipOf(const QList<std::pair<QByteArray, QByteArray>> &members, int method = ZIP_CM_DEFLATE)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(u"z.xlsx"_s));
    int error = 0;
    zip_t *archive = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto &[name, data] : members) {
        const zip_int64_t i = zip_file_add(archive, name.constData(), zip_source_buffer(archive, data.constData(), data.size(), 0), 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(i), method == ZIP_CM_DEFLATE ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    EXPECT_EQ(zip_close(archive), 0);
    QByteArray bytes = readFile(QString::fromLocal8Bit(path));
    if (method != ZIP_CM_DEFLATE) {
        // The method field of every local header and central directory entry.
        const char low = char(method & 0xFF), high = char(method >> 8);
        for (const auto &[signature, offset] : {std::pair{QByteArray("PK\x03\x04"), 8}, std::pair{QByteArray("PK\x01\x02"), 10}}) {
            for (qsizetype at = bytes.indexOf(signature); at >= 0; at = bytes.indexOf(signature, at + 4)) {
                bytes[at + offset] = low;
                bytes[at + offset + 1] = high;
            }
        }
    }
    return bytes;
}

// A first sheet with the long header in row 1 and the given rows' XML after it.
QByteArray sheetOf(const QByteArray &rows)
{
    QByteArray header = "<row r=\"1\">";
    for (int c = 0; c < kLongHeader.size(); ++c)
        header += "<c r=\"" + QByteArray(1, char('A' + c)) + "1\" t=\"inlineStr\"><is><t>" + kLongHeader[c].toUtf8() + "</t></is></c>";
    return "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + header
        + "</row>" + rows + "</sheetData></worksheet>";
}

class ImportTest : public ReferenceTest
{
protected:
    ImportSummary import(const QByteArray &csv, ImportOptions options = {})
    {
        const Result<ImportRows> rows = readCsv(csv);
        EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
        return StatementImport(db()).importRows(rows.value, options);
    }

    QString activeStatements(const QString &where = u"1 = 1"_s)
    {
        return db().singleValue(u"SELECT count(*) FROM finl_stmt WHERE inac_ind = 0 AND "_s + where);
    }
};

// The statements, their lines and the audit trail: every column but the times, with the type
// the driver gives it, in key order.
QStringList writtenRows(db::Database &db)
{
    QStringList out;
    for (const QString &sql : {u"SELECT * FROM finl_stmt ORDER BY row_id"_s, u"SELECT * FROM finl_item ORDER BY row_id"_s,
                               u"SELECT action_txt, obj_type_txt, obj_id, subj_id, label_txt, prev_id, tbl_txt, user_txt FROM audit_log ORDER BY row_id"_s}) {
        const auto rows = db.queryNative(sql);
        EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
        for (const QVariantList &row : rows.value) {
            QStringList fields;
            for (qsizetype c = 0; c < row.size(); ++c) {
                if (c != 1 || sql.contains(u"audit_log"_s))
                    fields << QString::fromLatin1(row[c].typeName()) + u':' + row[c].toString();
            }
            out << fields.join(u'|');
        }
    }
    return out;
}

std::string describe(const ImportSummary &s)
{
    return s.lines().join(QLatin1Char('\n')).toStdString();
}

} // namespace

TEST_P(ImportTest, BrokenRulesAndHostileCellsAreRefusedOrStoredAsTyped)
{
    const Pair pair = referencePair(db());
    QList<QStringList> rows = longRows(pair, u"46192832"_s, QString(), 2001, 1, 2) + longRows(pair, u"46192832"_s, QString(), 2001, 2, 3);
    // The second pair's total assets (its first line, file line 2 + 53) one thousand off.
    const int broken = static_cast<int>(pair.balance.size() + pair.income.size());
    ASSERT_EQ(rows[broken][6], u"92"_s);
    rows[broken][7] = u"1"_s + rows[broken][7];
    const QByteArray csv = csvOf(kLongHeader, rows);

    const ImportSummary all = import(csv);
    EXPECT_EQ(all.imported, 0);
    EXPECT_EQ(activeStatements(u"year_dt = 2001"_s), u"0"_s);
    ASSERT_FALSE(all.refusals.isEmpty()) << describe(all);
    EXPECT_EQ(all.refusals.front().line, broken + 2);
    EXPECT_TRUE(all.refusals.front().reason.contains(u"92 = 93 + 94 + 119 + 146"_s)) << describe(all);
    EXPECT_TRUE(all.lines().contains(u"Nic nebylo uloženo."_s));
    // A cell's "%2" is told as it stands.
    QList<QStringList> odd = rows;
    odd[broken][7] = u"%2"_s;
    const ImportSummary oddAmount = import(csvOf(kLongHeader, odd));
    ASSERT_FALSE(oddAmount.refusals.isEmpty());
    EXPECT_TRUE(oddAmount.refusals.front().reason.contains(u"„%2“ řádku 92"_s)) << describe(oddAmount);

    // Stop once a pair is written leaves nothing either: the transaction is rolled back.
    bool written = false;
    EXPECT_TRUE(import(csv, {.partial = true, .progress = [&written](ImportStep step, int, int) { written = step == ImportStep::Writing; },
                             .stopRequested = [&written] { return written; }})
                    .stopped);
    EXPECT_EQ(activeStatements(u"year_dt = 2001"_s), u"0"_s);

    int calls = 0;
    const ImportSummary some = import(csv, {.partial = true, .progress = [&calls](ImportStep, int done, int total) {
                                                EXPECT_LE(done, total);
                                                ++calls;
                                            }, .stopRequested = {}});
    EXPECT_EQ(some.imported, 2) << describe(some);
    EXPECT_FALSE(some.complete());
    EXPECT_GE(calls, 2);
    EXPECT_EQ(activeStatements(u"year_dt = 2001 AND quarter_dt = 1"_s), u"2"_s);
    EXPECT_EQ(db().singleValue(u"SELECT i.amt_val FROM finl_item i, finl_stmt s WHERE s.finl_stmt_id = i.finl_stmt_id AND s.year_dt = 2001 "
                                "AND s.inac_ind = 0 AND i.item_type_cd = 92"_s), QString::number(pair.balance.front().second));


    // Hostile cells are refused or stored as typed, in either encoding.
    const ImportOptions create{.createEntities = true, .progress = {}, .stopRequested = {}};
    // Names are stored as typed, apostrophes and formulas included.
    const QString quote = u"O'Brien \"Stroje\"; =HYPERLINK(\"x\"), s.r.o."_s;
    const QString formula = u"=1+2, a.s."_s;
    ImportSummary s = import(csvOf(kLongHeader, longRows(pair, validIco(2), quote, 2003, 1, 2) + longRows(pair, validIco(3), formula, 2003, 1, 2)),
                             create);
    EXPECT_TRUE(s.complete()) << describe(s);
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM name WHERE name_txt IN ('%1', '%2')"_s.arg(QString(quote).replace(u"'"_s, u"''"_s), formula)),
              u"2"_s);

    // Amounts, codes and names that are not what they claim are refused; nothing is written.
    const QString huge(10000, QLatin1Char('9'));
    for (const auto &[column, cell] : {std::pair{7, u"=1+2"_s}, std::pair{7, u"1'000"_s}, std::pair{7, huge}, std::pair{7, u"1e5"_s},
                                       std::pair{6, u"92;DROP TABLE finl_item"_s}, std::pair{6, huge}, std::pair{1, QString(10000, u'A') + u", a.s."_s}}) {
        QList<QStringList> rows = longRows(pair, validIco(4), u"Firma, a.s."_s, 2004, 1, 2);
        rows[3][column] = cell;
        if (column == 1)
            rows[0][column] = cell;
        s = import(csvOf(kLongHeader, rows), create);
        EXPECT_EQ(s.imported, 0) << cell.left(30).toStdString();
        ASSERT_EQ(s.refusals.size(), 1) << describe(s);
        EXPECT_EQ(s.refusals.front().line, column == 1 ? 2 : 5) << describe(s);
    }
    EXPECT_EQ(activeStatements(u"year_dt = 2004"_s), u"0"_s);

    // Windows-1250 with a comma separator and decimal points; UTF-16 is refused as it is.
    QByteArray cp1250 = csvOf({u"IČO"_s, u"Název"_s, u"Rok"_s, u"Čtvrtletí"_s, u"Výkaz"_s, u"Rozsah"_s, u"Řádek"_s, u"Částka"_s},
                              longRows(pair, validIco(5), u"Pekárna Žďár, s.r.o."_s, 2005, 2, 3, QLatin1Char('.')), QLatin1Char(','));
    cp1250.replace("Žďár", "\x8E\xEF\xE1r").replace("Č", "\xC8").replace("á", "\xE1").replace("í", "\xED").replace("ý", "\xFD")
        .replace("Ř", "\xD8").replace("ř", "\xF8");
    s = import(cp1250, create);
    EXPECT_TRUE(s.complete()) << describe(s);
    EXPECT_EQ(db().singleValue(u"SELECT count(*) FROM name WHERE name_txt = 'Pekárna Žďár, s.r.o.'"_s), u"1"_s);
    const QString utf16 = u"ico;rok\n1;2"_s;
    EXPECT_FALSE(readCsv(QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2)).ok());
    // Blank lines before the header do not choose the separator.
    const Result<ImportRows> blankFirst = readCsv("\r\n \t\nico;rok\n1;2\n");
    ASSERT_TRUE(blankFirst.ok() && blankFirst.value.size() == 2) << blankFirst.error.toStdString();
    EXPECT_EQ(blankFirst.value.front().cells, (QStringList{u"ico"_s, u"rok"_s}));
}

// Occupied periods need replacing and unknown IČOs creating; the pairs are stored as saving them one by one would.
TEST_P(ImportTest, OccupiedPeriodsNeedReplaceAndUnknownIcosNeedCreation)
{
    const Pair pair = referencePair(db());
    const QString newIco = validIco(1);
    const QByteArray occupied = csvOf(kLongHeader, longRows(pair, u"46192832"_s, QString(), 1996, 4, 2)
                                                  + longRows(pair, newIco, u"Nová firma, s.r.o."_s, 2002, 3, 3));
    const ImportSummary refused = import(occupied);
    ASSERT_EQ(refused.refusals.size(), 2) << describe(refused);
    EXPECT_EQ(refused.refusals[0].line, 2);
    EXPECT_TRUE(refused.refusals[0].reason.contains(u"--replace"_s));
    EXPECT_EQ(refused.refusals[1].line, 2 + 53);
    EXPECT_TRUE(refused.refusals[1].reason.startsWith(u"Neznámé IČO "_s + newIco));

    const ImportSummary done = import(occupied, {.replace = true, .createEntities = true, .progress = {}, .stopRequested = {}});
    EXPECT_TRUE(done.complete()) << describe(done);
    EXPECT_EQ(done.replaced, 2);
    EXPECT_EQ(done.entitiesCreated, 1);
    // The full reference pair is replaced by an abbreviated one; the new company has its pair.
    EXPECT_EQ(activeStatements(u"subj_id = 3366 AND year_dt = 1996"_s), u"2"_s);
    EXPECT_EQ(activeStatements(u"subj_id = 3366 AND year_dt = 1996 AND fill_lvl_ind = 2"_s), u"2"_s);
    EXPECT_EQ(db().singleValue(u"SELECT n.name_txt FROM name n, ident i WHERE n.subj_id = i.subj_id AND i.ident_txt = '%1'"_s.arg(newIco)),
              u"Nová firma, s.r.o."_s);
    EXPECT_EQ(db().singleValue(u"SELECT i.form_type_cd FROM ident i WHERE i.ident_txt = '%1'"_s.arg(newIco)), u"1112"_s);

    // Saving the same pairs one by one gives the same rows, keys and audit trail.
    TestDatabase single(GetParam());
    ASSERT_TRUE(single.open() && single.createSchema(true)) << single.error().toStdString();
    {
        db::Transaction tx(single.db());
        db::audit::Batch audit(single.db(), db::audit::kImport);
        StatementStore store(single.db());
        const auto pairOf = [&pair](qint32 entity, int year, int quarter, int halves) {
            StatementPair out{entity, year, quarter, false, {}, {}};
            for (const auto &[lines, into] : {std::pair{&pair.balance, &out.balance}, std::pair{&pair.income, &out.income}}) {
                for (const auto &[code, amount] : *lines)
                    into->append({code, Amount::parse(scaled(amount, halves, QLatin1Char('.'))).value});
            }
            return out;
        };
        SaveOptions replace;
        replace.replacePeriod = true;
        ASSERT_TRUE(store.save(pairOf(3366, 1996, 4, 2), replace).ok());
        const entities::Written made = entities::EntityStore(single.db()).create({newIco, u"Nová firma, s.r.o."_s, 2, 1112, {}, {}});
        ASSERT_TRUE(made.ok());
        ASSERT_TRUE(store.save(pairOf(made.id, 2002, 3, 3)).ok());
        ASSERT_TRUE(audit.flush().ok);
        ASSERT_TRUE(tx.commit());
    }
    EXPECT_EQ(writtenRows(db()), writtenRows(single.db()));
}

// An import of several bulk chunks that fails at a statement anywhere, mid-chunk included,
// leaves nothing of it.
TEST_P(ImportTest, ImportFailingAnywhereLeavesNothing)
{
    const Pair pair = referencePair(db());
    QList<QStringList> rows;
    for (int i = 0; i < 480; ++i)
        rows += longRows(pair, validIco(200 + i % 10), u"Firma %1, s.r.o."_s.arg(i % 10), 2001 + i / 40, 1 + (i / 10) % 4, 2);
    const QByteArray csv = csvOf(kLongHeader, rows);
    const ImportOptions create{.createEntities = true, .progress = {}, .stopRequested = {}};
    // The statements the whole import runs, counted on a database alike.
    TestDatabase probe(GetParam());
    ASSERT_TRUE(probe.open() && probe.createSchema(true)) << probe.error().toStdString();
    probe.db().failStatementForTesting(0);
    const Result<ImportRows> read = readCsv(csv);
    ASSERT_TRUE(read.ok());
    ASSERT_TRUE(StatementImport(probe.db()).importRows(read.value, create).complete());
    const int total = probe.db().statementsRunForTesting();
    ASSERT_GT(total, 10);

    const QStringList before = writtenRows(db());
    // Early statements, then each of the last ones, where the bulk chunks go.
    QList<int> failing = {total / 3, total / 2};
    for (int n = total - 12; n < total; ++n)
        failing << n;
    for (const int n : failing) {
        db().failStatementForTesting(n);
        const ImportSummary failed = import(csv, create);
        db().failStatementForTesting(0);
        EXPECT_EQ(failed.imported, 0) << n << " of " << total;
        EXPECT_FALSE(db().inTransaction());
        EXPECT_EQ(writtenRows(db()), before) << n << " of " << total;
    }
    EXPECT_TRUE(import(csv, create).complete());
}

VERNA_ALL_BACKENDS(ImportTest);

// The same thousand statements from a long CSV (commas, decimal points), a wide XLSX and the
// windows' CSV of the wide table (a byte-order mark, ";", decimal commas) give the same
// database; SQLite is enough, the readers do not depend on the backend.
TEST(ImportFiles, ThousandStatementsReadAlikeAKilledImportLeavesNothingAndHostileFilesAreRefused)
{
    TestDatabase dbs[] = {TestDatabase(TestBackend::SQLite), TestDatabase(TestBackend::SQLite), TestDatabase(TestBackend::SQLite)};
    for (TestDatabase &t : dbs)
        ASSERT_TRUE(t.open() && t.createSchema(true));
    const Pair pair = referencePair(dbs[0].db());
    // 25 companies, 20 quarters each, amounts in whole and half thousands.
    QList<QStringList> rows;
    for (int i = 0; i < 500; ++i)
        rows += longRows(pair, validIco(10 + i % 25), u"Firma %1, s.r.o."_s.arg(i % 25), 2000 + i / 100, 1 + (i / 25) % 4, 2 + i % 3,
                         QLatin1Char('.'));
    QTemporaryDir dir;
    const QString paths[] = {dir.filePath(u"v.csv"_s), dir.filePath(u"v.xlsx"_s), dir.filePath(u"okno.csv"_s)};
    ASSERT_TRUE(writeFile(paths[0], csvOf(kLongHeader, rows, QLatin1Char(','))));
    // The XLSX holds the same amounts in the wide layout: a row per line, a column per period.
    analysis::ExportTable table;
    table.sheetName = u"Výkazy"_s;
    QStringList periods;
    QMap<QStringList, QMap<QString, QString>> wide;
    for (const QStringList &row : rows) {
        const QString period = row[2] + u"/"_s + row[3];
        if (!periods.contains(period))
            periods << period;
        wide[{row[0], row[1], row[4], row[5], row[6]}][period] = QString(row[7]).replace(QLatin1Char(','), QLatin1Char('.'));
    }
    periods.sort();
    table.header = {QStringList{u"IČO"_s, u"Název"_s, u"Výkaz"_s, u"Rozsah"_s, u"Řádek"_s} + periods};
    table.fixedColumns = 5;
    for (auto it = wide.cbegin(); it != wide.cend(); ++it) {
        QStringList row = it.key();
        for (const QString &period : periods)
            row << it.value().value(period);
        table.rows << row;
    }
    table.number = [](const QString &text) -> std::optional<double> {
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok ? std::optional<double>(value) : std::nullopt;
    };
    ASSERT_TRUE(analysis::writeXlsx(table, paths[1]).ok);
    ASSERT_TRUE(analysis::writeSpreadsheetCsv(table, paths[2]).ok);

    const ImportOptions create{.createEntities = true, .progress = {}, .stopRequested = {}};
    const QString dump = u"SELECT i.ident_txt, n.name_txt, s.year_dt, s.quarter_dt, s.stmt_type_cd, s.fill_lvl_ind, f.item_type_cd, f.amt_val "
                          "FROM finl_item f, finl_stmt s, ident i, name n WHERE f.finl_stmt_id = s.finl_stmt_id AND s.subj_id = i.subj_id "
                          "AND n.subj_id = i.subj_id AND s.inac_ind = 0 AND f.inac_ind = 0 ORDER BY 1, 3, 4, 5, 7"_s;
    QList<QStringList> first;
    for (int i = 0; i < 3; ++i) {
        const ImportSummary s = StatementImport(dbs[i].db()).importFile(paths[i], create);
        EXPECT_TRUE(s.complete() && s.imported == 1000) << paths[i].toStdString() << describe(s);
        EXPECT_EQ(statementsWithoutTheirPack(dbs[i].db()), u"0"_s);
        const db::Rows rows = dbs[i].db().queryRows(dump);
        ASSERT_TRUE(rows.ok());
        EXPECT_GT(rows.rows.size(), 500 * 53);
        if (i == 0)
            first = rows.rows;
        EXPECT_TRUE(rows.rows == first) << paths[i].toStdString();
    }

    // verna-db killed while it writes a large file: the one transaction leaves nothing behind.
    TestDatabase t(TestBackend::SQLite);
    ASSERT_TRUE(t.open() && t.createSchema(true));
    const Pair bigPair = referencePair(t.db());
    QList<QStringList> bigRows;
    for (int i = 0; i < 3000; ++i)
        bigRows += longRows(bigPair, validIco(100 + i % 30), u"Firma, s.r.o."_s, 1993 + i / 120, 1 + (i / 30) % 4, 2);
    QTemporaryDir bigDir;
    const QString path = bigDir.filePath(u"big.csv"_s);
    ASSERT_TRUE(writeFile(path, csvOf(kLongHeader, bigRows)));
    const auto counts = [&t] {
        return t.db().singleValue(u"SELECT count(*) FROM finl_stmt"_s) + u"/"_s + t.db().singleValue(u"SELECT count(*) FROM finl_item"_s)
            + u"/"_s + t.db().singleValue(u"SELECT count(*) FROM ident"_s);
    };
    const QString before = counts();

    QProcess p;
    p.setEnvironment(t.childEnvironment());
    p.start(QStringLiteral(VERNA_DB_TOOL), {u"--db"_s, t.dbOption(), u"import"_s, u"--create-entities"_s, path});
    // Writing has begun when the transaction has put pages into the journal or the log.
    const QString db = t.dbOption();
    bool writing = false;
    for (int waited = 0; !writing && p.state() != QProcess::NotRunning && waited < 120000; waited += 10) {
        QThread::msleep(10);
        writing = QFileInfo(db + u"-journal"_s).size() > 65536 || QFileInfo(db + u"-wal"_s).size() > 1048576;
    }
    ASSERT_TRUE(writing) << "the import ended before it was seen writing";
    p.kill();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(counts(), before);

    // Hostile files end quickly with their reason, whatever they claim: a row wider or narrower than the header,
    // a device, a sheet that unpacks past the cap or reaches past the header, a compression libzip cannot
    // unpack, nesting without end. verna-db prints the reason to stderr.
    // An unquoted decimal comma makes a ninth cell; a cell short is as wrong.
    const QByteArray header = "ico,nazev,rok,ctvrtleti,vykaz,rozsah,radek,castka\n";
    const QByteArray comma = header + "27143058,\"Pekárna Kolín, s.r.o.\",2005,4,rozvaha,zkraceny,92,227586,7\n";
    Result<ImportRows> read = readCsv(comma);
    EXPECT_TRUE(read.error.startsWith(u"Řádek 2 má 9 sloupců, záhlaví 8"_s)) << read.error.toStdString();
    read = readCsv(header + "\n27143058,x,2005,4,rozvaha,zkraceny,92\n");
    EXPECT_TRUE(read.error.startsWith(u"Řádek 3 má 7 sloupců"_s)) << read.error.toStdString();
    EXPECT_TRUE(readCsv(header + "1,,2005,4,rozvaha,zkraceny,92,\"1,5\"\n,,\n").ok());

    if (QFileInfo::exists(u"/dev/zero"_s)) {
        const Outcome zero = readImportFile(u"/dev/zero"_s, [](const SparseRow &) { return Outcome::success(); });
        EXPECT_EQ(zero.error, u"/dev/zero není obyčejný soubor."_s);
    }
    {
        // The open database is never read as a file: closing that descriptor would drop its locks.
        TestDatabase fresh(TestBackend::SQLite);
        ASSERT_TRUE(fresh.open() && fresh.createSchema());
        const Outcome own = readImportFile(fresh.dbOption(), [](const SparseRow &) { return Outcome::success(); });
        EXPECT_TRUE(own.error.contains(u"je otevřená databáze"_s)) << own.error.toStdString();
    }
    {
        // A CSV file is streamed, so only its own cap holds; sparse files cost no disk.
        QTemporaryDir folder;
        const auto sizedError = [&](const QByteArray &start, qint64 size) {
            QFile file(folder.filePath(u"big"_s));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(start) == start.size() && file.resize(size));
            file.close();
            return readImportFile(file.fileName(), [](const SparseRow &) { return Outcome::success(); }).error;
        };
        EXPECT_NE(sizedError("ico", kMaxImportBytes + 1), u"Soubor je větší než 64 MiB."_s);
        EXPECT_EQ(sizedError("ico", kMaxStreamedCsvBytes + 1), u"Soubor je větší než 1024 MiB."_s);
        EXPECT_EQ(sizedError("PK\x03\x04", kMaxImportBytes + 1), u"Soubor je větší než 64 MiB."_s);
    }

    const auto xlsxError = [](const QByteArray &bytes) { return readXlsx(bytes).error.toStdString(); };
    const QByteArray sheet = "xl/worksheets/sheet1.xml";
    // Each row holds one cell far right of the header.
    QByteArray sparse;
    for (int r = 2; r < 5000; ++r)
        sparse += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"IV" + QByteArray::number(r) + "\"><v>1</v></c></row>";
    EXPECT_EQ(xlsxError(zipOf({{sheet, sheetOf(sparse)}})), "Řádek 2: buňka IV2 leží za posledním sloupcem záhlaví.");
    // Blank space unpacking past the cap, which only reading finds: the archive does not say.
    const QByteArray bomb = sheetOf(("<row/>" + QByteArray(100000, ' ')).repeated(kMaxImportBytes / 100000 + 1));
    EXPECT_EQ(xlsxError(zipOf({{sheet, bomb}})), "List sešitu je po rozbalení větší než 64 MiB.");
    EXPECT_EQ(xlsxError(zipOf({{sheet, sheetOf({})}}, ZIP_CM_PPMD)),
              "Soubor není čitelný sešit XLSX. Část xl/worksheets/sheet1.xml je uložena nepodporovanou kompresí.");
    EXPECT_EQ(xlsxError(zipOf({{sheet, sheetOf(QByteArray("<a>").repeated(100000))}})),
              "Soubor není čitelný sešit XLSX. Prvky jsou vnořeny hlouběji než do 32 úrovní.");
    EXPECT_TRUE(readXlsx(zipOf({{sheet, sheetOf("<row r=\"2\"><c r=\"IV2\"/><c r=\"IU2\" t=\"inlineStr\"><is><t> </t></is></c></row>")}})).ok());

    TestDatabase fresh(TestBackend::SQLite);
    ASSERT_TRUE(fresh.open() && fresh.createSchema(true));
    QTemporaryDir folder;
    const QString file = folder.filePath(u"comma.csv"_s);
    ASSERT_TRUE(writeFile(file, comma));
    const ToolRun run = runVernaDb({u"--db"_s, fresh.dbOption(), u"import"_s, file}, fresh.childEnvironment());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, u"Výkazů v souboru: 0, uloženo: 0 (z toho nahrazeno: 0), nových subjektů: 0.\n"_s);
    EXPECT_TRUE(run.err.startsWith(u"Řádek 2 má 9 sloupců"_s)) << run.err.toStdString();
}


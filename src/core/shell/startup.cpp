#include "shell/startup.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "db/databasecheck.h"
#include "db/odbclogin.h"
#include "db/schema.h"
#include "db/transaction.h"
#include "shell/demodata.h"
#include "shell/referencedata.h"

#include <QFileInfo>
#include <QSet>

namespace verna::shell {

namespace {

// Codes of the list that the database lacks, in the order of the fixed list.
QStringList missingCodes(db::Database &database, int list, const QList<int> &codes, QString &error)
{
    const db::Rows rows = database.queryRows(QStringLiteral("SELECT val_agn FROM cd_val WHERE tbl_cd = ")
                                             + QString::number(list) + QStringLiteral(" AND inac_ind = 0"));
    if (!rows.ok()) {
        error = rows.error;
        return {};
    }
    QSet<QString> present;
    for (const QStringList &row : rows.rows)
        present.insert(row.value(0));
    QStringList missing;
    for (const int code : codes) {
        if (!present.contains(QString::number(code)))
            missing << QString::number(code);
    }
    return missing;
}

} // namespace

Outcome initialiseDatabase(db::Database &database, bool replace)
{
    db::Transaction tx(database);
    if (!tx.isActive())
        return Outcome::failure(database.lastError());
    if (Outcome created = db::Schema::create(database, replace); !created)
        return created;
    if (Outcome loaded = loadReferenceData(database); !loaded)
        return loaded;
    if (!tx.commit())
        return Outcome::failure(database.lastError());
    database.trimWriteAheadLog();
    return Outcome::success();
}

namespace {

// First start: all of it lands, or nothing does and the next start tries again.
Outcome createEmbeddedDatabase(db::Database &database, const std::function<void(const QString &step)> &step, FirstStart firstStart)
{
    database.useWriteAheadLog();
    db::Transaction tx(database);
    if (step)
        step(QStringLiteral("Zakládám databázi a číselníky…"));
    if (const Outcome created = initialiseDatabase(database, false); !created)
        return created;
    if (firstStart == FirstStart::WithDemo) {
        if (step)
            step(QStringLiteral("Vytvářím ukázková data…"));
        if (const Outcome demo = generateDemoData(database, DemoOptions()); !demo)
            return Outcome::failure(QStringLiteral("Ukázková data nelze vytvořit: ") + demo.error);
    }
    if (!tx.commit())
        return Outcome::failure(database.lastError());
    return Outcome::success();
}

} // namespace

Outcome openDatabase(db::Database &database, const std::optional<db::DatabaseLocation> &option,
                     const std::function<void(const QString &step)> &step, FirstStart firstStart)
{
    const db::DatabaseLocation location = option.value_or(db::defaultDatabaseLocation());
    const bool embeddedDefault = !option && location.kind == db::DatabaseLocation::Kind::File;
    // A mistyped path must not leave an empty database behind; "verna-db init" creates files.
    if (option && location.kind == db::DatabaseLocation::Kind::File && !QFileInfo::exists(location.path))
        return Outcome::failure(QStringLiteral("Databáze %1 neexistuje; založte ji příkazem „verna-db --db %1 init“.").arg(location.describe()));
    if (const Outcome opened = database.open(location); !opened) {
        if (location.kind == db::DatabaseLocation::Kind::Odbc) {
            if (db::classifyOdbcFailure(location.dsn, opened.error) == db::OdbcFailure::ServerUnavailable) {
                // A refused login or a missing database is named as such, not as a silent server.
                const db::LoginFailure why = db::classifyLoginFailure(opened.error);
                if (why == db::LoginFailure::WrongLogin || why == db::LoginFailure::DatabaseMissing)
                    return Outcome::failure(db::loginFailureText(why, location.dsn).chopped(1) + QStringLiteral(": ") + opened.error);
                return Outcome::failure(kOdbcServerUnavailable.arg(location.dsn, opened.error));
            }
            return Outcome::failure(kOdbcNotConfigured + QStringLiteral(": ") + opened.error);
        }
        return Outcome::failure(QStringLiteral("Databázi nelze otevřít (") + location.describe() + QStringLiteral("): ")
                                + opened.error);
    }
    const db::DatabaseInspection found = db::inspectDatabase(database);
    if (embeddedDefault && found.state == db::DatabaseState::Empty) {
        const Outcome created = createEmbeddedDatabase(database, step, firstStart);
        if (created)
            database.trimWriteAheadLog();
        else
            database.removeCreatedFile();
        return created;
    }
    if (const Outcome usable = db::checkVernaDatabase(database, found); !usable)
        return usable;
    // A newer file is refused before anything is written to it, the journal mode included.
    if (const Outcome current = db::Schema::upgrade(database, upgradeReferenceData); !current)
        return current;
    database.useWriteAheadLog();
    return Outcome::success();
}

Outcome checkDatabaseUsable(db::Database &database)
{
    const struct {
        QString table;
        QString what;
    } tables[] = {
        {QStringLiteral("cd_val"), QStringLiteral("číselníků")},
        {QStringLiteral("finl_stmt"), QStringLiteral("výkazů")},
    };
    for (const auto &t : tables) {
        const db::Rows rows = database.queryRows(QStringLiteral("SELECT count(*) FROM ") + t.table);
        if (!rows.ok())
            return Outcome::failure(QStringLiteral("Tabulku %1 (%2) nelze přečíst: %3").arg(t.what, t.table, rows.error));
    }
    const struct {
        int list;
        QString what;
        const QList<int> &codes;
    } lists[] = {
        {29, QStringLiteral("řádků rozvahy"), base::ItemCodes::abbreviatedBalanceSheet()},
        {30, QStringLiteral("řádků výsledovky"), base::ItemCodes::abbreviatedIncomeStatement()},
    };
    for (const auto &l : lists) {
        QString error;
        const QStringList missing = missingCodes(database, l.list, l.codes, error);
        if (!error.isEmpty())
            return Outcome::failure(QStringLiteral("Číselník %1 nelze přečíst: %2").arg(l.what, error));
        if (!missing.isEmpty())
            return Outcome::failure(QStringLiteral("V číselníku %1 (číselník %2) chybí položky %3.")
                                        .arg(l.what, QString::number(l.list), missing.join(QStringLiteral(", "))));
    }
    return Outcome::success();
}

} // namespace verna::shell

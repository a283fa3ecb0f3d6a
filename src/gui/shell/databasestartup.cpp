#include "shell/databasestartup.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "shell/frmhlavni.h"
#include "shell/startup.h"
#include "ui/longtask.h"
#include "ui/messages.h"

#include <QFileInfo>
#include <QSet>

namespace verna::shell {

namespace {

const QString kChooseFile = QStringLiteral("Vybrat jiný soubor...");
const QString kQuit = QStringLiteral("Ukončit");

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

bool connectAtStartup(db::Database &database, const std::optional<db::DatabaseLocation> &option, QWidget *parent)
{
    std::optional<db::DatabaseLocation> location = option;
    for (;;) {
        Outcome outcome;
        {
            // The first start builds the database and its demo data: a small window names the step.
            ui::StepWindow progress(parent, frmHlavni::kCaption);
            outcome = openDatabase(database, location, [&progress](const QString &text) { progress.step(text); });
        }
        if (!outcome && database.location().kind == db::DatabaseLocation::Kind::Odbc) {
            QString reason = outcome.error;
            const QString prefix = kOdbcNotConfigured + QStringLiteral(": ");
            if (reason.startsWith(prefix))
                reason = reason.mid(prefix.size());
            ui::critical(parent, frmHlavni::kCaption, kOdbcNotConfigured, reason);
            return false;
        }
        if (outcome) {
            outcome = checkDatabaseUsable(database);
            if (outcome)
                return true;
        }
        const QString place = database.location().describe();
        database.close();
        const QString text = QStringLiteral("Databázi %1 nelze použít.\n\nMůžete vybrat jiný databázový soubor, "
                                            "nebo aplikaci ukončit.")
                                 .arg(place);
        for (;;) {
            if (ui::choose(parent, ui::MessageIcon::Critical, frmHlavni::kCaption, text, {kChooseFile, kQuit}, 1,
                           outcome.error)
                != 0)
                return false;
            const QString folder = QFileInfo(db::embeddedDatabasePath()).absolutePath();
            const QString path = ui::openFileName(parent, QStringLiteral("Vyberte databázi VERNA"), folder,
                                                  QStringLiteral("Databáze SQLite (*.sqlite *.db);;Všechny soubory (*)"));
            if (!path.isEmpty()) {
                location = db::DatabaseLocation::file(path);
                break;
            }
        }
    }
}

} // namespace verna::shell

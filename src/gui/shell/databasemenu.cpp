#include "shell/databasemenu.h"

#include "db/database.h"
#include "db/odbclogin.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "shell/frmpripojeni.h"
#include "shell/loginstep.h"
#include "shell/recentdatabases.h"
#include "shell/startup.h"
#include "ui/messages.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

namespace verna::shell {

DatabaseMenu::DatabaseMenu(frmHlavni &main, AppState &state, QMenu *menu, QAction *before)
    : QObject(&main)
    , m_main(main)
    , m_state(state)
{
    auto *connect = new QAction(QStringLiteral("&Připojit k databázi…"), menu);
    connect->setObjectName(QStringLiteral("miPripojit"));
    menu->insertAction(before, connect);
    QObject::connect(connect, &QAction::triggered, this, [this] { showDialog(); });
    m_recent = new QMenu(QStringLiteral("&Naposledy použité"), menu);
    m_recent->setObjectName(QStringLiteral("mnuNaposledy"));
    menu->insertMenu(before, m_recent);
    QObject::connect(m_recent, &QMenu::aboutToShow, this, &DatabaseMenu::fillRecent);
    menu->insertSeparator(before);

    if (m_state.database().isOpen())
        RecentDatabases::remember(m_state.database().location());
    fillRecent();
    showInTitle();
    // After the frame has shown: the warning belongs in front of it.
    QTimer::singleShot(0, this, &DatabaseMenu::warnIfUnencrypted);
}

void DatabaseMenu::fillRecent()
{
    m_recent->clear();
    const db::DatabaseLocation &current = m_state.database().location();
    for (const db::DatabaseLocation &location : RecentDatabases::load()) {
        QAction *item = m_recent->addAction(QString(location.describe()).replace(QLatin1Char('&'), QStringLiteral("&&")));
        const bool open = m_state.database().isOpen() && RecentDatabases::same(location, current);
        item->setCheckable(open);
        item->setChecked(open);
        QObject::connect(item, &QAction::triggered, this, [this, location] { openRecent(location); });
    }
    m_recent->setEnabled(!m_recent->isEmpty());
}

void DatabaseMenu::openRecent(const db::DatabaseLocation &location)
{
    // A data source without a login of its own asks for it on the way (switchTo).
    switchTo(location);
}

void DatabaseMenu::showDialog(const std::optional<db::DatabaseLocation> &preset)
{
    frmPripojeni dialog(&m_main);
    if (preset)
        dialog.preset(*preset);
    else if (m_state.database().isOpen())
        dialog.preset(m_state.database().location());
    // Asked again until a database opens or the user gives up.
    while (dialog.exec() == QDialog::Accepted) {
        const std::optional<db::DatabaseLocation> location = dialog.location();
        if (location && switchTo(*location))
            return;
    }
}

bool DatabaseMenu::switchTo(const db::DatabaseLocation &place)
{
    db::Database &database = m_state.database();
    if (database.isOpen() && RecentDatabases::same(place, database.location())) {
        ui::information(&m_main, frmHlavni::kCaption, QStringLiteral("Databáze %1 je už otevřena.").arg(place.describe()));
        return true;
    }
    if (database.inTransaction()) {
        ui::exclamation(&m_main, frmHlavni::kCaption, QStringLiteral("Probíhá zápis do databáze; připojte se po jeho dokončení."));
        return false;
    }
    const std::optional<db::DatabaseLocation> loggedIn = logInTo(place, &m_main);
    if (!loggedIn)
        return false;
    const db::DatabaseLocation &location = *loggedIn;
    if (const Outcome usable = frmPripojeni::probe(location); !usable) {
        ui::critical(&m_main, frmHlavni::kCaption,
                     frmPripojeni::failureText(location, usable.error) + QStringLiteral("\n\nZůstává otevřena databáze ")
                         + database.location().describe() + QLatin1Char('.'),
                     usable.error);
        return false;
    }
    if (!m_main.closeChildWindows())
        return false;
    // The opening and its checks let clicks through: no command may start a window (or another
    // switch) on a database not yet checked. The frame's reload then sets each command anew.
    QList<QPointer<QAction>> paused;
    for (QAction *action : m_main.findChildren<QAction *>()) {
        if (action->isEnabled()) {
            action->setEnabled(false);
            paused << action;
        }
    }
    const auto resume = [&paused] {
        for (const QPointer<QAction> &action : std::as_const(paused)) {
            if (action)
                action->setEnabled(true);
        }
        paused.clear();
    };
    const auto resumeOnExit = qScopeGuard(resume);
    const db::DatabaseLocation previous = database.location();
    Outcome opened = openDatabase(database, location);
    if (opened)
        opened = checkDatabaseUsable(database);
    if (!opened) {
        // It passed the test a moment ago; the previous database comes back.
        database.close();
        const Outcome back = openDatabase(database, previous);
        resume();
        ui::critical(&m_main, frmHlavni::kCaption,
                     frmPripojeni::failureText(location, opened.error)
                         + (back ? QStringLiteral("\n\nZůstává otevřena databáze ") + previous.describe() + QLatin1Char('.')
                                 : QStringLiteral("\n\nNelze se vrátit ani k databázi ") + previous.describe() + QLatin1Char('.')),
                     back ? opened.error : opened.error + QLatin1Char('\n') + back.error);
        showInTitle();
        m_main.Form_Load();
        return false;
    }
    resume();
    RecentDatabases::remember(location);
    fillRecent();
    showInTitle();
    m_main.Form_Load();
    warnIfUnencrypted();
    return true;
}

void DatabaseMenu::showInTitle()
{
    const db::Database &database = m_state.database();
    m_main.setWindowTitle(database.isOpen() ? frmHlavni::kCaption + QStringLiteral(" – ") + database.location().describe()
                                                  + (database.isEncrypted() ? QStringLiteral(" 🔒") : QString())
                                            : frmHlavni::kCaption);
}

void DatabaseMenu::warnIfUnencrypted()
{
    const db::Database &database = m_state.database();
    if (m_warnedUnencrypted || !database.isOpen() || database.location().kind != db::DatabaseLocation::Kind::Odbc)
        return;
    const QString host = db::odbcSourceEntry(database.location().dsn).server;
    if (!db::warnsUnencrypted(host, database.isEncrypted()))
        return;
    m_warnedUnencrypted = true;
    ui::exclamation(&m_main, frmHlavni::kCaption,
                    QStringLiteral("Spojení s databázovým serverem %1 (zdroj ODBC „%2“) není šifrované: jména, hesla i data "
                                   "jdou sítí nechráněná.\n\nPožádejte správce, aby na serveru zapnul TLS a ve zdroji dat "
                                   "nastavil SSLmode=require nebo verify-full.")
                        .arg(host, database.location().dsn));
}

} // namespace verna::shell

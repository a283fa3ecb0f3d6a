#include "shell/frmpripojeni.h"

#include "db/database.h"
#include "db/odbcsources.h"
#include "db/openfiles.h"
#include "shell/loginstep.h"
#include "shell/recentdatabases.h"
#include "shell/startup.h"
#include "ui/messages.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace verna::shell {

namespace {

const QString kFileFilter = QStringLiteral("Databáze SQLite (*.sqlite *.db);;Všechny soubory (*)");

template <typename T>
T *named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

// A connection attempt can wait for a server: the wait cursor says so.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

frmPripojeni::frmPripojeni(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPripojeni"));
    setWindowTitle(kTitle);

    m_optSoubor = named(new QRadioButton(QStringLiteral("&Soubor SQLite"), this), QStringLiteral("optSoubor"));
    m_txtSoubor = named(new QLineEdit(this), QStringLiteral("txtSoubor"));
    auto *cmdVybrat = named(new QPushButton(QStringLiteral("&Vybrat…"), this), QStringLiteral("cmdVybrat"));
    auto *cmdNovy = named(new QPushButton(QStringLiteral("&Nová databáze…"), this), QStringLiteral("cmdNovy"));
    cmdNovy->setToolTip(QStringLiteral("Založí nový soubor s tabulkami a číselníky (jako „verna-db init“)."));

    m_optOdbc = named(new QRadioButton(QStringLiteral("Zdroj dat &ODBC"), this), QStringLiteral("optOdbc"));
    m_cboZdroj = named(new QComboBox(this), QStringLiteral("cboZdroj"));
    m_cboZdroj->setEditable(true);

    // The machine's data sources as the driver manager lists them; a name may still be typed.
    const Result<QList<db::OdbcSource>> sources = db::odbcDataSources();
    for (const db::OdbcSource &source : sources.value)
        m_cboZdroj->addItem(source.name + QStringLiteral("  (") + source.description + QLatin1Char(')'), source.name);
    m_cboZdroj->setCurrentIndex(-1);
    if (!sources.ok())
        m_cboZdroj->setToolTip(sources.error);
    else if (sources.value.isEmpty())
        m_cboZdroj->setPlaceholderText(QStringLiteral("Na tomto počítači není nastaven žádný zdroj dat"));

    auto *cmdVyzkouset = named(new QPushButton(QStringLiteral("V&yzkoušet spojení"), this), QStringLiteral("cmdVyzkouset"));
    auto *buttons = new QDialogButtonBox(this);
    named(buttons->addButton(QStringLiteral("&Připojit"), QDialogButtonBox::AcceptRole), QStringLiteral("cmdPripojit"));
    named(buttons->addButton(QStringLiteral("Storno"), QDialogButtonBox::RejectRole), QStringLiteral("cmdStorno"));

    auto *grid = new QGridLayout;
    grid->addWidget(m_optSoubor, 0, 0, 1, 3);
    grid->addWidget(m_txtSoubor, 1, 0);
    grid->addWidget(cmdVybrat, 1, 1);
    grid->addWidget(cmdNovy, 1, 2);
    grid->addWidget(m_optOdbc, 2, 0, 1, 3);
    auto *odbc = new QFormLayout;
    odbc->addRow(QStringLiteral("Zdroj dat:"), m_cboZdroj);
    grid->addLayout(odbc, 3, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    auto *login = new QLabel(QStringLiteral("Jméno a heslo se berou ze zdroje dat; nemá-li je uložené, program se na ně "
                                            "zeptá. Heslo se nikam neukládá."),
                             this);
    login->setWordWrap(true);
    layout->addWidget(login);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(cmdVyzkouset);
    bottom->addStretch();
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    resize(560, sizeHint().height());

    m_fileControls = {m_txtSoubor, cmdVybrat, cmdNovy};
    m_odbcControls = {m_cboZdroj};
    m_optSoubor->setChecked(true);
    updateEnabled();
    connect(m_optSoubor, &QRadioButton::toggled, this, &frmPripojeni::updateEnabled);
    connect(cmdVybrat, &QPushButton::clicked, this, &frmPripojeni::chooseFile);
    connect(cmdNovy, &QPushButton::clicked, this, &frmPripojeni::createFile);
    connect(cmdVyzkouset, &QPushButton::clicked, this, &frmPripojeni::testConnection);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmPripojeni::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmPripojeni::reject);
}

void frmPripojeni::updateEnabled()
{
    const bool file = m_optSoubor->isChecked();
    for (QWidget *w : std::as_const(m_fileControls))
        w->setEnabled(file);
    for (QWidget *w : std::as_const(m_odbcControls))
        w->setEnabled(!file);
}

void frmPripojeni::preset(const db::DatabaseLocation &location)
{
    if (location.kind == db::DatabaseLocation::Kind::File) {
        m_optSoubor->setChecked(true);
        m_txtSoubor->setText(QDir::toNativeSeparators(location.path));
        return;
    }
    m_optOdbc->setChecked(true);
    const int index = m_cboZdroj->findData(location.dsn);
    if (index >= 0)
        m_cboZdroj->setCurrentIndex(index);
    else
        m_cboZdroj->setEditText(location.dsn);
}

std::optional<db::DatabaseLocation> frmPripojeni::location(bool tell)
{
    if (m_optSoubor->isChecked()) {
        const QString path = m_txtSoubor->text().trimmed();
        if (path.isEmpty()) {
            if (tell)
                ui::exclamation(this, kTitle, QStringLiteral("Zadejte nebo vyberte databázový soubor."));
            return std::nullopt;
        }
        return db::DatabaseLocation::file(QDir::fromNativeSeparators(path));
    }
    // A listed source carries its name as data; a typed one is its text.
    QString dsn = m_cboZdroj->currentText().trimmed();
    const int index = m_cboZdroj->findText(m_cboZdroj->currentText());
    if (index >= 0)
        dsn = m_cboZdroj->itemData(index).toString();
    if (dsn.isEmpty()) {
        if (tell)
            ui::exclamation(this, kTitle, QStringLiteral("Vyberte zdroj dat ODBC."));
        return std::nullopt;
    }
    // The login is settled when the source is opened (logInTo).
    return db::DatabaseLocation::odbc(dsn);
}

void frmPripojeni::chooseFile()
{
    const QString start = m_txtSoubor->text().isEmpty() ? QFileInfo(db::embeddedDatabasePath()).absolutePath()
                                                        : QFileInfo(m_txtSoubor->text()).absolutePath();
    const QString path = ui::openFileName(this, QStringLiteral("Vyberte databázi VERNA"), start, kFileFilter);
    if (!path.isEmpty())
        m_txtSoubor->setText(QDir::toNativeSeparators(path));
}

void frmPripojeni::createFile()
{
    const QString start = QFileInfo(db::embeddedDatabasePath()).absoluteDir().filePath(QStringLiteral("nova.sqlite"));
    const QString path = ui::saveFileName(this, QStringLiteral("Nová databáze VERNA"), start, kFileFilter);
    if (path.isEmpty())
        return;
    Outcome created;
    {
        WaitCursor wait;
        created = createDatabaseFile(path);
    }
    if (!created) {
        ui::critical(this, kTitle, QStringLiteral("Novou databázi nelze založit."), created.error);
        return;
    }
    m_txtSoubor->setText(QDir::toNativeSeparators(path));
    ui::information(this, kTitle, QStringLiteral("Databáze %1 je založena s číselníky a ukazateli, zatím bez subjektů.")
                                      .arg(QDir::toNativeSeparators(path)));
}

Outcome frmPripojeni::probe(const db::DatabaseLocation &location)
{
    if (location.kind == db::DatabaseLocation::Kind::File && db::isOpenDatabaseFile(location.path))
        return Outcome::success();
    WaitCursor wait;
    db::Database database;
    Outcome outcome = openDatabase(database, location);
    if (outcome)
        outcome = checkDatabaseUsable(database);
    database.close();
    return outcome;
}

QString frmPripojeni::failureText(const db::DatabaseLocation &location, const QString &error)
{
    if (location.kind == db::DatabaseLocation::Kind::Odbc) {
        if (error.startsWith(kOdbcNotConfigured))
            return QStringLiteral("Zdroj dat ODBC „%1“ není na tomto počítači nastaven nebo chybí jeho ovladač.").arg(location.dsn);
        return QStringLiteral("K databázi zdroje ODBC „%1“ se nelze připojit: server neodpovídá, odmítl přihlášení, "
                              "nebo neobsahuje databázi VERNA.")
            .arg(location.dsn);
    }
    return QStringLiteral("Soubor %1 nelze použít jako databázi VERNA.").arg(location.describe());
}

void frmPripojeni::testConnection()
{
    const std::optional<db::DatabaseLocation> chosen = location(true);
    if (!chosen)
        return;
    const std::optional<db::DatabaseLocation> place = logInTo(*chosen, this);
    if (!place)
        return;
    const Outcome outcome = probe(*place);
    if (outcome)
        ui::information(this, kTitle, QStringLiteral("Spojení s databází %1 je v pořádku.").arg(place->describe()));
    else
        ui::critical(this, kTitle, failureText(*place, outcome.error), outcome.error);
}

void frmPripojeni::accept()
{
    if (location(true))
        QDialog::accept();
}

} // namespace verna::shell

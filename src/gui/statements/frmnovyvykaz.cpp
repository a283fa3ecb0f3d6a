#include "statements/frmnovyvykaz.h"

#include "selection/payload.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "statements/frmeditace.h"
#include "statements/importdialog.h"
#include "statements/statementlinesview.h"
#include "ui/busyguard.h"
#include "ui/dragdrop.h"
#include "ui/messages.h"
#include "ui/rightsgate.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>

namespace verna::statements {

namespace {

const QString kDropHere = QStringLiteral("Přetažením zadejte subjekt");
const QString kSumCheckTitle = QStringLiteral("Součtová kontrola");
constexpr int kAbbreviated = 2;
constexpr int kFull = 4;

QString currentYear()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy"));
}

} // namespace

frmNovyVykaz::frmNovyVykaz(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(state.database())
{
    setObjectName(QStringLiteral("frmNovyVykaz"));
    setWindowTitle(kCaption);
    buildControls();
    // Commands beyond the user's rights stay off, their tooltips say why.
    ui::requireRight(m_cmdOK, m_state.rights(), db::Right::Statements);
    ui::requireRight(m_cmdOdstranit, m_state.rights(), db::Right::Statements);
    ui::requireRight(m_cmdImport, m_state.rights(), db::Right::Statements);
    ui::refuseCloseWhileBusy(this);
    Form_Load();
}

void frmNovyVykaz::buildControls()
{
    const auto named = [](auto *widget, const QString &name) {
        widget->setObjectName(name);
        return widget;
    };
    const auto button = [this, &named](const QString &name, const QString &caption, void (frmNovyVykaz::*slot)()) {
        auto *b = named(new QPushButton(caption, this), name);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_lblSubjekt = named(new QLabel(kDropHere, this), QStringLiteral("lblSubjekt"));
    m_lblSubjekt->setFrameShape(QFrame::StyledPanel);
    m_lblSubjekt->setMinimumHeight(m_lblSubjekt->fontMetrics().height() * 2);
    m_txtRok = named(new QLineEdit(this), QStringLiteral("txtRok"));
    m_txtRok->setMaxLength(4);
    m_txtRok->setMaximumWidth(m_txtRok->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    m_txtRok->installEventFilter(this);
    m_cboCtvrtleti = named(new QComboBox(this), QStringLiteral("cboCtvrtleti"));
    m_cboRozsah = named(new QComboBox(this), QStringLiteral("cboRozsah"));
    connect(m_cboRozsah, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            cboRozsah_Click();
    });

    m_lvwRozvaha = named(new StatementLinesView(QStringLiteral("R"), this), QStringLiteral("lvwRozvaha"));
    m_lvwVysledovka = named(new StatementLinesView(QStringLiteral("V"), this), QStringLiteral("lvwVysledovka"));
    for (StatementLinesView *list : {m_lvwRozvaha, m_lvwVysledovka}) {
        connect(list, &StatementLinesView::editRequested, this,
                [this, list](int row, const QString &startText) { editLine(list, row, startText); });
    }
    m_lblVykazy = named(new QLabel(QStringLiteral("Výkazy subjektu:"), this), QStringLiteral("lblVykazy"));
    m_lstVykazy = named(new QListWidget(this), QStringLiteral("lstVykazy"));
    // A new current entry (by the mouse or the keys) is loaded; so is a click on the current
    // entry when it is not loaded any more.
    connect(m_lstVykazy, &QListWidget::currentItemChanged, this, [this] { lstVykazy_Click(); });
    connect(m_lstVykazy, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (m_lstVykazy->row(item) != m_loadedRow)
            lstVykazy_Click();
    });
    m_chkKontrola = named(new QCheckBox(QStringLiteral("Součtová kontrola"), this), QStringLiteral("chkKontrola"));
    m_chkKontrola->setChecked(true);

    m_cmdOK = button(QStringLiteral("cmdOK"), QStringLiteral("Uložit"), &frmNovyVykaz::cmdOK_Click);
    m_cmdVycistit = button(QStringLiteral("cmdVycistit"), QStringLiteral("Nový"), &frmNovyVykaz::cmdVycistit_Click);
    m_cmdOdstranit = button(QStringLiteral("cmdOdstranit"), QStringLiteral("Odstranit"), &frmNovyVykaz::cmdOdstranit_Click);
    m_cmdStorno = button(QStringLiteral("cmdStorno"), QStringLiteral("Storno"), &frmNovyVykaz::cmdStorno_Click);
    // The import's button is its Stop while it runs.
    m_cmdImport = named(new QPushButton(QStringLiteral("Importovat výkazy…"), this), QStringLiteral("cmdImport"));
    connect(m_cmdImport, &QPushButton::clicked, this, [this] {
        if (!ui::isBusy(this) && importStatements(this, m_cmdImport, m_state.database()))
            listStatements();
    });

    auto *period = new QHBoxLayout;
    period->addWidget(m_lblSubjekt, 1);
    for (const auto &[caption, control] : {std::pair<QString, QWidget *>{QStringLiteral("Rok:"), m_txtRok},
                                           {QStringLiteral("Čtvrtletí:"), m_cboCtvrtleti},
                                           {QStringLiteral("Výkaz:"), m_cboRozsah}}) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(control);
        period->addWidget(label);
        period->addWidget(control);
    }
    auto *lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("Rozvaha"), this), 0, 0);
    lists->addWidget(new QLabel(QStringLiteral("Výsledovka"), this), 0, 1);
    lists->addWidget(m_lblVykazy, 0, 2);
    lists->addWidget(m_lvwRozvaha, 1, 0);
    lists->addWidget(m_lvwVysledovka, 1, 1);
    auto *side = new QVBoxLayout;
    side->addWidget(m_lstVykazy, 1);
    side->addWidget(m_chkKontrola);
    lists->addLayout(side, 1, 2);
    lists->setColumnStretch(0, 5);
    lists->setColumnStretch(1, 5);
    lists->setColumnStretch(2, 2);
    lists->setRowStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdImport);
    buttons->addStretch(1);
    for (QPushButton *b : {m_cmdOK, m_cmdVycistit, m_cmdOdstranit, m_cmdStorno})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(period);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);

    const auto drop = [this](const QString &text, const QPoint &) { Form_OLEDragDrop(text); };
    ui::acceptTextDrops(this, drop);
    ui::acceptTextDrops(m_lblSubjekt, drop);
}

void frmNovyVykaz::Form_Load()
{
    shell::frmHlavni::sizeChild(this, 0.8, 0.4, QSize(960, 520));
    m_filling = true;
    m_cboRozsah->addItem(QStringLiteral("Zkrácený"), kAbbreviated);
    m_cboRozsah->addItem(QStringLiteral("Plný"), kFull);
    m_cboRozsah->setCurrentIndex(0);
    const QStringList quarters = {QStringLiteral("první"), QStringLiteral("druhé"), QStringLiteral("třetí"), QStringLiteral("čtvrté")};
    for (int q = 0; q < quarters.size(); ++q)
        m_cboCtvrtleti->addItem(quarters.at(q), q + 1);
    m_cboCtvrtleti->setCurrentIndex(0);
    m_filling = false;
    cboRozsah_Click();
    m_txtRok->setText(currentYear());
    m_cmdOK->setEnabled(false);
    m_cmdOdstranit->hide();
}

bool frmNovyVykaz::isFull() const
{
    return m_cboRozsah->currentData().toInt() == kFull;
}

bool frmNovyVykaz::fillLists(bool full)
{
    m_typed = false; // the lists start afresh
    const Result<QList<StatementLine>> balance = m_store.lines(27, full);
    const Result<QList<StatementLine>> income = m_store.lines(28, full);
    if (!balance.ok() || !income.ok()) {
        failed(QStringLiteral("Řádky výkazů nelze načíst, databáze ohlásila chybu."), balance.ok() ? income.error : balance.error);
        return false;
    }
    m_lvwRozvaha->setLines(balance.value);
    m_lvwVysledovka->setLines(income.value);
    return true;
}

void frmNovyVykaz::cboRozsah_Click()
{
    if (!fillLists(isFull()))
        return;
    if (m_editable)
        loadAmounts();
    else
        m_loaded = {};
}

void frmNovyVykaz::loadAmounts()
{
    ui::BusyGuard busy(this, m_caption);
    for (const auto &[id, list] : {std::pair{m_loaded.balance, m_lvwRozvaha}, std::pair{m_loaded.income, m_lvwVysledovka}}) {
        if (id == 0)
            continue;
        const Result<QHash<int, QString>> amounts = m_store.amounts(id);
        if (!amounts.ok()) {
            failed(QStringLiteral("Částky výkazu nelze načíst, databáze ohlásila chybu."), amounts.error);
            return;
        }
        list->setAmounts(amounts.value);
    }
}

void frmNovyVykaz::Form_OLEDragDrop(const QString &text)
{
    if (ui::isBusy(this))
        return;
    const auto payload = selection::Payload::parse(text);
    if (payload && payload->kind() == selection::Payload::Kind::SingleEntity)
        setEntity(payload->entityIds().front());
}

void frmNovyVykaz::setEntity(qint32 id)
{
    const Result<StatementEntity> chosen = m_store.entity(id);
    if (!chosen.ok()) {
        failed(QStringLiteral("Subjekt nelze načíst, databáze ohlásila chybu."), chosen.error);
        return;
    }
    if (!chosen.value.exists || chosen.value.group) {
        // The entity chosen before stays.
        ui::exclamation(this, windowTitle(), QStringLiteral("Skupině subjektů nelze přiřadit výkaz."));
        return;
    }
    m_entity = id;
    m_lblSubjekt->setText(chosen.value.label());
    m_caption = kCaption + QStringLiteral(": ") + chosen.value.label();
    setWindowTitle(m_caption);
    // A pair loaded for another entity is no longer what a save would change.
    clearLoaded();
    m_txtRok->setEnabled(true);
    m_cboCtvrtleti->setEnabled(true);
    m_cboRozsah->setEnabled(true);
    m_cmdOK->setEnabled(true);
    listStatements();
}

void frmNovyVykaz::listStatements()
{
    const QSignalBlocker quiet(m_lstVykazy);
    m_lstVykazy->clear();
    if (!m_entity)
        return;
    const Result<QList<ListedStatement>> listed = m_store.list(*m_entity);
    if (!listed.ok()) {
        failed(QStringLiteral("Seznam výkazů nelze načíst, databáze ohlásila chybu."), listed.error);
        return;
    }
    for (const ListedStatement &statement : listed.value) {
        auto *item = new QListWidgetItem(statement.text(), m_lstVykazy);
        item->setData(Qt::UserRole, statement.year);
        item->setData(Qt::UserRole + 1, statement.quarter);
    }
    m_lblVykazy->setText(QStringLiteral("Výkazy subjektu (") + QString::number(m_lstVykazy->count()) + QStringLiteral("):"));
}

bool frmNovyVykaz::txtRok_LostFocus()
{
    if (isStatementYear(m_txtRok->text()))
        return true;
    if (m_checkingYear)
        return false;
    m_checkingYear = true;
    ui::exclamation(this, windowTitle(), QStringLiteral("Zadejte platný rok!"));
    m_txtRok->setFocus();
    m_txtRok->selectAll();
    m_checkingYear = false;
    return false;
}

bool frmNovyVykaz::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_txtRok && event->type() == QEvent::FocusOut && m_txtRok->isEnabled()) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Switching to another program or opening a menu is not leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtRok_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
}

void frmNovyVykaz::lstVykazy_Click()
{
    QListWidgetItem *item = m_lstVykazy->currentItem();
    if (ui::isBusy(this) || !item || !m_entity)
        return;
    clearLoaded();
    m_cmdOK->setEnabled(false);
    const int year = item->data(Qt::UserRole).toInt();
    const int quarter = item->data(Qt::UserRole + 1).toInt();
    m_txtRok->setText(QString::number(year));
    m_cboCtvrtleti->setCurrentIndex(quarter - 1);
    m_txtRok->setEnabled(false);
    m_cboCtvrtleti->setEnabled(false);
    const Result<PeriodPair> pair = m_store.findPair(*m_entity, year, quarter);
    if (!pair.ok()) {
        failed(QStringLiteral("Výkaz nelze načíst, databáze ohlásila chybu."), pair.error);
        return;
    }
    const bool full = pair.value.form == kFull;
    m_filling = true;
    m_cboRozsah->setCurrentIndex(full ? 1 : 0);
    m_filling = false;
    m_cboRozsah->setEnabled(!full);
    if (!fillLists(full))
        return;
    m_loaded = pair.value.ids;
    loadAmounts();
    // Statements entered here may be changed and deleted; delivered ones only when abbreviated.
    const bool entered = m_loaded.income < 0;
    m_editable = entered || !full;
    m_cmdOK->setEnabled(m_editable);
    m_cmdOdstranit->setVisible(entered);
    m_loadedRow = m_lstVykazy->currentRow();
}

void frmNovyVykaz::clearLoaded()
{
    m_editable = false;
    m_loaded = {};
    m_loadedRow = -1;
    m_cmdOdstranit->hide();
}

void frmNovyVykaz::editLine(StatementLinesView *list, int row, const QString &startText)
{
    if (ui::isBusy(this) || row < 0 || row >= list->rowCount())
        return;
    QPointer<frmNovyVykaz> alive(this);
    const std::optional<QString> amount = frmEditace::edit(this, list->topLevelItem(row)->text(0), startText);
    if (alive && amount) {
        list->setAmount(row, *amount);
        m_typed = true;
    }
}

Result<QStringList> frmNovyVykaz::sumCheck(const QHash<int, Amount> &balance, const QHash<int, Amount> &income)
{
    if (!m_rules) {
        Result<SumRules> rules = SumRules::load(m_state.database());
        if (!rules.ok())
            return Result<QStringList>::failure(rules.error);
        m_rules = rules.value;
    }
    const int form = isFull() ? kFull : kAbbreviated;
    Result<QStringList> out;
    for (const RuleFailure &failure : m_rules->check(27, form, balance) + m_rules->check(28, form, income))
        out.value << failure.message();
    return out;
}

void frmNovyVykaz::cmdOK_Click()
{
    if (ui::isBusy(this) || !m_entity)
        return;
    // The year is checked again: the box may not have been left since it changed.
    if (m_txtRok->isEnabled() && !txtRok_LostFocus())
        return;
    StatementPair pair{*m_entity, m_txtRok->text().toInt(), m_cboCtvrtleti->currentData().toInt(), isFull(), {}, {}};
    QHash<int, Amount> typed[2];
    for (int i = 0; i < 2; ++i) {
        StatementLinesView *list = i == 0 ? m_lvwRozvaha : m_lvwVysledovka;
        for (int row = 0; row < list->rowCount(); ++row) {
            const Result<Amount> amount = Amount::parse(list->amount(row));
            if (!amount.ok()) {
                list->setCurrentItem(list->topLevelItem(row));
                ui::exclamation(this, windowTitle(), list->topLevelItem(row)->text(0).trimmed() + QStringLiteral(": ") + amount.error);
                return;
            }
            typed[i].insert(list->code(row), amount.value);
            (i == 0 ? pair.balance : pair.income).append({list->code(row), amount.value});
        }
    }
    if (m_chkKontrola->isChecked()) {
        const Result<QStringList> failures = sumCheck(typed[0], typed[1]);
        if (!failures.ok()) {
            failed(QStringLiteral("Součty výkazu nelze zkontrolovat, nic nebylo zapsáno."), failures.error);
            return;
        }
        if (!failures.value.isEmpty()) {
            ui::exclamation(this, kSumCheckTitle, failures.value.join(QLatin1Char('\n')));
            if (ui::choose(this, ui::MessageIcon::Exclamation, windowTitle(),
                           QStringLiteral("Nesouhlasí některé součtové kontroly. Chcete výkaz uložit?"), {ui::kYes, ui::kNo}, 1)
                != 0)
                return;
        }
    }
    SaveOptions options;
    if (m_editable && !m_loaded.isEmpty() && ui::askYesNo(this, windowTitle(), QStringLiteral("Opravdu chcete vybraný výkaz změnit?")))
        options.replacing = m_loaded;
    SavedPair saved;
    {
        ui::BusyGuard busy(this, m_caption);
        saved = m_store.save(pair, options);
    }
    if (!saved.refusal.isEmpty()) {
        ui::exclamation(this, windowTitle(), saved.refusal);
        return;
    }
    if (!saved.error.isEmpty()) {
        failed(QStringLiteral("Výkaz nelze uložit, nic nebylo zapsáno."), saved.error);
        return;
    }
    ui::information(this, windowTitle(), QStringLiteral("Výkaz byl uložen."));
    cmdVycistit_Click();
    listStatements();
}

void frmNovyVykaz::cmdVycistit_Click()
{
    if (ui::isBusy(this))
        return;
    // A new statement: nothing loaded remains to be changed or deleted by the next save.
    clearLoaded();
    m_lstVykazy->clearSelection();
    m_cboRozsah->setEnabled(true);
    cboRozsah_Click();
    m_txtRok->setEnabled(true);
    m_txtRok->setText(currentYear());
    m_cboCtvrtleti->setEnabled(true);
    m_cboCtvrtleti->setCurrentIndex(0);
    m_cmdOK->setEnabled(m_entity.has_value());
}

void frmNovyVykaz::cmdOdstranit_Click()
{
    if (ui::isBusy(this) || m_loaded.isEmpty()
        || !ui::askYesNo(this, windowTitle(), QStringLiteral("Opravdu chcete vybraný výkaz odstranit?")))
        return;
    Outcome removed;
    {
        ui::BusyGuard busy(this, m_caption);
        removed = m_store.remove(m_loaded);
    }
    if (!removed) {
        // Nothing changed: the window stays as it was, and the one message is all the user sees.
        failed(QStringLiteral("Vykaz se nepodařilo odstranit."), removed.error);
        return;
    }
    cmdVycistit_Click();
    listStatements();
}

void frmNovyVykaz::cmdStorno_Click()
{
    close();
}

bool frmNovyVykaz::canClose()
{
    if (ui::isBusy(this))
        return false;
    return !m_typed
        || ui::choose(this, ui::MessageIcon::Question, windowTitle(),
                      QStringLiteral("Zadané částky výkazu nebyly uloženy. Chcete okno přesto zavřít?"), {ui::kYes, ui::kNo}, 1)
        == 0;
}

void frmNovyVykaz::failed(const QString &what, const QString &reason)
{
    ui::databaseFailure(this, windowTitle(), what, reason);
}

} // namespace verna::statements

#include "indicators/frmnovafunkce.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "indicators/derivedlines.h"
#include "indicators/editorcontrols.h"
#include "indicators/emptyvalue.h"
#include "indicators/evaluator.h"
#include "indicators/unitcontrols.h"
#include "shell/appstate.h"
#include "ui/messages.h"
#include "ui/rightsgate.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace verna::indicators {

namespace {

const QString kCaption = QStringLiteral("Nový ukazatel");
const QString kZmenit = QStringLiteral("Změnit");
const QString kVytvorit = QStringLiteral("Vytvořit");
const QString kCrLf = QStringLiteral("\r\n");
const QString kDaysElapsedText = QStringLiteral("Počet dní od začátku roku");

QString formulaError()
{
    return QStringLiteral("Ve vzorci je chyba!") + kCrLf + QStringLiteral("Zkontrolujte počet závorek a operátorů.");
}

QString nameTakenText(const QString &name)
{
    return QStringLiteral("Zadejte jiný název ukazatele.") + kCrLf + QStringLiteral("Ukazatel ") + name
        + QStringLiteral(" již existuje.");
}

bool isNumber(const QString &value)
{
    bool ok = false;
    value.toDouble(&ok);
    return ok;
}

} // namespace

frmNovaFunkce::frmNovaFunkce(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_store(state.database())
    , m_controls(new EditorControls(this))
{
    setObjectName(QStringLiteral("frmNovaFunkce"));
    setWindowTitle(kCaption);
    buildControls();
    // Commands beyond the user's rights stay off, their tooltips say why.
    ui::requireRight(m_cmdOK, m_state.rights(), db::Right::Indicators);
    ui::requireRight(m_cmdOdstranit, m_state.rights(), db::Right::Indicators);
    resize(560, 420);

    fillItemLists();
    rebuildList();
}

frmNovaFunkce::~frmNovaFunkce() = default;

void frmNovaFunkce::buildControls()
{
    m_cboNazev = m_controls->nameBox(QStringLiteral("cboNazev"), [this](int index) {
        m_lblHodnota->clear();
        cboNazev_Click(index);
    });
    // Enter in the name box would open the indicator of that name: a typed name only names.
    m_cboNazev->installEventFilter(this);
    m_cboNazev->lineEdit()->installEventFilter(this);
    connect(m_cboNazev, &QComboBox::editTextChanged, this, &frmNovaFunkce::updateTakenName);
    m_txtPopis = m_controls->descriptionBox();

    m_txtFunkce = new QLineEdit(this);
    m_txtFunkce->setObjectName(QStringLiteral("txtFunkce"));
    connect(m_txtFunkce, &QLineEdit::textChanged, this, [this] {
        if (!m_controls->isLoading()) {
            m_formulaChanged = true;
            m_lblHodnota->clear();
        }
    });

    m_lblNazevObsazen = new QLabel(QStringLiteral("Ukazatel s tímto názvem již existuje, zadejte jiný název."), this);
    m_lblNazevObsazen->setObjectName(QStringLiteral("lblNazevObsazen"));
    m_lblNazevObsazen->setWordWrap(true);
    m_lblNazevObsazen->hide();
    m_cmdOtevritObsazeny = m_controls->button(QStringLiteral("cmdOtevritObsazeny"), QStringLiteral("Otevřít existující ukazatel"), [this] {
        const int index = takenNameIndex();
        if (index < 0)
            return;
        m_lblHodnota->clear();
        cboNazev_Click(index);
    });
    m_cmdOtevritObsazeny->hide();
    m_lblHodnota = new QLabel(this);
    m_lblHodnota->setObjectName(QStringLiteral("lblHodnota"));
    m_lblHodnota->setWordWrap(true);
    m_lblHodnota->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const auto itemList = [this](const QString &name) {
        auto *list = new QListWidget(this);
        list->setObjectName(name);
        connect(list, &QListWidget::itemDoubleClicked, this, &frmNovaFunkce::lstPolozky_DblClick);
        return list;
    };
    m_units = new UnitControls(this);
    m_lstRozvaha = itemList(QStringLiteral("lstRozvaha"));
    m_lstVysledovka = itemList(QStringLiteral("lstVysledovka"));

    const auto button = [this](const QString &name, const QString &caption, void (frmNovaFunkce::*handler)()) {
        return m_controls->button(name, caption, [this, handler] { (this->*handler)(); });
    };
    m_cmdOK = button(QStringLiteral("cmdOK"), QStringLiteral("OK"), &frmNovaFunkce::cmdOK_Click);
    m_cmdNova = button(QStringLiteral("cmdNova"), QStringLiteral("Nový"), &frmNovaFunkce::cmdNova_Click);
    m_cmdOdstranit = button(QStringLiteral("cmdOdstranit"), QStringLiteral("Odstranit"), &frmNovaFunkce::cmdOdstranit_Click);
    m_cmdStorno = button(QStringLiteral("cmdStorno"), QStringLiteral("Storno"), &frmNovaFunkce::cmdStorno_Click);

    const auto label = [this](const QString &caption, QWidget *buddy) { return m_controls->label(caption, buddy); };
    auto *texts = new QGridLayout;
    auto *taken = new QHBoxLayout;
    taken->addWidget(m_lblNazevObsazen, 1);
    taken->addWidget(m_cmdOtevritObsazeny);
    texts->addWidget(label(QStringLiteral("Název ukazatele:"), m_cboNazev), 0, 0);
    texts->addWidget(m_cboNazev, 0, 1);
    texts->addLayout(taken, 1, 1);
    texts->addWidget(label(QStringLiteral("Popis:"), m_txtPopis), 2, 0, Qt::AlignTop);
    texts->addWidget(m_txtPopis, 2, 1);
    texts->addWidget(label(QStringLiteral("Vzorec:"), m_txtFunkce), 3, 0);
    texts->addWidget(m_txtFunkce, 3, 1);
    texts->addWidget(m_lblHodnota, 4, 1);
    texts->setColumnStretch(1, 1);

    auto *lists = new QGridLayout;
    lists->addWidget(label(QStringLiteral("Rozvaha"), m_lstRozvaha), 0, 0);
    lists->addWidget(label(QStringLiteral("Výsledovka"), m_lstVysledovka), 0, 1);
    lists->addWidget(m_lstRozvaha, 1, 0);
    lists->addWidget(m_lstVysledovka, 1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdNova);
    buttons->addWidget(m_cmdOdstranit);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdStorno);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(texts);
    layout->addWidget(m_units);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
}

void frmNovaFunkce::fillItemLists()
{
    const auto fill = [this](QListWidget *list, const QList<int> &codes) {
        const Result<QList<ItemName>> names = m_store.itemNames(codes);
        for (const ItemName &name : names.value) {
            auto *item = new QListWidgetItem(name.text, list);
            item->setData(Qt::UserRole, name.code);
            m_items.append(name);
        }
        return names.error;
    };
    QString failure = fill(m_lstRozvaha, base::ItemCodes::abbreviatedBalanceSheet());
    if (failure.isEmpty())
        failure = fill(m_lstVysledovka, base::ItemCodes::abbreviatedIncomeStatement());
    if (!failure.isEmpty()) {
        m_controls->showFailure(QStringLiteral("Seznam položek výkazů nelze načíst."), failure);
        return;
    }
    // No statement stores this line: the evaluator puts in the days of the period, so flows
    // can be made yearly in every quarter.
    auto *days = new QListWidgetItem(kDaysElapsedText, m_lstVysledovka);
    days->setData(Qt::UserRole, Evaluator::kDaysElapsedItem);
    m_items.append({kDaysElapsedText, Evaluator::kDaysElapsedItem});
    // Shared quantities (EBIT, sales, ...) that the evaluator writes out by the statement's form.
    for (const DerivedLine &line : DerivedLines::all()) {
        auto *derived = new QListWidgetItem(line.name, m_lstVysledovka);
        derived->setData(Qt::UserRole, line.code);
        m_items.append({line.name, line.code});
    }
}

void frmNovaFunkce::rebuildList()
{
    const std::optional<qint32> wanted = m_state.takeSelectionAfterReload();
    const Result<QList<Entry>> indicators = m_store.indicators();
    if (!indicators.ok()) {
        m_controls->showFailure(QStringLiteral("Seznam ukazatelů nelze načíst."), indicators.error);
        return;
    }
    int index = 0;
    m_controls->setQuietly([&] {
        m_cboNazev->clear();
        for (const Entry &entry : indicators.value) {
            if (wanted && entry.id == *wanted)
                index = m_cboNazev->count();
            m_cboNazev->addItem(entry.name, entry.id);
        }
    });
    if (m_cboNazev->count() > 0)
        cboNazev_Click(index);
}

void frmNovaFunkce::cboNazev_Click(int index)
{
    if (index < 0 || index >= m_cboNazev->count())
        index = 0;
    if (m_cboNazev->count() == 0)
        return;
    const qint32 id = m_cboNazev->itemData(index).toInt();
    const Result<IndicatorStore::Texts> texts = m_store.load(id);
    if (!texts.ok()) {
        m_controls->showFailure(QStringLiteral("Ukazatel nelze načíst."), texts.error);
        return;
    }
    m_controls->setQuietly([&] {
        m_cboNazev->setCurrentIndex(index);
        m_cboNazev->setEditText(m_cboNazev->itemText(index));
        m_txtPopis->setPlainText(texts.value.description);
        m_txtFunkce->setText(displayFormula(texts.value.formula, m_items));
    });
    const Result<IndicatorUnit> unit = m_store.unit(id);
    if (!unit.ok()) {
        m_controls->showFailure(QStringLiteral("Jednotku ukazatele nelze načíst."), unit.error);
        return;
    }
    m_units->set(unit.value);
    m_controls->nameChanged = m_controls->descriptionChanged = m_formulaChanged = false;
    // Choosing an indicator ends a creation: the next save changes what is on display.
    m_creating = false;
    m_cmdOK->setText(kZmenit);
    m_current = id;
    m_cmdOdstranit->setEnabled(true);
    updateTakenName();
}

bool frmNovaFunkce::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            updateTakenName();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int frmNovaFunkce::takenNameIndex() const
{
    // Names compare as the database compares them: any case, trailing blanks ignored.
    const QString typed = m_cboNazev->currentText().trimmed();
    if (typed.isEmpty())
        return -1;
    for (int i = 0; i < m_cboNazev->count(); ++i) {
        if (m_cboNazev->itemText(i).trimmed().compare(typed, Qt::CaseInsensitive) == 0
            && (!m_current || m_cboNazev->itemData(i).toInt() != *m_current))
            return i;
    }
    return -1;
}

void frmNovaFunkce::updateTakenName()
{
    const bool taken = takenNameIndex() >= 0;
    m_lblNazevObsazen->setVisible(taken);
    m_cmdOtevritObsazeny->setVisible(taken);
}

void frmNovaFunkce::showReferenceValue(const QString &formula, const QString &value)
{
    const QString where = QStringLiteral("Hodnota pro referenční subjekt %1 za %2. čtvrtletí %3: ")
                              .arg(kTestEntity)
                              .arg(kTestQuarter)
                              .arg(kTestYear);
    if (isNumber(value)) {
        m_lblHodnota->setText(where + QString(value).replace(u'.', u','));
        return;
    }
    const Result<QString> why = whyNoValue(m_state.database(), std::nullopt, formula, QString::number(kTestEntity),
                                           QString::number(kTestYear), QString::number(kTestQuarter));
    const QString reason = !why.ok() ? why.error : why.value.isEmpty() ? QStringLiteral("hodnotu nelze spočítat.") : why.value;
    m_lblHodnota->setText(where + QStringLiteral("žádná. ") + reason);
}

void frmNovaFunkce::cmdNova_Click()
{
    m_creating = true;
    m_lblHodnota->clear();
    m_controls->setQuietly([this] {
        m_cboNazev->setCurrentIndex(-1);
        m_cboNazev->clearEditText();
        m_txtFunkce->clear();
        m_txtPopis->clear();
    });
    m_units->set({});
    m_cmdOK->setText(kVytvorit);
    m_current.reset();
    m_cmdOdstranit->setEnabled(false);
    updateTakenName();
}

void frmNovaFunkce::lstPolozky_DblClick(QListWidgetItem *item)
{
    if (!item)
        return;
    m_txtFunkce->insert(item->text());
    m_txtFunkce->setFocus();
}

void frmNovaFunkce::cmdOK_Click()
{
    const QString name = m_cboNazev->currentText().trimmed();
    if (name.isEmpty()) {
        ui::exclamation(this, windowTitle(), QStringLiteral("Zadejte název ukazatele."));
        return;
    }
    if (m_txtFunkce->text().trimmed().isEmpty()) {
        ui::exclamation(this, windowTitle(), QStringLiteral("Vytvořte vzorec pro ukazatel."));
        return;
    }
    QString unitProblem;
    if (!m_units->value(&unitProblem)) {
        ui::exclamation(this, windowTitle(), unitProblem);
        return;
    }
    // A character outside the formula language is refused, not dropped: dropping "." from
    // "0.5" would store another formula.
    const std::optional<QString> stored = storedFormula(m_txtFunkce->text(), m_items);
    if (!stored) {
        ui::critical(this, windowTitle(), formulaError());
        m_txtFunkce->setFocus();
        return;
    }
    Evaluator evaluator(m_state.database());
    const Result<QString> value = evaluator.formulaValue(*stored, Period{kTestYear, kTestQuarter, kTestEntity});
    if (!value.ok()) {
        m_controls->showFailure(QStringLiteral("Vzorec nelze ověřit, databáze ohlásila chybu."), value.error);
        return;
    }
    showReferenceValue(*stored, value.value);
    if (!isNumber(value.value)) {
        ui::critical(this, windowTitle(), formulaError());
        m_txtFunkce->setFocus();
        return;
    }
    // The user sees what will be stored.
    m_controls->setQuietly([&] { m_txtFunkce->setText(displayFormula(*stored, m_items)); });

    if (m_creating || !m_current)
        create(name, *stored);
    else
        change(*m_current, name, *stored);
}

void frmNovaFunkce::create(const QString &name, const QString &formula)
{
    const Result<Saved> saved = m_store.create({name, formula, m_txtPopis->toPlainText()}, m_units->value(nullptr));
    if (!saved.ok()) {
        m_controls->showFailure(QStringLiteral("Ukazatel nelze vytvořit, nic nebylo uloženo."), saved.error);
        return;
    }
    if (saved.value.nameTaken) {
        ui::exclamation(this, windowTitle(), nameTakenText(name));
        return;
    }
    ui::information(this, windowTitle(), QStringLiteral("Ukazatel ") + name + QStringLiteral(" byl vytvořen."));
    m_creating = false;
    m_state.setSelectionAfterReload(saved.value.id);
    rebuildList();
}

void frmNovaFunkce::change(qint32 id, const QString &name, const QString &formula)
{
    const Result<Saved> saved = m_store.change(id, m_controls->nameChanged ? std::optional<QString>(m_cboNazev->currentText()) : std::nullopt,
                                               m_controls->descriptionChanged ? std::optional<QString>(m_txtPopis->toPlainText()) : std::nullopt,
                                               m_formulaChanged ? std::optional<QString>(formula) : std::nullopt,
                                               m_units->changed ? m_units->value(nullptr) : std::nullopt);
    if (!saved.ok()) {
        m_controls->showFailure(QStringLiteral("Ukazatel nelze změnit, nic nebylo uloženo."), saved.error);
        return;
    }
    if (saved.value.nameTaken) {
        // Nothing of the change was stored; every edit stays on display to be corrected.
        ui::exclamation(this, windowTitle(), nameTakenText(name));
        return;
    }
    m_controls->nameChanged = m_controls->descriptionChanged = m_formulaChanged = m_units->changed = false;
    ui::information(this, QCoreApplication::applicationName(), QStringLiteral("Ukazatel ") + name + QStringLiteral(" byl změněn."));
    m_state.setSelectionAfterReload(id);
    rebuildList();
}

void frmNovaFunkce::cmdOdstranit_Click()
{
    if (!m_current || m_cboNazev->currentIndex() < 0) {
        ui::exclamation(this, windowTitle(), QStringLiteral("Vyberte ukazatel ze seznamu."));
        return;
    }
    const QString name = m_cboNazev->itemText(m_cboNazev->currentIndex());
    if (!ui::askYesNo(this, windowTitle(),
                      QStringLiteral("Ukazatel ") + name + QStringLiteral(" bude odstraněn ze všech skupin.") + kCrLf
                          + QStringLiteral("Chcete pokračovat?")))
        return;
    if (const Outcome removed = m_store.remove(*m_current); !removed) {
        m_controls->showFailure(QStringLiteral("Ukazatel nelze odstranit."), removed.error);
        return;
    }
    m_state.setSelectionAfterReload(std::nullopt);
    rebuildList();
}

void frmNovaFunkce::cmdStorno_Click()
{
    m_controls->closeWindow();
}

} // namespace verna::indicators

#include "entities/frmnovysubjekt.h"

#include "base/textforms.h"
#include "shell/appstate.h"
#include "ui/messages.h"
#include "ui/rightsgate.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace verna::entities {

namespace {

const QString kCaption = QStringLiteral("Nový subjekt");

void fill(QComboBox *box, const QList<ListItem> &items)
{
    for (const ListItem &item : items)
        box->addItem(item.text, item.id);
}

std::optional<qint32> chosenCode(const QComboBox *box)
{
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->currentData().toInt();
}

} // namespace

frmNovySubjekt::frmNovySubjekt(shell::AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_store(state.database())
{
    setObjectName(QStringLiteral("frmNovySubjekt"));
    buildControls();
    // Commands beyond the user's rights stay off, their tooltips say why.
    ui::requireRight(m_cmdOK, state.rights(), db::Right::Entities);
    Form_Load();
}

void frmNovySubjekt::buildControls()
{
    const auto named = [this](auto *widget, const QString &name) {
        widget->setObjectName(name);
        return widget;
    };
    m_txtICO = named(new QLineEdit(this), QStringLiteral("txtICO"));
    m_txtICO->setMaxLength(8);
    m_txtNazev = named(new QLineEdit(this), QStringLiteral("txtNazev"));
    m_cboTypSubjektu = named(new QComboBox(this), QStringLiteral("cboTypSubjektu"));
    m_cboPravniForma = named(new QComboBox(this), QStringLiteral("cboPravniForma"));
    m_txtPoznamka = named(new QPlainTextEdit(this), QStringLiteral("txtPoznamka"));
    m_txtPoznamka->setTabChangesFocus(true);
    connect(m_txtICO, &QLineEdit::editingFinished, this, &frmNovySubjekt::txtICO_LostFocus);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("IČO:"), m_txtICO);
    form->addRow(QStringLiteral("Název:"), m_txtNazev);
    form->addRow(QStringLiteral("Typ subjektu:"), m_cboTypSubjektu);
    form->addRow(QStringLiteral("Právní forma:"), m_cboPravniForma);
    form->addRow(QStringLiteral("Poznámka:"), m_txtPoznamka);

    auto *frmOKEC = named(new QGroupBox(QStringLiteral("OKEČ"), this), QStringLiteral("frmOKEC"));
    auto *branches = new QFormLayout(frmOKEC);
    const QStringList labels = {QStringLiteral("Hlavní"), QStringLiteral("1. vedlejší"), QStringLiteral("2. vedlejší"),
                                QStringLiteral("3. vedlejší"), QStringLiteral("4. vedlejší"), QStringLiteral("5. vedlejší")};
    for (int i = 0; i < labels.size(); ++i) {
        auto *box = named(new QComboBox(frmOKEC), QStringLiteral("cboOKEC_%1").arg(i));
        m_cboOKEC << box;
        branches->addRow(labels.at(i), box);
    }

    m_cmdOK = named(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"));
    m_cmdStorno = named(new QPushButton(QStringLiteral("Storno"), this), QStringLiteral("cmdStorno"));
    connect(m_cmdOK, &QPushButton::clicked, this, &frmNovySubjekt::cmdOK_Click);
    connect(m_cmdStorno, &QPushButton::clicked, this, &frmNovySubjekt::cmdStorno_Click);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdStorno);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(frmOKEC);
    layout->addLayout(buttons);
}

void frmNovySubjekt::Form_Load()
{
    const auto forms = m_store.legalForms();
    const auto types = m_store.entityTypes();
    const auto branches = m_store.branchCodes();
    fill(m_cboPravniForma, forms.value);
    m_cboPravniForma->setCurrentIndex(-1);
    fill(m_cboTypSubjektu, types.value);
    for (QComboBox *box : std::as_const(m_cboOKEC)) {
        box->addItem(QStringLiteral("(není)"), 0);
        fill(box, branches.value);
    }
    setWindowTitle(kCaption);
    for (const QString &error : {forms.error, types.error, branches.error}) {
        if (!error.isEmpty()) {
            // Lists that could not be read leave nothing to choose: the window cannot create.
            m_cmdOK->setEnabled(false);
            ui::critical(this, windowTitle(), QStringLiteral("Seznamy okna nelze načíst, databáze ohlásila chybu."), error);
            return;
        }
    }
}

void frmNovySubjekt::txtICO_LostFocus()
{
    QString ico = m_txtICO->text().trimmed();
    // An empty box stays empty: eight zeros would be an IČO nobody typed.
    if (ico.isEmpty())
        return;
    m_txtICO->setText(base::padIco(ico));
    if (!base::isValidIco(ico)) {
        ui::exclamation(this, windowTitle(), QStringLiteral("Zadejte platné IČO!"));
        m_txtICO->setFocus();
        m_txtICO->selectAll();
    }
}

NewEntity frmNovySubjekt::input() const
{
    NewEntity entity{m_txtICO->text().trimmed(), m_txtNazev->text(), chosenCode(m_cboTypSubjektu), chosenCode(m_cboPravniForma),
                     m_txtPoznamka->toPlainText(), {}};
    for (const QComboBox *box : m_cboOKEC)
        entity.branches << box->currentData().toInt();
    return entity;
}

void frmNovySubjekt::cmdOK_Click()
{
    const Written written = m_store.create(input());
    if (!written.refusal.isEmpty()) {
        ui::exclamation(this, windowTitle(), written.refusal);
        return;
    }
    if (!written.error.isEmpty()) {
        ui::critical(this, windowTitle(), QStringLiteral("Subjekt nelze vytvořit, nic nebylo zapsáno."), written.error);
        return;
    }
    ui::information(this, windowTitle(), QStringLiteral("Nový subjekt byl vytvořen."));
}

void frmNovySubjekt::cmdStorno_Click()
{
    close();
}

} // namespace verna::entities

#include "indicators/unitcontrols.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

namespace verna::indicators {

namespace {

const QLocale &czech()
{
    static const QLocale locale(QLocale::Czech, QLocale::CzechRepublic);
    return locale;
}

// "1,5" as the user types it, "1.5" as well.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    double value = czech().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

} // namespace

UnitControls::UnitControls(QWidget *parent)
    : QWidget(parent)
    , m_cboJednotka(new QComboBox(this))
    , m_cboSmer(new QComboBox(this))
    , m_txtOd(new QLineEdit(this))
    , m_txtDo(new QLineEdit(this))
{
    m_cboJednotka->setObjectName(QStringLiteral("cboJednotka"));
    m_cboJednotka->setEditable(true);
    m_cboJednotka->addItems({QString(), QStringLiteral("%"), QStringLiteral("×"), QStringLiteral("dny"), QStringLiteral("roky"),
                             QStringLiteral("tis. Kč"), QStringLiteral("body")});
    m_cboSmer->setObjectName(QStringLiteral("cboSmer"));
    m_cboSmer->addItems(IndicatorUnit::directionTexts());
    m_txtOd->setObjectName(QStringLiteral("txtOd"));
    m_txtDo->setObjectName(QStringLiteral("txtDo"));

    const auto touched = [this] {
        if (!m_loading)
            changed = true;
    };
    connect(m_cboJednotka, &QComboBox::editTextChanged, this, touched);
    connect(m_cboSmer, &QComboBox::currentIndexChanged, this, [this, touched] {
        touched();
        showBounds();
    });
    connect(m_txtOd, &QLineEdit::textChanged, this, touched);
    connect(m_txtDo, &QLineEdit::textChanged, this, touched);

    const auto label = [this](const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, this);
        l->setBuddy(buddy);
        return l;
    };
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(label(QStringLiteral("&Jednotka:"), m_cboJednotka));
    row->addWidget(m_cboJednotka);
    row->addWidget(label(QStringLiteral("&Hodnocení:"), m_cboSmer));
    row->addWidget(m_cboSmer, 1);
    row->addWidget(label(QStringLiteral("od"), m_txtOd));
    row->addWidget(m_txtOd);
    row->addWidget(label(QStringLiteral("do"), m_txtDo));
    row->addWidget(m_txtDo);
    showBounds();
}

void UnitControls::set(const IndicatorUnit &unit)
{
    m_loading = true;
    m_cboJednotka->setEditText(unit.unit);
    m_cboSmer->setCurrentIndex(static_cast<int>(unit.direction));
    m_txtOd->setText(unit.low ? czech().toString(*unit.low, 'g', 12) : QString());
    m_txtDo->setText(unit.high ? czech().toString(*unit.high, 'g', 12) : QString());
    m_loading = false;
    changed = false;
    showBounds();
}

std::optional<IndicatorUnit> UnitControls::value(QString *problem) const
{
    IndicatorUnit unit;
    unit.unit = m_cboJednotka->currentText().trimmed();
    unit.direction = static_cast<Direction>(std::max(0, m_cboSmer->currentIndex()));
    if (unit.direction != Direction::TargetRange)
        return unit;
    unit.low = number(m_txtOd->text());
    unit.high = number(m_txtDo->text());
    if (!unit.low || !unit.high || *unit.low > *unit.high) {
        if (problem)
            *problem = QStringLiteral("Zadejte cílové rozmezí jako dvě čísla, dolní mez nejvýše rovnou horní.");
        return std::nullopt;
    }
    return unit;
}

void UnitControls::showBounds()
{
    const bool range = m_cboSmer->currentIndex() == static_cast<int>(Direction::TargetRange);
    m_txtOd->setEnabled(range);
    m_txtDo->setEnabled(range);
}

} // namespace verna::indicators

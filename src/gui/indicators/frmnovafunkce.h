#pragma once

#include "indicators/formulatext.h"
#include "indicators/indicatorstore.h"

#include <QWidget>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::indicators {

class EditorControls;
class UnitControls;

// The indicator editor: creates, changes and deletes indicators. The user writes formulas with
// the statement lines' texts; the window stores them with codes, after a test evaluation on the
// reference company. Reads and writes go through IndicatorStore, each save one transaction.
class frmNovaFunkce : public QWidget
{
    Q_OBJECT
public:
    explicit frmNovaFunkce(shell::AppState &state, QWidget *parent = nullptr);
    ~frmNovaFunkce() override;

    // The period every formula is proved on before it is stored.
    static constexpr qint32 kTestEntity = 3366;
    static constexpr int kTestYear = 1996;
    static constexpr int kTestQuarter = 4;

public slots:
    void cboNazev_Click(int index);
    void cmdOK_Click();
    void cmdNova_Click();
    void cmdOdstranit_Click();
    void cmdStorno_Click();
    void lstPolozky_DblClick(QListWidgetItem *item);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void fillItemLists();
    // Refills the indicator list and selects the slot's indicator (the first one without it).
    void rebuildList();
    void create(const QString &name, const QString &formula);
    void change(qint32 id, const QString &name, const QString &formula);
    // The list index of another indicator that already has the typed name, or -1.
    int takenNameIndex() const;
    void updateTakenName();
    // Tells the value of the tested formula on the reference company, or why there is none.
    void showReferenceValue(const QString &formula, const QString &value);

    shell::AppState &m_state;
    IndicatorStore m_store;
    EditorControls *m_controls;
    QList<ItemName> m_items;

    // The indicator on display; none while a new one is composed.
    std::optional<qint32> m_current;
    bool m_creating = false;
    bool m_formulaChanged = false;

    QComboBox *m_cboNazev = nullptr;
    QPlainTextEdit *m_txtPopis = nullptr;
    QLineEdit *m_txtFunkce = nullptr;
    QLabel *m_lblNazevObsazen = nullptr;
    QPushButton *m_cmdOtevritObsazeny = nullptr;
    QLabel *m_lblHodnota = nullptr;
    UnitControls *m_units = nullptr;
    QListWidget *m_lstRozvaha = nullptr;
    QListWidget *m_lstVysledovka = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdNova = nullptr;
    QPushButton *m_cmdOdstranit = nullptr;
    QPushButton *m_cmdStorno = nullptr;
};

} // namespace verna::indicators

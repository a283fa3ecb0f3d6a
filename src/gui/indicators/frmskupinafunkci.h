#pragma once

#include "indicators/indicatorgroups.h"
#include "indicators/indicatorstore.h"

#include <QWidget>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::indicators {

class EditorControls;

// The indicator groups window: creates groups, renames them, changes their descriptions, adds
// and removes members, deletes groups and, from "Vše", deletes indicators. What is chosen is a
// mode of its own, so no group id (0, -1 or any other) is taken for "Vše" or a new group.
class frmSkupinaFunkci : public QWidget
{
    Q_OBJECT
public:
    explicit frmSkupinaFunkci(shell::AppState &state, QWidget *parent = nullptr);
    ~frmSkupinaFunkci() override;

    enum class Mode {
        All,      // "Vše": every active indicator
        NewGroup, // members composed for "Vytvořit"
        Group     // a stored group, m_group
    };
    Mode mode() const { return m_mode; }

public slots:
    void cboFceSkupina_Click(int index);
    void cmdPridat_Click();
    void cmdOdstranit_Click();
    void cmdNova_Click();
    void cmdVytvorit_Click();
    void cmdOK_Click();
    void cmdOdstranitSkupinu_Click();
    void cmdStorno_Click();

private:
    void buildControls();
    // Fills the group list and the indicators and chooses the slot's group ("Vše" without it).
    void load();
    void fillList(QListWidget *list, const QList<Entry> &entries);
    QList<Entry> pending() const;

    shell::AppState &m_state;
    IndicatorGroups m_groups;
    IndicatorStore m_store;
    EditorControls *m_controls;

    Mode m_mode = Mode::All;
    qint32 m_group = 0;
    QString m_groupName;

    QComboBox *m_cboFceSkupina = nullptr;
    QPlainTextEdit *m_txtPopis = nullptr;
    QListWidget *m_lstVse = nullptr;
    QListWidget *m_lstVybrane = nullptr;
    QListWidget *m_lstPridane = nullptr;
    QPushButton *m_cmdPridat = nullptr;
    QPushButton *m_cmdOdstranit = nullptr;
    QPushButton *m_cmdNova = nullptr;
    QPushButton *m_cmdVytvorit = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdOdstranitSkupinu = nullptr;
    QPushButton *m_cmdStorno = nullptr;
};

} // namespace verna::indicators

#pragma once

#include "shell/childwindow.h"
#include "statements/statementstore.h"
#include "statements/sumrules.h"

#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::statements {

class StatementLinesView;

// "Nový výkaz": a balance sheet and an income statement of one entity and period, typed line
// by line, checked against the sum rules and saved together; the entity's statements can be
// loaded for correction and deleted.
class frmNovyVykaz : public QWidget, public shell::ChildWindow
{
    Q_OBJECT
public:
    explicit frmNovyVykaz(shell::AppState &state, QWidget *parent = nullptr);

    static inline const QString kCaption = QStringLiteral("Nový výkaz");

    std::optional<qint32> entity() const { return m_entity; }
    // Starts the statement import; while the import runs it is its Stop button.
    QPushButton *importButton() const { return m_cmdImport; }

    // Control events, as the controls raise them.
    void Form_OLEDragDrop(const QString &text);
    void setEntity(qint32 id);
    void cboRozsah_Click();
    // true when the year is valid; otherwise the message, and the focus goes back to the box.
    bool txtRok_LostFocus();
    void lstVykazy_Click();
    void cmdOK_Click();
    void cmdVycistit_Click();
    void cmdOdstranit_Click();
    void cmdStorno_Click();
    void editLine(StatementLinesView *list, int row, const QString &startText);
    // Reads the entity's statements into the list again (after statements came from elsewhere).
    void listStatements();

    bool canClose() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    bool isFull() const;
    bool fillLists(bool full);
    void loadAmounts();
    void clearLoaded();
    // The failing sum rules of both lists, one text each; an error when the rules cannot be read.
    Result<QStringList> sumCheck(const QHash<int, Amount> &balance, const QHash<int, Amount> &income);
    // One message for a failed action: what did not happen, the database's reason under it.
    void failed(const QString &what, const QString &reason);

    shell::AppState &m_state;
    StatementStore m_store;
    std::optional<SumRules> m_rules;
    std::optional<qint32> m_entity;
    QString m_caption = kCaption;
    // Set while a loaded pair may be changed; the pair's ids and form.
    bool m_editable = false;
    PairIds m_loaded;
    int m_loadedRow = -1; // the entry of lstVykazy the loaded pair came from
    bool m_checkingYear = false;
    bool m_filling = false;
    bool m_typed = false; // amounts typed since the lists were filled or saved

    QLabel *m_lblSubjekt = nullptr;
    QLineEdit *m_txtRok = nullptr;
    QComboBox *m_cboCtvrtleti = nullptr;
    QComboBox *m_cboRozsah = nullptr;
    StatementLinesView *m_lvwRozvaha = nullptr;
    StatementLinesView *m_lvwVysledovka = nullptr;
    QLabel *m_lblVykazy = nullptr;
    QListWidget *m_lstVykazy = nullptr;
    QCheckBox *m_chkKontrola = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdVycistit = nullptr;
    QPushButton *m_cmdOdstranit = nullptr;
    QPushButton *m_cmdStorno = nullptr;
    QPushButton *m_cmdImport = nullptr;
};

} // namespace verna::statements

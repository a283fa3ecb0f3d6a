#pragma once

#include "entities/entitystore.h"
#include "shell/childwindow.h"

#include <QWidget>
#include <optional>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::entities {

// Editing of the entity in the entity-to-open slot: name and note saved on OK, group
// memberships switched at once, deletion with everything attached.
class frmEditaceSubjektu : public QWidget, public shell::ChildWindow
{
    Q_OBJECT
public:
    explicit frmEditaceSubjektu(shell::AppState &state, QWidget *parent = nullptr);

    std::optional<qint32> entity() const { return m_id; }

    void lstSkupiny_ItemCheck(QListWidgetItem *item);
    void cmdOK_Click();
    void cmdStorno_Click();
    void cmdOdstranit_Click();
    // "Historie změn": the entity's audit rows in a window of their own.
    void cmdHistorie_Click();

    bool canClose() override;

private:
    void buildControls();
    void Form_Load();
    // Asks whether to save changed texts and saves them; false keeps the window open.
    bool askToSave();

    db::Database &m_db;
    EntityStore m_store;
    std::optional<qint32> m_id;
    bool m_nameChanged = false;
    bool m_noteChanged = false;
    bool m_loading = false;

    QLineEdit *m_txtNazev = nullptr;
    QLineEdit *m_txtICO = nullptr;
    QPlainTextEdit *m_txtPoznamka = nullptr;
    QListWidget *m_lstOkec = nullptr;
    QListWidget *m_lstSkupiny = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdStorno = nullptr;
    QPushButton *m_cmdOdstranit = nullptr;
    QPushButton *m_cmdHistorie = nullptr;
};

} // namespace verna::entities

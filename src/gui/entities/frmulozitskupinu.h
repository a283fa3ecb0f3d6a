#pragma once

#include "entities/groupstore.h"
#include "shell/childwindow.h"

#include <QWidget>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::entities {

// Creates a group of entities from entities dropped on its member list, or edits the group in
// the group-to-edit slot: name, note, members switched on and off, removed, added, and the
// group deleted. Members dropped on an existing group wait until "Přidat" or the question
// on closing.
class frmUlozitSkupinu : public QWidget, public shell::ChildWindow
{
    Q_OBJECT
public:
    explicit frmUlozitSkupinu(shell::AppState &state, QWidget *parent = nullptr);

    std::optional<qint32> group() const { return m_group; }
    const QList<qint32> &pending() const { return m_pending; }

    void lstSkupina_OLEDragDrop(const QString &text);
    void lstSkupina_OLEStartDrag();
    void lstSkupina_ItemCheck(QListWidgetItem *item);
    void cmdUlozit_Click();
    void cmdOdebrat_Click();
    void cmdZmenitSk_Click();
    void cmdOdebratSk_Click();
    void cmdVykazSkupiny_Click();
    void cmdVykazSubjektu_Click();
    void cmdStorno_Click();

    bool canClose() override;

private:
    void buildControls();
    void loadGroup();
    void addMember(qint32 id);
    void createGroup();
    void changeGroup();
    // Writes the pending members; false (told to the user) when the write failed.
    bool writePending();
    void updateControls();
    QListWidgetItem *addItem(const GroupMember &member);
    QListWidgetItem *itemOf(qint32 id) const;
    QListWidgetItem *selectedMember() const;
    void showFailure(const QString &text, const QString &reason);

    shell::AppState &m_state;
    GroupStore m_store;
    std::optional<qint32> m_group;
    // lstPridane: members dropped on an existing group and not written yet.
    QList<qint32> m_pending;
    bool m_nameChanged = false;
    bool m_noteChanged = false;
    bool m_loading = false;

    QLineEdit *m_txtNazevSkupiny = nullptr;
    QPlainTextEdit *m_txtPoznamka = nullptr;
    QLabel *m_label2 = nullptr;
    QListWidget *m_lstSkupina = nullptr;
    QGroupBox *m_fraSkupina = nullptr;
    QPushButton *m_cmdVykazSkupiny = nullptr;
    QPushButton *m_cmdZmenitSk = nullptr;
    QPushButton *m_cmdOdebratSk = nullptr;
    QGroupBox *m_fraSubjekt = nullptr;
    QPushButton *m_cmdVykazSubjektu = nullptr;
    QPushButton *m_cmdOdebrat = nullptr;
    QPushButton *m_cmdUlozit = nullptr;
    QPushButton *m_cmdStorno = nullptr;
};

} // namespace verna::entities

#pragma once

#include "entities/entitysearch.h"
#include "shell/windowregistry.h"

#include <QWidget>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QModelIndex;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::ui {
class LongListView;
class LongTask;
}

namespace verna::entities {

class FoundList;

// The entity search window: finds entities by name, IČO and legal form or by branch, lists
// them, hands one over for editing or data selection and lets them be dragged away. The
// searches themselves live in EntitySearch; this window collects input and shows rows.
class frmVyhledavani : public QWidget
{
    Q_OBJECT
public:
    explicit frmVyhledavani(shell::AppState &state, QWidget *parent = nullptr);
    ~frmVyhledavani() override;

    // True while a listing runs (its button then reads "Stop").
    bool isSearching() const { return m_running != Running::None; }

public slots:
    void optTypHledani_Click(int index);
    void cmdVse_Click();
    void cmdNic_Click();
    void cmdHledat_Click();
    void cmdSmazat_Click();
    void cmdHledatVOboru_Click();
    void cmdEditace_Click();
    void lstPravniForma_Click(QListWidgetItem *item);
    void lstNalezeno_DblClick();
    void lstNalezeno_OLEStartDrag();
    void lstNalezeno_OLEDragDrop(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Mode { Name, Branch };
    // Which listing runs: started by "Najít" (or a branch click or drop) or by "V oboru".
    enum class Running { None, Search, SameBranch };
    // What lstPravniForma holds: its meaning changes with the mode and after a branch search.
    enum class ListContent { LegalForms, Classifications, Branches };

    void buildControls();
    void fillModeList(Mode mode);
    void searchByName();
    void searchBranches();
    void listBranchEntities(qint32 branch, Running running);
    // Runs a listing as the window's long task: its button reads "Stop", and the controls
    // that would start another listing or change its input are disabled until it ends. A
    // listing that fails is told and its count marked incomplete.
    void runListing(Running running, const std::function<Listing(ui::LongTask &)> &listing);
    EntitySearch::ItemSink entitySink(ui::LongTask &task, const std::function<QString(int count)> &countText);
    void showFailure(const QString &reason);
    void updateControls();
    // The row of the found entity the window's commands act on, or -1.
    int selectedResult() const;
    QList<qint32> selectedCodes() const;
    // Whether the main window has the window of the kind.
    bool canOpen(shell::WindowKind kind) const;

    shell::AppState &m_state;
    EntitySearch m_search;
    Mode m_mode = Mode::Name;
    ListContent m_listContent = ListContent::LegalForms;
    // The classification lists the last branch search looked in, for a search repeated
    // while the list shows the branches it found.
    QList<qint32> m_classifications;
    Running m_running = Running::None;
    // The count line of the running listing, told once more when it ends.
    std::function<QString(int count)> m_countText;

    QGroupBox *m_frame1 = nullptr;
    QButtonGroup *m_optTypHledani = nullptr;
    QLineEdit *m_txtJmeno = nullptr;
    QLineEdit *m_txtICO = nullptr;
    QListWidget *m_lstPravniForma = nullptr;
    QPushButton *m_cmdVse = nullptr;
    QPushButton *m_cmdNic = nullptr;
    QPushButton *m_cmdHledat = nullptr;
    QPushButton *m_cmdSmazat = nullptr;
    ui::LongListView *m_lstNalezeno = nullptr;
    FoundList *m_found = nullptr;
    QLabel *m_lblNalezeno = nullptr;
    QPushButton *m_cmdHledatVOboru = nullptr;
    QCheckBox *m_chkHlavniOkec = nullptr;
    QCheckBox *m_chkKdekoli = nullptr;
    QPushButton *m_cmdEditace = nullptr;
};

} // namespace verna::entities

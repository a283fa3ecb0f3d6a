#pragma once

#include "entities/entitysearch.h"

#include <QWidget>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::entities {

// The entity search window: finds entities by name, IČO and legal form or by branch, lists
// them, hands one over for editing or data selection and lets them be dragged away. The
// searches themselves live in EntitySearch; this window collects input and shows rows.
class frmVyhledavani : public QWidget
{
    Q_OBJECT
public:
    explicit frmVyhledavani(shell::AppState &state, QWidget *parent = nullptr);
    ~frmVyhledavani() override;

    // True while a listing runs (one of the search buttons then reads "Stop").
    bool isSearching() const { return m_searching; }

    static inline const QString kNajit = QStringLiteral("&Najít");
    static inline const QString kStop = QStringLiteral("Stop");
    static inline const QString kVOboru = QStringLiteral("V oboru");

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
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Mode { Name, Branch };
    // What lstPravniForma holds: its meaning changes with the mode and after a branch search.
    enum class ListContent { LegalForms, Classifications, Branches };

    void buildControls();
    void fillModeList(Mode mode);
    void searchByName();
    void searchBranches();
    void listBranchEntities(qint32 branch, QPushButton *stopButton);
    // Runs a listing with stopButton reading "Stop" and the controls that would start
    // another listing or change its input disabled until it ends.
    void runListing(QPushButton *stopButton, const std::function<Listing()> &listing);
    EntitySearch::ItemSink entitySink(const std::function<QString(int count)> &countText);
    void updateControls();
    QListWidgetItem *selectedResult() const;
    QList<qint32> selectedCodes() const;
    // Whether the main window can open the command's window now, and opening it.
    bool canOpen(const QString &command);
    void open(const QString &command);

    shell::AppState &m_state;
    EntitySearch m_search;
    Mode m_mode = Mode::Name;
    ListContent m_listContent = ListContent::LegalForms;
    // The classification lists the last branch search looked in, for a search repeated
    // while the list shows the branches it found.
    QList<qint32> m_classifications;
    bool m_searching = false;
    bool m_stop = false;
    bool m_closeRequested = false;

    QGroupBox *m_frame1 = nullptr;
    QButtonGroup *m_optTypHledani = nullptr;
    QLineEdit *m_txtJmeno = nullptr;
    QLineEdit *m_txtICO = nullptr;
    QListWidget *m_lstPravniForma = nullptr;
    QPushButton *m_cmdVse = nullptr;
    QPushButton *m_cmdNic = nullptr;
    QPushButton *m_cmdHledat = nullptr;
    QPushButton *m_cmdSmazat = nullptr;
    QListWidget *m_lstNalezeno = nullptr;
    QLabel *m_lblNalezeno = nullptr;
    QPushButton *m_cmdHledatVOboru = nullptr;
    QCheckBox *m_chkHlavniOkec = nullptr;
    QPushButton *m_cmdEditace = nullptr;
};

} // namespace verna::entities

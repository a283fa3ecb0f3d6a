#pragma once

#include "db/outcome.h"
#include "report/reportbuilder.h"

#include <QDateTime>
#include <QHash>
#include <QWidget>
#include <functional>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QWebEngineView;

namespace verna::analysis {

// The "Report" tab of the analysis window: the report built from the result table, shown
// in a web view (scripts off), its sections switched by check boxes and its style chosen
// from the style sheets of the CSS folder. The report lives in a temporary file whose path
// is fixed once for the window; only files this panel wrote are deleted when it goes.
class ReportPanel : public QWidget
{
    Q_OBJECT
public:
    // Builds the sections for a class folder (the applets' codebase); the window reads its
    // table and the database there.
    using Builder = std::function<Result<report::ReportSections>(const QString &classFolder)>;

    explicit ReportPanel(QWidget *parent = nullptr);
    ~ReportPanel() override;

    // Fixes the two temporary files for the window's life: "~" and "~_" + caption + ".htm"
    // in the CSS folder (or the temporary folder when that cannot be written). Later calls
    // keep the first paths.
    void fixFiles(const QString &caption);
    QString reportFile() const { return m_reportFile; }
    QString profileFile() const { return m_profileFile; }

    // Builds the report and shows it; the database's reason when a read failed (the old
    // report then stays). Runs whenever the tab is selected.
    QString subReport(const Builder &build);
    // Writes the report as shown now to another file, atomically, as one self-contained file
    // (its style embedded); false after telling why.
    bool subReportUlozit(const QString &path);
    // Lets the user choose the CSS folder by picking one of its style sheets.
    void subReportOtevritCSS();
    // Deletes the temporary files this panel wrote (and nobody replaced since).
    void subReportSmazatTMP();
    // Writes the "Paprsky" page of the chart tab to the second temporary file.
    bool writeProfilePage(const QString &html);

    // The report as assembled now, and the style it links.
    const QString &html() const { return m_html; }
    QString currentStylePath() const;
    // Whether this platform can show the web view (not on the offscreen test platform).
    static bool canShowWebView();
    QWebEngineView *view() const { return m_view; }

    // Whether the report shows its row against the peers: the builder then reads them.
    bool wantsPeers() const;
    void chk_Click();
    void lstStyl_Click();
    void cmdUlozit_Click();
    void cmdPdf_Click();

signals:
    // The PDF of cmdPdf_Click was written (or not): it is printed in the background.
    void pdfWritten(const QString &path, bool ok);
    // The peers' section was asked for but the report was built without it.
    void peersWanted();

private:
    void ensureView();
    void fillStyles();
    void updateBoxes();
    // Assembles from the held sections, writes the report file and shows it.
    void display();
    bool writeFile(const QString &path, const QString &text);
    QString caption() const;

    report::ReportSections m_sections;
    bool m_built = false;
    QString m_html;
    QString m_caption;
    QString m_cssFolder;
    QString m_reportFile;
    QString m_profileFile;
    // When this panel last wrote each file: a file changed since is someone else's.
    QHash<QString, QDateTime> m_written;
    bool m_folderAsked = false;

    QCheckBox *m_chkVypocet = nullptr;
    QCheckBox *m_chkGraf = nullptr;
    QCheckBox *m_chkRozvaha = nullptr;
    QCheckBox *m_chkRozvahaPlna = nullptr;
    QCheckBox *m_chkVysledovka = nullptr;
    QCheckBox *m_chkVysledovkaPlna = nullptr;
    QCheckBox *m_chkRozkladRoe = nullptr;
    QCheckBox *m_chkOdvetvi = nullptr;
    QListWidget *m_lstStyl = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_folder = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_pdf = nullptr;
    QHBoxLayout *m_layout = nullptr;
    QWebEngineView *m_view = nullptr;
    QLabel *m_noView = nullptr;
};

} // namespace verna::analysis

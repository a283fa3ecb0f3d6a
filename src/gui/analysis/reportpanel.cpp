#include "analysis/reportpanel.h"

#include "report/stylesheets.h"
#include "ui/busyguard.h"
#include "ui/messages.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace verna::analysis {

namespace {

constexpr int kPathRole = Qt::UserRole;
const QString kFolderTitle = QStringLiteral("Složka stylů reportu");
const QString kSaveTitle = QStringLiteral("Uložit report");
const QString kPdfTitle = QStringLiteral("Uložit report jako PDF");
const QString kNoView = QStringLiteral("Náhled reportu se na této obrazovce nedá zobrazit; report lze uložit "
                                       "a otevřít v prohlížeči.");

QString documentsPath(const QString &fileName)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(fileName);
}

QString withSuffix(QString path, const QString &suffix, const QStringList &accepted)
{
    for (const QString &s : accepted)
        if (path.endsWith(s, Qt::CaseInsensitive))
            return path;
    return path + suffix;
}

} // namespace

ReportPanel::ReportPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ReportPanel"));

    auto box = [this](const char *name, const QString &text) {
        auto *b = new QCheckBox(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setChecked(true);
        connect(b, &QCheckBox::clicked, this, &ReportPanel::chk_Click);
        return b;
    };
    auto *sections = new QGroupBox(QStringLiteral("Zobrazit"), this);
    sections->setObjectName(QStringLiteral("fraZobrazit"));
    m_chkVypocet = box("chkVypocet", QStringLiteral("Výpočet"));
    m_chkGraf = box("chkGraf", QStringLiteral("Graf"));
    m_chkRozvaha = box("chkRozvaha", QStringLiteral("Rozvahu"));
    m_chkRozvahaPlna = box("chkRozvahaPlna", QStringLiteral("Plná"));
    m_chkVysledovka = box("chkVysledovka", QStringLiteral("Výsledovka"));
    m_chkVysledovkaPlna = box("chkVysledovkaPlna", QStringLiteral("Plná"));
    auto *grid = new QVBoxLayout(sections);
    grid->addWidget(m_chkVypocet);
    grid->addWidget(m_chkGraf);
    for (auto [statement, full] : {std::pair{m_chkRozvaha, m_chkRozvahaPlna}, std::pair{m_chkVysledovka, m_chkVysledovkaPlna}}) {
        auto *row = new QHBoxLayout;
        row->addWidget(statement);
        row->addWidget(full);
        row->addStretch();
        grid->addLayout(row);
    }
    m_chkRozkladRoe = box("chkRozkladRoe", QStringLiteral("Rozklad ROE"));
    m_chkRozkladRoe->setChecked(false); // on request, so reports stay as they were unless asked
    grid->addWidget(m_chkRozkladRoe);
    m_chkOdvetvi = box("chkOdvetvi", QStringLiteral("Srovnání s odvětvím"));
    m_chkOdvetvi->setChecked(false);
    grid->addWidget(m_chkOdvetvi);

    auto *styleLabel = new QLabel(QStringLiteral("Styl:"), this);
    m_lstStyl = new QListWidget(this);
    m_lstStyl->setObjectName(QStringLiteral("lstStyl"));
    styleLabel->setBuddy(m_lstStyl);
    connect(m_lstStyl, &QListWidget::currentRowChanged, this, &ReportPanel::lstStyl_Click);
    auto button = [this](const char *name, const QString &text, void (ReportPanel::*slot)()) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_folder = button("cmdCssSlozka", QStringLiteral("Složka stylů…"), &ReportPanel::subReportOtevritCSS);
    m_save = button("cmdReportUlozit", QStringLiteral("Uložit report…"), &ReportPanel::cmdUlozit_Click);
    m_pdf = button("cmdReportPdf", QStringLiteral("Uložit jako PDF…"), &ReportPanel::cmdPdf_Click);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblReportPoznamka"));
    m_note->setWordWrap(true);

    auto *side = new QVBoxLayout;
    side->addWidget(sections);
    side->addWidget(styleLabel);
    side->addWidget(m_lstStyl, 1);
    side->addWidget(m_folder);
    side->addWidget(m_save);
    side->addWidget(m_pdf);
    side->addWidget(m_note);

    // In a short window the controls scroll rather than squash into each other.
    auto *controls = new QWidget;
    controls->setLayout(side);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrReportOvladani"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(controls);
    scroll->setMinimumWidth(controls->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
    scroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(0, 4, 0, 0);
    m_layout->addWidget(scroll);
    m_noView = new QLabel(canShowWebView() ? QString() : kNoView, this);
    m_noView->setAlignment(Qt::AlignCenter);
    m_noView->setWordWrap(true);
    m_layout->addWidget(m_noView, 1);
    updateBoxes();
}

void ReportPanel::ensureView()
{
    // Chromium starts with the first report, not with every analysis window.
    if (m_view || !canShowWebView())
        return;
    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("WebBrowser1"));
    // The report is a document: its scripts, if a name smuggled one in, never run.
    m_view->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    m_view->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    m_layout->replaceWidget(m_noView, m_view);
    m_noView->hide();
}

ReportPanel::~ReportPanel()
{
    subReportSmazatTMP();
}

bool ReportPanel::canShowWebView()
{
    // Chromium needs a real window system; the offscreen test platform has none.
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void ReportPanel::fixFiles(const QString &caption)
{
    if (!m_reportFile.isEmpty())
        return;
    m_caption = caption;
    m_cssFolder = report::ReportSettings::cssFolder();
    const QString folder = report::temporaryFolder(m_cssFolder);
    m_reportFile = report::reportFilePath(folder, caption);
    m_profileFile = report::profileFilePath(folder, caption);
}

QString ReportPanel::caption() const
{
    return m_caption.isEmpty() ? QStringLiteral("Report") : m_caption;
}

QString ReportPanel::subReport(const Builder &build)
{
    fixFiles(m_caption);
    // The folder may have been chosen in another window meanwhile.
    m_cssFolder = report::ReportSettings::cssFolder();
    if (!QFileInfo(m_cssFolder).isDir() && !m_folderAsked) {
        // Asked once: a user who cancels gets the report unstyled, not the dialog again.
        m_folderAsked = true;
        subReportOtevritCSS();
    }
    Result<report::ReportSections> built;
    {
        const ui::BusyGuard busy(ui::ownerWindow(this));
        built = build(report::defaultClassFolder());
    }
    if (!built.ok())
        return built.error;
    m_sections = built.value;
    m_built = true;
    fillStyles();
    display();
    updateBoxes();
    return {};
}

void ReportPanel::fillStyles()
{
    const QSignalBlocker quiet(m_lstStyl);
    const QString chosen = currentStylePath();
    m_lstStyl->clear();
    int current = -1;
    for (const report::StyleSheet &style : report::listStyleSheets(m_cssFolder)) {
        auto *item = new QListWidgetItem(style.title, m_lstStyl);
        item->setData(kPathRole, style.path);
        item->setToolTip(QDir::toNativeSeparators(style.path));
        // The style the user chose stays when the report is built again.
        if (style.path == chosen)
            current = m_lstStyl->count() - 1;
    }
    m_lstStyl->setCurrentRow(current >= 0 ? current : (m_lstStyl->count() > 0 ? 0 : -1));
}

QString ReportPanel::currentStylePath() const
{
    const QListWidgetItem *item = m_lstStyl->currentItem();
    return item ? item->data(kPathRole).toString() : QString();
}

void ReportPanel::updateBoxes()
{
    // Statements belong to one entity and period; "Plná" only where the full statements exist.
    const bool single = m_built && m_sections.singleRow && !m_sections.tooSmall;
    m_chkRozvaha->setEnabled(single);
    m_chkVysledovka->setEnabled(single);
    m_chkRozvahaPlna->setEnabled(single && m_sections.fullStatements);
    m_chkVysledovkaPlna->setEnabled(single && m_sections.fullStatements);
    m_chkRozkladRoe->setEnabled(single);
    m_chkOdvetvi->setEnabled(single);
    m_save->setEnabled(m_built);
    m_pdf->setEnabled(m_built && m_view);
}

bool ReportPanel::wantsPeers() const
{
    return m_chkOdvetvi->isChecked();
}

void ReportPanel::chk_Click()
{
    // The peers are read only for a report that shows them.
    if (m_built && m_chkOdvetvi->isChecked() && m_sections.singleRow && m_sections.peers.isEmpty()) {
        emit peersWanted();
        return;
    }
    if (m_built)
        display();
}

void ReportPanel::lstStyl_Click()
{
    // Only the link changes: the held sections are assembled again, no file is read back.
    if (m_built)
        display();
}

void ReportPanel::display()
{
    report::SectionChoice choice;
    choice.computation = m_chkVypocet->isChecked();
    choice.chart = m_chkGraf->isChecked();
    choice.balance = m_chkRozvaha->isChecked();
    choice.balanceFull = m_chkRozvahaPlna->isChecked();
    choice.income = m_chkVysledovka->isChecked();
    choice.incomeFull = m_chkVysledovkaPlna->isChecked();
    choice.roe = m_chkRozkladRoe->isChecked();
    choice.peers = m_chkOdvetvi->isChecked();
    m_html = report::assembleReport(m_sections, choice, currentStylePath());
    m_note->clear();
    if (m_lstStyl->count() == 0 && !m_sections.tooSmall)
        m_note->setText(QStringLiteral("Ve složce %1 nejsou žádné styly (*.css); report je bez stylu.")
                            .arg(QDir::toNativeSeparators(m_cssFolder)));
    if (!writeFile(m_reportFile, m_html))
        return;
    ensureView();
    if (m_view)
        m_view->load(QUrl::fromLocalFile(m_reportFile));
}

bool ReportPanel::writeFile(const QString &path, const QString &text)
{
    const Outcome written = report::writeReportFile(path, text);
    if (!written) {
        m_note->setText(written.error);
        return false;
    }
    m_written.insert(path, QFileInfo(path).lastModified());
    return true;
}

bool ReportPanel::writeProfilePage(const QString &html)
{
    fixFiles(m_caption);
    return writeFile(m_profileFile, html);
}

void ReportPanel::subReportSmazatTMP()
{
    for (auto it = m_written.cbegin(); it != m_written.cend(); ++it) {
        // Rewritten since by another program's window of the same caption: theirs now.
        if (QFileInfo(it.key()).lastModified() == it.value())
            QFile::remove(it.key());
    }
    m_written.clear();
}

bool ReportPanel::subReportUlozit(const QString &path)
{
    const Result<QString> whole = report::selfContainedReport(m_html, currentStylePath());
    const Outcome written = whole.ok() ? report::writeReportFile(path, whole.value) : whole.outcome();
    if (!written)
        ui::critical(this, caption(), QStringLiteral("Report se nepodařilo uložit."), written.error);
    return written.ok;
}

void ReportPanel::subReportOtevritCSS()
{
    const QString file = ui::openFileName(this, kFolderTitle, m_cssFolder, QStringLiteral("Styly CSS (*.css)"));
    if (file.isEmpty())
        return;
    report::ReportSettings::setCssFolder(QFileInfo(file).absolutePath());
    m_cssFolder = report::ReportSettings::cssFolder();
    if (m_built) {
        fillStyles();
        display();
    }
}

void ReportPanel::cmdUlozit_Click()
{
    if (!m_built)
        return;
    const QString path = ui::saveFileName(this, kSaveTitle, documentsPath(caption() + QStringLiteral(".htm")),
                                          QStringLiteral("Stránky HTML (*.htm *.html)"));
    if (!path.isEmpty())
        subReportUlozit(withSuffix(path, QStringLiteral(".htm"), {QStringLiteral(".htm"), QStringLiteral(".html")}));
}

void ReportPanel::cmdPdf_Click()
{
    if (!m_built || !m_view)
        return;
    QString path = ui::saveFileName(this, kPdfTitle, documentsPath(caption() + QStringLiteral(".pdf")),
                                    QStringLiteral("Dokumenty PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    path = withSuffix(path, QStringLiteral(".pdf"), {QStringLiteral(".pdf")});
    const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                             QPageLayout::Millimeter);
    // The page prints in the background; the file is written whole once it is done.
    QPointer<ReportPanel> self(this);
    m_view->page()->printToPdf(
        [self, path](const QByteArray &pdf) {
            if (!self)
                return;
            QSaveFile file(path);
            const bool saved = !pdf.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size()
                && file.commit();
            if (!saved)
                ui::critical(self, self->caption(),
                             QStringLiteral("Report se nepodařilo uložit jako PDF do souboru ")
                                 + QDir::toNativeSeparators(path) + QLatin1Char('.'),
                             pdf.isEmpty() ? QStringLiteral("Stránku reportu se nepodařilo vytisknout.") : file.errorString());
            emit self->pdfWritten(path, saved);
        },
        layout);
}

} // namespace verna::analysis

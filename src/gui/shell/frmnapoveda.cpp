#include "shell/frmnapoveda.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTabBar>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <map>

namespace verna::shell {

namespace {

const QString kTitle = QStringLiteral("VERNA – Uživatelská příručka");

const std::map<QString, QString> &pages()
{
    static const std::map<QString, QString> map = {
        {QStringLiteral("frmVyhledavani"), QStringLiteral("vyhledavani.md")},
        {QStringLiteral("frmNovySubjekt"), QStringLiteral("subjekty.md")},
        {QStringLiteral("frmEditaceSubjektu"), QStringLiteral("subjekty.md")},
        {QStringLiteral("frmUlozitSkupinu"), QStringLiteral("skupiny-subjektu.md")},
        {QStringLiteral("frmVyberDat"), QStringLiteral("vyber-dat.md")},
        {QStringLiteral("frmTabulka"), QStringLiteral("financni-data.md")},
        {QStringLiteral("frmEditace"), QStringLiteral("financni-data.md")},
        {QStringLiteral("frmNovyVykaz"), QStringLiteral("vykazy.md")},
        {QStringLiteral("frmNovaFunkce"), QStringLiteral("ukazatele.md")},
        {QStringLiteral("frmSkupinaFunkci"), QStringLiteral("skupiny-ukazatelu.md")},
        {QStringLiteral("frmAnalyzaSubj"), QStringLiteral("analyza.md")},
    };
    return map;
}

// The guide's pictures are taken of the whole main window: shown narrower than the page, so
// that a picture never needs a sideways scroll.
class GuideBrowser : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl &name) override
    {
        QVariant resource = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::ImageResource)
            return resource;
        QImage image = resource.value<QImage>();
        if (image.isNull())
            image.loadFromData(resource.toByteArray());
        const int room = viewport()->width() - 2 * int(document()->documentMargin()) - 4;
        if (image.isNull() || room <= 0 || image.width() <= room)
            return resource;
        return image.scaledToWidth(room, Qt::SmoothTransformation);
    }
};

} // namespace

frmNapoveda::frmNapoveda(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmNapoveda"));
    setWindowTitle(kTitle);
    m_browser = new GuideBrowser(this);
    m_browser->setObjectName(QStringLiteral("txtPrirucka"));
    m_browser->setOpenExternalLinks(true);
    const QString folder = guideFolder();
    if (!folder.isEmpty())
        m_browser->setSearchPaths({folder});

    auto *back = new QPushButton(QStringLiteral("← &Zpět"), this);
    back->setObjectName(QStringLiteral("cmdZpet"));
    auto *forward = new QPushButton(QStringLiteral("&Vpřed →"), this);
    forward->setObjectName(QStringLiteral("cmdVpred"));
    auto *home = new QPushButton(QStringLiteral("&Obsah"), this);
    home->setObjectName(QStringLiteral("cmdObsah"));
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(home, &QPushButton::clicked, this, [this] { showPage(kContents); });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(home);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    resize(760, 680);
}

QString frmNapoveda::guideFolder()
{
    // Beside the program when installed, the sources' guide when run from the build folder,
    // and only then an installed copy elsewhere, which may be of another version.
    QStringList candidates{QCoreApplication::applicationDirPath() + QStringLiteral("/../share/verna/prirucka")};
#ifdef VERNA_SOURCE_GUIDE_DIR
    candidates << QStringLiteral(VERNA_SOURCE_GUIDE_DIR);
#endif
    candidates << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("verna/prirucka"),
                                            QStandardPaths::LocateDirectory);
    for (const QString &folder : std::as_const(candidates)) {
        if (!folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(kContents)))
            return QDir(folder).absolutePath();
    }
    return {};
}

QString frmNapoveda::pageFor(const QWidget *window)
{
    if (!window)
        return kContents;
    // The analysis window's chart and report tabs have pages of their own.
    if (window->objectName() == QLatin1String("frmAnalyzaSubj")) {
        if (const QTabBar *tabs = window->findChild<QTabBar *>(QStringLiteral("TabStrip1"))) {
            if (tabs->currentIndex() == 1)
                return QStringLiteral("graf.md");
            if (tabs->currentIndex() == 2)
                return QStringLiteral("report.md");
        }
    }
    const auto found = pages().find(window->objectName());
    return found == pages().end() ? kContents : found->second;
}

void frmNapoveda::showPage(const QString &page)
{
    const QString folder = guideFolder();
    if (folder.isEmpty()) {
        m_browser->setMarkdown(QStringLiteral("# Příručka nebyla nalezena\n\nSložka příručky (`share/verna/prirucka`) "
                                              "u programu chybí. Přeinstalujte VERNA."));
        return;
    }
    m_browser->setSource(QUrl::fromLocalFile(QDir(folder).filePath(page)), QTextDocument::MarkdownResource);
}

frmNapoveda *frmNapoveda::showFor(QWidget *frame, QWidget *activeChild)
{
    frmNapoveda *guide = frame ? frame->findChild<frmNapoveda *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!guide)
        guide = new frmNapoveda(frame);
    guide->showPage(pageFor(activeChild));
    guide->show();
    guide->raise();
    guide->activateWindow();
    return guide;
}

} // namespace verna::shell

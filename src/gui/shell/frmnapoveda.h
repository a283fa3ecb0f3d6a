#pragma once

#include <QWidget>

class QTextBrowser;

namespace verna::shell {

// The user guide: Markdown pages of the guide folder shown by Qt's own rendering, with links
// between them, back and forward. One window per frame, opened again at the asked page.
class frmNapoveda : public QWidget
{
    Q_OBJECT
public:
    explicit frmNapoveda(QWidget *parent = nullptr);

    // Opens (or raises) the guide of the frame at the page of the window that has the focus
    // in it; the contents page when there is none or it has no page of its own.
    static frmNapoveda *showFor(QWidget *frame, QWidget *activeChild);

    // The guide's page for a window, by its name (and the analysis window's tab).
    static QString pageFor(const QWidget *window);
    // The folder of the guide: installed beside the program (../share/verna/prirucka), or the
    // source tree's when run from the build folder; "" when neither is there.
    static QString guideFolder();

    void showPage(const QString &page);
    QTextBrowser *browser() const { return m_browser; }

    static inline const QString kContents = QStringLiteral("index.md");

private:
    QTextBrowser *m_browser = nullptr;
};

} // namespace verna::shell

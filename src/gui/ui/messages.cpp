#include "ui/messages.h"

#include "ui/scripteduser.h"

#include "db/database.h"
#include "db/openfiles.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTextDocument>

namespace verna::ui {

namespace {

const QString kConnectionLostSentence = db::kConnectionLostText
    + QStringLiteral(". Až bude databáze opět dostupná, akci opakujte.");

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// Names a file's kind and icon from its name alone. Qt's own provider reads the first bytes of
// every listed file to guess its type; closing that descriptor would drop SQLite's POSIX locks
// of the whole process when the database, its -wal or -shm is among the files listed.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override
    {
        return QFileIconProvider::icon(info.isDir() ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("Složka");
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        return mime.isDefault() || mime.comment().isEmpty() ? QStringLiteral("Soubor") : mime.comment();
    }
};

QString runFileDialog(QWidget *parent, const QString &title, const QString &path, const QString &filter,
                      QFileDialog::AcceptMode mode)
{
    static NameOnlyIconProvider provider;
    QFileDialog dialog(parent, title, path, filter);
    // A native dialog would guess types in-process by content, as Qt's provider does.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&provider);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString chosen = dialog.selectedFiles().constFirst();
        if (!db::isOpenDatabaseFile(chosen))
            return chosen;
        exclamation(parent, title, db::openDatabaseFileRefusal(chosen));
    }
    return {};
}

// Where a box shows its detail: a short one at once under the text, or only on asking.
enum class DetailShown { UnderText, OnRequest };

int showBox(QWidget *parent, MessageIcon icon, const QString &title, const QString &text, const QStringList &buttons,
            int escapeButton, const QString &detail, DetailShown shown)
{
    const QStringList captions = buttons.isEmpty() ? QStringList{kOk} : buttons;
    const int escape = qBound(0, escapeButton, int(captions.size()) - 1);
    if (ScriptedUser *user = ScriptedUser::current())
        return user->reply({icon, title, text, detail, captions, {}}, escape);

    // A box taller than the screen hides its buttons: lines past the first few of a long text,
    // and a long detail, go to the scrolling details pane.
    constexpr qsizetype kBoxLines = 15;
    QStringList lines = text.split(QLatin1Char('\n'));
    QString scrolled = lines.size() > kBoxLines ? text : QString();
    if (!scrolled.isEmpty())
        lines = lines.mid(0, kBoxLines - 1) << QStringLiteral("…");
    QMessageBox box(boxIcon(icon), title, lines.join(QLatin1Char('\n')), QMessageBox::NoButton, parent);
    if (shown == DetailShown::OnRequest || detail.count(QLatin1Char('\n')) >= kBoxLines)
        scrolled += (scrolled.isEmpty() ? QString() : QStringLiteral("\n\n")) + detail;
    else if (!detail.isEmpty())
        box.setInformativeText(detail); // a short detail shows at once, under the text
    if (!scrolled.isEmpty())
        box.setDetailedText(scrolled);
    // Names in a message ("Skupina <b>A</b>") are shown as typed, never as markup.
    box.setTextFormat(Qt::PlainText);
    if (auto *informative = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QList<QPushButton *> pushButtons;
    for (int i = 0; i < captions.size(); ++i) {
        const auto role = i == escape && captions.size() > 1 ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
        pushButtons << box.addButton(captions.at(i), role);
    }
    box.setDefaultButton(pushButtons.front());
    box.setEscapeButton(pushButtons.at(escape));
    box.exec();
    const int chosen = pushButtons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return chosen >= 0 ? chosen : escape;
}

} // namespace

int choose(QWidget *parent, MessageIcon icon, const QString &title, const QString &text, const QStringList &buttons,
           int escapeButton, const QString &detail)
{
    return showBox(parent, icon, title, text, buttons, escapeButton, detail, DetailShown::UnderText);
}

void information(QWidget *parent, const QString &title, const QString &text)
{
    choose(parent, MessageIcon::Information, title, text, {kOk}, 0);
}

void exclamation(QWidget *parent, const QString &title, const QString &text)
{
    choose(parent, MessageIcon::Exclamation, title, text, {kOk}, 0);
}

void critical(QWidget *parent, const QString &title, const QString &text, const QString &detail)
{
    // One box for the action: the lost connection is its second sentence, not a box of its own.
    const QString told = db::isConnectionLoss(detail) && !db::isConnectionLoss(text)
        ? text + QLatin1Char(' ') + kConnectionLostSentence
        : text;
    showBox(parent, MessageIcon::Critical, title, told, {kOk}, 0, detail, DetailShown::OnRequest);
}

void databaseFailure(QWidget *parent, const QString &title, const QString &what, const QString &reason)
{
    critical(parent, title, what, reason);
}

void databaseFailure(QWidget *parent, const QString &title, const QString &reason)
{
    databaseFailure(parent, title, QStringLiteral("Operaci nelze dokončit, databáze ohlásila chybu."), reason);
}

bool askYesNo(QWidget *parent, const QString &title, const QString &text)
{
    return choose(parent, MessageIcon::Question, title, text, {kYes, kNo}, 1) == 0;
}

QString plainToolTip(const QString &text)
{
    // Only a text Qt would take for markup is changed: the rest shows as it is anyway.
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

QString openFileName(QWidget *parent, const QString &title, const QString &folder, const QString &filter)
{
    if (ScriptedUser *user = ScriptedUser::current())
        return user->replyFile(title);
    return runFileDialog(parent, title, folder, filter, QFileDialog::AcceptOpen);
}

QString saveFileName(QWidget *parent, const QString &title, const QString &path, const QString &filter)
{
    if (ScriptedUser *user = ScriptedUser::current())
        return user->replyFile(title);
    return runFileDialog(parent, title, path, filter, QFileDialog::AcceptSave);
}

} // namespace verna::ui

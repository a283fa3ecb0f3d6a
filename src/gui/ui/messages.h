#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace verna::ui {

enum class MessageIcon { Information, Exclamation, Critical, Question };

inline const QString kOk = QStringLiteral("OK");
inline const QString kYes = QStringLiteral("Ano");
inline const QString kNo = QStringLiteral("Ne");

// One message box as the user saw it, and the button that closed it.
struct ShownMessage {
    MessageIcon icon = MessageIcon::Information;
    QString title;
    QString text;
    QString detail;
    QStringList buttons;
    QString answer;
};

// Confirmations.
void information(QWidget *parent, const QString &title, const QString &text);
// Input errors.
void exclamation(QWidget *parent, const QString &title, const QString &text);
// Failures: text names what did not happen; detail is the technical reason (the driver's
// words), kept under "Podrobnosti". A failure caused by a lost connection says so in the text.
void critical(QWidget *parent, const QString &title, const QString &text, const QString &detail = {});
// An operation the database failed, in the same shape: what did not happen, the reason under it.
void databaseFailure(QWidget *parent, const QString &title, const QString &what, const QString &reason);
// The same for an operation a window does not name.
void databaseFailure(QWidget *parent, const QString &title, const QString &reason);
// Yes/No question with the question icon; true when the answer is "Ano".
bool askYesNo(QWidget *parent, const QString &title, const QString &text);

// A box with buttons of its own; returns the index of the button chosen. Closing the box
// (Esc, the title bar) means escapeButton.
int choose(QWidget *parent, MessageIcon icon, const QString &title, const QString &text, const QStringList &buttons,
           int escapeButton, const QString &detail = {});

// A tooltip that shows the text as typed: a name such as "<b>A</b>" is not taken for markup.
QString plainToolTip(const QString &text);

// The common file-open dialog; "" when cancelled.
QString openFileName(QWidget *parent, const QString &title, const QString &folder, const QString &filter);
// The common file-save dialog (asks before overwriting); "" when cancelled.
QString saveFileName(QWidget *parent, const QString &title, const QString &path, const QString &filter);

} // namespace verna::ui

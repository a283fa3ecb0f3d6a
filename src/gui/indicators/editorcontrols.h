#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace verna::indicators {

// The set-up both indicator editors share: an editable name list, a description box, buttons
// and labels, and change flags that count what the user types, not what the window puts in.
class EditorControls : public QObject
{
public:
    explicit EditorControls(QWidget *window);

    // A typed text is a name for the record on display or a new one, never a new list entry.
    QComboBox *nameBox(const QString &objectName, std::function<void(int)> chosen);
    QPlainTextEdit *descriptionBox();
    QPushButton *button(const QString &objectName, const QString &caption, std::function<void()> clicked);
    QLabel *label(const QString &caption, QWidget *buddy);

    // Puts texts into the controls without counting them as the user's change.
    void setQuietly(const std::function<void()> &put);
    bool isLoading() const { return m_loading; }
    bool nameChanged = false;
    bool descriptionChanged = false;

    void showFailure(const QString &text, const QString &reason);
    // Closes the window with its frame in the workspace.
    void closeWindow();

private:
    QWidget *m_window;
    bool m_loading = false;
};

} // namespace verna::indicators

#include "indicators/editorcontrols.h"

#include "ui/messages.h"

#include <QComboBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>

namespace verna::indicators {

namespace {

// Leaving the box (Tab, a click elsewhere) with an existing name typed makes the combo box
// report that item as chosen; here a typed name only names, and an item is opened only when
// chosen from the list or with the arrow keys.
class NameBox : public QComboBox
{
public:
    using QComboBox::QComboBox;
    bool isLeaving() const { return m_leaving; }

protected:
    void focusOutEvent(QFocusEvent *event) override
    {
        m_leaving = true;
        QComboBox::focusOutEvent(event);
        m_leaving = false;
    }

private:
    bool m_leaving = false;
};

} // namespace

EditorControls::EditorControls(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

QComboBox *EditorControls::nameBox(const QString &objectName, std::function<void(int)> chosen)
{
    auto *box = new NameBox(m_window);
    box->setObjectName(objectName);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // A new name is not completed into an existing one.
    box->setCompleter(nullptr);
    connect(box, &QComboBox::activated, m_window, [box, chosen = std::move(chosen)](int index) {
        if (!box->isLeaving())
            chosen(index);
    });
    connect(box, &QComboBox::editTextChanged, this, [this] {
        if (!m_loading)
            nameChanged = true;
    });
    return box;
}

QPlainTextEdit *EditorControls::descriptionBox()
{
    auto *text = new QPlainTextEdit(m_window);
    text->setObjectName(QStringLiteral("txtPopis"));
    text->setTabChangesFocus(true);
    connect(text, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            descriptionChanged = true;
    });
    return text;
}

QPushButton *EditorControls::button(const QString &objectName, const QString &caption, std::function<void()> clicked)
{
    auto *b = new QPushButton(caption, m_window);
    b->setObjectName(objectName);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, m_window, [clicked = std::move(clicked)] { clicked(); });
    return b;
}

QLabel *EditorControls::label(const QString &caption, QWidget *buddy)
{
    auto *l = new QLabel(caption, m_window);
    l->setBuddy(buddy);
    return l;
}

void EditorControls::setQuietly(const std::function<void()> &put)
{
    m_loading = true;
    put();
    m_loading = false;
}

void EditorControls::showFailure(const QString &text, const QString &reason)
{
    ui::critical(m_window, m_window->windowTitle(), text, reason);
}

void EditorControls::closeWindow()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(m_window->parentWidget()))
        sub->close();
    else
        m_window->close();
}

} // namespace verna::indicators

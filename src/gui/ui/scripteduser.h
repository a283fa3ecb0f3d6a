#pragma once

#include "ui/messages.h"

#include <QList>
#include <QStringList>

namespace verna::ui {

// Stands in for the user while it lives (tests): message boxes, file dialogs and drags are
// recorded instead of shown, and questions take the scripted replies in order. A question
// without a reply left gets its escape button ("Ne", "Ukončit"): the safe choice.
class ScriptedUser
{
public:
    ScriptedUser();
    ~ScriptedUser();
    ScriptedUser(const ScriptedUser &) = delete;
    ScriptedUser &operator=(const ScriptedUser &) = delete;

    // Caption of the button the next question is answered with ("Ano", "Ne", ...).
    void willAnswer(const QString &button);
    // Path the next file dialog returns; "" cancels it.
    void willChooseFile(const QString &path);

    const QList<ShownMessage> &messages() const { return m_messages; }
    const QStringList &fileDialogs() const { return m_fileDialogs; }
    const QStringList &drags() const { return m_drags; }
    void clear();

    // The one in charge now, or nullptr when the real user is.
    static ScriptedUser *current();

    // Called by the seam.
    int reply(ShownMessage message, int escapeButton);
    QString replyFile(const QString &title);
    void recordDrag(const QString &payload) { m_drags << payload; }

private:
    ScriptedUser *m_previous = nullptr;
    QStringList m_answers;
    QStringList m_files;
    QList<ShownMessage> m_messages;
    QStringList m_fileDialogs;
    QStringList m_drags;
};

} // namespace verna::ui

#include "ui/scripteduser.h"

namespace verna::ui {

namespace {
ScriptedUser *g_current = nullptr;
}

ScriptedUser::ScriptedUser()
    : m_previous(g_current)
{
    g_current = this;
}

ScriptedUser::~ScriptedUser()
{
    g_current = m_previous;
}

ScriptedUser *ScriptedUser::current()
{
    return g_current;
}

void ScriptedUser::willAnswer(const QString &button)
{
    m_answers << button;
}

void ScriptedUser::willChooseFile(const QString &path)
{
    m_files << path;
}

void ScriptedUser::clear()
{
    m_answers.clear();
    m_files.clear();
    m_messages.clear();
    m_fileDialogs.clear();
    m_drags.clear();
}

int ScriptedUser::reply(ShownMessage message, int escapeButton)
{
    int chosen = escapeButton;
    // A box with one button asks nothing, so it takes no scripted reply.
    if (message.buttons.size() > 1 && !m_answers.isEmpty()) {
        const int index = message.buttons.indexOf(m_answers.takeFirst());
        if (index >= 0)
            chosen = index;
    }
    message.answer = message.buttons.value(chosen);
    m_messages << message;
    return chosen;
}

QString ScriptedUser::replyFile(const QString &title)
{
    m_fileDialogs << title;
    return m_files.isEmpty() ? QString() : m_files.takeFirst();
}

} // namespace verna::ui

#include "windowtest.h"

#include "shell/standardwindows.h"
#include "ui/idlehook.h"

namespace verna::test {

void WindowTest::SetUp()
{
    ASSERT_EQ(m_files.open(m_db, SqliteFixture::Content::ReferenceData), QString());
    m_state = std::make_unique<shell::AppState>(m_db);
}

QStringList texts(const QAbstractItemView *list)
{
    QStringList out;
    const QAbstractItemModel *model = list->model();
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString();
    return out;
}

QString WindowTest::lastMessage() const
{
    return m_user.messages().isEmpty() ? QString() : m_user.messages().last().text;
}

void WindowTest::expectMessage(qsizetype n, ui::MessageIcon icon, const QString &text) const
{
    ASSERT_EQ(m_user.messages().size(), n + 1) << text.toStdString();
    EXPECT_EQ(m_user.messages()[n].icon, icon) << text.toStdString();
    EXPECT_EQ(m_user.messages()[n].text, text);
}

void FrameTest::SetUp()
{
    WindowTest::SetUp();
    if (HasFatalFailure())
        return;
    ui::installIdleHook(m_db, std::chrono::milliseconds(0));
    m_main = std::make_unique<shell::frmHlavni>(*m_state, shell::standardWindows());
    m_main->show();
}

} // namespace verna::test

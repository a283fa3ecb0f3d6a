#pragma once

#include "sqlitefixture.h"

#include "db/database.h"
#include "shell/appstate.h"
#include "shell/frmhlavni.h"
#include "ui/scripteduser.h"

#include <QAbstractItemView>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

namespace verna::test {

// The texts of a list's lines, in order.
QStringList texts(const QAbstractItemView *list);

// A fresh database with the reference data per test, the scripted user and the helpers that
// find controls by name.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override;

    template <typename T = QWidget>
    static T *control(QWidget *window, const QString &name)
    {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    static void click(QWidget *window, const QString &button) { control<QPushButton>(window, button)->click(); }
    static QStringList texts(const QAbstractItemView *list) { return test::texts(list); }
    QString lastMessage() const;
    // Checks that the n-th message shown (from 0) is the last one, with this icon and text.
    void expectMessage(qsizetype n, ui::MessageIcon icon, const QString &text) const;
    QString value(const QString &sql) { return m_db.singleValue(sql); }

    SqliteFixture m_files;
    db::Database m_db;
    std::unique_ptr<shell::AppState> m_state;
    ui::ScriptedUser m_user;
};

// The same with the frame holding every window, and database calls that let events through.
class FrameTest : public WindowTest
{
protected:
    void SetUp() override;
    void TearDown() override { m_db.setIdleHook({}); }

    std::unique_ptr<shell::frmHlavni> m_main;
};

} // namespace verna::test

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Windows are drawn offscreen: no display needed, nothing shown on one that exists. The
    // one test of the report's web view runs on a virtual display and asks for it.
    if (!qEnvironmentVariableIsSet("VERNA_TEST_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VERNA"));
    QCoreApplication::setApplicationName(QStringLiteral("VERNA"));
    QStandardPaths::setTestModeEnabled(true);
    // ctest runs test processes side by side: each keeps its settings to itself, so one
    // test's style folder never shows up in another's.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <QApplication>
#include <QStandardPaths>
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
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

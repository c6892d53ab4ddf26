#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>

// Runs the tests inside a QApplication so that widgets can be built; the offscreen platform is
// set by CTest, and is the default here too so that a test binary also runs from a shell.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendmoor"));
    return RUN_ALL_TESTS();
}

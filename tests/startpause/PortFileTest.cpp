#include "StartPauseHarness.h"
#include "platform/LinuxPortInput.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wendmoor::test {
namespace {

// The real port reader with no port device at all: the contacts read as open (so Continous
// pauses after the stop delay) and the operator hears of it once, with the device's name.
TEST(PortFileDrive, MissingPortDeviceIsReportedOnceAndReadsAsOpen)
{
    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/gone");
    LinuxPortInput port(dir.path() + QStringLiteral("/no-parport"), missing);
    StartPauseHarness h(&port);
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 3;
    h.settings.StopDelay = 1;
    h.state.IsRecording = true;
    h.writerOn = true;
    h.state.LastActivityTime = 36000;
    h.run(5000);
    EXPECT_FALSE(h.writerOn);
    ASSERT_EQ(h.ts.messages.shown.size(), 1);
    EXPECT_TRUE(h.ts.messages.shown[0].startsWith(QStringLiteral("1030 ")));
    EXPECT_TRUE(h.ts.messages.shown[0].contains(missing)) << h.ts.messages.shown[0].toStdString();
}

} // namespace
} // namespace wendmoor::test

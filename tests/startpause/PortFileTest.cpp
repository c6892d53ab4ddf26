#include "StartPauseHarness.h"
#include "platform/LinuxPortInput.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wendmoor::test {
namespace {

// The real port reader on a file that stands in for the raw port device.
class PortFileDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.path() + QStringLiteral("/port");
        setStatus(0x7f, 0x00);
    }

    void setStatus(std::uint8_t parallel, std::uint8_t card)
    {
        QByteArray bytes(0x400, '\0');
        bytes[0x379] = static_cast<char>(parallel);
        bytes[0x285] = static_cast<char>(card);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(PortFileDrive, ParallelStatusDrivesContinousMode)
{
    LinuxPortInput port(dir.path() + QStringLiteral("/no-parport"), path);
    StartPauseHarness h(&port);
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 3;
    h.settings.StopDelay = 5;
    h.recordingInStandby();

    setStatus(0x5f, 0x00);
    h.run(10000);
    EXPECT_TRUE(h.writerOn);
    setStatus(0x7f, 0x00);
    h.run(4500);
    EXPECT_TRUE(h.writerOn);
    h.run(1000);
    EXPECT_FALSE(h.writerOn);
    setStatus(0xdf, 0x00);
    h.run(3000);
    EXPECT_FALSE(h.writerOn) << "the busy line did not hide the record contact";
    setStatus(0x5f, 0x00);
    h.run(100);
    EXPECT_TRUE(h.writerOn);
    EXPECT_TRUE(h.ts.messages.shown.isEmpty());
}

TEST_F(PortFileDrive, CardDrivesMomentaryMode)
{
    LinuxPortInput port(dir.path() + QStringLiteral("/no-parport"), path);
    StartPauseHarness h(&port);
    h.settings.RemoteControl = 2;
    h.settings.StartPauseMode = 2;
    h.settings.StopDelay = 2;
    h.recordingInStandby();

    setStatus(0x7f, 0x20);
    h.run(200);
    setStatus(0x7f, 0x00);
    h.run(20000);
    EXPECT_TRUE(h.writerOn);
    setStatus(0x7f, 0x10);
    h.run(100);
    setStatus(0x7f, 0x00);
    h.run(3000);
    EXPECT_FALSE(h.writerOn);
    EXPECT_EQ(h.resumes, 1);
}

TEST_F(PortFileDrive, MissingPortDeviceIsReportedOnceAndReadsAsOpen)
{
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

#include "recorder/ClockRules.h"
#include "startpause/ContactDecoding.h"
#include "startpause/StartPause.h"

#include "TestServices.h"
#include "platform/Error.h"
#include "platform/LinuxPortInput.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace wendmoor::test {
namespace {

// The start/pause control on fake services, with the clock's own rules pausing the writer that
// `writerOn` stands for.
struct StartPauseHarness {
    explicit StartPauseHarness(PortInput* ports = nullptr)
        : control(settings, state, ts.clock, ports ? *ports : ts.ports, ts.messages, [this] {
            ++resumes;
            writerOn = true;
        })
    {
        setTime(10, 0, 0);
    }
    void setTime(int h, int m, int s) { ts.clock.set(QDate(2026, 12, 6), QTime(h, m, s)); }
    void recordingInStandby()
    {
        state.IsRecording = true;
        state.InStandby = true;
        writerOn = false;
    }
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 100) {
            ts.clock.advanceMs(100);
            if (rules.tick(ts.clock.now(), settings, state, true).pause) {
                writerOn = false;
                state.InStandby = true;
            }
            control.PollRemoteControl();
        }
    }

    TestServices ts;
    Settings settings;
    RecorderState state;
    ClockRules rules;
    int resumes = 0;
    bool writerOn = false;
    StartPause control;
};

constexpr int Parallel = 0x379;
constexpr int Card = 0x285;

struct ByteCase {
    const char* what;
    std::int16_t source;
    std::uint8_t byte;
    bool record;
    bool pause;
};

// Pin 12 (status bit 5) is the record contact, pin 13 (bit 4) the pause contact, both pulled low
// by a closed contact; the busy line (bit 7) high hides both. The card reads its bits as they are.
const std::vector<ByteCase> byteCases = {
    { "parallel pin 12 low", 1, 0x5f, true, false },
    { "parallel pin 13 low", 1, 0x6f, false, true },
    { "parallel both low", 1, 0x4f, true, true },
    { "parallel idle", 1, 0x7f, false, false },
    { "parallel busy with pin 12 low", 1, 0xdf, false, false },
    { "parallel all high", 1, 0xff, false, false },
    { "parallel busy and all low", 1, 0x80, false, false },
    { "parallel ack low only", 1, 0x3f, false, false },
    { "card record", 2, 0x20, true, false },
    { "card pause", 2, 0x10, false, true },
    { "card both", 2, 0x30, true, true },
    { "card none", 2, 0x00, false, false },
    { "card low bits only", 2, 0x0f, false, false },
    { "card high bits and record", 2, 0xe0, true, false },
    { "card all set", 2, 0xff, true, true },
};

void setByte(StartPauseHarness& h, std::int16_t source, std::uint8_t byte)
{
    h.ts.ports.bytes[source == 1 ? Parallel : Card] = byte;
}

std::uint8_t idleByte(std::int16_t source)
{
    return source == 1 ? 0x7f : 0x00;
}

TEST(RemoteContacts, DecoderSeesEachContactOfTheByteTable)
{
    for (const ByteCase& c : byteCases) {
        SCOPED_TRACE(c.what);
        const ContactReading r = peelContacts(c.source, remoteInputValue(c.source, c.byte));
        EXPECT_EQ(r.record, c.record);
        EXPECT_EQ(r.pause, c.pause);
    }
}

// Continous mode while the recording stands by: only the record contact is activity, and it
// resumes the recording at once.
TEST(RemoteContacts, ContinousResumesOnlyOnTheRecordContact)
{
    for (const ByteCase& c : byteCases) {
        SCOPED_TRACE(c.what);
        StartPauseHarness h;
        h.settings.RemoteControl = c.source;
        h.settings.StartPauseMode = ModeContinous;
        h.recordingInStandby();
        setByte(h, c.source, c.byte);
        h.control.PollRemoteControl();
        EXPECT_EQ(h.state.LastActivityTime, c.record ? 36000 : 0);
        EXPECT_EQ(h.state.InStandby, !c.record);
        EXPECT_EQ(h.resumes, c.record ? 1 : 0);
        EXPECT_FALSE(h.control.MomentaryLatch());
    }
}

// Momentary mode with the latch set an hour earlier: the record contact refreshes the activity
// time, the pause contact ends the latch, and a latch that survives keeps refreshing it.
TEST(RemoteContacts, MomentaryLatchFollowsBothContacts)
{
    for (const ByteCase& c : byteCases) {
        SCOPED_TRACE(c.what);
        StartPauseHarness h;
        h.settings.RemoteControl = c.source;
        h.settings.StartPauseMode = ModeMomentary;
        h.state.IsRecording = true;
        h.setTime(9, 0, 0);
        setByte(h, c.source, c.source == 1 ? 0x5f : 0x20);
        h.control.PollRemoteControl();
        ASSERT_TRUE(h.control.MomentaryLatch());

        h.setTime(10, 0, 0);
        setByte(h, c.source, c.byte);
        h.control.PollRemoteControl();
        const bool latched = !c.pause;
        EXPECT_EQ(h.control.MomentaryLatch(), latched);
        EXPECT_EQ(h.state.LastActivityTime, c.record || latched ? 36000 : 32400);

        h.setTime(10, 0, 10);
        setByte(h, c.source, idleByte(c.source));
        h.control.PollRemoteControl();
        EXPECT_EQ(h.state.LastActivityTime, latched ? 36010 : (c.record ? 36000 : 32400));
    }
}

TEST(RemoteContacts, FailedResumeIsReportedAndStaysInStandby)
{
    TestServices ts;
    Settings settings;
    settings.RemoteControl = RemoteParallelPort;
    settings.StartPauseMode = ModeContinous;
    RecorderState state;
    state.IsRecording = true;
    state.InStandby = true;
    StartPause control(settings, state, ts.clock, ts.ports, ts.messages,
        [] { throw Error(ErrorNumber::WaveFileWrite, QStringLiteral("disk gone")); });
    ts.ports.bytes[Parallel] = 0x5f;
    control.PollRemoteControl();
    EXPECT_TRUE(state.InStandby);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].contains(QStringLiteral("disk gone")));
}

// The real port reader with no port device at all: the contacts read as open (so Continous
// pauses after the stop delay) and the operator hears of it once, with the device's name.
TEST(PortFileDrive, MissingPortDeviceIsReportedOnceAndReadsAsOpen)
{
    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/gone");
    LinuxPortInput port(dir.path() + QStringLiteral("/no-parport"), missing);
    StartPauseHarness h(&port);
    h.settings.RemoteControl = RemoteParallelPort;
    h.settings.StartPauseMode = ModeContinous;
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

#include "startpause/StartPause.h"

#include "TestServices.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <functional>

namespace wendmoor::test {
namespace {

// The start/pause control of a recording on fake services, at 10:00:00.
struct Harness {
    Harness(std::int16_t source, std::int16_t mode)
        : control(settings, state, ts.clock, ts.ports, ts.messages, [this] { onResume(); })
    {
        settings.RemoteControl = source;
        settings.StartPauseMode = mode;
        state.IsRecording = true;
        at(10, 0, 0);
    }
    void at(int h, int m, int s) { ts.clock.set(QDate(2026, 12, 6), QTime(h, m, s)); }
    // The input's status byte, then one poll of the control.
    void poll(std::uint8_t byte)
    {
        ts.ports.bytes[settings.RemoteControl == RemoteParallelPort ? 0x379 : 0x285] = byte;
        control.PollRemoteControl();
    }

    TestServices ts;
    Settings settings;
    RecorderState state;
    int resumes = 0;
    std::function<void()> onResume = [this] { ++resumes; };
    StartPause control;
};

struct ByteCase {
    const char* what;
    std::int16_t source;
    std::uint8_t byte;
    bool record, pause;
};

// Pin 12 (status bit 5) is the record contact, pin 13 (bit 4) the pause contact, both pulled low
// by a closed contact; the busy line (bit 7) high hides both. The card reads its bits as they are.
const ByteCase byteCases[] = { { "parallel pin 12 low", 1, 0x5f, true, false },
    { "parallel pin 13 low", 1, 0x6f, false, true }, { "parallel both low", 1, 0x4f, true, true },
    { "parallel idle", 1, 0x7f, false, false }, { "parallel busy with pin 12 low", 1, 0xdf, false, false },
    { "parallel busy and all low", 1, 0x80, false, false }, { "parallel ack low only", 1, 0x3f, false, false },
    { "card record", 2, 0x20, true, false }, { "card pause", 2, 0x10, false, true },
    { "card none", 2, 0x00, false, false }, { "card low bits only", 2, 0x0f, false, false },
    { "card high bits and record", 2, 0xe0, true, false }, { "card all set", 2, 0xff, true, true } };

// Continous, the recording in Standby: only the record contact is activity, and it resumes the
// recording at once. Momentary, the latch set an hour earlier: the record contact refreshes the
// activity time, the pause contact ends the latch, and a latch that survives keeps refreshing it.
TEST(RemoteContacts, EachContactOfTheByteTableActsInContinousAndMomentaryMode)
{
    for (const ByteCase& c : byteCases) {
        SCOPED_TRACE(c.what);
        Harness continous(c.source, ModeContinous);
        continous.state.InStandby = true;
        continous.poll(c.byte);
        EXPECT_EQ(continous.state.LastActivityTime, c.record ? 36000 : 0);
        EXPECT_EQ(continous.state.InStandby, !c.record);
        EXPECT_EQ(continous.resumes, c.record ? 1 : 0);
        EXPECT_FALSE(continous.control.MomentaryLatch());

        Harness h(c.source, ModeMomentary);
        h.at(9, 0, 0);
        h.poll(c.source == RemoteParallelPort ? 0x5f : 0x20);
        ASSERT_TRUE(h.control.MomentaryLatch());
        h.at(10, 0, 0);
        h.poll(c.byte);
        const bool latched = !c.pause;
        EXPECT_EQ(h.control.MomentaryLatch(), latched);
        EXPECT_EQ(h.state.LastActivityTime, c.record || latched ? 36000 : 32400);
        h.at(10, 0, 10);
        h.poll(c.source == RemoteParallelPort ? 0x7f : 0x00);
        EXPECT_EQ(h.state.LastActivityTime, latched ? 36010 : (c.record ? 36000 : 32400));
    }
}

TEST(RemoteContacts, FailedResumeIsReportedAndStaysInStandby)
{
    Harness h(RemoteParallelPort, ModeContinous);
    h.state.InStandby = true;
    h.onResume = [] { throw Error(ErrorNumber::WaveFileWrite, QStringLiteral("disk gone")); };
    h.poll(0x5f);
    EXPECT_TRUE(h.state.InStandby);
    ASSERT_EQ(h.ts.messages.shown.size(), 1);
    EXPECT_TRUE(h.ts.messages.shown[0].contains(QStringLiteral("disk gone")));
}

// A port that cannot be read (a missing device; LinuxPortInputTest checks that its error names
// it): the contacts read as open, so that Continous pauses after the stop delay, and the operator
// hears of it once.
TEST(RemoteContacts, UnreadablePortIsReportedOnceAndReadsAsOpen)
{
    Harness h(RemoteParallelPort, ModeContinous);
    h.state.LastActivityTime = 36000;
    for (int s = 1; s <= 3; ++s) {
        h.at(10, 0, s);
        h.control.PollRemoteControl(); // no byte at the address: the fake port throws
    }
    EXPECT_EQ(h.state.LastActivityTime, 36000) << "an unreadable port read as a closed contact";
    ASSERT_EQ(h.ts.messages.shown.size(), 1);
    EXPECT_TRUE(h.ts.messages.shown[0].startsWith(QString::number(ErrorNumber::PortAccess) + QLatin1Char(' ')));
    EXPECT_TRUE(h.ts.messages.shown[0].contains(QStringLiteral("No port at address")))
        << h.ts.messages.shown[0].toStdString();
}

} // namespace
} // namespace wendmoor::test

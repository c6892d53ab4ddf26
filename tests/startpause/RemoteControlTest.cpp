#include "StartPauseHarness.h"
#include "startpause/ContactDecoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace wendmoor::test {
namespace {

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
        h.settings.StartPauseMode = 3;
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
        h.settings.StartPauseMode = 2;
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

TEST(RemoteContacts, MomentaryBothContactsInOnePollResumesThenPausesAfterStopDelay)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 2;
    h.settings.StopDelay = 5;
    h.recordingInStandby();
    h.ts.ports.bytes[Parallel] = 0x4f;
    h.tick();
    EXPECT_FALSE(h.state.InStandby);
    EXPECT_TRUE(h.writerOn);
    EXPECT_FALSE(h.control.MomentaryLatch());
    EXPECT_EQ(h.state.LastActivityTime, 36000);

    h.ts.ports.bytes[Parallel] = 0x7f;
    h.run(4900);
    EXPECT_TRUE(h.writerOn) << "paused before the stop delay";
    h.run(100);
    EXPECT_FALSE(h.writerOn) << "no pause at the stop delay";
    EXPECT_TRUE(h.state.InStandby);
}

TEST(RemoteContacts, MomentaryShortClosureRecordsUntilPauseContactPlusStopDelay)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 2;
    h.settings.StartPauseMode = 2;
    h.settings.StopDelay = 3;
    h.recordingInStandby();
    h.ts.ports.bytes[Card] = 0x20;
    h.run(200);
    EXPECT_TRUE(h.writerOn);
    h.ts.ports.bytes[Card] = 0x00;
    h.run(60000);
    EXPECT_TRUE(h.writerOn) << "the latch did not hold the recording open";
    EXPECT_EQ(h.resumes, 1);

    h.ts.ports.bytes[Card] = 0x10;
    h.run(100);
    h.ts.ports.bytes[Card] = 0x00;
    h.run(2500);
    EXPECT_TRUE(h.writerOn);
    h.run(600);
    EXPECT_FALSE(h.writerOn);
}

TEST(RemoteContacts, ContinousOpenedContactPausesAfterStopDelayAndClosingResumesAtNextTick)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 3;
    h.settings.StopDelay = 5;
    h.recordingInStandby();
    h.setTime(9, 59, 0);
    h.ts.ports.bytes[Parallel] = 0x5f;
    h.run(60000);
    EXPECT_TRUE(h.writerOn);
    EXPECT_EQ(h.ts.clock.now().time(), QTime(10, 0, 0));

    h.ts.ports.bytes[Parallel] = 0x7f;
    h.run(4900);
    EXPECT_TRUE(h.writerOn);
    h.run(200);
    EXPECT_FALSE(h.writerOn);

    h.ts.ports.bytes[Parallel] = 0x5f;
    h.run(100);
    EXPECT_TRUE(h.writerOn);
    EXPECT_FALSE(h.state.InStandby);
}

// A latch left set from Momentary keeps refreshing the activity time in VOX mode, so the level
// never gets to pause the recording until the pause contact closes.
TEST(RemoteContacts, LatchLeftFromMomentaryHoldsVoxOpenUntilPauseContact)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 2;
    h.settings.StopDelay = 2;
    h.settings.Threshold = 32767;
    h.state.IsRecording = true;
    h.writerOn = true;
    h.ts.ports.bytes[Parallel] = 0x5f;
    h.tick();
    ASSERT_TRUE(h.control.MomentaryLatch());

    h.settings.StartPauseMode = 1;
    h.ts.ports.bytes[Parallel] = 0x7f;
    for (int second = 1; second <= 30; ++second) {
        h.run(1000);
        const std::vector<std::int16_t> quiet(512, 100);
        h.control.onInputBuffer(quiet);
        ASSERT_EQ(h.state.LastActivityTime, 36000 + second) << "not refreshed on every poll";
    }
    EXPECT_TRUE(h.writerOn);

    h.ts.ports.bytes[Parallel] = 0x6f;
    h.run(100);
    h.ts.ports.bytes[Parallel] = 0x7f;
    h.run(2100);
    EXPECT_FALSE(h.writerOn);
}

TEST(RemoteContacts, LatchHasNoEffectWhenRemoteControlIsOff)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 2;
    h.state.IsRecording = true;
    h.ts.ports.bytes[Parallel] = 0x5f;
    h.control.PollRemoteControl();
    ASSERT_TRUE(h.control.MomentaryLatch());

    for (std::int16_t off : { std::int16_t { 0 }, std::int16_t { 3 }, std::int16_t { -1 } }) {
        SCOPED_TRACE(off);
        h.settings.RemoteControl = off;
        h.setTime(11, 0, 0);
        const int reads = h.ts.ports.reads;
        h.control.PollRemoteControl();
        EXPECT_EQ(h.ts.ports.reads, reads) << "a port was read with the remote control off";
        EXPECT_EQ(h.state.LastActivityTime, 36000);
        EXPECT_TRUE(h.control.MomentaryLatch());
    }
}

TEST(RemoteContacts, RecordContactDoesNotStartAStoppedChain)
{
    for (std::int16_t mode : { std::int16_t { 2 }, std::int16_t { 3 } }) {
        SCOPED_TRACE(mode);
        StartPauseHarness h;
        h.settings.RemoteControl = 1;
        h.settings.StartPauseMode = mode;
        h.state.InStandby = true;
        h.ts.ports.bytes[Parallel] = 0x5f;
        h.control.PollRemoteControl();
        EXPECT_EQ(h.resumes, 0);
        EXPECT_TRUE(h.state.InStandby);
        // Only the Momentary latch counts as activity without a recording.
        EXPECT_EQ(h.state.LastActivityTime, mode == 2 ? 36000 : 0);
    }
}

TEST(RemoteContacts, ContactsDoNothingInOffAndVoxModes)
{
    for (std::int16_t mode : { std::int16_t { 0 }, std::int16_t { 1 } }) {
        SCOPED_TRACE(mode);
        StartPauseHarness h;
        h.settings.RemoteControl = 2;
        h.settings.StartPauseMode = mode;
        h.recordingInStandby();
        h.ts.ports.bytes[Card] = 0x20;
        h.control.PollRemoteControl();
        EXPECT_EQ(h.resumes, 0);
        EXPECT_EQ(h.state.LastActivityTime, 0);
        EXPECT_FALSE(h.control.MomentaryLatch());
    }
}

TEST(RemoteContacts, ActivityTimeIsRoundedHalfToEven)
{
    struct Case {
        int ms;
        int expected;
    };
    for (const Case c : { Case { 499, 36000 }, Case { 500, 36000 }, Case { 700, 36001 } }) {
        StartPauseHarness h;
        h.settings.RemoteControl = 1;
        h.settings.StartPauseMode = 3;
        h.state.IsRecording = true;
        h.setTime(10, 0, 0, c.ms);
        h.ts.ports.bytes[Parallel] = 0x5f;
        h.control.PollRemoteControl();
        EXPECT_EQ(h.state.LastActivityTime, c.expected) << c.ms;
    }
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 3;
    h.state.IsRecording = true;
    h.setTime(10, 0, 1, 500);
    h.ts.ports.bytes[Parallel] = 0x5f;
    h.control.PollRemoteControl();
    EXPECT_EQ(h.state.LastActivityTime, 36002);
}

// A port that cannot be read is an inactive input, and the operator hears of it once per device,
// not ten times a second.
TEST(RemoteContacts, UnreadablePortReadsAsNoContactAndIsReportedOnce)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 3;
    h.recordingInStandby();
    h.run(1000);
    EXPECT_EQ(h.resumes, 0);
    EXPECT_EQ(h.control.RemoteInput(), 0);
    ASSERT_EQ(h.ts.messages.shown.size(), 1);
    EXPECT_TRUE(h.ts.messages.shown[0].startsWith(QStringLiteral("1030 ")));
    EXPECT_TRUE(h.ts.messages.shown[0].contains(QStringLiteral("889"))) << h.ts.messages.shown[0].toStdString();

    h.settings.RemoteControl = 2;
    h.run(1000);
    ASSERT_EQ(h.ts.messages.shown.size(), 2) << "the card's failure was not reported on its own";
    EXPECT_TRUE(h.ts.messages.shown[1].contains(QStringLiteral("645")));

    // Once the port answers again, a later failure is news again.
    h.ts.ports.bytes[Card] = 0x00;
    h.run(300);
    h.ts.ports.bytes.remove(Card);
    h.run(300);
    EXPECT_EQ(h.ts.messages.shown.size(), 3);
}

TEST(RemoteContacts, UnreadablePortDoesNotClearTheMomentaryLatch)
{
    StartPauseHarness h;
    h.settings.RemoteControl = 1;
    h.settings.StartPauseMode = 2;
    h.state.IsRecording = true;
    h.ts.ports.bytes[Parallel] = 0x5f;
    h.control.PollRemoteControl();
    h.ts.ports.bytes.clear();
    h.setTime(10, 0, 5);
    h.control.PollRemoteControl();
    EXPECT_TRUE(h.control.MomentaryLatch());
    EXPECT_EQ(h.state.LastActivityTime, 36005);
}

TEST(RemoteContacts, FailedResumeIsReportedAndStaysInStandby)
{
    TestServices ts;
    Settings settings;
    settings.RemoteControl = 1;
    settings.StartPauseMode = 3;
    RecorderState state;
    state.IsRecording = true;
    state.InStandby = true;
    StartPause control(settings, state, ts.services,
        [] { throw Error(ErrorNumber::WaveFileWrite, QStringLiteral("Cannot write /logs/L120626.wav: disk full")); });
    ts.ports.bytes[Parallel] = 0x5f;
    control.PollRemoteControl();
    EXPECT_TRUE(state.InStandby);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_EQ(ts.messages.shown[0], QStringLiteral("1012 Cannot write /logs/L120626.wav: disk full"));
}

} // namespace
} // namespace wendmoor::test

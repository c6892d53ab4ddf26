#include "StartPauseHarness.h"

#include <gtest/gtest.h>

#include <vector>

namespace wendmoor::test {
namespace {

struct LevelCase {
    const char* what;
    std::int16_t threshold;
    std::vector<std::int16_t> samples;
    bool activity;
};

const std::vector<LevelCase> levelCases = {
    { "peak equal to the threshold is silence", 1000, { 10, 1000, -1000, 3 }, false },
    { "one above is activity", 1000, { 0, 1001, 0 }, true },
    { "negative peak above is activity", 1000, { 0, -1001, 0 }, true },
    { "loudest sample anywhere in the buffer", 1000, { 0, 0, 0, 0, 0, 0, 0, 2000 }, true },
    { "threshold 0 and digital silence", 0, { 0, 0, 0 }, false },
    { "threshold 0 and the smallest sound", 0, { 0, -1, 0 }, true },
    { "negative threshold makes silence activity", -1, { 0, 0 }, true },
    { "threshold 32767 and full scale", 32767, { 32767, -32767 }, false },
    { "most negative sample beats every threshold", 32767, { 0, -32768, 0 }, true },
    { "empty buffer is silence", 0, {}, false },
};

TEST(LevelCheck, PeakAgainstThresholdDecidesActivity)
{
    for (const LevelCase& c : levelCases) {
        SCOPED_TRACE(c.what);
        StartPauseHarness h;
        h.settings.StartPauseMode = 1;
        h.settings.Threshold = c.threshold;
        h.recordingInStandby();
        h.control.onInputBuffer(c.samples);
        EXPECT_EQ(h.state.LastActivityTime, c.activity ? 36000 : 0);
        EXPECT_EQ(h.state.InStandby, !c.activity);
        EXPECT_EQ(h.resumes, c.activity ? 1 : 0);
    }
}

TEST(LevelCheck, LoudBufferWhileRecordingMovesActivityTimeWithoutResuming)
{
    StartPauseHarness h;
    h.settings.StartPauseMode = 1;
    h.settings.Threshold = 100;
    h.state.IsRecording = true;
    h.setTime(10, 0, 2, 700);
    const std::vector<std::int16_t> loud(256, 5000);
    h.control.onInputBuffer(loud);
    EXPECT_EQ(h.state.LastActivityTime, 36003);
    EXPECT_EQ(h.resumes, 0);
}

TEST(LevelCheck, BuffersChangeNothingOutsideVoxMode)
{
    for (std::int16_t mode : { std::int16_t { 0 }, std::int16_t { 2 }, std::int16_t { 3 }, std::int16_t { 7 } }) {
        SCOPED_TRACE(mode);
        StartPauseHarness h;
        h.settings.StartPauseMode = mode;
        h.settings.Threshold = -1;
        h.recordingInStandby();
        const std::vector<std::int16_t> loud(256, -32768);
        h.control.onInputBuffer(loud);
        EXPECT_EQ(h.resumes, 0);
        EXPECT_TRUE(h.state.InStandby);
        EXPECT_EQ(h.state.LastActivityTime, 0);
    }
}

// Tone, a gap shorter than the stop delay, then a longer one: only the long gap is cut, from the
// tick at which the delay runs out until the next loud buffer.
TEST(LevelCheck, GapsShorterThanStopDelayAreKeptLongerOnesCut)
{
    StartPauseHarness h;
    h.settings.StartPauseMode = 1;
    h.settings.Threshold = 500;
    h.settings.StopDelay = 2;
    h.state.IsRecording = true;
    h.writerOn = true;
    const std::vector<std::int16_t> tone = { 0, 3000, 0, -3000 };
    const std::vector<std::int16_t> quiet = { 0, 20, 0, -20 };
    int pausedTicks = 0;
    // 100 ms buffers and ticks: 1 s tone, 1.5 s quiet, 1 s tone, 5 s quiet, 1 s tone.
    auto play = [&](const std::vector<std::int16_t>& buffer, int ms) {
        for (int t = 0; t < ms; t += 100) {
            h.ts.clock.advanceMs(100);
            h.control.onInputBuffer(buffer);
            h.tick();
            pausedTicks += h.writerOn ? 0 : 1;
        }
    };
    play(tone, 1000);
    play(quiet, 1500);
    play(tone, 1000);
    EXPECT_EQ(pausedTicks, 0);
    play(quiet, 5000);
    EXPECT_FALSE(h.writerOn);
    play(tone, 100);
    EXPECT_TRUE(h.writerOn);
    EXPECT_EQ(h.resumes, 1);
    // The last loud buffer at 10:00:03.5 counts as second 4 (a half goes to the even neighbour),
    // so the ticks from 10:00:06.0 to 10:00:08.5 are paused.
    EXPECT_EQ(pausedTicks, 26);
}

TEST(LevelCheck, RecordingWithoutActivityPausesAtFirstTickAndResumesOnFirstLoudBuffer)
{
    StartPauseHarness h;
    h.settings.StartPauseMode = 1;
    h.settings.Threshold = 32767;
    h.settings.StopDelay = 10;
    h.state.IsRecording = true;
    h.writerOn = true;
    h.tick();
    EXPECT_FALSE(h.writerOn);
    const std::vector<std::int16_t> fullScale(64, 32767);
    h.control.onInputBuffer(fullScale);
    EXPECT_FALSE(h.writerOn) << "threshold 32767 must never see activity from 32767";
    const std::vector<std::int16_t> clipped(64, -32768);
    h.control.onInputBuffer(clipped);
    EXPECT_TRUE(h.writerOn);
    EXPECT_FALSE(h.state.InStandby);
}

} // namespace
} // namespace wendmoor::test

#include "recorder/ClockRules.h"
#include "recorder/StartPauseControl.h"

#include "../media/WavChecks.h"
#include "RecorderFixture.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

QString logName(const QDate& d, const char* suffix)
{
    return QStringLiteral("L") + d.toString(QStringLiteral("MMddyy")) + QLatin1String(suffix);
}

// One file per day (two for the largest format), each occasion once although the clock ticks
// ten times a second, the purge deleting exactly the expired day with all its files, in a zone
// whose clocks change: Santiago has a 25-hour Saturday on 4 April 2026 and skips midnight itself
// on 6 September 2026 (the first tick of that day comes at 01:00:00, late for both occasions).
class SimulatedWeek : public RecorderFixture, public ::testing::TestWithParam<QDate> { };

TEST_P(SimulatedWeek, EveryDayGetsItsFilesOnceAndTheExpiredDayIsPurged)
{
    const QTimeZone zone("America/Santiago");
    ASSERT_TRUE(zone.isValid());
    settings.DaysToKeep = 2;
    const QDate first = GetParam();
    const QDate last = first.addDays(7);
    // Logs of the days before the week. The two newest are purged on their days; the third was
    // due on the first day, whose midnight the program did not see, and stays.
    const char* suffixes[] = { "A.wav", "P.wav", "A01.wav", ".flac", "01.opus" };
    QStringList kept { QStringLiteral("notes.wav") };
    for (const char* suffix : suffixes) {
        for (int back = 1; back <= 3; ++back)
            touch(logName(first.addDays(-back), suffix));
        kept << logName(first.addDays(-3), suffix);
    }
    touch(QStringLiteral("notes.wav"));

    at(QDateTime(first, QTime(9, 0), zone));
    record();
    ASSERT_TRUE(state.IsRecording);
    for (int day = 0; day < 7; ++day) {
        const QDate d = first.addDays(day);
        // Noon, then the evening into the next day.
        at(QDateTime(d, QTime(11, 59, 55), zone));
        run(10'000);
        if (day == 3) {
            // An operator stops the recorder in the evening; midnight starts it again.
            stop();
            ASSERT_FALSE(state.IsRecording);
        }
        at(QDateTime(d, QTime(23, 59, 50), zone));
        run(45'000);
        EXPECT_TRUE(state.IsRecording) << "no recording after midnight of " << d.toString().toStdString();
    }

    // Days kept: today (the last, its morning only) and the two before it.
    kept << logName(last, "A.wav");
    for (int back = 1; back <= 2; ++back)
        kept << logName(last.addDays(-back), "A.wav") << logName(last.addDays(-back), "P.wav");
    kept.sort();
    // The purge leaves the archive's catalog alone.
    recorder->background().finish();
    QStringList left = QDir(archive).entryList(QDir::Files);
    left.removeIf([](const QString& name) { return name.startsWith(QLatin1String("catalog.db")); });
    left.sort();
    EXPECT_EQ(left.join(QLatin1Char(' ')).toStdString(), kept.join(QLatin1Char(' ')).toStdString());
    EXPECT_TRUE(ts.prompt.questions.isEmpty()) << ts.prompt.questions.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Santiago, SimulatedWeek, ::testing::Values(QDate(2026, 4, 1), QDate(2026, 9, 3)),
    [](const auto& info) { return info.index == 0 ? std::string("LongDay") : std::string("SkippedMidnight"); });

QDateTime day(int d, int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2026, 12, d), QTime(h, m, s, ms));
}

// The roll-over and the purge over a run of ticks: what fired, and at which tick.
TEST(ClockRulesTest, RollOverAndPurgeComeOncePerDayOnTheFirstTickThatSeesThem)
{
    struct Case {
        const char* name;
        int format;
        std::vector<QDateTime> ticks; // the first tick is the program's first
        QStringList expected;
    };
    const Case cases[] = {
        { "no noon roll-over for other formats than the largest", 8,
            { day(6, 11, 59, 59, 900), day(6, 12, 0, 0), day(6, 12, 0, 0, 100), day(6, 12, 0, 1) }, {} },
        { "started during 00:00:00", 1,
            { day(7, 0, 0, 0, 500), day(7, 0, 0, 0, 900), day(7, 0, 0, 1), day(7, 0, 0, 1, 100) },
            { "roll 00:00:01.000" } },
        { "started during 00:00:01 and 00:00:30: its own second is still to come", 1,
            { day(7, 0, 0, 1, 600), day(7, 0, 0, 1, 700), day(7, 0, 0, 30, 800), day(7, 0, 0, 32, 400) },
            { "roll 00:00:01.600", "purge 00:00:32.400" } },
        { "started during 00:00:30", 1, { day(7, 0, 0, 30, 100), day(7, 0, 0, 31, 600) }, { "purge 00:00:31.600" } },
        { "started after both seconds have passed", 1, { day(7, 0, 0, 31, 500), day(7, 0, 0, 40) }, {} },
        { "a tick during 00:00:00, then a 3-s stall", 1,
            { day(6, 23, 59, 59, 900), day(7, 0, 0, 0, 400), day(7, 0, 0, 3, 400) }, { "roll 00:00:03.400" } },
        { "a clock going back an hour brings no day back", 1,
            { day(6, 23, 59, 59), day(7, 0, 0, 2), day(6, 23, 0, 0), day(7, 0, 0, 2), day(7, 0, 0, 40),
                day(7, 0, 0, 42) },
            { "roll 00:00:02.000", "purge 00:00:42.000" } },
    };
    for (const Case& c : cases) {
        ClockRules rules;
        Settings settings;
        settings.RecordFormat = c.format;
        QStringList fired;
        for (const QDateTime& t : c.ticks) {
            const ClockActions a = rules.tick(t, settings, RecorderState {}, true);
            const QString at = t.toString(QStringLiteral("HH:mm:ss.zzz"));
            if (a.rollOver)
                fired << QStringLiteral("roll ") + at;
            if (a.purge)
                fired << QStringLiteral("purge ") + at;
        }
        EXPECT_EQ(fired, c.expected) << c.name << ": " << fired.join(QLatin1String(", ")).toStdString();
    }
}

TEST(ClockRulesTest, PauseOnlyWhereSomethingCanResumeAfterStopDelaySecondsWithoutActivity)
{
    struct Row {
        const char* name;
        std::int16_t mode, remote, stopDelay;
        std::int32_t lastActivity;
        QTime now;
        bool inStandby, pause, resume;
    } rows[] = {
        { "VOX, delay not reached", ModeVox, RemoteOff, 5, 36000, QTime(10, 0, 4, 900), false, false, false },
        { "activity at 23:59:59 is 2 s old at 00:00:01", ModeVox, RemoteOff, 5, 86399, QTime(0, 0, 1), false, false,
            false },
        { "the clock set back 2 s is no long silence", ModeVox, RemoteOff, 5, 36002, QTime(10, 0, 0), false, false,
            false },
        { "Off chosen in Standby resumes", ModeOff, RemoteOff, 0, 0, QTime(10, 0, 0), true, false, true },
        { "delay 0 pauses at once", ModeContinous, RemoteParallelPort, 0, 36000, QTime(10, 0, 0), false, true, false },
        { "contacts without an input never pause", ModeMomentary, RemoteOff, 0, 0, QTime(10, 0), false, false, false },
        { "contacts without an input end a Standby", ModeContinous, RemoteOff, 0, 0, QTime(10, 0), true, false, true },
    };
    for (const Row& r : rows) {
        Settings settings;
        settings.StartPauseMode = r.mode;
        settings.RemoteControl = r.remote;
        settings.StopDelay = r.stopDelay;
        RecorderState state;
        state.IsRecording = true;
        state.InStandby = r.inStandby;
        state.LastActivityTime = r.lastActivity;
        const ClockActions a = ClockRules().tick(QDateTime(QDate(2026, 12, 6), r.now), settings, state, true);
        EXPECT_EQ(a.pause, r.pause) << r.name;
        EXPECT_EQ(a.resume, r.resume) << r.name;
    }
    // A contact mode without an input is said once, and again after it was mended and came back.
    ClockRules rules;
    Settings settings;
    settings.StartPauseMode = ModeContinous;
    QList<bool> said;
    for (const std::int16_t remote : { RemoteOff, RemoteOff, RemoteParallelPort, RemoteOff }) {
        settings.RemoteControl = remote;
        said << rules.tick(day(6, 10, 0, 0), settings, RecorderState {}, true).noContactInput;
    }
    EXPECT_EQ(said, QList<bool>({ true, false, false, true }));
}

// Two logs of 12 s, ticked every 100 ms: the header is refreshed once in each of their seconds
// 2, 4, 6 and 8, not on every tick of them.
TEST(ClockRulesTest, HeaderRefreshComesOnceInEachOfSecondsTwoFourSixAndEight)
{
    ClockRules rules;
    RecorderState state;
    QList<int> refreshedAt;
    for (int log = 0; log < 2; ++log) {
        for (int ms = 0; ms < 12'000; ms += 100) {
            state.ElapsedSeconds = (ms + 500) / 1000;
            if (rules.tick(day(6, 10, 0, 0).addMSecs(log * 12'000 + ms), Settings {}, state, true).refreshHeader)
                refreshedAt << state.ElapsedSeconds;
        }
    }
    EXPECT_EQ(refreshedAt, QList<int>({ 2, 4, 6, 8, 2, 4, 6, 8 }));
}

class ClockTest : public RecorderFixture, public ::testing::Test { };

// The two formats that keep every sample as it is, 16-bit PCM and FLAC: the counting signal runs
// unbroken from the old day's file into the new one, on the one opening of the sound card.
TEST_F(ClockTest, CountingSignalRunsUnbrokenFromTheOldDayIntoTheNewOne)
{
    const std::tuple<int, int, const char*, const char*> formats[]
        = { { 5, 6, "L120626P.wav", "L120726A.wav" }, { 9, 7, "L120726.flac", "L120826.flac" } };
    for (const auto& [format, day, before, after] : formats) {
        settings.RecordFormat = static_cast<std::int16_t>(format);
        at(QDateTime(QDate(2026, 12, day), QTime(23, 59, 50)));
        const int opens = ts.audio.captureOpens;
        record();
        run(20'000);
        stop();

        const WavContents a = readWav(log(QLatin1String(before)));
        const WavContents b = readWav(log(QLatin1String(after)));
        ASSERT_TRUE(a.opened && b.opened) << format;
        std::vector<std::int16_t> all(a.samples);
        all.insert(all.end(), b.samples.begin(), b.samples.end());
        EXPECT_EQ(countingBreak(all), 0u) << format << ": first file has " << a.samples.size();
        EXPECT_NEAR(a.samples.size() / 22050.0, 11.0, 0.2) << format;
        EXPECT_NEAR(all.size() / 22050.0, 20.0, 0.2) << format;
        EXPECT_EQ(ts.audio.captureOpens, opens + 1) << "the sound card was torn down at midnight";
    }
}

// A failure inside the tick is reported once and the clock goes on.
struct FailingPoll final : StartPauseControl {
    int polls = 0;
    void onVoxActivity() override { }
    void PollRemoteControl() override
    {
        ++polls;
        throw std::runtime_error("port exploded");
    }
};

TEST_F(ClockTest, AFailingTickIsReportedOnceAndTheClockGoesOn)
{
    FailingPoll poll;
    recorder->setStartPauseControl(&poll);
    at(23, 59, 59);
    run(3'000, false);
    EXPECT_EQ(poll.polls, 30);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].contains(QStringLiteral("port exploded")));
    EXPECT_TRUE(state.IsRecording) << "the midnight roll-over did not run";
    recorder->setStartPauseControl(nullptr);
}

} // namespace

#include "recorder/ClockRules.h"
#include "recorder/Menu.h"
#include "recorder/StartPauseControl.h"

#include "../media/WavChecks.h"
#include "MenuFixture.h"

#include <QPushButton>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// One file per day (two for the largest format), each occasion once although the clock ticks
// ten times a second, the purge deleting exactly the expired day, in a zone whose clocks change:
// Santiago has a 25-hour Saturday on 4 April 2026 and skips midnight itself on 6 September 2026.
struct WeekCase {
    const char* name;
    QDate first;
};

class SimulatedWeek : public MenuFixture, public ::testing::TestWithParam<WeekCase> { };

TEST_P(SimulatedWeek, EveryDayGetsItsFilesOnceAndTheExpiredDayIsPurged)
{
    const QTimeZone zone("America/Santiago");
    ASSERT_TRUE(zone.isValid());
    settings.DaysToKeep = 2;
    const QDate first = GetParam().first;
    // Logs of the days before the week. The two newest are purged on their days; the third was
    // due on the first day, whose midnight the program did not see, and stays.
    for (int back = 1; back <= 3; ++back) {
        const QString day = first.addDays(-back).toString(QStringLiteral("MMddyy"));
        for (const char* suffix : { "A.wav", "P.wav", "A01.wav" })
            touch(QStringLiteral("L") + day + QLatin1String(suffix));
    }
    touch(QStringLiteral("notes.wav"));

    at(QDateTime(first, QTime(9, 0), zone));
    menu->cmdRecord->click();
    ASSERT_TRUE(state.IsRecording);

    for (int day = 0; day < 7; ++day) {
        const QDate d = first.addDays(day);
        // Noon, then the evening into the next day.
        at(QDateTime(d, QTime(11, 59, 55), zone));
        run(10'000);
        if (day == 3) {
            // An operator stops the recorder in the evening; midnight starts it again.
            menu->cmdStop->click();
            ASSERT_FALSE(state.IsRecording);
        }
        at(QDateTime(d, QTime(23, 59, 50), zone));
        run(45'000);
        EXPECT_TRUE(state.IsRecording) << "no recording after midnight of " << d.toString().toStdString();
    }

    const QDate last = first.addDays(7);
    QStringList expected;
    for (QDate d = first; d <= last; d = d.addDays(1)) {
        const QString day = d.toString(QStringLiteral("MMddyy"));
        expected << QStringLiteral("L") + day + QStringLiteral("A.wav");
        if (d < last)
            expected << QStringLiteral("L") + day + QStringLiteral("P.wav");
    }
    // Days kept: today (the last) and the two before it; of the week's first days only those
    // purged days are gone.
    QStringList kept;
    for (const QString& f : expected) {
        const QDate d = QDate::fromString(f.mid(1, 6), QStringLiteral("MMddyy")).addYears(100);
        if (d.daysTo(last) <= 2)
            kept << f;
    }
    kept << QStringLiteral("notes.wav");
    const QString missed = QStringLiteral("L") + first.addDays(-3).toString(QStringLiteral("MMddyy"));
    kept << missed + QStringLiteral("A.wav") << missed + QStringLiteral("P.wav") << missed + QStringLiteral("A01.wav");
    kept.sort();
    EXPECT_EQ(logs().join(QLatin1Char(' ')).toStdString(), kept.join(QLatin1Char(' ')).toStdString());
    EXPECT_TRUE(ts.prompt.questions.isEmpty()) << ts.prompt.questions.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Santiago, SimulatedWeek,
    ::testing::Values(WeekCase { "with a 25-hour day", QDate(2026, 4, 1) },
        WeekCase { "with a day that skips midnight", QDate(2026, 9, 3) }),
    [](const auto& info) { return info.index == 0 ? std::string("LongDay") : std::string("SkippedMidnight"); });

// The roll-over and the purge over a run of ticks: what fired, and at which tick.
struct RulesCase {
    const char* name;
    int format;
    std::vector<QDateTime> ticks; // the first tick is the program's first
    QStringList expected; // "roll hh:mm:ss.zzz" / "purge hh:mm:ss.zzz"
};

std::vector<QDateTime> every100ms(const QDateTime& from, const QDateTime& to)
{
    std::vector<QDateTime> t;
    for (QDateTime d = from; d <= to; d = d.addMSecs(100))
        t.push_back(d);
    return t;
}

QDateTime day(int d, int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2026, 12, d), QTime(h, m, s, ms));
}

TEST(ClockRulesTest, RollOverAndPurgeComeOncePerDayOnTheFirstTickThatSeesThem)
{
    const RulesCase cases[] = {
        { "midnight at 00:00:01, purge 1.5 s after 00:00:30", 1, every100ms(day(6, 23, 59, 59), day(7, 0, 1, 0)),
            { "roll 00:00:01.000", "purge 00:00:31.500" } },
        { "noon split only for the largest format", 5, every100ms(day(6, 11, 59, 59), day(6, 12, 0, 2)),
            { "roll 12:00:00.000" } },
        { "no noon roll-over for other formats", 8, every100ms(day(6, 11, 59, 59), day(6, 12, 0, 2)), {} },
        { "started during 00:00:00", 1, every100ms(day(7, 0, 0, 0, 500), day(7, 0, 0, 2)), { "roll 00:00:01.000" } },
        { "a tick stalled across 00:00:01 and 00:00:30", 1,
            { day(6, 23, 59, 59, 900), day(7, 0, 0, 0, 300), day(7, 0, 0, 3), day(7, 0, 5, 0), day(7, 0, 5, 1),
                day(7, 0, 5, 2) },
            { "roll 00:00:03.000", "purge 00:05:02.000" } },
        { "a clock going back an hour brings no day back", 1,
            { day(6, 23, 59, 59), day(7, 0, 0, 2), day(6, 23, 0, 0), day(7, 0, 0, 2), day(7, 0, 0, 40),
                day(7, 0, 0, 42) },
            { "roll 00:00:02.000", "purge 00:00:42.000" } },
    };
    for (const RulesCase& c : cases) {
        ClockRules rules;
        Settings settings;
        settings.RecordFormat = static_cast<std::int16_t>(c.format);
        const RecorderState state;
        QStringList fired;
        for (const QDateTime& t : c.ticks) {
            const ClockActions a = rules.tick(t, settings, state, true);
            if (a.rollOver)
                fired << QStringLiteral("roll ") + t.toString(QStringLiteral("HH:mm:ss.zzz"));
            if (a.purge)
                fired << QStringLiteral("purge ") + t.toString(QStringLiteral("HH:mm:ss.zzz"));
        }
        EXPECT_EQ(fired, c.expected) << c.name << ": " << fired.join(QLatin1String(", ")).toStdString();
    }
}

TEST(ClockRulesTest, PauseOnlyWhereSomethingCanResumeAfterStopDelaySecondsWithoutActivity)
{
    struct Row {
        const char* name;
        std::int16_t mode;
        std::int16_t remote;
        std::int16_t stopDelay;
        std::int32_t lastActivity;
        QTime now;
        bool inStandby;
        bool pause;
        bool resume;
    } rows[] = {
        { "VOX, delay reached", ModeVox, RemoteOff, 5, 36000, QTime(10, 0, 5), false, true, false },
        { "VOX, delay not reached", ModeVox, RemoteOff, 5, 36000, QTime(10, 0, 4, 900), false, false, false },
        { "Off never pauses", ModeOff, RemoteOff, 0, 0, QTime(10, 0, 0), false, false, false },
        { "Off chosen in Standby resumes", ModeOff, RemoteOff, 0, 0, QTime(10, 0, 0), true, false, true },
        { "delay 0 pauses at once", ModeContinous, RemoteParallelPort, 0, 36000, QTime(10, 0, 0), false, true, false },
        { "contacts without an input never pause", ModeMomentary, RemoteOff, 0, 0, QTime(10, 0, 0), false, false,
            false },
        { "contacts without an input end a Standby", ModeContinous, RemoteOff, 0, 0, QTime(10, 0, 0), true, false,
            true },
        { "already in Standby", ModeVox, RemoteOff, 5, 0, QTime(10, 0, 0), true, false, false },
        { "activity before midnight counts across it", ModeContinous, RemotePrairieCard, 5, 86399, QTime(0, 0, 1),
            false, true, false },
    };
    for (const Row& r : rows) {
        ClockRules rules;
        Settings settings;
        settings.StartPauseMode = r.mode;
        settings.RemoteControl = r.remote;
        settings.StopDelay = r.stopDelay;
        RecorderState state;
        state.IsRecording = true;
        state.InStandby = r.inStandby;
        state.LastActivityTime = r.lastActivity;
        const ClockActions a = rules.tick(QDateTime(QDate(2026, 12, 6), r.now), settings, state, true);
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

TEST(ClockRulesTest, HeaderIsRefreshedInTheFirstSecondsOfTheLog)
{
    ClockRules rules;
    RecorderState state;
    QList<int> refreshed;
    for (int e = 0; e <= 10; ++e) {
        state.ElapsedSeconds = e;
        if (rules.tick(day(6, 10, 0, e), Settings {}, state, true).refreshHeader)
            refreshed << e;
    }
    EXPECT_EQ(refreshed, QList<int>({ 2, 4, 6, 8 }));
}

class ClockTest : public MenuFixture, public ::testing::Test { };

TEST_F(ClockTest, CountingSignalRunsUnbrokenFromTheOldDayIntoTheNewOne)
{
    // The two formats that keep every sample as it is: 16-bit PCM and FLAC.
    const std::array<std::tuple<int, int, const char*, const char*>, 2> formats {
        { { 5, 6, "L120626P.wav", "L120726A.wav" }, { 9, 7, "L120726.flac", "L120826.flac" } }
    };
    for (const auto& [format, day, before, after] : formats) {
        settings.RecordFormat = format;
        at(QDateTime(QDate(2026, 12, day), QTime(23, 59, 50)));
        const int opens = ts.audio.captureOpens;
        menu->cmdRecord->click();
        run(20'000);
        menu->cmdStop->click();

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

TEST_F(ClockTest, PauseShowsStandbyKeepsTheInputRunningAndResumeWritesAgain)
{
    settings.StartPauseMode = ModeVox;
    settings.Threshold = 32767; // the counting signal never resumes by itself
    settings.StopDelay = 5;
    at(10, 0, 0);
    menu->cmdRecord->click();
    step();
    EXPECT_TRUE(state.InStandby);
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Standby"));
    EXPECT_EQ(menu->cmdRecord->palette().color(QPalette::Button), QColor(0xFF, 0xFF, 0x80));
    const std::int32_t paused = menu->chain().positionMs();
    run(1000);
    EXPECT_EQ(menu->chain().positionMs(), paused) << "written while in Standby";
    EXPECT_TRUE(menu->chain().isInputRecording()) << "the input must keep running in Standby";

    menu->resumeFromStandby();
    run(1000);
    EXPECT_GT(menu->chain().positionMs(), paused + 900);
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Recording"));
}

// A failure inside the tick is reported once and the clock goes on.
class FailingPoll final : public StartPauseControl {
public:
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
    menu->setStartPauseControl(&poll);
    at(23, 59, 59);
    run(3'000, false);
    EXPECT_EQ(poll.polls, 30);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].contains(QStringLiteral("port exploded")));
    EXPECT_TRUE(state.IsRecording) << "the midnight roll-over did not run";
    menu->setStartPauseControl(nullptr);
}

} // namespace

#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "recorder/Menu.h"
#include "recorder/StartPauseControl.h"

#include "../media/WavChecks.h"
#include "FakeTimeClock.h"
#include "TestServices.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimeZone>
#include <QTimer>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// Drives the main window's clock on the fake clock: a tick every 100 ms of fake time, the two
// one-shot guards firing 1.5 s of fake time after they were started, and the sound card
// delivering a counting signal all along.
class ClockTest : public ::testing::Test {
protected:
    TestServices ts;
    Settings settings;
    RecorderState state;
    QString archive = ts.makeArchive();
    std::unique_ptr<Menu> menu;
    std::unique_ptr<FakeTimeClock> clock;
    std::int16_t counter = 0;

    ClockTest()
    {
        settings.LogDrive = QLatin1Char('C');
        settings.RecordFormat = 5; // 22050 Hz 16 bit: the samples reach the file unchanged
        menu = std::make_unique<Menu>(ts.services, settings, state);
        clock = std::make_unique<FakeTimeClock>(*menu, ts.clock); // the test ticks on fake time
    }

    void at(const QDateTime& t) { ts.clock.current = t; }

    // One 100 ms step: the card captures, the clock ticks, the input hands on what it has.
    void step(bool feed = true)
    {
        ts.clock.advanceMs(100);
        if (feed && ts.audio.capture->open && ts.audio.capture->running) {
            std::vector<std::int16_t> block(2205);
            for (auto& s : block)
                s = counter = static_cast<std::int16_t>((counter + 1) & 0x7fff);
            ts.audio.feed(block);
        }
        clock->tick();
        menu->WaveIn->pump();
    }
    void run(qint64 ms, bool feed = true)
    {
        for (qint64 done = 0; done < ms; done += 100)
            step(feed);
    }

    QString log(const QString& name) const { return archive + QLatin1Char('/') + name; }
    QStringList logs() const { return QDir(archive).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name); }
    void touch(const QString& name) const
    {
        QFile f(log(name));
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }
};

// One file per day (two for the largest format), each occasion once although the clock ticks
// ten times a second, the purge deleting exactly the expired day, in a zone whose clocks change:
// Santiago has a 25-hour Saturday on 4 April 2026 and skips midnight itself on 6 September 2026.
struct WeekCase {
    const char* name;
    QDate first;
};

class SimulatedWeek : public ClockTest, public ::testing::WithParamInterface<WeekCase> {};

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
        for (const char* suffix : {"A.wav", "P.wav", "A01.wav"})
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
                         ::testing::Values(WeekCase{"with a 25-hour day", QDate(2026, 4, 1)},
                                           WeekCase{"with a day that skips midnight", QDate(2026, 9, 3)}),
                         [](const auto& info) { return info.index == 0 ? std::string("LongDay") : std::string("SkippedMidnight"); });

TEST_F(ClockTest, PurgeRunsOnceAboutOnePointFiveSecondsAfterHalfAMinutePastMidnight)
{
    settings.DaysToKeep = 1;
    for (const char* name : {"L120426.wav", "L12042601.wav", "L120526.wav"})
        touch(QLatin1String(name));
    at(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 29, 900)));
    run(1500, false); // to 00:00:31.4
    EXPECT_TRUE(QFile::exists(log(QStringLiteral("L120426.wav")))) << "purged before its time";
    run(100, false); // 00:00:31.5

    EXPECT_FALSE(QFile::exists(log(QStringLiteral("L120426.wav"))));
    EXPECT_FALSE(QFile::exists(log(QStringLiteral("L12042601.wav"))));
    EXPECT_TRUE(QFile::exists(log(QStringLiteral("L120526.wav"))));
    // A file of the purged day that appears later the same day is left alone: one purge a day.
    touch(QStringLiteral("L120426.wav"));
    run(60'000, false);
    EXPECT_TRUE(QFile::exists(log(QStringLiteral("L120426.wav"))));
}

TEST_F(ClockTest, CountingSignalRunsUnbrokenFromTheOldDayIntoTheNewOne)
{
    // The two formats that keep every sample as it is: 16-bit PCM and FLAC.
    const std::array<std::tuple<int, const char*, const char*>, 2> formats{
        {{5, "L120626P.wav", "L120726A.wav"}, {9, "L120626.flac", "L120726.flac"}}};
    for (const auto& [format, before, after] : formats) {
        settings.RecordFormat = format;
        at(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 50)));
        menu->cmdRecord->click();
        run(20'000);
        menu->cmdStop->click();

        const WavContents a = readWav(log(QLatin1String(before)));
        const WavContents b = readWav(log(QLatin1String(after)));
        ASSERT_TRUE(a.opened && b.opened) << format;
        ASSERT_FALSE(a.samples.empty() || b.samples.empty());
        std::vector<std::int16_t> all(a.samples);
        all.insert(all.end(), b.samples.begin(), b.samples.end());
        // Every sample is the one before it plus one: nothing lost, nothing twice.
        for (std::size_t i = 1; i < all.size(); ++i) {
            ASSERT_EQ(all[i], static_cast<std::int16_t>((all[i - 1] + 1) & 0x7fff))
                << "break at sample " << i << " of " << all.size() << " (first file has " << a.samples.size() << ")";
        }
        EXPECT_NEAR(a.samples.size() / 22050.0, 11.0, 0.2) << format;
        EXPECT_NEAR(all.size() / 22050.0, 20.0, 0.2) << format;
    }
    EXPECT_EQ(ts.audio.captureOpens, 1) << "the sound card was torn down at midnight";
}

TEST_F(ClockTest, HeaderRefreshNeverCorruptsTheFirstSamples)
{
    at(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    menu->cmdRecord->click();
    run(10'000);
    // Read the file while it is still being written, as the playback window would.
    const WavContents c = readWav(state.CurrentLogPath);
    ASSERT_TRUE(c.opened);
    ASSERT_GT(c.samples.size(), 100u);
    for (std::size_t i = 1; i < c.samples.size(); ++i)
        ASSERT_EQ(c.samples[i], static_cast<std::int16_t>((c.samples[i - 1] + 1) & 0x7fff)) << "at sample " << i;
    EXPECT_EQ(menu->lblTimer->text(), QStringLiteral("00:10"));
    EXPECT_EQ(state.ElapsedSeconds, 10);
    menu->cmdStop->click();
}

TEST_F(ClockTest, ClockLineShowsWeekdayDateAndTime)
{
    at(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
    menu->TmrClock_Timer();
    const QString text = menu->lblClock->text();
    EXPECT_TRUE(text.endsWith(QStringLiteral("  12/06/2026  14:05:09"))) << text.toStdString();
    EXPECT_EQ(text.section(QStringLiteral("  "), 0, 0), QLocale().dayName(7)); // Sunday
}

TEST_F(ClockTest, NoNoonRollOverForOtherFormats)
{
    settings.RecordFormat = 1;
    at(QDateTime(QDate(2026, 12, 6), QTime(11, 59, 58)));
    menu->cmdRecord->click();
    run(5'000);
    EXPECT_EQ(logs(), QStringList{QStringLiteral("L120626.wav")});
    EXPECT_FALSE(menu->Timer1->isActive());
}

// The pause check: StopDelay seconds after the last activity a running recording goes to
// Standby; the input keeps running.
TEST_F(ClockTest, RecordingStartedWithoutActivityPausesAtTheFirstTick)
{
    settings.StartPauseMode = 1;
    settings.StopDelay = 5;
    at(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    menu->cmdRecord->click();
    step();
    EXPECT_TRUE(state.InStandby);
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Standby"));
    EXPECT_EQ(menu->cmdRecord->palette().color(QPalette::Button), QColor(0xFF, 0xFF, 0x80));
    EXPECT_FALSE(menu->WaveFile->isEnabled());
    EXPECT_EQ(menu->WaveIn->state(), WaveInput::Recording) << "the input must keep running in Standby";

    menu->resumeFromStandby();
    EXPECT_TRUE(menu->WaveFile->isEnabled());
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Recording"));
}

TEST_F(ClockTest, ActivityJustBeforeMidnightDoesNotKeepTheNewDayRecording)
{
    settings.StartPauseMode = 3;
    settings.StopDelay = 5;
    settings.RecordFormat = 1;
    at(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58)));
    menu->cmdRecord->click();
    state.LastActivityTime = 86399;
    state.InStandby = false;
    menu->resumeFromStandby();
    step(); // 23:59:58.1: 1.9 s since the activity
    EXPECT_FALSE(state.InStandby);
    run(2'000); // past midnight: the time of day starts again from 0
    EXPECT_TRUE(state.InStandby);
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Standby"));
    run(1'500);
    EXPECT_TRUE(QFile::exists(log(QStringLiteral("L120726.wav"))));
    EXPECT_TRUE(state.IsRecording);
    EXPECT_TRUE(state.InStandby) << "the roll-over's new file must stay paused until activity";
    EXPECT_FALSE(menu->WaveFile->isEnabled());
}

TEST_F(ClockTest, StopDelayZeroPausesOnEveryTick)
{
    settings.StartPauseMode = 1;
    settings.StopDelay = 0;
    at(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    menu->cmdRecord->click();
    for (int i = 0; i < 3; ++i) {
        state.LastActivityTime = ts.clock.roundedSecondsSinceMidnight();
        menu->resumeFromStandby();
        state.InStandby = false;
        step();
        EXPECT_TRUE(state.InStandby) << "tick " << i;
    }
}

TEST_F(ClockTest, OffModeNeverPauses)
{
    settings.StartPauseMode = 0;
    settings.StopDelay = 0;
    at(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    menu->cmdRecord->click();
    run(3'000);
    EXPECT_FALSE(state.InStandby);
    EXPECT_TRUE(menu->WaveFile->isEnabled());
}

// A failure inside the tick is reported and the clock goes on.
class FailingPoll final : public StartPauseControl {
public:
    int polls = 0;
    void onInputBuffer(std::span<const std::int16_t>) override {}
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
    at(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59)));
    run(3'000, false);
    EXPECT_EQ(poll.polls, 30);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].contains(QStringLiteral("port exploded")));
    // The midnight roll-over still ran.
    EXPECT_TRUE(state.IsRecording);
    menu->setStartPauseControl(nullptr);
}

} // namespace

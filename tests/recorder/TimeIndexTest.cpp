#include "recorder/TimeIndex.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogWriter.h"

#include "../media/WavChecks.h"
#include "RecorderFixture.h"
#include "TestServices.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace wendmoor::test {
namespace {

// Each way audio stops reaches the catalog as the gap's reason; a lost input is no gap but
// silence inside the same segment (the log holds it), unless the writer went off before it came
// back (VOX pauses on the silence of a lost input), and a roll-over leaves no reason to tell.
TEST(TimeIndex, EachStopBecomesTheGapOfItsReason)
{
    const auto at = [](int h, int m) { return QDateTime(QDate(2026, 12, 6), QTime(h, m)); };
    const struct {
        StopReason stop;
        GapReason gap;
        const char* detail;
        bool pausedWhileLost = false;
    } rows[] = {
        { StopReason::Operator, GapReason::OperatorStop, "" },
        { StopReason::StandbyVox, GapReason::Standby, "VOX" },
        { StopReason::StandbyContacts, GapReason::Standby, "contacts" },
        { StopReason::WriteFailed, GapReason::WriteFailure, "" },
        { StopReason::RollOver, GapReason::Unknown, "" },
        { StopReason::InputLost, GapReason::InputLost, "" },
        { StopReason::InputLost, GapReason::Standby, "VOX", true },
    };
    for (const auto& r : rows) {
        TestServices t;
        Settings settings;
        settings.RecordFormat = 1;
        settings.StartPauseMode = ModeVox;
        RecorderState state;
        Recorder recorder(t.services, settings, state);
        CatalogWriter writer(t.messages);
        TimeIndex index(recorder, writer, settings);
        const QString log = t.makeArchive() + QStringLiteral("/L120626.wav");
        index.programStarted(at(9, 0));
        emit recorder.audioStarted(log, at(10, 0));
        emit recorder.audioStopped(log, r.stop, at(10, 5));
        if (r.pausedWhileLost)
            emit recorder.statusChanged(RecorderStatus::Standby);
        // After a stop the recorder goes on in the day's next name; after a lost input, in the same log.
        const QString next = r.stop == StopReason::InputLost ? log : t.makeArchive() + QStringLiteral("/L12062601.wav");
        emit recorder.audioStarted(next, at(10, 7));
        emit recorder.audioStopped(next, StopReason::ProgramEnd, at(10, 9));
        index.programEnded(at(10, 9));

        const auto catalog = Catalog::open(t.makeArchive(), Catalog::Mode::ReadOnly);
        const DayReport day = catalog->day(QDate(2026, 12, 6), at(11, 0).toMSecsSinceEpoch());
        const bool lost = r.stop == StopReason::InputLost && !r.pausedWhileLost;
        // A lost input that stays in its segment leaves no gap where it was lost.
        const auto fivePast = at(10, 5).toMSecsSinceEpoch();
        EXPECT_EQ(std::count_if(day.gaps.begin(), day.gaps.end(), [&](const Gap& g) { return g.fromUtc == fivePast; }),
            lost ? 0 : 1)
            << gapReasonName(r.gap).toStdString();
        const std::vector<Gap>& where = lost ? day.silences : day.gaps;
        const auto gap = std::find_if(
            where.begin(), where.end(), [&](const Gap& g) { return g.fromUtc == at(10, 5).toMSecsSinceEpoch(); });
        ASSERT_NE(gap, where.end()) << gapReasonName(r.gap).toStdString();
        EXPECT_EQ(gap->toUtc, at(10, 7).toMSecsSinceEpoch());
        EXPECT_EQ(gap->reason, r.gap);
        EXPECT_EQ(gap->detail, QLatin1String(r.detail));
        EXPECT_EQ(day.gaps.back().reason, GapReason::ProgramEnded);
        EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
    }
}

// The catalog learns a log's timing from when its samples were taken, not from when the window's
// clock reads the chain: with audio that reaches the program a quarter second after it was taken,
// and each tick seeing the frames of the drain before, the segment's first and last sample and a
// time inside it still map to the sample.
TEST(TimeIndex, EdgesAndPairingsAreTheTimesTheSamplesWereTaken)
{
    RecorderFixture f;
    CatalogWriter writer(f.ts.messages);
    TimeIndex index(*f.recorder, writer, f.settings);
    const QDateTime origin(QDate(2026, 12, 6), QTime(10, 0));
    f.at(origin);
    // The steady clock runs with the fake one.
    const auto steadyNs = [&] { return origin.msecsTo(f.ts.clock.current) * 1'000'000; };
    index.setSteadyClock(steadyNs);
    index.programStarted(origin);
    f.record();
    ASSERT_TRUE(f.state.IsRecording);

    // Sample j is taken at origin + j / rate and reaches the ring a quarter second later, in
    // blocks of a tenth of a second; the tick comes before the drain.
    const int rate = f.ts.audio.capture->rate;
    constexpr std::int64_t kLateMs = 250;
    std::int64_t fed = 0;
    const auto step = [&] {
        f.ts.clock.advanceMs(100);
        const std::int64_t due = (origin.msecsTo(f.ts.clock.current) - kLateMs) * rate / 1000;
        if (due > fed) {
            f.ts.audio.feed(std::vector<std::int16_t>(static_cast<std::size_t>(due - fed), 1000));
            fed = due;
            f.ts.audio.capture->ring.stamp((fed - 1) * 1'000'000'000 / rate);
        }
        f.recorder->tick();
        f.recorder->chain().pump();
    };
    for (int i = 0; i < 1300; ++i) // 130 s: pairings at one and two minutes
        step();
    f.stop();
    index.programEnded(f.ts.clock.current);

    const double firstMs = double(origin.toMSecsSinceEpoch());
    const auto catalog = Catalog::open(f.archive, Catalog::Mode::ReadOnly);
    const DayReport day = catalog->day(origin.date(), f.ts.clock.current.toMSecsSinceEpoch());
    ASSERT_EQ(day.segments.size(), 1U);
    const Segment& s = day.segments.front();
    EXPECT_EQ(s.frames, fed);
    EXPECT_NEAR(double(s.startUtc), firstMs, 1.0);
    EXPECT_NEAR(double(s.endUtc), firstMs + 1000.0 * double(fed) / rate, 1.0);
    for (const int second : { 30, 100, 125 }) {
        const Location at = catalog->locate(static_cast<UtcMs>(std::llround(firstMs)) + second * 1000);
        ASSERT_TRUE(at.segment) << second;
        EXPECT_NEAR(double(at.frame), double(second) * rate, rate / 1000.0) << second;
    }
}

// A catalog that cannot be written (here a folder where the database belongs) costs no audio: the
// log holds every sample, and the operator hears of it once, naming the database.
TEST(TimeIndex, ACatalogThatCannotBeWrittenCostsNoAudio)
{
    RecorderFixture f;
    ASSERT_TRUE(QDir(f.archive).mkpath(QLatin1String(Catalog::kFileName)));
    CatalogWriter writer(f.ts.messages);
    TimeIndex index(*f.recorder, writer, f.settings);
    f.at(10, 0, 0);
    index.programStarted(f.ts.clock.current);
    f.record();
    f.run(130'000);
    f.stop();
    index.programEnded(f.ts.clock.current);
    QCoreApplication::processEvents(); // the writer's report comes through this thread's queue

    ASSERT_EQ(f.logs().size(), 1);
    const WavContents log = readWav(f.log(f.logs().front()));
    EXPECT_EQ(countingBreak(log.samples), 0U);
    EXPECT_NEAR(double(log.samples.size()) / log.rate, 130.0, 0.2);
    EXPECT_EQ(f.ts.messages.shown.filter(QLatin1String(Catalog::kFileName)).size(), 1)
        << f.ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace wendmoor::test

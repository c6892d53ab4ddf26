#include "recorder/TimeIndex.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogWriter.h"

#include "TestServices.h"

#include <gtest/gtest.h>

#include <algorithm>

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

} // namespace
} // namespace wendmoor::test

#include "recorder/ClockRules.h"

#include "config/RecordFormats.h"

#include <cmath>

namespace wendmoor {

namespace {
constexpr int kNoon = 43200;
constexpr int kRollOverSecond = 1; // 00:00:01
constexpr int kPurgeSecond = 30; // 00:00:30
} // namespace

ClockActions ClockRules::tick(
    const QDateTime& now, const Settings& settings, const RecorderState& state, bool inputRecording)
{
    ClockActions a;
    const int ms = now.time().msecsSinceStartOfDay();
    const int second = ms / 1000;

    // Pause after StopDelay seconds without activity; the input keeps running.
    const std::int16_t mode = settings.StartPauseMode;
    const bool contactMode = mode == ModeMomentary || mode == ModeContinous;
    const bool contactInput
        = settings.RemoteControl == RemoteParallelPort || settings.RemoteControl == RemotePrairieCard;
    const bool canResume = mode == ModeVox || (contactMode && contactInput);
    // Seconds since midnight: activity just before midnight is seconds old just after it, and a
    // clock set back a little is no long silence.
    double sinceActivity = ms / 1000.0 - state.LastActivityTime;
    if (sinceActivity < -kNoon)
        sinceActivity += 2 * kNoon;
    const double elapsed = std::abs(sinceActivity);
    a.pause = canResume && elapsed >= settings.StopDelay && state.IsRecording && !state.InStandby;
    a.resume = !canResume && state.IsRecording && state.InStandby;
    a.noContactInput = contactMode && !contactInput && !m_noContactInputSaid;
    m_noContactInputSaid = contactMode && !contactInput;

    const std::int32_t e = state.ElapsedSeconds;
    a.refreshHeader = inputRecording && (e == 2 || e == 4 || e == 6 || e == 8);

    if (!m_started) {
        // The day (and the half) the program starts in is the one it is in a second before:
        // started during 00:00:00 it still rolls over at 00:00:01.
        const QDateTime before = now.addSecs(-kRollOverSecond);
        m_lastHalf = { before.date(), before.time().msecsSinceStartOfDay() / 1000 >= kNoon };
        m_lastPurgeDate = now.addSecs(-kPurgeSecond).date();
        m_started = true;
    }

    const Half half { now.date(), second >= kNoon };
    if (half.after(m_lastHalf) && second >= kRollOverSecond) {
        a.rollOver = half.date != m_lastHalf.date || splitsAtNoon(settings.RecordFormat);
        m_lastHalf = half;
    }

    if (now.date() > m_lastPurgeDate && second >= kPurgeSecond) {
        m_lastPurgeDate = now.date();
        Timer2 = now.addMSecs(kPurgeDelayMs);
    }
    if (Timer2.isValid() && now >= Timer2) {
        a.purge = true;
        Timer2 = QDateTime();
    }
    return a;
}

} // namespace wendmoor

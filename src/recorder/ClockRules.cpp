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
    // A negative threshold makes every buffer activity: nothing is silence, nothing pauses.
    const bool everythingActive = mode == ModeVox && settings.Threshold < 0;
    a.pause = canResume && !everythingActive && elapsed >= settings.StopDelay && state.IsRecording && !state.InStandby;
    a.resume = !canResume && state.IsRecording && state.InStandby;
    a.noContactInput = contactMode && !contactInput && !m_noContactInputSaid;
    m_noContactInputSaid = contactMode && !contactInput;

    const std::int32_t e = state.ElapsedSeconds;
    // Once in each of those seconds, on its first tick: each refresh pushes the file to the disk.
    a.refreshHeader = inputRecording && (e == 2 || e == 4 || e == 6 || e == 8) && e != m_lastElapsed;
    m_lastElapsed = inputRecording ? e : -1;

    if (!m_started) {
        // The program has seen the time up to the start of its first tick's second, not that
        // second itself: started during 00:00:01 it rolls over, during 00:00:30 it purges.
        const QDateTime seen = now.addMSecs(-(ms % 1000) - 1);
        const int seenSecond = seen.time().msecsSinceStartOfDay() / 1000;
        m_lastHalf = seenSecond < kRollOverSecond ? Half { seen.date().addDays(-1), true }
                                                  : Half { seen.date(), seenSecond >= kNoon };
        m_lastPurgeDate = seenSecond < kPurgeSecond ? seen.date().addDays(-1) : seen.date();
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

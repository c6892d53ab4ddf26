#pragma once

#include "config/Settings.h"
#include "recorder/RecorderState.h"

#include <QDateTime>

namespace wendmoor {

// What one tick of the main window's clock is to do.
struct ClockActions {
    bool pause = false; // the writer off, Standby: no activity for StopDelay seconds
    bool resume = false; // Standby that nothing could end any more (the mode set to Off)
    bool noContactInput = false; // a contact mode without a contact input: say so, once
    bool rollOver = false; // the new day's (or afternoon's) log
    bool purge = false; // delete the expired day
    bool refreshHeader = false; // the log's header brought up to date in its first seconds
};

// The clock's rules, without a window: given the time read once for the tick, the settings and
// the recorder's state, what the tick does. The main window carries it out; tests and the week
// benchmark call the same rules.
//
// The roll-over comes once per new date from 00:00:01 on (and once per afternoon from 12:00:00
// on, for the format split at noon), on the first tick that sees it, however late; a clock that
// goes back (the end of summer time) does not bring a day back. The purge comes once per date,
// kPurgeDelayMs after the first tick from 00:00:30 on.
//
// Only a mode that something can end pauses: VOX, or a contact mode with a contact input. In any
// other mode (Off, a contact mode with Remote Control Off) a Standby ends at once.
class ClockRules {
public:
    static constexpr qint64 kPurgeDelayMs = 1500;

    // `inputRecording`: the input runs (the recorded time and header refresh apply).
    [[nodiscard]] ClockActions tick(
        const QDateTime& now, const Settings& settings, const RecorderState& state, bool inputRecording);

private:
    // A date and its half; ordered, so that a clock going back is seen as such.
    struct Half {
        QDate date;
        bool afternoon = false;
        [[nodiscard]] bool after(const Half& other) const
        {
            return date > other.date || (date == other.date && afternoon && !other.afternoon);
        }
    };

    bool m_started = false;
    bool m_noContactInputSaid = false;
    std::int32_t m_lastElapsed = -1; // the recorded seconds the last tick saw; -1: not recording
    Half m_lastHalf;
    QDate m_lastPurgeDate;
    // The purge's delay (the old one-shot Timer2): when it is due, or null.
    QDateTime Timer2;
};

} // namespace wendmoor

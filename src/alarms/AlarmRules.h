#pragma once

#include "alarms/AlarmSettings.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace wendmoor {

// The alarms the program raises. DeadAir through ClockUnsynchronised stand until their cause
// goes; UnexpectedEnd and Test are said once and never stand.
enum class AlarmKind { DeadAir, NotRecording, InputLost, DiskFilling, ClockUnsynchronised, UnexpectedEnd, Test };

// The name a webhook, a command and a mail's subject use ("dead-air", "not-recording", ...).
[[nodiscard]] QString alarmName(AlarmKind kind);
[[nodiscard]] int alarmNumber(AlarmKind kind);

// The input's level against the dead-air threshold, fed with the loudest sample of each ~100 ms
// of input. Times are milliseconds of a clock that never goes back. Runs on the UI thread.
class DeadAirDetector {
public:
    enum class Change { None, Raised, Cleared };

    explicit DeadAirDetector(const AlarmSettings& settings) { configure(settings); }
    void configure(const AlarmSettings& settings);

    // peak: 0 to 32768. A level that rounds (to 0.1 dB) to the threshold is silence.
    [[nodiscard]] Change feed(int peak, qint64 nowMs);
    [[nodiscard]] bool standing() const { return m_standing; }
    // When the silence that raised the alarm began, in the same clock.
    [[nodiscard]] qint64 quietSinceMs() const { return m_quietSinceMs; }

private:
    double m_thresholdDbfs = -50;
    qint64 m_raiseAfterMs = 30000;
    qint64 m_clearAfterMs = 5000;
    qint64 m_lastFeedMs = -1;
    qint64 m_quietSinceMs = -1;
    qint64 m_loudSinceMs = -1;
    bool m_standing = false;
};

// The facts about the logger itself that the health alarms are decided from.
struct HealthFacts {
    std::optional<QDateTime> notRecordingSince; // should record and does not
    std::optional<QDateTime> inputLostSince;
    std::optional<double> diskDaysUntilFull; // nothing: the purge keeps the drive from filling
    std::optional<bool> clockSynchronised; // nothing: not known
};

// An alarm as it is sent: what, since when and what it says.
struct Alarm {
    AlarmKind kind = AlarmKind::Test;
    QDateTime since;
    QString message;
};

// Which health alarms the facts raise at `now` under the settings.
[[nodiscard]] std::vector<Alarm> healthAlarms(
    const HealthFacts& facts, const AlarmSettings& settings, const QDateTime& now);

// The alarms standing and when each was last sent: an alarm is sent when raised, again every
// RepeatMinutes while it stands (0: never again), and its end once.
class AlarmBoard {
public:
    enum class Notice { Raised, Repeated, Cleared, Said };
    struct Sent {
        Notice notice;
        Alarm alarm;
    };

    // The alarms of `kinds` that stand now: those missing from `standing` are cleared, new ones
    // raised. Kinds outside `kinds` are left as they are.
    [[nodiscard]] std::vector<Sent> update(
        const std::vector<AlarmKind>& kinds, const std::vector<Alarm>& standing, const QDateTime& now);
    // An alarm said once (unexpected end, a test): never stands.
    [[nodiscard]] static Sent say(Alarm alarm) { return { Notice::Said, std::move(alarm) }; }
    // The repeats due at `now`.
    [[nodiscard]] std::vector<Sent> repeatsDue(const QDateTime& now, int repeatMinutes);

    [[nodiscard]] bool stands(AlarmKind kind) const { return m_standing.contains(kind); }

private:
    struct Standing {
        Alarm alarm;
        QDateTime lastSent;
    };
    std::map<AlarmKind, Standing> m_standing;
};

[[nodiscard]] QString noticeName(AlarmBoard::Notice notice);

} // namespace wendmoor

#include "alarms/AlarmRules.h"

#include "platform/Error.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace wendmoor {

namespace {
// Levels come every ~100 ms while the input records; a longer gap (recording stopped) begins
// the count again instead of counting the gap as silence or as sound.
constexpr qint64 kMaxLevelGapMs = 2000;

QString stamp(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
} // namespace

QString alarmName(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::DeadAir:
        return QStringLiteral("dead-air");
    case AlarmKind::NotRecording:
        return QStringLiteral("not-recording");
    case AlarmKind::InputLost:
        return QStringLiteral("input-lost");
    case AlarmKind::DiskFilling:
        return QStringLiteral("disk-filling");
    case AlarmKind::ClockUnsynchronised:
        return QStringLiteral("clock-unsynchronised");
    case AlarmKind::UnexpectedEnd:
        return QStringLiteral("unexpected-end");
    case AlarmKind::Test:
        break;
    }
    return QStringLiteral("test");
}

int alarmNumber(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::DeadAir:
        return ErrorNumber::DeadAir;
    case AlarmKind::NotRecording:
        return ErrorNumber::NotRecording;
    case AlarmKind::InputLost:
        return ErrorNumber::InputLost;
    case AlarmKind::DiskFilling:
        return ErrorNumber::DiskFilling;
    case AlarmKind::ClockUnsynchronised:
        return ErrorNumber::ClockUnsynchronised;
    case AlarmKind::UnexpectedEnd:
        return ErrorNumber::UnexpectedEnd;
    case AlarmKind::Test:
        break;
    }
    return ErrorNumber::TestAlarm;
}

QString noticeName(AlarmBoard::Notice notice)
{
    switch (notice) {
    case AlarmBoard::Notice::Raised:
        return QStringLiteral("raised");
    case AlarmBoard::Notice::Repeated:
        return QStringLiteral("repeated");
    case AlarmBoard::Notice::Cleared:
        return QStringLiteral("cleared");
    case AlarmBoard::Notice::Said:
        break;
    }
    return QStringLiteral("said");
}

void DeadAirDetector::configure(const AlarmSettings& settings)
{
    m_thresholdDbfs = settings.deadAirThresholdDbfs;
    m_raiseAfterMs = qint64(settings.deadAirSeconds) * 1000;
    m_clearAfterMs = qint64(settings.deadAirRecoverySeconds) * 1000;
}

DeadAirDetector::Change DeadAirDetector::feed(int peak, qint64 nowMs)
{
    if (m_lastFeedMs < 0 || nowMs < m_lastFeedMs || nowMs - m_lastFeedMs > kMaxLevelGapMs) {
        m_quietSinceMs = -1;
        m_loudSinceMs = -1;
    }
    m_lastFeedMs = nowMs;
    const double dbfs = peak <= 0 ? -200.0 : 20.0 * std::log10(std::min(peak, 32768) / 32768.0);
    const bool quiet = std::round(dbfs * 10) <= std::round(m_thresholdDbfs * 10);
    if (quiet) {
        m_loudSinceMs = -1;
        if (m_quietSinceMs < 0)
            m_quietSinceMs = nowMs;
        if (!m_standing && m_raiseAfterMs > 0 && nowMs - m_quietSinceMs >= m_raiseAfterMs) {
            m_standing = true;
            return Change::Raised;
        }
    } else {
        if (!m_standing)
            m_quietSinceMs = -1;
        if (m_loudSinceMs < 0)
            m_loudSinceMs = nowMs;
        if (m_standing && nowMs - m_loudSinceMs >= m_clearAfterMs) {
            m_standing = false;
            m_quietSinceMs = -1;
            return Change::Cleared;
        }
    }
    // Turned off while it stood: it ends.
    if (m_standing && m_raiseAfterMs <= 0) {
        m_standing = false;
        return Change::Cleared;
    }
    return Change::None;
}

std::vector<Alarm> healthAlarms(const HealthFacts& facts, const AlarmSettings& s, const QDateTime& now)
{
    std::vector<Alarm> alarms;
    if (facts.notRecordingSince && s.notRecordingSeconds > 0
        && facts.notRecordingSince->secsTo(now) >= s.notRecordingSeconds)
        alarms.push_back({ AlarmKind::NotRecording, *facts.notRecordingSince,
            QStringLiteral("Not recording since %1 although it should; trying again.")
                .arg(stamp(*facts.notRecordingSince)) });
    if (facts.inputLostSince)
        alarms.push_back({ AlarmKind::InputLost, *facts.inputLostSince,
            QStringLiteral("The sound input has been lost since %1.").arg(stamp(*facts.inputLostSince)) });
    if (facts.diskDaysUntilFull && s.diskDays > 0 && *facts.diskDaysUntilFull < s.diskDays)
        alarms.push_back({ AlarmKind::DiskFilling, now,
            QStringLiteral("The archive drive will be full in about %1 days at the present format.")
                .arg(*facts.diskDaysUntilFull, 0, 'f', 1) });
    if (facts.clockSynchronised == false && s.clockUnsynchronised)
        alarms.push_back({ AlarmKind::ClockUnsynchronised, now,
            QStringLiteral("The system clock is not synchronised: the logs' times may drift.") });
    return alarms;
}

std::vector<AlarmBoard::Sent> AlarmBoard::update(
    const std::vector<AlarmKind>& kinds, const std::vector<Alarm>& standing, const QDateTime& now)
{
    std::vector<Sent> sent;
    for (const AlarmKind kind : kinds) {
        const auto now_
            = std::find_if(standing.begin(), standing.end(), [kind](const Alarm& a) { return a.kind == kind; });
        const auto was = m_standing.find(kind);
        if (now_ != standing.end() && was == m_standing.end()) {
            m_standing.emplace(kind, Standing { *now_, now });
            sent.push_back({ Notice::Raised, *now_ });
        } else if (now_ == standing.end() && was != m_standing.end()) {
            Alarm ended = was->second.alarm;
            ended.message = QStringLiteral("Ended at %1: %2").arg(stamp(now), ended.message);
            m_standing.erase(was);
            sent.push_back({ Notice::Cleared, ended });
        }
    }
    return sent;
}

std::vector<AlarmBoard::Sent> AlarmBoard::repeatsDue(const QDateTime& now, int repeatMinutes)
{
    std::vector<Sent> sent;
    if (repeatMinutes <= 0)
        return sent;
    for (auto& [kind, s] : m_standing) {
        // A clock set back counts from where it now stands.
        if (now < s.lastSent)
            s.lastSent = now;
        if (s.lastSent.secsTo(now) >= qint64(repeatMinutes) * 60) {
            s.lastSent = now;
            sent.push_back({ Notice::Repeated, s.alarm });
        }
    }
    return sent;
}

} // namespace wendmoor

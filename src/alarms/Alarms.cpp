#include "alarms/Alarms.h"

#include "platform/ClockSync.h"
#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"

#include <QElapsedTimer>
#include <QSysInfo>

namespace wendmoor {

namespace {
constexpr qint64 kAliveEverySeconds = 60;
constexpr qint64 kClockCheckEverySeconds = 60;
// A start within this long of the last sign of life is not worth an alarm: the state file is
// touched only once a minute.
constexpr qint64 kDowntimeWorthSaying = 2 * kAliveEverySeconds;

const std::vector<AlarmKind> kHealthKinds { AlarmKind::NotRecording, AlarmKind::InputLost, AlarmKind::DiskFilling,
    AlarmKind::ClockUnsynchronised };

QString duration(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

Alarms::Alarms(MessageSink& messages, EventLog& events, const TimeSource& clock, ClockSync& clockSync, Places places,
    AlarmDelivery::Options delivery, QObject* parent)
    : QObject(parent)
    , m_messages(messages)
    , m_events(events)
    , m_clock(clock)
    , m_clockSync(clockSync)
    , m_places(std::move(places))
    , m_deadAir(m_settings)
    , m_runState(m_places.runStateFile)
    , m_host(QSysInfo::machineHostName())
    , m_delivery(std::make_unique<AlarmDelivery>(std::move(delivery)))
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_steadyMs = [timer] { return timer->elapsed(); };
    connect(m_delivery.get(), &AlarmDelivery::failed, this,
        [this](AlarmDelivery::Channel channel, int attempt, bool final, const QString& reason) {
            const QString text = QStringLiteral("The alarm's %1 failed (attempt %2): %3")
                                     .arg(AlarmDelivery::channelName(channel))
                                     .arg(attempt)
                                     .arg(reason);
            if (final)
                m_messages.ShowMessage(Error(ErrorNumber::AlarmDeliveryFailed, text + QStringLiteral("; given up.")));
            else
                m_events.note(text + QStringLiteral("; trying again."));
        });
    connect(
        m_delivery.get(), &AlarmDelivery::delivered, this, [this](AlarmDelivery::Channel channel, const QString& what) {
            m_events.note(QStringLiteral("Alarm %1 sent by %2.").arg(what, AlarmDelivery::channelName(channel)));
        });
    reload();
}

Alarms::~Alarms() = default;

void Alarms::reload()
{
    AlarmSettingsRead read = readAlarmSettings(m_places.settingsFile);
    m_settings = read.settings;
    m_deadAir.configure(m_settings);
    if (read.problem)
        m_messages.ShowMessage(*read.problem);
}

void Alarms::startRun()
{
    const QDateTime now = m_clock.now();
    m_lastAlive = now;
    const std::optional<QDateTime> lastAlive = m_runState.start(now);
    if (!lastAlive || lastAlive->secsTo(now) < kDowntimeWorthSaying)
        return;
    announce({ AlarmBoard::say({ AlarmKind::UnexpectedEnd, *lastAlive,
        QStringLiteral("The program ended unexpectedly and was not running from about %1 to %2 (%3); nothing "
                       "was recorded then.")
            .arg(lastAlive->toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), duration(lastAlive->secsTo(now))) }) });
}

void Alarms::endRun()
{
    m_runState.end(m_clock.now());
}

void Alarms::level(int peak)
{
    const qint64 ms = m_steadyMs();
    const DeadAirDetector::Change change = m_deadAir.feed(peak, ms);
    if (change == DeadAirDetector::Change::None)
        return;
    const QDateTime now = m_clock.now();
    std::vector<Alarm> standing;
    if (change == DeadAirDetector::Change::Raised) {
        const QDateTime since = now.addMSecs(m_deadAir.quietSinceMs() - ms);
        standing.push_back({ AlarmKind::DeadAir, since,
            QStringLiteral("Dead air: the input has been at or below %1 dBFS since %2.")
                .arg(m_settings.deadAirThresholdDbfs)
                .arg(since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) });
    }
    announce(m_board.update({ AlarmKind::DeadAir }, standing, now));
}

void Alarms::setNotRecordingSince(std::optional<QDateTime> since)
{
    m_facts.notRecordingSince = std::move(since);
    updateHealth();
}

void Alarms::setInputLostSince(std::optional<QDateTime> since)
{
    m_facts.inputLostSince = std::move(since);
    updateHealth();
}

void Alarms::setDiskDaysUntilFull(std::optional<double> days)
{
    m_facts.diskDaysUntilFull = days;
    updateHealth();
}

void Alarms::tick()
{
    const QDateTime now = m_clock.now();
    if (!m_clockChecked.isValid() || now < m_clockChecked || m_clockChecked.secsTo(now) >= kClockCheckEverySeconds) {
        m_clockChecked = now;
        m_facts.clockSynchronised = m_clockSync.synchronised();
    }
    if (m_lastAlive.isValid() && (now < m_lastAlive || m_lastAlive.secsTo(now) >= kAliveEverySeconds)) {
        m_lastAlive = now;
        m_runState.alive(now);
    }
    updateHealth();
    announce(m_board.repeatsDue(now, m_settings.repeatMinutes));
}

void Alarms::updateHealth()
{
    const QDateTime now = m_clock.now();
    announce(m_board.update(kHealthKinds, healthAlarms(m_facts, m_settings, now), now));
}

void Alarms::sendTest(const AlarmSettings& settings)
{
    announce(AlarmBoard::say({ AlarmKind::Test, m_clock.now(),
                 QStringLiteral("A test alarm from Setup, My Preferences, Alarms.") }),
        settings);
}

void Alarms::announce(const std::vector<AlarmBoard::Sent>& sent)
{
    for (const AlarmBoard::Sent& s : sent)
        announce(s, m_settings);
}

void Alarms::announce(const AlarmBoard::Sent& sent, const AlarmSettings& settings)
{
    const int number = alarmNumber(sent.alarm.kind);
    switch (sent.notice) {
    case AlarmBoard::Notice::Raised:
    case AlarmBoard::Notice::Said:
        m_messages.ShowMessage(Error(number, sent.alarm.message));
        break;
    case AlarmBoard::Notice::Repeated:
        m_events.note(QStringLiteral("Alarm still standing: %1 %2").arg(number).arg(sent.alarm.message));
        break;
    case AlarmBoard::Notice::Cleared:
        m_messages.ShowMessage(QStringLiteral("%1 Alarm over. %2").arg(number).arg(sent.alarm.message));
        break;
    }
    m_delivery->send({ sent.notice, sent.alarm, m_host }, settings);
}

} // namespace wendmoor

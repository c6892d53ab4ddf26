#pragma once

#include "alarms/AlarmDelivery.h"
#include "alarms/AlarmRules.h"
#include "alarms/AlarmSettings.h"
#include "alarms/RunState.h"

#include <QObject>

#include <functional>
#include <memory>

namespace wendmoor {

class ClockSync;
class EventLog;
class MessageSink;
class TimeSource;

// The alarms as the rest of the program sees them: fed with the input's level and the facts of
// the logger's health, it raises, repeats and clears alarms by the rules of alarms.ini, shows
// each in the message window (which logs it) and hands it to the deliveries, which run on a
// thread of their own. Every call returns at once. UI thread.
class Alarms final : public QObject {
    Q_OBJECT
public:
    struct Places {
        QString settingsFile; // alarms.ini
        QString runStateFile; // whether the program runs, and when it was last alive
    };

    Alarms(MessageSink& messages, EventLog& events, const TimeSource& clock, ClockSync& clockSync, Places places,
        AlarmDelivery::Options delivery = {}, QObject* parent = nullptr);
    ~Alarms() override;

    // Reads alarms.ini again (a damaged file is reported with its lines; its defaults stand).
    void reload();
    [[nodiscard]] const AlarmSettings& settings() const { return m_settings; }
    [[nodiscard]] const QString& settingsFile() const { return m_places.settingsFile; }

    // At start: reports how long the program was not running after an unexpected end.
    void startRun();
    // At a clean end.
    void endRun();

    // The loudest sample (0 to 32768) of the input's last ~100 ms.
    void level(int peak);
    // The facts of the logger's health, each as it changes.
    void setNotRecordingSince(std::optional<QDateTime> since);
    void setInputLostSince(std::optional<QDateTime> since);
    void setDiskDaysUntilFull(std::optional<double> days);
    // About once a second: the health rules, the clock's synchronisation, repeats.
    void tick();

    // "Send a test alarm" with settings not yet saved.
    void sendTest(const AlarmSettings& settings);

    // A clock that never goes back, in milliseconds; tests give their own.
    void setSteadyClock(std::function<qint64()> ms) { m_steadyMs = std::move(ms); }
    [[nodiscard]] AlarmDelivery& delivery() { return *m_delivery; }
    [[nodiscard]] bool stands(AlarmKind kind) const { return m_board.stands(kind); }

private:
    void updateHealth();
    void announce(const std::vector<AlarmBoard::Sent>& sent);
    void announce(const AlarmBoard::Sent& sent, const AlarmSettings& settings);

    MessageSink& m_messages;
    EventLog& m_events;
    const TimeSource& m_clock;
    ClockSync& m_clockSync;
    Places m_places;
    AlarmSettings m_settings;
    DeadAirDetector m_deadAir;
    AlarmBoard m_board;
    HealthFacts m_facts;
    RunState m_runState;
    QDateTime m_lastAlive;
    QDateTime m_clockChecked;
    QString m_host;
    std::function<qint64()> m_steadyMs;
    std::unique_ptr<AlarmDelivery> m_delivery;
};

} // namespace wendmoor

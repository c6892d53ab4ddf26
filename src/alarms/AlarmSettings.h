#pragma once

#include "platform/Error.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace wendmoor {

// What alarms.ini says: when dead air and the logger's own faults raise an alarm, and where an
// alarm goes besides the message window and the event log. A zero number of seconds or days
// turns that alarm off; an empty server, URL or command turns that delivery off.
struct AlarmSettings {
    enum class Security { StartTls, Tls, None };

    // [DeadAir]: the input at or below ThresholdDbfs for Seconds raises the alarm, above it for
    // RecoverySeconds clears it.
    double deadAirThresholdDbfs = -50;
    int deadAirSeconds = 30;
    int deadAirRecoverySeconds = 5;
    // [Health]
    int notRecordingSeconds = 60;
    int diskDays = 3;
    bool clockUnsynchronised = true;
    // [Email]
    QString emailServer;
    int emailPort = 587;
    Security emailSecurity = Security::StartTls;
    QString emailUser;
    QString emailPasswordFile; // readable only by its owner
    QString emailFrom;
    QStringList emailTo;
    // [Webhook]
    QString webhookUrl;
    // [Command]: run through /bin/sh with the alarm's facts in its environment
    QString command;
    // [Repeat]
    int repeatMinutes = 60;

    bool operator==(const AlarmSettings&) const = default;
};

// The file as read: its settings (the defaults where it is missing or a line is damaged) and,
// when lines were damaged, one error that names the file and each damaged line.
struct AlarmSettingsRead {
    AlarmSettings settings;
    bool exists = false;
    std::optional<Error> problem;
};

[[nodiscard]] AlarmSettingsRead readAlarmSettings(const QString& path);
// The INI text of `settings`, every key of every section.
[[nodiscard]] QByteArray alarmSettingsText(const AlarmSettings& settings);
// Replaces the file as a whole (a crash mid-way leaves the old one); nothing, or what failed.
[[nodiscard]] std::optional<Error> writeAlarmSettings(const QString& path, const AlarmSettings& settings);

[[nodiscard]] QString securityName(AlarmSettings::Security security);

} // namespace wendmoor

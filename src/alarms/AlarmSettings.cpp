#include "alarms/AlarmSettings.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>
#include <functional>
#include <map>

namespace wendmoor {

namespace {

// Bigger than any alarms.ini a person writes; a larger file is not read at all.
constexpr qint64 kMaxFileBytes = 256 * 1024;

using Setter = std::function<bool(AlarmSettings&, const QString&)>;

Setter whole(int AlarmSettings::*field, int low, int high)
{
    return [field, low, high](AlarmSettings& s, const QString& v) {
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok || n < low || n > high)
            return false;
        s.*field = n;
        return true;
    };
}

Setter text(QString AlarmSettings::*field)
{
    return [field](AlarmSettings& s, const QString& v) {
        s.*field = v;
        return true;
    };
}

const std::map<QString, Setter>& keys()
{
    static const std::map<QString, Setter> table {
        { QStringLiteral("deadair/thresholddbfs"),
            [](AlarmSettings& s, const QString& v) {
                bool ok = false;
                const double db = v.toDouble(&ok);
                if (!ok || !std::isfinite(db) || db > 0 || db < -120)
                    return false;
                s.deadAirThresholdDbfs = db;
                return true;
            } },
        { QStringLiteral("deadair/seconds"), whole(&AlarmSettings::deadAirSeconds, 0, 86400) },
        { QStringLiteral("deadair/recoveryseconds"), whole(&AlarmSettings::deadAirRecoverySeconds, 0, 86400) },
        { QStringLiteral("health/notrecordingseconds"), whole(&AlarmSettings::notRecordingSeconds, 0, 86400) },
        { QStringLiteral("health/diskdays"), whole(&AlarmSettings::diskDays, 0, 3650) },
        { QStringLiteral("health/clockunsynchronised"),
            [](AlarmSettings& s, const QString& v) {
                const QString b = v.toLower();
                if (b != QLatin1String("true") && b != QLatin1String("false"))
                    return false;
                s.clockUnsynchronised = b == QLatin1String("true");
                return true;
            } },
        { QStringLiteral("email/server"), text(&AlarmSettings::emailServer) },
        { QStringLiteral("email/port"), whole(&AlarmSettings::emailPort, 1, 65535) },
        { QStringLiteral("email/security"),
            [](AlarmSettings& s, const QString& v) {
                for (const auto sec :
                    { AlarmSettings::Security::StartTls, AlarmSettings::Security::Tls, AlarmSettings::Security::None })
                    if (v.compare(securityName(sec), Qt::CaseInsensitive) == 0) {
                        s.emailSecurity = sec;
                        return true;
                    }
                return false;
            } },
        { QStringLiteral("email/user"), text(&AlarmSettings::emailUser) },
        { QStringLiteral("email/passwordfile"), text(&AlarmSettings::emailPasswordFile) },
        { QStringLiteral("email/from"), text(&AlarmSettings::emailFrom) },
        { QStringLiteral("email/to"),
            [](AlarmSettings& s, const QString& v) {
                static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
                s.emailTo = v.split(separators, Qt::SkipEmptyParts);
                return true;
            } },
        { QStringLiteral("webhook/url"), text(&AlarmSettings::webhookUrl) },
        { QStringLiteral("command/run"), text(&AlarmSettings::command) },
        { QStringLiteral("repeat/repeatminutes"), whole(&AlarmSettings::repeatMinutes, 0, 100000) },
    };
    return table;
}

} // namespace

QString securityName(AlarmSettings::Security security)
{
    switch (security) {
    case AlarmSettings::Security::Tls:
        return QStringLiteral("tls");
    case AlarmSettings::Security::None:
        return QStringLiteral("none");
    case AlarmSettings::Security::StartTls:
        break;
    }
    return QStringLiteral("starttls");
}

AlarmSettingsRead readAlarmSettings(const QString& path)
{
    AlarmSettingsRead read;
    QFile file(path);
    if (!file.exists())
        return read;
    read.exists = true;
    if (!file.open(QIODevice::ReadOnly)) {
        read.problem = Error(ErrorNumber::AlarmSettingsInvalid,
            QStringLiteral("Cannot read the alarm settings %1: %2; alarms go to this window and the event log only.")
                .arg(path, file.errorString()));
        return read;
    }
    if (file.size() > kMaxFileBytes) {
        read.problem = Error(ErrorNumber::AlarmSettingsInvalid,
            QStringLiteral("The alarm settings %1 are larger than %2 bytes and were not read.")
                .arg(path)
                .arg(kMaxFileBytes));
        return read;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QString section;
    QStringList damaged;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const auto key
            = eq > 0 ? keys().find(section + QLatin1Char('/') + line.left(eq).trimmed().toLower()) : keys().end();
        if (key == keys().end() || !key->second(read.settings, line.mid(eq + 1).trimmed()))
            damaged << QStringLiteral("line %1 \"%2\"").arg(i + 1).arg(line.left(60));
    }
    if (!damaged.isEmpty())
        read.problem = Error(ErrorNumber::AlarmSettingsInvalid,
            QStringLiteral("The alarm settings %1 are damaged at %2; the defaults stand for those lines.")
                .arg(path, damaged.join(QStringLiteral(", "))));
    return read;
}

QByteArray alarmSettingsText(const AlarmSettings& settings)
{
    // A line break inside a value would begin a line of its own.
    AlarmSettings s = settings;
    for (QString* v : { &s.emailServer, &s.emailUser, &s.emailPasswordFile, &s.emailFrom, &s.webhookUrl, &s.command })
        v->replace(QRegularExpression(QStringLiteral("[\\r\\n]+")), QStringLiteral(" "));
    const auto yes = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    const QString t = QStringLiteral("[DeadAir]\nThresholdDbfs=%1\nSeconds=%2\nRecoverySeconds=%3\n\n"
                                     "[Health]\nNotRecordingSeconds=%4\nDiskDays=%5\nClockUnsynchronised=%6\n\n")
                          .arg(s.deadAirThresholdDbfs)
                          .arg(s.deadAirSeconds)
                          .arg(s.deadAirRecoverySeconds)
                          .arg(s.notRecordingSeconds)
                          .arg(s.diskDays)
                          .arg(yes(s.clockUnsynchronised))
        + QStringLiteral("[Email]\nServer=%1\nPort=%2\nSecurity=%3\nUser=%4\nPasswordFile=%5\nFrom=%6\nTo=%7\n\n")
              .arg(s.emailServer)
              .arg(s.emailPort)
              .arg(securityName(s.emailSecurity), s.emailUser, s.emailPasswordFile, s.emailFrom,
                  s.emailTo.join(QStringLiteral(", ")))
        + QStringLiteral("[Webhook]\nUrl=%1\n\n[Command]\nRun=%2\n\n[Repeat]\nRepeatMinutes=%3\n")
              .arg(s.webhookUrl, s.command)
              .arg(s.repeatMinutes);
    return t.toUtf8();
}

std::optional<Error> writeAlarmSettings(const QString& path, const AlarmSettings& settings)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(alarmSettingsText(settings)) < 0 || !file.commit())
        return Error(ErrorNumber::AlarmSettingsInvalid,
            QStringLiteral("Cannot write the alarm settings %1: %2").arg(path, file.errorString()));
    return std::nullopt;
}

} // namespace wendmoor

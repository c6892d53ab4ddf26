#include "app/StatusFile.h"

#include "archive/DiskForecast.h"
#include "config/RecordFormats.h"
#include "config/Settings.h"
#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderState.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cmath>
#include <cstdio>

namespace wendmoor {

StatusFile::StatusFile(Services& services, const Settings& settings, const RecorderState& state, Recorder& recorder,
    QString path, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_settings(settings)
    , m_state(state)
    , m_path(std::move(path))
{
    connect(&recorder, &Recorder::ticked, this, [this](const QDateTime& now) {
        if (!m_lastWritten.isValid() || qAbs(m_lastWritten.secsTo(now)) >= 2)
            write();
    });
    connect(&recorder, &Recorder::level, this, [this](int peak) { m_peak = std::max(m_peak, peak); });
    connect(&recorder, &Recorder::message, this, [this](const QString& text) {
        m_messages.append(m_services.clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text);
        while (m_messages.size() > 10)
            m_messages.removeFirst();
    });
}

QJsonObject StatusFile::status()
{
    const QDateTime now = m_services.clock.now();
    if (!m_lastMeasured.isValid() || qAbs(m_lastMeasured.secsTo(now)) >= 600) {
        m_lastMeasured = now;
        const RecordFormat* format = recordFormat(m_settings.RecordFormat);
        const QChar drive = m_settings.LogDrive;
        const std::optional<DriveSpace> space = format
            ? measureDrive(m_services.volumes.rootOf(drive), m_services.volumes.archiveFolder(drive))
            : std::nullopt;
        m_forecast.clear();
        if (space) {
            const DiskForecast f = forecastDisk(space->freeBytes, space->archiveBytes, *format, m_settings.DaysToKeep);
            m_forecast
                = QStringLiteral("%1 free on drive %2, %3 days of recording; %4")
                      .arg(QLocale::c().formattedDataSize(space->freeBytes), QString(drive))
                      .arg(f.daysOfFreeSpace, 0, 'f', 1)
                      .arg(f.daysUntilFull ? QStringLiteral("full in about %1 days").arg(*f.daysUntilFull, 0, 'f', 1)
                                           : QStringLiteral("the purge keeps it from filling"));
        }
    }
    const QFileInfo log(m_state.CurrentLogPath);
    constexpr double kFloorDb = -60.0;
    const double levelDb = m_peak > 0 ? std::max(kFloorDb, 20.0 * std::log10(m_peak / 32768.0)) : kFloorDb;
    m_peak = 0;
    return {
        { QStringLiteral("writtenUtc"), double(now.toMSecsSinceEpoch()) },
        { QStringLiteral("recording"), m_state.IsRecording },
        { QStringLiteral("standby"), m_state.InStandby },
        { QStringLiteral("log"), log.fileName() },
        { QStringLiteral("lastWrite"),
            m_state.IsRecording && log.exists() ? log.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                : QString() },
        { QStringLiteral("levelDb"), levelDb },
        { QStringLiteral("level"), std::clamp((levelDb - kFloorDb) / -kFloorDb, 0.0, 1.0) },
        { QStringLiteral("forecast"), m_forecast },
        { QStringLiteral("messages"), QJsonArray::fromStringList(m_messages) },
    };
}

void StatusFile::write()
{
    m_lastWritten = m_services.clock.now();
    // Replaced whole, so that a reader never sees half of one, but not forced onto the disk: it
    // is written anew every two seconds, and a flush to the disk each time cost more than the
    // rest of the clock's work.
    const QByteArray json = QJsonDocument(status()).toJson(QJsonDocument::Compact);
    const QString next = m_path + QStringLiteral(".new");
    QFile file(next);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json) == json.size();
    file.close();
    if (!written || std::rename(QFile::encodeName(next).constData(), QFile::encodeName(m_path).constData()) != 0)
        QFile::remove(next);
}

} // namespace wendmoor

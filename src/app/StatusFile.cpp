#include "app/StatusFile.h"

#include "config/DiskForecast.h"
#include "config/RecordFormats.h"
#include "config/Settings.h"
#include "platform/Services.h"
#include "platform/SingleInstance.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "recorder/Menu.h"
#include "recorder/RecorderState.h"
#include "widgets/LevelMeter.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>
#include <QTimer>

namespace wendmoor {

QString statusFilePath()
{
    return SingleInstance::defaultFolder() + QStringLiteral("/wendmoor-status.json");
}

StatusFile::StatusFile(Services& services, const Settings& settings, const RecorderState& state, const Menu& menu,
    QString eventLogPath, QTimer& tick, QString path, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_settings(settings)
    , m_state(state)
    , m_menu(menu)
    , m_eventLogPath(std::move(eventLogPath))
    , m_path(std::move(path))
{
    connect(&tick, &QTimer::timeout, this, [this] {
        const QDateTime now = m_services.clock.now();
        if (!m_lastWritten.isValid() || qAbs(m_lastWritten.secsTo(now)) >= 2)
            write();
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
    QJsonArray messages;
    QFile events(m_eventLogPath);
    if (events.open(QIODevice::ReadOnly)) {
        events.seek(std::max<qint64>(0, events.size() - 4096));
        QList<QByteArray> lines = events.readAll().split('\n');
        if (events.size() > 4096 && !lines.isEmpty())
            lines.removeFirst();
        lines.removeAll(QByteArray());
        for (qsizetype i = std::max<qsizetype>(0, lines.size() - 10); i < lines.size(); ++i)
            messages.append(QString::fromUtf8(lines[i]));
    }
    const double floorDb = LevelMeter::kFloorDb;
    const double levelDb = m_menu.MMLevelX1 ? m_menu.MMLevelX1->levelDb() : floorDb;
    return {
        { QStringLiteral("writtenUtc"), double(now.toMSecsSinceEpoch()) },
        { QStringLiteral("recording"), m_state.IsRecording },
        { QStringLiteral("standby"), m_state.InStandby },
        { QStringLiteral("log"), log.fileName() },
        { QStringLiteral("lastWrite"),
            m_state.IsRecording && log.exists() ? log.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                : QString() },
        { QStringLiteral("levelDb"), levelDb },
        { QStringLiteral("level"), std::clamp((levelDb - floorDb) / -floorDb, 0.0, 1.0) },
        { QStringLiteral("forecast"), m_forecast },
        { QStringLiteral("messages"), messages },
    };
}

void StatusFile::write()
{
    m_lastWritten = m_services.clock.now();
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(status()).toJson(QJsonDocument::Compact));
        (void)file.commit();
    }
}

} // namespace wendmoor

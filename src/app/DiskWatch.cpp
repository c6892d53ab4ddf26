#include "app/DiskWatch.h"

#include "catalog/ArchiveHolds.h"
#include "config/Settings.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QLocale>
#include <QTimer>

namespace wendmoor {

namespace {
constexpr qint64 kMeasureEverySeconds = 600;
constexpr double kWarnWithinDays = 3;
} // namespace

DiskWatch::DiskWatch(Services& services, const Settings& settings, QTimer& tick, Measure measure, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_settings(settings)
    , m_measure(std::move(measure))
{
    connect(&tick, &QTimer::timeout, this, &DiskWatch::check);
}

void DiskWatch::check()
{
    const QDateTime now = m_services.clock.now();
    if (m_lastMeasured.isValid() && m_lastMeasured.date() == now.date()
        && m_lastMeasured.secsTo(now) < kMeasureEverySeconds && m_lastMeasured <= now)
        return;
    m_lastMeasured = now;

    const RecordFormat* format = recordFormat(m_settings.RecordFormat);
    const QChar drive = m_settings.LogDrive;
    const std::optional<DriveSpace> space
        = format ? m_measure(m_services.volumes.rootOf(drive), m_services.volumes.archiveFolder(drive)) : std::nullopt;
    if (!space)
        return;
    const DiskForecast f
        = forecastArchive(*space, m_services.volumes.archiveFolder(drive), *format, m_settings.DaysToKeep, now.date());
    emit forecastMade(f.daysUntilFull);
    if (m_warnedOn == now.date() || !f.daysUntilFull || *f.daysUntilFull >= kWarnWithinDays)
        return;
    m_warnedOn = now.date();
    const QLocale c = QLocale::c();
    m_services.messages.ShowMessage(Error(ErrorNumber::DiskFull,
        QStringLiteral("Drive %1 (%2) will be full in about %3 days at the present format: %4 free, %5 a day. Delete "
                       "old logs, keep fewer days or choose another drive in Setup > My Preferences.")
            .arg(drive)
            .arg(QDir::toNativeSeparators(m_services.volumes.rootOf(drive)))
            .arg(*f.daysUntilFull, 0, 'f', 1)
            .arg(c.formattedDataSize(space->freeBytes), c.formattedDataSize(bytesPerDay(*format)))));
}

} // namespace wendmoor

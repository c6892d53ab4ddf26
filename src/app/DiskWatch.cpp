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
    // A measurement still running (a drive that stalls) is not joined by another.
    if (!m_background.idle())
        return;
    m_lastMeasured = now;

    const RecordFormat* format = recordFormat(m_settings.RecordFormat);
    if (!format)
        return;
    const QChar drive = m_settings.LogDrive;
    const QString root = m_services.volumes.rootOf(drive);
    const QString folder = m_services.volumes.archiveFolder(drive);
    // The drive is measured on the background thread; the forecast comes back to the tick's thread.
    m_background.post([this, measure = m_measure, root, folder, format, drive, today = now.date(),
                          days = m_settings.DaysToKeep]() -> BackgroundWork::Result {
        const std::optional<DriveSpace> space = measure(root, folder);
        if (!space)
            return {};
        const DiskForecast f = forecastArchive(*space, folder, *format, days, today);
        return [this, f, space = *space, format, drive, root, today] {
            reportForecast(f, space, *format, drive, root, today);
        };
    });
}

void DiskWatch::finish()
{
    m_background.finish();
}

void DiskWatch::reportForecast(const DiskForecast& f, const DriveSpace& space, const RecordFormat& format, QChar drive,
    const QString& root, const QDate& today)
{
    emit forecastMade(f.daysUntilFull);
    emit forecastText(
        QStringLiteral("%1 free on drive %2, %3 days of recording; %4")
            .arg(QLocale::c().formattedDataSize(space.freeBytes), QString(drive))
            .arg(f.daysOfFreeSpace, 0, 'f', 1)
            .arg(f.daysUntilFull ? QStringLiteral("full in about %1 days").arg(*f.daysUntilFull, 0, 'f', 1)
                                 : QStringLiteral("the purge keeps it from filling")));
    if (m_warnedOn == today || !f.daysUntilFull || *f.daysUntilFull >= kWarnWithinDays)
        return;
    m_warnedOn = today;
    const QLocale c = QLocale::c();
    m_services.messages.ShowMessage(Error(ErrorNumber::DiskFull,
        QStringLiteral("Drive %1 (%2) will be full in about %3 days at the present format: %4 free, %5 a day. Delete "
                       "old logs, keep fewer days or choose another drive in Setup > My Preferences.")
            .arg(drive)
            .arg(QDir::toNativeSeparators(root))
            .arg(*f.daysUntilFull, 0, 'f', 1)
            .arg(c.formattedDataSize(space.freeBytes), c.formattedDataSize(bytesPerDay(format)))));
}

} // namespace wendmoor

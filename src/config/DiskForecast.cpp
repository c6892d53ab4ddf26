#include "config/DiskForecast.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace wendmoor {

namespace {
constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kGsmSamplesPerBlock = 320;
constexpr qint64 kGsmBytesPerBlock = 65;
} // namespace

qint64 bytesPerDay(const RecordFormat& format)
{
    if (format.encoding == WaveEncoding::Gsm610) {
        const qint64 samples = format.sampleRate * kSecondsPerDay;
        return (samples + kGsmSamplesPerBlock - 1) / kGsmSamplesPerBlock * kGsmBytesPerBlock;
    }
    return format.waveFormat().bytesPerSecond() * kSecondsPerDay;
}

DiskForecast forecastDisk(qint64 freeBytes, qint64 archiveBytes, const RecordFormat& format, int daysToKeep)
{
    const auto perDay = static_cast<double>(bytesPerDay(format));
    DiskForecast f;
    f.daysOfFreeSpace = static_cast<double>(std::max<qint64>(freeBytes, 0)) / perDay;
    if (daysToKeep > 0) {
        const double fullArchive = perDay * (daysToKeep + 1);
        f.coversDaysToKeep = static_cast<double>(freeBytes) + static_cast<double>(archiveBytes) >= fullArchive;
    }
    if (!f.coversDaysToKeep)
        f.daysUntilFull = f.daysOfFreeSpace;
    return f;
}

std::optional<DriveSpace> measureDrive(const QString& driveRoot, const QString& archiveFolder)
{
    const bool archiveExists = QFileInfo(archiveFolder).isDir();
    const QStorageInfo storage(archiveExists ? archiveFolder : driveRoot);
    if (driveRoot.isEmpty() || !storage.isValid() || !storage.isReady())
        return std::nullopt;
    DriveSpace space;
    space.freeBytes = storage.bytesAvailable();
    if (archiveExists) {
        const QStringList patterns = { QStringLiteral("*.wav"), QStringLiteral("*.flac"), QStringLiteral("*.opus") };
        const QFileInfoList logs = QDir(archiveFolder).entryInfoList(patterns, QDir::Files);
        for (const QFileInfo& log : logs)
            space.archiveBytes += log.size();
    }
    return space;
}

} // namespace wendmoor

#include "archive/DiskForecast.h"

#include "archive/LogNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace wendmoor {

namespace {
constexpr qint64 kSecondsPerDay = 86400;

// Whole GSM 6.10 blocks for a number of samples.
qint64 gsmBytes(qint64 samples)
{
    return (samples + WaveFormat::kGsmBlockSamples - 1) / WaveFormat::kGsmBlockSamples * WaveFormat::kGsmBlockBytes;
}

// Whole bytes per second for the formats whose size follows the audio's length.
qint64 wholeBytesPerSecond(const RecordFormat& format)
{
    switch (format.encoding) {
    case WaveEncoding::Pcm:
        return qint64 { format.sampleRate } * format.bits / 8;
    case WaveEncoding::Flac:
        // Speech and music come to about 63 % of the PCM size (bench/recording_chain).
        return qint64 { format.sampleRate } * 2 * 63 / 100;
    case WaveEncoding::Opus:
        // The bit rate and the Ogg pages around it (about 2 %).
        return WaveFormat::kOpusBitsPerSecond / 8 * 102 / 100;
    case WaveEncoding::Gsm610:
        break;
    }
    return gsmBytes(format.sampleRate);
}
} // namespace

double bytesPerSecond(const RecordFormat& format)
{
    if (format.encoding == WaveEncoding::Gsm610)
        return static_cast<double>(format.sampleRate) * WaveFormat::kGsmBlockBytes / WaveFormat::kGsmBlockSamples;
    return static_cast<double>(wholeBytesPerSecond(format));
}

qint64 bytesPerDay(const RecordFormat& format)
{
    if (format.encoding == WaveEncoding::Gsm610)
        return gsmBytes(format.sampleRate * kSecondsPerDay);
    return wholeBytesPerSecond(format) * kSecondsPerDay;
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
        const QFileInfoList logs = QDir(archiveFolder).entryInfoList(logNameFilters(), QDir::Files);
        for (const QFileInfo& log : logs)
            space.archiveBytes += log.size();
    }
    return space;
}

} // namespace wendmoor

#pragma once

#include "config/RecordFormats.h"

#include <QString>

#include <optional>

namespace wendmoor {

// Bytes that a second of recording takes in a format (headers aside); for FLAC and Opus what
// program audio takes on average.
[[nodiscard]] double bytesPerSecond(const RecordFormat& format);
// Bytes that one day of recording takes in a format (headers aside).
[[nodiscard]] qint64 bytesPerDay(const RecordFormat& format);

// What the free space of the archive drive means for a format and a number of days to keep.
struct DiskForecast {
    // How many days of recording the free space holds.
    double daysOfFreeSpace = 0;
    // The drive holds the archive at its full size: today's log and DaysToKeep earlier days.
    // Never true for "Do not Delete" (0), whose archive grows without end.
    bool coversDaysToKeep = false;
    // Days until the drive is full at this format, or nothing when the purge keeps it from filling.
    std::optional<double> daysUntilFull;
};

// freeBytes: the space left on the drive; archiveBytes: what the logs already in the archive
// take, since the purge frees that room again for new logs.
[[nodiscard]] DiskForecast forecastDisk(
    qint64 freeBytes, qint64 archiveBytes, const RecordFormat& format, int daysToKeep);

// The free space of the drive that holds `archiveFolder` (or `driveRoot` while the archive does
// not exist) and the size of the logs in the archive; nothing when the drive cannot be read.
struct DriveSpace {
    qint64 freeBytes = 0;
    qint64 archiveBytes = 0;
};
[[nodiscard]] std::optional<DriveSpace> measureDrive(const QString& driveRoot, const QString& archiveFolder);

} // namespace wendmoor

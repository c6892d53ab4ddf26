#pragma once

#include <QStringList>

namespace wendmoor {

struct Settings;
class TimeSource;
class Volumes;

// Deletes every log of the day DaysToKeep + 1 days before today from the archive folder of
// LogDrive. Silent on every failure: a missing folder, a file in use or nothing to delete.
// Returns the paths of the files it deleted.
QStringList PurgeOldLogs(const Volumes& volumes, const Settings& settings, const TimeSource& clock) noexcept;

} // namespace wendmoor

#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace wendmoor {

struct Settings;
class TimeSource;
class Volumes;

// Deletes every log of the day DaysToKeep + 1 days before today from the archive folder of
// LogDrive, and every older log that a hold kept until it was released. A log that overlaps an
// unreleased hold of the archive's catalog stays, and so does everything when the catalog's holds
// cannot be read; each is said in `kept` (when given). Silent on every other failure: a missing
// folder, a file in use or nothing to delete. Returns the paths of the files it deleted.
QStringList PurgeOldLogs(
    const Volumes& volumes, const Settings& settings, const TimeSource& clock, QStringList* kept = nullptr) noexcept;
// The same for the archive folder `folder` on the day `today`: what the recorder's purge runs
// away from the window's thread, with what it needs read beforehand.
QStringList PurgeOldLogs(
    const QString& folder, int daysToKeep, const QDate& today, QStringList* kept = nullptr) noexcept;

} // namespace wendmoor

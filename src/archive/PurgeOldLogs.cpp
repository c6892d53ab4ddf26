#include "archive/PurgeOldLogs.h"

#include "archive/LogNames.h"
#include "catalog/ArchiveHolds.h"
#include "config/Settings.h"
#include "platform/Error.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>

namespace wendmoor {

QStringList PurgeOldLogs(
    const Volumes& volumes, const Settings& settings, const TimeSource& clock, QStringList* kept) noexcept
{
    try {
        return PurgeOldLogs(volumes.archiveFolder(settings.LogDrive), settings.DaysToKeep, clock.now().date(), kept);
    } catch (...) {
        return {};
    }
}

QStringList PurgeOldLogs(const QString& archiveFolder, int daysToKeep, const QDate& today, QStringList* kept) noexcept
{
    QStringList deleted;
    try {
        const std::optional<QString> pattern = purgePattern(today, daysToKeep);
        if (!pattern)
            return deleted;
        const QDir folder(archiveFolder);
        QStringList names = folder.entryList({ *pattern }, QDir::Files | QDir::Hidden | QDir::System);
        std::optional<ArchiveHolds> holds;
        try {
            holds.emplace(folder.path());
        } catch (const Error& e) {
            if (kept && !names.isEmpty())
                kept->append(QStringLiteral("Purge: nothing deleted, the holds are unknown: ") + e.text());
            return deleted;
        }
        // What a hold kept past its day goes once the hold is released.
        for (const QString& name : holds->releasedBefore(today.addDays(-(daysToKeep + 1))))
            if (!names.contains(name))
                names.append(name);
        for (const QString& name : names) {
            const std::vector<Hold> keeping = holds->keeping(name);
            if (!keeping.empty()) {
                if (kept)
                    kept->append(QStringLiteral("Purge: kept %1, held (hold %2: %3)")
                                     .arg(QDir::toNativeSeparators(folder.filePath(name)))
                                     .arg(keeping.front().id)
                                     .arg(keeping.front().reason));
                continue;
            }
            if (QFile::remove(folder.filePath(name)))
                deleted.append(folder.filePath(name));
        }
    } catch (...) {
        // The purge never disturbs the recorder; a file that could not go stays.
    }
    return deleted;
}

} // namespace wendmoor

#include "archive/PurgeOldLogs.h"

#include "archive/LogNames.h"
#include "config/Settings.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>

namespace wendmoor {

QStringList PurgeOldLogs(const Volumes& volumes, const Settings& settings, const TimeSource& clock) noexcept
{
    QStringList deleted;
    try {
        const std::optional<QString> pattern = purgePattern(clock.now().date(), settings.DaysToKeep);
        if (!pattern)
            return deleted;
        const QDir folder(volumes.archiveFolder(settings.LogDrive));
        const QStringList names = folder.entryList({ *pattern }, QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : names)
            if (QFile::remove(folder.filePath(name)))
                deleted.append(folder.filePath(name));
    } catch (...) {
        // The purge never disturbs the recorder; a file that could not go stays.
    }
    return deleted;
}

} // namespace wendmoor

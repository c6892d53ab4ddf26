#include "recorder/LogPlacement.h"

#include "archive/LogNames.h"
#include "platform/Error.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace wendmoor {

QString placeLog(const QString& dayPath, QChar drive, const Volumes& volumes,
    const std::function<bool(const QString& question)>& mayReplace)
{
    // Nothing goes into the empty mount point of a disk that is away.
    if (const std::optional<Error> missing = volumes.driveMissing(drive))
        throw *missing;

    const QString folder = QFileInfo(dayPath).path();
    if (!QDir().mkpath(folder)) {
        throw Error(ErrorNumber::PathNotFound,
            QStringLiteral("The archive folder %1 could not be made for the log %2.")
                .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(dayPath)));
    }

    const auto fileExists = [](const QString& path) { return QFileInfo(path).isFile(); };
    if (!fileExists(dayPath))
        return dayPath;
    if (!mayReplace(
            QStringLiteral("Overwrite Existing File--> ") + QDir::toNativeSeparators(dayPath) + QLatin1Char('?')))
        return renumberedLogPath(dayPath, fileExists);
    if (!QFile::remove(dayPath)) {
        throw Error(ErrorNumber::PermissionDenied,
            QStringLiteral("The log %1 could not be replaced.").arg(QDir::toNativeSeparators(dayPath)));
    }
    return dayPath;
}

} // namespace wendmoor

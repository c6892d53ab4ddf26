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

    // Anything at a name (a folder, a link that leads nowhere) keeps it from being a new log, as
    // an existing log does; only a log, a plain file, is offered for replacing.
    const auto inTheWay = [](const QString& path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    };
    if (!inTheWay(dayPath))
        return dayPath;
    if (!QFileInfo(dayPath).isFile()
        || !mayReplace(
            QStringLiteral("Overwrite Existing File--> ") + QDir::toNativeSeparators(dayPath) + QLatin1Char('?')))
        return renumberedLogPath(dayPath, inTheWay);
    if (!QFile::remove(dayPath)) {
        throw Error(ErrorNumber::PermissionDenied,
            QStringLiteral("The log %1 could not be replaced.").arg(QDir::toNativeSeparators(dayPath)));
    }
    return dayPath;
}

} // namespace wendmoor

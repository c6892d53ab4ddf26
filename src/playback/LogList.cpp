#include "playback/LogList.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace wendmoor {

QStringList logFileNames(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir()) {
        throw Error(ErrorNumber::PathNotFound,
            QStringLiteral("The log folder %1 does not exist.").arg(QDir::toNativeSeparators(folder)));
    }
    if (!info.isReadable()) {
        throw Error(ErrorNumber::PermissionDenied,
            QStringLiteral("The log folder %1 cannot be read.").arg(QDir::toNativeSeparators(folder)));
    }
    QDir dir(folder);
    dir.setNameFilters({ QStringLiteral("*.wav") });
    dir.setFilter(QDir::Files);
    // Plain byte order of the names, whatever the locale.
    QStringList names = dir.entryList(QDir::Files, QDir::NoSort);
    std::sort(names.begin(), names.end());
    return names;
}

LogListView orderLogs(const QStringList& ascendingNames, int order)
{
    LogListView view;
    if (order == 0) {
        view.entries = ascendingNames;
        std::reverse(view.entries.begin(), view.entries.end());
        if (!view.entries.isEmpty())
            view.selected = 0;
    } else if (order == 1) {
        view.entries = ascendingNames;
        if (!view.entries.isEmpty())
            view.selected = static_cast<int>(view.entries.size()) - 1;
    }
    return view;
}

} // namespace wendmoor

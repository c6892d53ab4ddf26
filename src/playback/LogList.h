#pragma once

#include <QString>
#include <QStringList>

namespace wendmoor {

// The names of the log files in an archive folder: its entries matching "*.wav" (hidden and
// system files left out), in ascending order of name. Throws Error naming the folder when it
// does not exist or cannot be read.
[[nodiscard]] QStringList logFileNames(const QString& folder);

// The log list as shown for an order: 0 newest first (descending names, first entry selected),
// 1 oldest first (ascending, last entry selected). Both select the greatest name. Any other
// order shows nothing.
struct LogListView {
    QStringList entries;
    int selected = -1;
};
[[nodiscard]] LogListView orderLogs(const QStringList& ascendingNames, int order);

} // namespace wendmoor

#pragma once

#include "archive/LogNames.h"

#include <QStringList>

namespace wendmoor {

// The log list as shown for an order: 0 newest first, 1 oldest first; the names without a date
// follow the dated ones in both. Either selects the newest dated log (the last name when none
// is dated). Any other order shows nothing. `oldestFirst` comes from logFileNames().
struct LogListView {
    QStringList entries;
    int selected = -1;
};
[[nodiscard]] LogListView orderLogs(const QStringList& oldestFirst, int order);

} // namespace wendmoor

#pragma once

#include <QString>
#include <QStringList>

namespace wendmoor {

// The names of the log files in an archive folder: its entries matching "*.wav", "*.flac" or
// "*.opus" (hidden and system files left out), oldest first by logOrder(). Throws Error naming the folder when it
// does not exist or cannot be read.
[[nodiscard]] QStringList logFileNames(const QString& folder);

// Whether log name `a` comes before `b`, oldest first: by the date in "L<MMDDYY>" (20YY), within
// a day the morning ("A") and plain logs before the afternoon one ("P") and each before its
// renumbered copies (01, 02, …); names without a date after every dated one, by name.
[[nodiscard]] bool logBefore(const QString& a, const QString& b);
// Whether a name carries a log date.
[[nodiscard]] bool isDatedLog(const QString& name);

// The log list as shown for an order: 0 newest first, 1 oldest first; the names without a date
// follow the dated ones in both. Either selects the newest dated log (the last name when none
// is dated). Any other order shows nothing.
struct LogListView {
    QStringList entries;
    int selected = -1;
};
[[nodiscard]] LogListView orderLogs(const QStringList& oldestFirst, int order);

} // namespace wendmoor

#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace wendmoor {

// The grammar of a log's file name, built and read here only: "L" MMDDYY (20YY), "A"/"P" for a
// format split at noon (before/from noon), an optional copy number (01, 02, … for a renumbered
// log) and the extension of one of the formats (".wav", ".flac", ".opus").
struct LogName {
    QDate date;
    bool afternoon = false; // "P"; plain and "A" logs are the morning's
    int copy = 0; // 0 for the day's own name
    QString extension; // with its dot, in lower case
};

// The file name of a day's log.
[[nodiscard]] QString logFileName(const QDate& date, int secondOfDay, int recordFormat);
// What a file name says, or nothing when it is not a log's name (case does not matter).
[[nodiscard]] std::optional<LogName> parseLogName(const QString& fileName);

// The extensions of the formats (with their dot, each once) and the matching name filters.
[[nodiscard]] const QStringList& logExtensions();
[[nodiscard]] QStringList logNameFilters();

// The first free renumbered form of a log path: its name without its extension, then 01, 02, …
// 09, 10, 11, … and the extension. Every candidate is built from the same base, so numbers
// never pile up.
[[nodiscard]] QString renumberedLogPath(const QString& path, const std::function<bool(const QString&)>& exists);

// Whether log name `a` comes before `b`, oldest first: by the date, within a day the morning's
// (plain or "A") before the afternoon's ("P") and each before its renumbered copies; names
// without a date after every dated one, by name.
[[nodiscard]] bool logBefore(const QString& a, const QString& b);
// Whether a name carries a log date.
[[nodiscard]] bool isDatedLog(const QString& name);

// The names of the log files in an archive folder (any name with a format's extension; hidden
// and system files left out), oldest first by logBefore(). Throws Error naming the folder when
// it does not exist or cannot be read.
[[nodiscard]] QStringList logFileNames(const QString& folder);

// The file pattern of the day that the purge deletes ("L120426*"), or nothing when no day is
// due: nothing is kept for ever with 0 days, and a count that overflows 16 bits or names today
// or a later day deletes nothing either.
[[nodiscard]] std::optional<QString> purgePattern(const QDate& today, std::int16_t daysToKeep);

} // namespace wendmoor

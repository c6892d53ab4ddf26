#pragma once

#include <QDate>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace wendmoor {

// The file name of a day's log: "L" MMDDYY, "A"/"P" for format 5 (before/from noon), and the
// format's extension (".wav", ".flac", ".opus").
[[nodiscard]] QString logFileName(const QDate& date, int secondOfDay, int recordFormat);

// The first free renumbered form of a log path: its name without its extension, then 01, 02, …
// 09, 10, 11, … and the extension. Every candidate is built from the same base, so numbers
// never pile up.
[[nodiscard]] QString renumberedLogPath(const QString& path, const std::function<bool(const QString&)>& exists);

// The file pattern of the day that the purge deletes ("L120426*"), or nothing when no day is
// due: nothing is kept for ever with 0 days, and a count that overflows 16 bits or names today
// or a later day deletes nothing either.
[[nodiscard]] std::optional<QString> purgePattern(const QDate& today, std::int16_t daysToKeep);

} // namespace wendmoor

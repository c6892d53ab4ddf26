#pragma once

#include <QDate>
#include <QString>

namespace wendmoor {

// The file name of a day's log: "L" MMDDYY, "A"/"P" for format 5 (before/from noon), ".wav".
[[nodiscard]] QString logFileName(const QDate& date, int secondOfDay, int recordFormat);

} // namespace wendmoor

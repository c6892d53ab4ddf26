#pragma once

#include "catalog/Catalog.h"

#include <QByteArray>
#include <QString>

namespace wendmoor {

// The day's report for a person: the time recorded of the day's 23, 24 or 25 hours, each log with
// its segments as local clock times, each gap with its reason, each stretch of silence written for
// a lost input. Clock times carry their UTC offset on a day whose offset changes.
[[nodiscard]] QString dayReportText(const DayReport& report);
// The same for machines: one JSON object, times as ISO 8601 with their offsets and as UTC ms.
[[nodiscard]] QByteArray dayReportJson(const DayReport& report);
// One line for the event log: "Day 2026-12-06: 23:59:12 of 24:00:00 recorded in 2 logs; gaps: …".
[[nodiscard]] QString dayReportSummary(const DayReport& report);

} // namespace wendmoor

#pragma once

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace wendmoor {

// What a log's file name says (read by archive/LogNames: "L" MMDDYY, "A" or "P" for the half
// day, a renumbering 01, 02 … after a restart, and a format's extension).
struct LogFileName {
    QString fileName;
    QDate day;
    bool afternoon = false;
    bool halfDay = false; // "A" or "P": the log holds half the day
    int number = 0; // 0 for the first log of the day (or half day)
};

[[nodiscard]] std::optional<LogFileName> parseLogFileName(const QString& fileName);

// The logs in an archive folder, in the order they were recorded (day, half day, number).
[[nodiscard]] std::vector<LogFileName> logFilesIn(const QString& folder);

} // namespace wendmoor

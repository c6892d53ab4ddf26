#include "catalog/LogFiles.h"

#include "archive/LogNames.h"

#include <QDir>

#include <algorithm>
#include <tuple>

namespace wendmoor {

std::optional<LogFileName> parseLogFileName(const QString& fileName)
{
    const std::optional<LogName> log = parseLogName(fileName);
    if (!log)
        return std::nullopt;
    // "A" or "P" after the date: the log holds half the day.
    const bool halfDay = fileName.size() > 7 && QStringLiteral("AaPp").contains(fileName.at(7));
    return LogFileName { fileName, log->date, log->afternoon, halfDay, log->copy };
}

std::vector<LogFileName> logFilesIn(const QString& folder)
{
    std::vector<LogFileName> logs;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        if (std::optional<LogFileName> log = parseLogFileName(name))
            logs.push_back(*log);
    std::sort(logs.begin(), logs.end(), [](const LogFileName& a, const LogFileName& b) {
        return std::tie(a.day, a.afternoon, a.number) < std::tie(b.day, b.afternoon, b.number);
    });
    return logs;
}

} // namespace wendmoor

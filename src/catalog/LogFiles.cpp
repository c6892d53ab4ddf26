#include "catalog/LogFiles.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <tuple>

namespace wendmoor {

std::optional<LogFileName> parseLogFileName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^L(\d\d)(\d\d)(\d\d)([AP])?(\d\d)?\.(wav|flac|opus)$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    // Two-digit years are this century's, as the names are made.
    const QDate day(2000 + m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    if (!day.isValid())
        return std::nullopt;
    return LogFileName { fileName, day, m.captured(4).compare(QLatin1String("P"), Qt::CaseInsensitive) == 0,
        !m.captured(4).isEmpty(), m.captured(5).isEmpty() ? 0 : m.captured(5).toInt() };
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

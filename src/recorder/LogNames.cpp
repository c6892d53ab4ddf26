#include "recorder/LogNames.h"

#include "config/RecordFormats.h"

#include <limits>

namespace wendmoor {

QString logFileName(const QDate& date, int secondOfDay, int recordFormat)
{
    QString name = QStringLiteral("L") + date.toString(QStringLiteral("MMddyy"));
    if (splitsAtNoon(recordFormat))
        name += secondOfDay >= 43200 ? QLatin1Char('P') : QLatin1Char('A');
    const RecordFormat* format = wendmoor::recordFormat(recordFormat);
    return name + QLatin1String(format ? format->waveFormat().fileExtension() : ".wav");
}

QString renumberedLogPath(const QString& path, const std::function<bool(const QString&)>& exists)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype end = dot > slash ? dot : path.size();
    const QString base = path.left(end);
    const QString extension = path.mid(end);
    for (std::int32_t n = 1; n < std::numeric_limits<std::int32_t>::max(); ++n) {
        const QString candidate = base + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')) + extension;
        if (!exists(candidate))
            return candidate;
    }
    return path;
}

std::optional<QString> purgePattern(const QDate& today, std::int16_t daysToKeep)
{
    if (daysToKeep == 0 || daysToKeep == std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    const int n = daysToKeep + 1;
    // A negative count would name today's log, the one being recorded.
    if (n < 1)
        return std::nullopt;
    return QStringLiteral("L") + today.addDays(-n).toString(QStringLiteral("MMddyy")) + QLatin1Char('*');
}

} // namespace wendmoor

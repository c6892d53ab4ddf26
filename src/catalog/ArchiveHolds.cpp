#include "catalog/ArchiveHolds.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>

namespace wendmoor {

std::pair<UtcMs, UtcMs> logSpan(const Catalog* catalog, const LogFileName& log)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    UtcMs from = QDateTime(log.day, QTime(log.halfDay && log.afternoon ? 12 : 0, 0), zone).toMSecsSinceEpoch();
    UtcMs to = log.halfDay && !log.afternoon ? QDateTime(log.day, QTime(12, 0), zone).toMSecsSinceEpoch()
                                             : QDateTime(log.day.addDays(1), QTime(0, 0), zone).toMSecsSinceEpoch();
    if (!catalog)
        return { from, to };
    // A log's segments lie around the day its name gives (a stall over midnight may carry it on).
    constexpr UtcMs kDay = 86'400'000;
    UtcMs first = 0;
    UtcMs last = 0;
    bool known = false;
    for (const Segment& s : catalog->segmentsOverlapping(from - kDay, to + kDay)) {
        if (s.log.compare(log.fileName, Qt::CaseInsensitive) != 0)
            continue;
        first = known ? std::min(first, s.startUtc) : s.startUtc;
        last = known ? std::max(last, s.endUtc) : s.endUtc;
        known = true;
    }
    return known && last > first ? std::pair { first, last } : std::pair { from, to };
}

ArchiveHolds::ArchiveHolds(const QString& archiveFolder)
    : m_folder(archiveFolder)
{
    const QString database = QDir(archiveFolder).filePath(QLatin1String(Catalog::kFileName));
    if (!QFileInfo::exists(database))
        return;
    m_catalog = Catalog::open(archiveFolder, Catalog::Mode::ReadOnly);
    // A catalog rebuilt in memory has lost its holds: what they keep is unknown.
    if (m_catalog->wasRebuilt())
        throw Error(ErrorNumber::CatalogFailure,
            QStringLiteral("The catalog %1 is damaged: its holds cannot be read.")
                .arg(QDir::toNativeSeparators(database)));
    for (const Hold& h : m_catalog->holds(true))
        (h.releasedUtc ? m_released : m_holds).push_back(h);
}

ArchiveHolds::~ArchiveHolds() = default;

std::vector<Hold> ArchiveHolds::keeping(const QString& fileName) const
{
    std::vector<Hold> out;
    const std::optional<LogFileName> log = parseLogFileName(fileName);
    if (!log || m_holds.empty())
        return out;
    const auto [from, to] = logSpan(m_catalog.get(), *log);
    for (const Hold& h : m_holds)
        if (h.fromUtc < to && from < h.toUtc)
            out.push_back(h);
    return out;
}

QStringList ArchiveHolds::releasedBefore(const QDate& day) const
{
    QStringList out;
    if (m_released.empty())
        return out;
    for (const LogFileName& log : logFilesIn(m_folder)) {
        if (log.day >= day || !keeping(log.fileName).empty())
            continue;
        const auto [from, to] = logSpan(m_catalog.get(), log);
        if (std::any_of(
                m_released.begin(), m_released.end(), [&](const Hold& h) { return h.fromUtc < to && from < h.toUtc; }))
            out.append(log.fileName);
    }
    return out;
}

qint64 ArchiveHolds::heldBytesBeyond(const QDate& today, int daysToKeep) const
{
    qint64 bytes = 0;
    if (m_holds.empty() || daysToKeep <= 0)
        return bytes;
    const QDir folder(m_folder);
    for (const LogFileName& log : logFilesIn(m_folder))
        if (log.day < today.addDays(-daysToKeep) && !keeping(log.fileName).empty())
            bytes += QFileInfo(folder.filePath(log.fileName)).size();
    return bytes;
}

DiskForecast forecastArchive(const DriveSpace& space, const QString& archiveFolder, const RecordFormat& format,
    int daysToKeep, const QDate& today)
{
    qint64 held = 0;
    try {
        held = ArchiveHolds(archiveFolder).heldBytesBeyond(today, daysToKeep);
    } catch (const Error&) {
    }
    return forecastDisk(space.freeBytes, space.archiveBytes - held, format, daysToKeep);
}

} // namespace wendmoor

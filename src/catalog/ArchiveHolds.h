#pragma once

#include "archive/DiskForecast.h"
#include "catalog/Catalog.h"
#include "catalog/LogFiles.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

namespace wendmoor {

// The clock time a log covers: from its first segment's start to its last one's end, or, for a
// log the catalog does not know (copied in by hand, older than the catalog), the whole day or half
// day its name gives.
[[nodiscard]] std::pair<UtcMs, UtcMs> logSpan(const Catalog* catalog, const LogFileName& log);

// The unreleased holds of an archive, as the purge and the disk forecast see them.
class ArchiveHolds {
public:
    // Reads the holds of the archive's catalog without writing anything; an archive without a
    // catalog has none. Throws Error when there is a catalog that cannot be read: then nobody
    // can say what is held.
    explicit ArchiveHolds(const QString& archiveFolder);
    ~ArchiveHolds();
    ArchiveHolds(const ArchiveHolds&) = delete;
    ArchiveHolds& operator=(const ArchiveHolds&) = delete;

    // The holds that keep the log `fileName` of the archive; none for a name that is not a log's.
    [[nodiscard]] std::vector<Hold> keeping(const QString& fileName) const;
    // The logs of days before `day` that a released hold covered and no other hold keeps: what
    // the purges skipped while they were held and may take now.
    [[nodiscard]] QStringList releasedBefore(const QDate& day) const;
    // The bytes of the held logs older than the `daysToKeep` days before `today`: room the purge
    // would otherwise give back.
    [[nodiscard]] qint64 heldBytesBeyond(const QDate& today, int daysToKeep) const;

private:
    QString m_folder;
    std::unique_ptr<Catalog> m_catalog;
    std::vector<Hold> m_holds; // unreleased
    std::vector<Hold> m_released;
};

// The disk forecast of the archive on `space`, as both the running disk watch and the preferences
// show it: held logs older than the days to keep stay, so the purge gives none of their room back.
// Holds that cannot be read count as none (the purge then keeps everything until they can).
[[nodiscard]] DiskForecast forecastArchive(const DriveSpace& space, const QString& archiveFolder,
    const RecordFormat& format, int daysToKeep, const QDate& today);

} // namespace wendmoor

#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace wendmoor {

class Catalog;

// The archive as the web pages see it, through its catalog: days, what each day holds and where
// a clock time is. Logs are named by their number within the day (0, 1, … in the order they were
// recorded), never by file name: requests name days and clock times, and only this class turns
// them into a file of the archive folder. Times are UTC milliseconds since 1970. Used from the
// server's threads at once; the catalog is only read, except by addHold.
class ArchiveView {
public:
    struct Segment {
        int log = 0;
        std::int64_t firstFrame = 0;
        std::int64_t frames = 0;
        std::int64_t startUtc = 0;
        std::int64_t endUtc = 0;
        int sampleRate = 0;
    };
    struct Gap {
        std::int64_t fromUtc = 0;
        std::int64_t toUtc = 0;
        QString reason;
        QString detail;
    };
    struct Hold {
        std::int64_t id = 0;
        std::int64_t fromUtc = 0;
        std::int64_t toUtc = 0;
        QString reason;
        QString user;
    };
    struct Day {
        QDate day;
        std::int64_t startUtc = 0;
        std::int64_t endUtc = 0;
        QStringList logs; // file names, for the server's own use
        std::vector<Segment> segments;
        std::vector<Gap> gaps;
        std::vector<Hold> holds;
        [[nodiscard]] std::int64_t recordedMs() const;
    };
    struct Place {
        int log = 0;
        std::int64_t frame = 0;
        int sampleRate = 0;
    };

    explicit ArchiveView(QString folder);
    ~ArchiveView();

    [[nodiscard]] const QString& folder() const { return m_folder; }
    // The days that have a log, oldest first.
    [[nodiscard]] QList<QDate> days() const;
    // What `day` holds up to `nowUtc`. Throws Error when the folder cannot be read.
    [[nodiscard]] Day day(const QDate& day, std::int64_t nowUtc) const;
    // The log and frame of `day` taken at clock time `utc`, nothing in a gap.
    [[nodiscard]] std::optional<Place> locate(const QDate& day, std::int64_t utc, std::int64_t nowUtc) const;
    // The path of log number `log` of `day`, empty when the day has no such log.
    [[nodiscard]] QString logPath(const QDate& day, int log, std::int64_t nowUtc) const;
    // Keeps the logs over [fromUtc, toUtc) from the purge; returns the hold's number. The catalog
    // is made when there is none yet.
    [[nodiscard]] std::int64_t addHold(
        std::int64_t fromUtc, std::int64_t toUtc, const QString& reason, const QString& user, std::int64_t nowUtc);

    // Runs `read` on the catalog as the pages read it, with it locked.
    void readCatalog(const std::function<void(const Catalog&)>& read) const;

private:
    // The catalog, with m_mutex held: opened on first use, a rebuilt one again after a while.
    const Catalog& catalogLocked() const;
    // The day with the catalog locked; opens it on first use.
    [[nodiscard]] Day dayLocked(const QDate& day, std::int64_t nowUtc) const;

    QString m_folder;
    mutable std::mutex m_mutex;
    mutable std::unique_ptr<Catalog> m_catalog;
    mutable std::chrono::steady_clock::time_point m_openedAt;
};

} // namespace wendmoor

#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace wendmoor {

// The archive as the web pages see it: days, what each day holds and where a clock time is.
// Logs are named by their number within the day (0, 1, … oldest first), never by file name:
// requests name days and clock times, and only this class turns them into a file of the
// archive folder. Times are UTC milliseconds since 1970. Used from the server's threads at once.
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

    [[nodiscard]] const QString& folder() const { return m_folder; }
    // The days that have a log, oldest first.
    [[nodiscard]] QList<QDate> days() const;
    // What `day` holds up to `nowUtc`. Throws Error when the folder cannot be read.
    [[nodiscard]] Day day(const QDate& day, std::int64_t nowUtc) const;
    // The log and frame of `day` taken at clock time `utc`, nothing in a gap.
    [[nodiscard]] std::optional<Place> locate(const QDate& day, std::int64_t utc, std::int64_t nowUtc) const;
    // The path of log number `log` of `day`, empty when the day has no such log.
    [[nodiscard]] QString logPath(const QDate& day, int log) const;

private:
    [[nodiscard]] QStringList logsOf(const QDate& day) const;

    QString m_folder;
};

// The day a log's name gives (L<MMDDYY>…), invalid for any other name.
[[nodiscard]] QDate dayOfLogName(const QString& name);

} // namespace wendmoor

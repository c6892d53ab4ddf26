#pragma once

#include <QDate>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace wendmoor {

class MessageSink;

// The archive's catalog: which stretch of clock time each log holds, sample by sample, and why
// any stretch is in no log. It is an SQLite database, `catalog.db` in the archive folder
// (<drive>/Wendmoor/logs), kept current by the recorder through CatalogWriter and read by the
// playback window, the command line and the web server, each in a process or thread of its own.
//
// Times are UTC instants in milliseconds since 1970 (`UtcMs`); each segment also keeps the UTC
// offset of its first sample, so that local clock times come back as the station saw them, also
// across a change to or from summer time. A "day" is a local day of the machine's time zone.
//
// A Catalog object is one connection, used by one thread at a time. Every function that reads or
// writes throws Error (a number and the database's path) when the database fails.
using UtcMs = std::int64_t;

// Why a stretch of time is in no log (or, for InputLost, is silence in one).
enum class GapReason {
    Unknown = 0, // the catalog was rebuilt from the logs, or nothing was told
    Standby = 1, // paused by VOX or by the contacts; the detail says which
    OperatorStop = 2, // Stop pressed, or recording switched off
    ProgramEnded = 3, // the program was not running after a clean end
    ProgramCrashed = 4, // the program was not running after an unexpected end
    InputLost = 5, // the sound input delivered nothing: written as silence, inside a log
    WriteFailure = 6, // disk full or a write that failed; the detail holds the message
    ClockStepped = 7, // the system clock was set while recording
};

// The word for a reason, as the report and the web pages print it ("standby", "operator stop",
// "program ended", "program crashed", "input lost", "write failure", "clock stepped", "unknown").
[[nodiscard]] QString gapReasonName(GapReason reason);

// A run of samples of one log that were taken one after the other: frames [firstFrame,
// firstFrame + frames) of the log, the first one taken at startUtc.
struct Segment {
    QString log; // the file name in the archive folder ("L120426.wav")
    std::int64_t firstFrame = 0;
    std::int64_t frames = 0;
    UtcMs startUtc = 0;
    UtcMs endUtc = 0; // the clock time just after the last frame, from the pairings
    int utcOffsetSeconds = 0; // of the first sample
    int sampleRate = 0;
};

// A stretch of time in no log, or (InputLost) silence in a log, with its reason.
struct Gap {
    UtcMs fromUtc = 0;
    UtcMs toUtc = 0;
    GapReason reason = GapReason::Unknown;
    QString detail; // e.g. "VOX", "contacts", the message of a failed write
};

// What a local day holds: its segments and gaps in time order, between the day's first and last
// instant (the end of a day not over yet is the `now` given to day()). Gaps cover all of the
// day's time that is in no segment: a stretch that nothing explains is Unknown. InputLost
// stretches are listed in `silences`, not in `gaps` (their time is in a log).
struct DayReport {
    QDate day;
    UtcMs dayStartUtc = 0;
    UtcMs dayEndUtc = 0; // 23, 24 or 25 hours after the start
    std::vector<Segment> segments; // clipped to the day
    std::vector<Gap> gaps; // clipped to the day
    std::vector<Gap> silences; // clipped to the day
    [[nodiscard]] std::int64_t recordedMs() const;
};

// Where a clock time is: a frame of a log, or a gap with its reason.
struct Location {
    std::optional<Segment> segment; // the segment that holds the time
    std::int64_t frame = 0; // the frame of segment->log taken at that time
    std::optional<Gap> gap; // set when no log holds the time
};

// A hold keeps the logs that overlap [fromUtc, toUtc) from the purge until it is released.
struct Hold {
    std::int64_t id = 0;
    UtcMs fromUtc = 0;
    UtcMs toUtc = 0;
    QString reason;
    QString user;
    UtcMs createdUtc = 0;
    std::optional<UtcMs> releasedUtc;
};

// The SHA-256 of a log as it was when it had `size` bytes and was last modified at `modifiedNs`
// (nanoseconds since 1970): the log's checksum only while both still match.
struct LogChecksum {
    QString log; // file name in the archive folder
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    QByteArray sha256; // 64 hex digits
    UtcMs takenUtc = 0; // when it was computed
};

// Computes the checksum of `log` in `folder` now, reading it in large blocks. Sets `settled` when
// the log is one that may be remembered: unchanged while it was read, and not written for some
// seconds before (a log still being written is not). Throws Error naming the file when it cannot
// be read, and ExportCancelled when `stop` is set meanwhile.
[[nodiscard]] LogChecksum takeChecksum(
    const QString& folder, const QString& log, bool& settled, const std::atomic<bool>* stop = nullptr);
// Whether `sum` is still the checksum of the log in `folder`: the same size and modification time.
[[nodiscard]] bool checksumHolds(const QString& folder, const LogChecksum& sum);

// What the catalog knows of a log when it is rebuilt (from the log's stamp and length) or when a
// log is opened by the recorder.
struct LogEntry {
    QString log; // file name in the archive folder
    QDate day; // the local day the name gives
    int sampleRate = 0;
    int channels = 1;
};

class Catalog {
public:
    enum class Mode {
        ReadWrite, // creates the database (and rebuilds it from the logs) when it is missing
        ReadOnly, // never writes the file; a missing or damaged one is rebuilt in memory
    };

    // The database's file name in an archive folder.
    static constexpr const char* kFileName = "catalog.db";

    // Opens the catalog of `archiveFolder`. A database that is missing, not a catalog or damaged
    // is rebuilt from the logs in the folder (a damaged file is kept beside as catalog.db.damaged)
    // and `messages`, when given, is told (a missing one is only news when reading). Throws Error
    // when the folder is missing or (ReadWrite) the database cannot be created, or was written by
    // a newer program (which ReadOnly rebuilds in memory instead).
    [[nodiscard]] static std::unique_ptr<Catalog> open(
        const QString& archiveFolder, Mode mode, MessageSink* messages = nullptr);
    ~Catalog();
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    [[nodiscard]] const QString& archiveFolder() const { return m_folder; }
    [[nodiscard]] QString databasePath() const;
    // True when open() had to rebuild it.
    [[nodiscard]] bool wasRebuilt() const { return m_rebuilt; }

    // Forgets every log, segment and gap and reads them again from the logs in the folder: one
    // segment per log from its stamp (or, without one, from the start of the day or half day its
    // name gives) and its length, every gap Unknown. Holds are kept.
    void rebuild();

    // ---- queries

    // The day's segments and gaps; `nowUtc` ends a day that is not over.
    [[nodiscard]] DayReport day(const QDate& localDay, UtcMs nowUtc) const;
    // Where the clock time `utc` is. The frame is interpolated between the pairings of frame and
    // clock around it, so that a card whose clock drifts still maps within a few ms.
    [[nodiscard]] Location locate(UtcMs utc) const;
    // The segments of every log that overlap [fromUtc, toUtc), in time order, not clipped.
    [[nodiscard]] std::vector<Segment> segmentsOverlapping(UtcMs fromUtc, UtcMs toUtc) const;
    // The gaps (and InputLost silences) that overlap [fromUtc, toUtc), as recorded, not clipped.
    [[nodiscard]] std::vector<Gap> gapsOverlapping(UtcMs fromUtc, UtcMs toUtc) const;
    // The clock time at which `frame` of `log` was taken, nothing when the catalog has no segment
    // of the log that holds it.
    [[nodiscard]] std::optional<UtcMs> timeOfFrame(const QString& log, std::int64_t frame) const;

    // ---- holds

    [[nodiscard]] std::int64_t addHold(
        UtcMs fromUtc, UtcMs toUtc, const QString& reason, const QString& user, UtcMs nowUtc);
    // False when there is no unreleased hold of that number.
    [[nodiscard]] bool releaseHold(std::int64_t id, UtcMs nowUtc);
    [[nodiscard]] std::vector<Hold> holds(bool includeReleased = false) const;

    // ---- checksums of finished logs, so that an export need not read a whole log again

    // The remembered checksum of `log`, whether or not it still holds (see checksumHolds()).
    [[nodiscard]] std::optional<LogChecksum> checksum(const QString& log) const;
    // Remembers `sum` in place of any earlier one of the same log.
    void rememberChecksum(const LogChecksum& sum);

    // ---- the recorder's writes (CatalogWriter calls these on its own thread)

    // The program started at `utc`: the time since the last thing the catalog knows is a gap,
    // ProgramEnded when the last run ended cleanly, ProgramCrashed when it did not. Sets the
    // "running" mark.
    void programStarted(UtcMs utc);
    // A clean end: the open segment is ended and the running mark cleared.
    void programEnded(UtcMs utc);
    // Frame `frame` of `log` was taken at `utc` (with the zone's offset then): begins a segment
    // there and closes the open gap, if any.
    void segmentBegun(const LogEntry& log, std::int64_t frame, UtcMs utc, int utcOffsetSeconds);
    // A pairing: frame `frame` of the open segment's log was taken at `utc`. A clock that jumped
    // by more than a second against the frames splits the segment with a ClockStepped gap.
    void position(std::int64_t frame, UtcMs utc, int utcOffsetSeconds);
    // The open segment ends after `frame` frames of its log (at `utc`); the time from then to the
    // next segment is a gap with `reason` (Unknown: none, as at a roll-over).
    void segmentEnded(std::int64_t frame, UtcMs utc, GapReason reason, const QString& detail = {});
    // Silence written into the log for [fromUtc, toUtc) because the input delivered nothing.
    void inputLost(UtcMs fromUtc, UtcMs toUtc, const QString& detail = {});

private:
    Catalog(QString folder, sqlite3* db);
    struct Open;

    QString m_folder;
    sqlite3* m_db = nullptr;
    bool m_rebuilt = false;
};

} // namespace wendmoor

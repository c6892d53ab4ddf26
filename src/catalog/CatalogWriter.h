#pragma once

#include "catalog/Catalog.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace wendmoor {

class MessageSink;

// The recorder's side of the catalog: every call only queues what happened and returns at once,
// from any thread (the recording thread included); a thread of the writer's own opens the catalog
// and writes it. A catalog that cannot be opened or written costs the recording nothing: the
// failure is shown once in the message window (with its number and the database's path), what
// was queued meanwhile is dropped, and the next write tries again; after a success a new failure
// is shown again. The messages reach `messages` on the thread that made the writer.
class CatalogWriter final : public QObject {
    Q_OBJECT
public:
    // Opens nothing yet: the first write opens (or creates, or rebuilds) the catalog of the folder.
    CatalogWriter(MessageSink& messages, QObject* parent = nullptr);
    // Writes what is queued, then closes the catalog.
    ~CatalogWriter() override;
    CatalogWriter(const CatalogWriter&) = delete;
    CatalogWriter& operator=(const CatalogWriter&) = delete;

    // The archive folder the next writes go to (a recording on another drive letter); the open
    // catalog of another folder is closed first. An empty folder drops the writes.
    void setArchiveFolder(const QString& folder);

    // The same as the Catalog functions of the same names, queued. A log that another log
    // followed (a new day) is finished: some seconds later its checksum is taken on the writer's
    // thread and remembered, so that an export need not read the whole log for its manifest.
    void programStarted(UtcMs utc);
    void programEnded(UtcMs utc);
    void segmentBegun(const LogEntry& log, std::int64_t frame, UtcMs utc, int utcOffsetSeconds);
    void position(std::int64_t frame, UtcMs utc, int utcOffsetSeconds);
    void segmentEnded(std::int64_t frame, UtcMs utc, GapReason reason, const QString& detail = {});
    void inputLost(UtcMs fromUtc, UtcMs toUtc, const QString& detail = {});

    // After what is queued: the one-line summary of a local day (DayText.h) handed to `done` on
    // the thread that made the writer; nothing when the catalog cannot be read.
    void daySummary(const QDate& day, UtcMs nowUtc, std::function<void(const QString&)> done);

    // How long a finished log is left alone before its checksum is taken (10 s; tests shorten it).
    void setChecksumDelay(std::chrono::milliseconds delay);

    // Waits until everything queued before is written (or failed). Tests, and the end of a run.
    void flush();

private:
    using Write = std::function<void(Catalog&)>;
    void enqueue(Write write);
    void run();
    void report(const QString& text);
    // The writer's thread: the checksums of the logs finished a while ago, remembered.
    void checksumFinishedLogs(Catalog& catalog);

    MessageSink& m_messages;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_queue; // guarded by m_mutex
    bool m_busy = false; // guarded by m_mutex
    bool m_stopping = false; // guarded by m_mutex
    // The writer's thread only.
    QString m_folder;
    std::unique_ptr<Catalog> m_catalog;
    bool m_failing = false;
    QString m_lastLog; // the log of the last segment begun
    std::chrono::milliseconds m_checksumAfter { 10'000 };
    struct Finished {
        QString log;
        std::chrono::steady_clock::time_point since;
        int tries = 0;
    };
    std::vector<Finished> m_finished; // logs another log followed, not yet checksummed
    std::thread m_thread; // last: it starts when everything else is made
};

} // namespace wendmoor

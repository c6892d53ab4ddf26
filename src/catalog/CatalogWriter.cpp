#include "catalog/CatalogWriter.h"

#include "catalog/DayText.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"

#include <QFileInfo>

namespace wendmoor {

namespace {
constexpr std::size_t kMaxQueued = 100'000;
constexpr int kChecksumTries = 30;
} // namespace

CatalogWriter::CatalogWriter(MessageSink& messages, QObject* parent)
    : QObject(parent)
    , m_messages(messages)
    , m_thread([this] { run(); })
{
}

CatalogWriter::~CatalogWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CatalogWriter::setArchiveFolder(const QString& folder)
{
    const std::lock_guard lock(m_mutex);
    m_queue.emplace_back([this, folder] {
        if (folder != m_folder) {
            m_catalog.reset();
            m_folder = folder;
            m_lastLog.clear();
            m_finished.clear();
        }
    });
    m_wake.notify_one();
}

void CatalogWriter::enqueue(Write write)
{
    const std::lock_guard lock(m_mutex);
    // A catalog held by another process for long must not fill the memory: days of pairings
    // fit, beyond that the oldest writes are what it loses.
    if (m_queue.size() >= kMaxQueued)
        m_queue.pop_front();
    m_queue.emplace_back([this, write = std::move(write)] {
        // A drive that is away is reported by the recorder itself.
        if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir())
            return;
        try {
            if (!m_catalog)
                m_catalog = Catalog::open(m_folder, Catalog::Mode::ReadWrite, nullptr);
            write(*m_catalog);
            m_failing = false;
        } catch (const Error& error) {
            // Closed, so that the next write opens it again: a disk that was away may be back.
            m_catalog.reset();
            if (!m_failing)
                report(error.text());
            m_failing = true;
        }
    });
    m_wake.notify_one();
}

void CatalogWriter::report(const QString& text)
{
    // The message window belongs to the thread that made the writer.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            m_messages.ShowMessage(
                text + QStringLiteral(". The recording goes on; the catalog is written again once it can be."));
        },
        Qt::QueuedConnection);
}

void CatalogWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            m_catalog.reset();
            return;
        }
        std::function<void()> next = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        next();
        lock.lock();
        m_busy = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
}

void CatalogWriter::daySummary(const QDate& day, UtcMs nowUtc, std::function<void(const QString&)> done)
{
    enqueue([this, day, nowUtc, done = std::move(done)](Catalog& c) {
        const QString text = dayReportSummary(c.day(day, nowUtc));
        QMetaObject::invokeMethod(
            this, [done, text] { done(text); }, Qt::QueuedConnection);
    });
}

void CatalogWriter::setChecksumDelay(std::chrono::milliseconds delay)
{
    const std::lock_guard lock(m_mutex);
    m_queue.emplace_back([this, delay] { m_checksumAfter = delay; });
    m_wake.notify_one();
}

void CatalogWriter::flush()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void CatalogWriter::programStarted(UtcMs utc)
{
    enqueue([utc](Catalog& c) { c.programStarted(utc); });
}

void CatalogWriter::programEnded(UtcMs utc)
{
    enqueue([utc](Catalog& c) { c.programEnded(utc); });
}

void CatalogWriter::segmentBegun(const LogEntry& log, std::int64_t frame, UtcMs utc, int utcOffsetSeconds)
{
    enqueue([=, this](Catalog& c) {
        c.segmentBegun(log, frame, utc, utcOffsetSeconds);
        if (!m_lastLog.isEmpty() && m_lastLog != log.log)
            m_finished.push_back({ m_lastLog, std::chrono::steady_clock::now() });
        m_lastLog = log.log;
    });
}

void CatalogWriter::position(std::int64_t frame, UtcMs utc, int utcOffsetSeconds)
{
    enqueue([=, this](Catalog& c) {
        c.position(frame, utc, utcOffsetSeconds);
        checksumFinishedLogs(c);
    });
}

void CatalogWriter::checksumFinishedLogs(Catalog& catalog)
{
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(m_finished, [&](Finished& f) {
        if (now - f.since < m_checksumAfter)
            return false;
        try {
            bool settled = false;
            const LogChecksum sum = takeChecksum(catalog.archiveFolder(), f.log, settled);
            if (settled) {
                catalog.rememberChecksum(sum);
                return true;
            }
        } catch (const Error&) {
            return true; // gone (purged, moved): an export reads what is there
        }
        // Written again since (its header): later.
        f.since = now;
        return ++f.tries >= kChecksumTries;
    });
}

void CatalogWriter::segmentEnded(std::int64_t frame, UtcMs utc, GapReason reason, const QString& detail)
{
    enqueue([=](Catalog& c) { c.segmentEnded(frame, utc, reason, detail); });
}

void CatalogWriter::inputLost(UtcMs fromUtc, UtcMs toUtc, const QString& detail)
{
    enqueue([=](Catalog& c) { c.inputLost(fromUtc, toUtc, detail); });
}

} // namespace wendmoor

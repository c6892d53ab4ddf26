#pragma once

#include "catalog/CatalogWriter.h"
#include "recorder/Recorder.h"
#include "recorder/RecordingChain.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace wendmoor {

// Tells the archive's catalog what the recorder does: where each log's audio begins and ends (and
// why), a pairing of the log's position and the clock once a minute while it records, the
// silence written for a lost input, and the program's start and end. It only listens to the
// recorder's signals and queues writes on the CatalogWriter, so the catalog never delays audio.
class TimeIndex final : public QObject {
    Q_OBJECT
public:
    TimeIndex(Recorder& recorder, CatalogWriter& writer, Settings& settings, QObject* parent = nullptr);

    // The program has started at `now`. The catalog hears it with the first log's audio, when the
    // settings have named the archive (the time till then is no log's for an unknown reason).
    void programStarted(const QDateTime& now) { m_startedAt = now; }
    // The program ends cleanly; call after the recorder's shutdown. Waits until the catalog is
    // written.
    void programEnded(const QDateTime& now);
    // Where the day's one-line summary goes, half a minute after each midnight, for the day before.
    void setSummarySink(std::function<void(const QString&)> sink) { m_summarySink = std::move(sink); }

    // The steady clock the chain's stamps are on (std::chrono::steady_clock, nanoseconds); tests
    // move one by hand.
    void setSteadyClock(std::function<std::int64_t()> clock) { m_steadyClock = std::move(clock); }

    // How often a pairing is written while recording.
    static constexpr std::int64_t kPairingMs = 60'000;

private:
    void onStarted(const QString& path, const QDateTime& at);
    void onStopped(const QString& path, StopReason reason, const QDateTime& at);
    // Runs `step` once the chain has carried out what the recorder asked of it till now.
    void afterChain(std::function<void()> step);
    // The recorder's signals, carried out in turn behind the chain; `at` on the recorder's clock
    // is `steadyNs` on the steady clock.
    void started(const QString& path, const QDateTime& at, std::int64_t steadyNs);
    void stopped(StopReason reason, const QDateTime& at, std::int64_t steadyNs);
    void onStatus(RecorderStatus status);
    void onTick(const QDateTime& now);
    // Just after the newest frame in the log.
    [[nodiscard]] std::int64_t frame() const;
    // The recorder's clock time of a stamp of the chain, `now` being the recorder's clock at
    // `steadyNs` on the steady clock.
    [[nodiscard]] static UtcMs clockOf(
        const RecordingChain::FrameTime& stamp, const QDateTime& now, std::int64_t steadyNs);
    [[nodiscard]] std::int64_t steadyNowNs() const { return m_steadyClock(); }
    // Where the last log ended when the program's end stopped it.
    std::optional<UtcMs> m_programEndSample;
    std::uint64_t m_segment = 0; // the chain's count of the open segment
    std::function<std::int64_t()> m_steadyClock;

    Recorder& m_recorder;
    CatalogWriter& m_writer;
    Settings& m_settings;
    QString m_folder;
    int m_rate = 0; // of the log audio goes into
    bool m_open = false; // a segment is open
    QDateTime m_lastPairing;
    QDateTime m_inputLostAt; // while the input delivers nothing
    QDateTime m_startedAt; // until the catalog has heard of the start
    std::function<void(const QString&)> m_summarySink;
    QDate m_summarisedThrough; // the day before the one the last tick was in
};

} // namespace wendmoor

#pragma once

#include "media/ByteSink.h"
#include "media/Connector.h"
#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace wendmoor {

class AudioSystem;
struct RecordFormat;

// The recording chain: WaveIn -> MMConnectorX1 -> ACMConverter -> WaveFile, owned here and run
// on a thread of its own, so that nothing the windows do (a long document, a slow display, a
// modal question) can cost a sample.
//
// The object itself belongs to the user-interface thread. Its commands are queued for the
// recording thread and return at once, so that no window waits behind a device that opens slowly
// or a disk that takes its time to sync; they run in the order given. What a command caused
// (started, stopped, a failed start, messages) and what happens on the recording thread by itself
// (buffers drained, a write failing, a device lost) reach this thread as queued notifications,
// delivered in the order they happened and never before the command that caused them has ended.
class RecordingChain final : public QObject {
    Q_OBJECT
public:
    RecordingChain(AudioSystem& audio, MessageSink& messages, QObject* parent = nullptr);
    // Ends the recording (the file finished) and the thread.
    ~RecordingChain() override;
    RecordingChain(const RecordingChain&) = delete;
    RecordingChain& operator=(const RecordingChain&) = delete;

    // The format, the input device and the file of the next start(). The input runs at the
    // format's own rate.
    void configure(const RecordFormat& format, int device, const QString& path);
    // Opens the input (or takes back the one kept by stop(true)), creates the file and records:
    // started() follows, or startFailed() with the error naming the device or the file.
    // `firstSample`, the clock time of the first sample, is stamped into the new log.
    void start(const QDateTime& firstSample = {});
    // Switches the writer off and ends the file; what the converter holds back waits for the
    // next file. With keepDevice the input keeps capturing until the next start() or
    // releaseDevice(), so that a roll-over loses nothing.
    void stop(bool keepDevice = false);
    void releaseDevice();
    // Whatever the device captured goes into the file, then the chain stops for good. Waits.
    void shutdown();

    // The writer on or off: off drops the audio and keeps the file open.
    void setEnabled(bool enabled);
    // Standby: the writer off until resume(), or until the input level passes the threshold.
    void pause();
    void resume();
    // The level above which a buffer is activity and resumes a paused writer (the buffer itself
    // is written). A negative threshold makes every buffer activity; kNoVox: no buffer is.
    static constexpr int kNoVox = std::numeric_limits<int>::min();
    void setVoxThreshold(int threshold) { m_voxThreshold.store(threshold, std::memory_order_relaxed); }
    // Brings the file's header up to date and pushes it to the disk, without waiting.
    void refreshHeader();
    // Drains the input now and waits until every command given before has run and what they
    // caused has been delivered (tests).
    void pump();
    // Runs `f` on the recording thread with the stages and waits (tests: failing sinks, short
    // intervals).
    void withStages(const std::function<void(WaveInput&, WaveFileWriter&)>& f);
    // Waits until every command given before has run and what they caused has been delivered
    // (tests, and whoever must read a log the chain has just finished).
    void settle();
    // Calls `then` on this thread once every command given before has run, in order with the
    // notifications; not at all once `context` is gone.
    void whenDone(const QObject* context, std::function<void()> then);

    // Read from any thread.
    [[nodiscard]] bool isInputRecording() const { return m_inputRecording.load(std::memory_order_acquire); }
    [[nodiscard]] std::int32_t positionMs() const { return m_positionMs.load(std::memory_order_acquire); }
    // A write into the current file failed (reported by the writer); the file keeps what came before.
    [[nodiscard]] bool writerFailed() const { return m_writerFailed.load(std::memory_order_acquire); }
    // Audio has reached the current file: it grew past what its start wrote, or a second of audio
    // went in without a failure (a FLAC or Ogg encoder holds its first frames back, so a started
    // file may still find no room).
    [[nodiscard]] bool audioInFile() const { return m_audioInFile.load(std::memory_order_acquire); }
    // Counts up every drain interval while the recording thread runs its event loop: it stands
    // still while that thread hangs (a write stuck in a disk that does not answer).
    [[nodiscard]] std::uint64_t heartbeat() const { return m_heartbeat.load(std::memory_order_acquire); }
    [[nodiscard]] QThread* thread() const { return m_thread.get(); }

    // A frame of the current log and when it was taken, on the steady clock
    // (std::chrono::steady_clock, nanoseconds); no time when the input cannot tell (take "now").
    // Stamped on the recording thread as the audio passes, so that the catalog learns a log's
    // timing to the sample however late the window's clock reads it.
    struct FrameTime {
        std::int64_t frame = 0;
        std::optional<std::int64_t> takenNs;
        std::uint64_t segment = 0; // counts the times the writer began taking audio
    };
    // Where the writer last began taking audio (a start, a resume, the buffer that ended a pause).
    [[nodiscard]] FrameTime segmentStart() const;
    // Just after the newest frame in the log: stamped at every drain while writing and when the
    // writer goes off.
    [[nodiscard]] FrameTime written() const;
    // Just after the last frame the writer took in `segment` (of segmentStart()), once it has gone
    // off (a stop, a pause, a write that failed); written() while it has not.
    [[nodiscard]] FrameTime endOf(std::uint64_t segment) const;

    // The stages, for the main window's names. Only the recording thread may touch them.
    [[nodiscard]] WaveInput& input();
    [[nodiscard]] Connector& connector();
    [[nodiscard]] FormatConverter& converter();
    [[nodiscard]] WaveFileWriter& writer();

signals:
    void started();
    // The writer ended the log `path`, `bytes` long.
    void stopped(const QString& path, qint64 bytes);
    // A start() found no device or could not make its log; the input's device stays open,
    // stopped, for the next start.
    void startFailed(const wendmoor::Error& error);
    // The loudest sample (0 to 32768) of the buffers drained since the last level.
    void level(int peak);
    // A buffer above the VOX threshold; `resumed`: it ended a pause and was written.
    void voxActivity(bool resumed);
    // The input device stopped delivering audio, and delivers again.
    void inputLost();
    void inputBack();

protected:
    // Delivers what the recording thread posted.
    void customEvent(QEvent* event) override;

private:
    struct Stages;
    class ThreadMessages;
    class Context;

    // Queues `command` for the recording thread. What it throws is reported as a message.
    void send(std::function<void()> command);
    // Runs `command` on the recording thread after those queued before and waits; rethrows what
    // it threw, then delivers what it caused.
    void run(const std::function<void()>& command);
    void runAndWait(const std::function<void()>& command);
    // Recording thread: runs the queued commands.
    void runCommands();
    void updateReadings();
    // Recording thread: queues a notification for the user-interface thread.
    void post(std::function<void()> notification);
    void queueDelivery();
    void deliverPending();
    void onBuffer(std::span<const std::int16_t> samples);
    void onPumped();
    void checkAudioInFile();
    // Recording thread: the writer begins or stops taking audio at the next frame handed on.
    void stampStart(std::optional<std::int64_t> takenNs);
    void stampWritten();
    void stampEnded();
    void setWriterEnabled(bool enabled);

    MessageSink& m_messages;
    std::unique_ptr<ThreadMessages> m_threadMessages;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<Context> m_context; // lives on the recording thread
    std::unique_ptr<Stages> m_stages; // made, used and destroyed on the recording thread

    std::atomic<int> m_voxThreshold { kNoVox };
    std::atomic<bool> m_inputRecording { false };
    std::atomic<std::int32_t> m_positionMs { 0 };
    std::atomic<bool> m_writerFailed { false };
    std::atomic<std::uint64_t> m_heartbeat { 0 };
    std::atomic<bool> m_audioInFile { false };
    std::atomic<bool> m_threadEnded { false }; // the recording thread's last step

    // Recording thread only.
    QString m_path;
    qint64 m_startSize = -1;
    bool m_standby = false;
    int m_peak = -1;
    bool m_activity = false;

    bool m_inCommand = false; // a command is running; what it posts waits for its end

    // The commands and notifications cross between the threads under this lock (not only through
    // Qt's queue), so that the hand-over is plain to a thread checker too.
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_commands; // guarded by m_mutex
    bool m_commandsQueued = false; // guarded by m_mutex
    std::vector<std::function<void()>> m_posted; // guarded by m_mutex
    bool m_deliveryQueued = false; // guarded by m_mutex
    std::deque<std::function<void()>> m_delivering; // user-interface thread
    FrameTime m_segmentStart; // guarded by m_mutex
    FrameTime m_written; // guarded by m_mutex
    std::optional<FrameTime> m_ended; // of the last segment that ended; guarded by m_mutex
};

} // namespace wendmoor

#include "recorder/RecordingChain.h"

#include "config/RecordFormats.h"
#include "media/WaveFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <utility>

namespace wendmoor {

namespace {
// How often the recording thread drains the capture ring and shows it is alive: its one timer.
// The ring holds seconds of audio; this sets how often the program wakes up, not what it may
// lose. A stop leaves what the ring holds for the next stream, so at most this much of what was
// captured before a Stop goes into no file.
constexpr int kDrainIntervalMs = 100;
} // namespace

// Messages of the recording thread's stages reach the message window through the queue, in
// order with the other notifications.
class RecordingChain::ThreadMessages final : public MessageSink {
public:
    explicit ThreadMessages(RecordingChain& chain)
        : m_chain(chain)
    {
    }
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override
    {
        m_chain.post([sink = &m_chain.m_messages, text] { sink->ShowMessage(text); });
    }

private:
    RecordingChain& m_chain;
};

// Lives on the recording thread and runs the queued commands when woken. The wake-up is an event
// that carries nothing: the commands themselves cross under the chain's lock.
class RecordingChain::Context final : public QObject {
public:
    explicit Context(RecordingChain& chain)
        : m_chain(chain)
    {
    }

protected:
    void customEvent(QEvent* /*wakeUp*/) override { m_chain.runCommands(); }

private:
    RecordingChain& m_chain;
};

// Declared in the order the audio flows. The input, destroyed last, never reaches the stages
// after it from its destructor.
struct RecordingChain::Stages {
    Stages(AudioSystem& audio, MessageSink& messages)
        : WaveIn(audio, messages)
        , WaveFile(messages)
    {
        WaveIn.setObjectName(QStringLiteral("WaveIn"));
        WaveFile.setObjectName(QStringLiteral("WaveFile"));
        WaveIn.setDrainInterval(0); // pumped by the chain's beat
        WaveIn.setOutput(&MMConnectorX1);
        MMConnectorX1.setOutput(&ACMConverter);
        ACMConverter.setOutput(&WaveFile);
    }

    WaveInput WaveIn;
    Connector MMConnectorX1;
    FormatConverter ACMConverter;
    WaveFileWriter WaveFile;
};

RecordingChain::RecordingChain(AudioSystem& audio, MessageSink& messages, QObject* parent)
    : QObject(parent)
    , m_messages(messages)
    , m_threadMessages(std::make_unique<ThreadMessages>(*this))
    , m_thread(std::make_unique<QThread>())
    , m_context(std::make_unique<Context>(*this))
{
    m_thread->setObjectName(QStringLiteral("recording"));
    m_context->moveToThread(m_thread.get());
    connect(
        m_thread.get(), &QThread::finished, m_thread.get(),
        [this] { m_threadEnded.store(true, std::memory_order_release); }, Qt::DirectConnection);
    m_thread->start(QThread::HighPriority);
    run([this, &audio] {
        m_stages = std::make_unique<Stages>(audio, *m_threadMessages);
        Stages& s = *m_stages;
        s.MMConnectorX1.addTap([this](std::span<const std::int16_t> samples) { onBuffer(samples); });
        connect(&s.WaveIn, &WaveInput::pumped, m_context.get(), [this] { onPumped(); });
        // One timer wakes the thread for both: a heartbeat that stops when the thread hangs (in a
        // drain too), and the drain itself (nothing while the input is not recording).
        auto* beat = new QTimer(m_context.get());
        connect(beat, &QTimer::timeout, m_context.get(), [this] {
            m_heartbeat.fetch_add(1, std::memory_order_acq_rel);
            m_stages->WaveIn.pump();
        });
        beat->start(kDrainIntervalMs);
        connect(&s.WaveFile, &WaveFileWriter::started, m_context.get(), [this] { post([this] { emit started(); }); });
        connect(&s.WaveFile, &WaveFileWriter::stopped, m_context.get(), [this] {
            // Measured here: the window's thread does not wait on the disk.
            post([this, path = m_path, bytes = QFileInfo(m_path).size()] { emit stopped(path, bytes); });
        });
        connect(&s.WaveIn, &WaveInput::deviceLost, m_context.get(), [this] { post([this] { emit inputLost(); }); });
        connect(&s.WaveIn, &WaveInput::deviceBack, m_context.get(), [this] { post([this] { emit inputBack(); }); });
    });
}

RecordingChain::~RecordingChain()
{
    try {
        shutdown();
    } catch (...) {
        // The file has been closed by its writer either way.
    }
    // What the last commands posted is dropped with this object; the beat (it drains the stages)
    // and the stages go on their thread. The context goes back to this object's thread to be
    // destroyed there: a timer cannot be stopped from another thread.
    runAndWait([this] {
        qDeleteAll(m_context->children());
        m_stages.reset();
        m_context->moveToThread(thread());
    });
    m_thread->quit();
    m_thread->wait();
    // The thread's end reaches this one through Qt's own wait, which a thread checker does not
    // see; the flag its last step set says the same plainly.
    (void)m_threadEnded.load(std::memory_order_acquire);
}

void RecordingChain::send(std::function<void()> command)
{
    bool queue = false;
    {
        const std::lock_guard lock(m_mutex);
        m_commands.push_back(std::move(command));
        queue = !std::exchange(m_commandsQueued, true);
    }
    if (queue)
        QCoreApplication::postEvent(m_context.get(), new QEvent(QEvent::User));
}

void RecordingChain::runCommands()
{
    for (;;) {
        std::function<void()> command;
        {
            const std::lock_guard lock(m_mutex);
            if (m_commands.empty()) {
                m_commandsQueued = false;
                return;
            }
            command = std::move(m_commands.front());
            m_commands.pop_front();
        }
        m_inCommand = true;
        try {
            command();
        } catch (const Error& e) {
            m_threadMessages->ShowMessage(e);
        } catch (const std::exception& e) {
            m_threadMessages->ShowMessage(Error(ErrorNumber::Unexpected,
                QStringLiteral("The recording of %1 met an unexpected failure: %2")
                    .arg(QDir::toNativeSeparators(m_path), QString::fromLocal8Bit(e.what()))));
        }
        m_inCommand = false;
        updateReadings();
        queueDelivery();
    }
}

void RecordingChain::updateReadings()
{
    if (!m_stages)
        return;
    m_inputRecording.store(m_stages->WaveIn.state() == WaveInput::Recording, std::memory_order_release);
    m_positionMs.store(m_stages->WaveFile.positionMs(), std::memory_order_release);
    m_writerFailed.store(m_stages->WaveFile.isOpen() && m_stages->WaveFile.hasFailed(), std::memory_order_release);
    checkAudioInFile();
}

void RecordingChain::runAndWait(const std::function<void()>& command)
{
    // Shared, so that the recording thread may still be telling while the waiter has gone on.
    struct Done {
        std::mutex mutex;
        std::condition_variable signal;
        bool done = false;
    };
    const auto done = std::make_shared<Done>();
    send([&command, this, done] {
        // Told even when the command throws: the waiting thread must not wait for ever.
        const auto tell = qScopeGuard([&done] {
            const std::lock_guard lock(done->mutex);
            done->done = true;
            done->signal.notify_one();
        });
        command();
        updateReadings();
    });
    std::unique_lock lock(done->mutex);
    done->signal.wait(lock, [&done] { return done->done; });
}

void RecordingChain::run(const std::function<void()>& command)
{
    std::exception_ptr failure;
    runAndWait([&] {
        try {
            command();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    deliverPending();
    if (failure)
        std::rethrow_exception(failure);
}

void RecordingChain::whenDone(const QObject* context, std::function<void()> then)
{
    send([this, guard = QPointer<const QObject>(context), then = std::move(then)] {
        post([guard, then] {
            if (guard)
                then();
        });
    });
}

void RecordingChain::post(std::function<void()> notification)
{
    {
        const std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(notification));
    }
    // What a command causes is delivered once it has ended (its stamps and readings complete).
    if (!m_inCommand)
        queueDelivery();
}

void RecordingChain::queueDelivery()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_posted.empty() || std::exchange(m_deliveryQueued, true))
            return;
    }
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

void RecordingChain::customEvent(QEvent* /*wakeUp*/)
{
    deliverPending();
}

void RecordingChain::deliverPending()
{
    {
        const std::lock_guard lock(m_mutex);
        std::move(m_posted.begin(), m_posted.end(), std::back_inserter(m_delivering));
        m_posted.clear();
        m_deliveryQueued = false;
    }
    // A notification's handler may give a command, which delivers too: the queue is shared, so
    // the order stays the order things happened in.
    while (!m_delivering.empty()) {
        const std::function<void()> next = std::move(m_delivering.front());
        m_delivering.pop_front();
        next();
    }
}

void RecordingChain::onBuffer(std::span<const std::int16_t> samples)
{
    // The input is mono; a loud negative half-wave is as much sound as a positive one.
    const int peak = std::abs(WaveHelper::peaks(samples).first);
    m_peak = std::max(m_peak, peak);
    const int threshold = m_voxThreshold.load(std::memory_order_relaxed);
    if (threshold == kNoVox || peak <= threshold)
        return;
    if (m_standby) {
        // Decided here, before the buffer reaches the writer, so that the buffer that resumed the
        // recording is in the file.
        m_standby = false;
        // This buffer is being handed on: the input's next sample is the one after its last.
        std::optional<std::int64_t> takenNs = m_stages->WaveIn.nextFrameTakenNs();
        if (takenNs && m_stages->WaveIn.sampleRate() > 0)
            *takenNs -= static_cast<std::int64_t>(samples.size()) * 1'000'000'000 / m_stages->WaveIn.sampleRate();
        stampStart(takenNs);
        m_stages->WaveFile.setEnabled(true);
        post([this] { emit voxActivity(true); });
    } else {
        m_activity = true;
    }
}

void RecordingChain::stampStart(std::optional<std::int64_t> takenNs)
{
    const std::int64_t frames = m_stages->WaveFile.framesWritten();
    const std::lock_guard lock(m_mutex);
    // A segment that ended without the writer going off (its file failed) ends where it was last
    // stamped.
    if (!m_ended || m_ended->segment != m_written.segment)
        m_ended = m_written;
    m_segmentStart = { frames, takenNs, m_written.segment + 1 };
    m_written = m_segmentStart;
}

void RecordingChain::setWriterEnabled(bool enabled)
{
    WaveFileWriter& w = m_stages->WaveFile;
    if (enabled && !w.isEnabled())
        stampStart(m_stages->WaveIn.nextFrameTakenNs());
    else if (!enabled && w.isEnabled())
        stampEnded();
    w.setEnabled(enabled);
}

void RecordingChain::stampWritten()
{
    const WaveFileWriter& w = m_stages->WaveFile;
    if (!w.isOpen() || !w.isEnabled() || w.hasFailed())
        return;
    const std::int64_t frames = w.framesWritten();
    const std::optional<std::int64_t> takenNs = m_stages->WaveIn.nextFrameTakenNs();
    const std::lock_guard lock(m_mutex);
    m_written = { frames, takenNs, m_written.segment };
}

RecordingChain::FrameTime RecordingChain::segmentStart() const
{
    const std::lock_guard lock(m_mutex);
    return m_segmentStart;
}

RecordingChain::FrameTime RecordingChain::written() const
{
    const std::lock_guard lock(m_mutex);
    return m_written;
}

RecordingChain::FrameTime RecordingChain::endOf(std::uint64_t segment) const
{
    const std::lock_guard lock(m_mutex);
    if (m_ended && m_ended->segment == segment)
        return *m_ended;
    return m_written;
}

void RecordingChain::stampEnded()
{
    stampWritten();
    const std::lock_guard lock(m_mutex);
    m_ended = m_written;
}

void RecordingChain::onPumped()
{
    stampWritten();
    m_positionMs.store(m_stages->WaveFile.positionMs(), std::memory_order_release);
    m_writerFailed.store(m_stages->WaveFile.isOpen() && m_stages->WaveFile.hasFailed(), std::memory_order_release);
    checkAudioInFile();
    if (m_peak < 0)
        return;
    const int peak = std::exchange(m_peak, -1);
    const bool activity = std::exchange(m_activity, false);
    post([this, peak, activity] {
        emit level(peak);
        if (activity)
            emit voxActivity(false);
    });
}

void RecordingChain::checkAudioInFile()
{
    const WaveFileWriter& w = m_stages->WaveFile;
    if (!w.isOpen() || w.hasFailed()) {
        m_audioInFile.store(false, std::memory_order_release);
        return;
    }
    if (m_audioInFile.load(std::memory_order_relaxed))
        return;
    const qint64 size = QFileInfo(m_path).size();
    if (m_startSize < 0)
        m_startSize = size;
    // A second accepted without a failure: a FLAC frame and an Ogg page have met the disk by then.
    m_audioInFile.store(size > m_startSize || w.positionMs() >= 1000, std::memory_order_release);
}

void RecordingChain::configure(const RecordFormat& format, int device, const QString& path)
{
    send([this, waveFormat = format.waveFormat(), rate = format.inputRate(), device, path] {
        m_stages->ACMConverter.setOutputFormat(waveFormat);
        m_stages->WaveIn.setSampleRate(rate);
        m_stages->WaveIn.setDeviceID(device);
        m_stages->WaveFile.setFileName(path);
        m_path = path;
    });
}

void RecordingChain::start(const QDateTime& firstSample)
{
    send([this, firstSample] {
        Stages& s = *m_stages;
        m_startSize = -1;
        m_audioInFile.store(false, std::memory_order_release);
        m_writerFailed.store(false, std::memory_order_release);
        try {
            s.WaveIn.open();
            s.WaveFile.setHeaderRefreshInterval(1000);
            s.WaveFile.setStartTime(firstSample);
            s.WaveIn.start();
        } catch (const Error& e) {
            post([this, e] { emit startFailed(e); });
            return;
        } catch (const std::exception& e) {
            const Error failure(ErrorNumber::Unexpected,
                QStringLiteral("Recording into %1 could not start: %2")
                    .arg(QDir::toNativeSeparators(m_path), QString::fromLocal8Bit(e.what())));
            post([this, failure] { emit startFailed(failure); });
            return;
        }
        m_standby = false;
        stampStart(s.WaveIn.nextFrameTakenNs());
        s.WaveFile.setEnabled(true);
    });
}

void RecordingChain::stop(bool keepDevice)
{
    // One command: a drain between switching the writer off and stopping would drop audio
    // that belongs to the next file.
    send([this, keepDevice] {
        m_standby = false;
        setWriterEnabled(false);
        m_stages->WaveIn.stop(keepDevice);
    });
}

void RecordingChain::releaseDevice()
{
    send([this] { m_stages->WaveIn.releaseDevice(); });
}

void RecordingChain::shutdown()
{
    run([this] {
        WaveInput& in = m_stages->WaveIn;
        if (in.state() == WaveInput::Recording)
            in.pump();
        in.stop();
        in.releaseDevice();
    });
}

void RecordingChain::setEnabled(bool enabled)
{
    send([this, enabled] {
        m_standby = false;
        setWriterEnabled(enabled);
    });
}

void RecordingChain::pause()
{
    send([this] {
        m_standby = true;
        setWriterEnabled(false);
    });
}

void RecordingChain::resume()
{
    setEnabled(true);
}

void RecordingChain::refreshHeader()
{
    send([this] { m_stages->WaveFile.refreshNow(); });
}

void RecordingChain::pump()
{
    run([this] { m_stages->WaveIn.pump(); });
}

void RecordingChain::settle()
{
    run([] {});
}

void RecordingChain::withStages(const std::function<void(WaveInput&, WaveFileWriter&)>& f)
{
    run([&] { f(m_stages->WaveIn, m_stages->WaveFile); });
}

WaveInput& RecordingChain::input()
{
    return m_stages->WaveIn;
}

Connector& RecordingChain::connector()
{
    return m_stages->MMConnectorX1;
}

FormatConverter& RecordingChain::converter()
{
    return m_stages->ACMConverter;
}

WaveFileWriter& RecordingChain::writer()
{
    return m_stages->WaveFile;
}

} // namespace wendmoor

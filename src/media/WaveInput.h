#pragma once

#include "media/AudioSink.h"
#include "media/AudioSystem.h"
#include "media/Resampler.h"
#include "media/WaveFormat.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace wendmoor {

class MessageSink;

// The sound-card input of the recording chain: 16-bit mono at the asked rate. The device's
// thread fills a ring; the thread this object lives on (the recording thread) drains it every
// drainInterval() milliseconds (or whenever pump() is called) and hands each buffer to the output
// stage and to bufferFilled. Every call is made on that thread.
//
// stop() ends the output's stream before it returns (so the file writer's stopped notification
// has been sent), but keeps the device running: for the rest of the event-loop turn, or with
// keepDevice until releaseDevice(). An open() and start() of the same device and rate meanwhile
// take the running device back, and what was captured in between goes into the new stream.
// Nothing is lost at a roll-over.
class WaveInput final : public QObject {
    Q_OBJECT
public:
    enum State { Closed = 0, Opened = 2, Recording = 6 };
    // The most samples handed on in one buffer.
    static constexpr int kBufferFrames = 4096;

    WaveInput(AudioSystem& audio, MessageSink& messages, QObject* parent = nullptr);
    // Releases the device; does not reach the output stage.
    ~WaveInput() override;
    WaveInput(const WaveInput&) = delete;
    WaveInput& operator=(const WaveInput&) = delete;

    // Used by the next open().
    void setDeviceID(int device) { m_deviceId = device; }
    [[nodiscard]] int deviceID() const { return m_deviceId; }
    void setSampleRate(int rate) { m_sampleRate = rate; }
    [[nodiscard]] int sampleRate() const { return m_sampleRate; }

    void setOutput(AudioSink* output) { m_output = output; }

    // Opens the device (again, when it is open with another device or rate). Throws Error
    // naming the device.
    void open();
    // Starts the device and the output's stream. Throws Error; on failure the input stays open.
    void start();
    // Stops and closes; the output's stream has ended when this returns.
    void stop(bool keepDevice = false);
    // Closes a device that stop(true) kept and no open() took back.
    void releaseDevice() { closeParked(); }

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] WaveFormat waveFormat() const { return WaveFormat::pcm(m_sampleRate, 16); }
    // Bytes in the largest buffer handed on.
    [[nodiscard]] static constexpr int bufferSize() { return kBufferFrames * 2; }
    // Samples the device lost since the input was opened afresh.
    [[nodiscard]] std::uint64_t droppedFrames() const { return m_dropped; }
    // Times the sound driver said it lost input, since the input was opened afresh.
    [[nodiscard]] std::uint64_t driverOverflows() const { return m_driverOverflows; }

    // A device that stops delivering (a pulled cable, a driver reset) is reported once and
    // opened again every couple of seconds until it delivers once more; the time it was gone is
    // handed on as silence, so that a position in the log still matches the time of day.
    void setReopenInterval(int milliseconds) { m_reopenIntervalMs = milliseconds; }
    // A device that says it runs but has delivered nothing for this long is taken as stopped.
    // Long enough for a sound server's slow start (a couple of seconds).
    void setSilenceLimit(int milliseconds) { m_silenceLimitMs = milliseconds; }

    // How often the ring is drained while recording. The ring holds seconds, so this is about
    // how often the program wakes up, not about losing audio. 0: never by itself, its owner calls
    // pump() on a timer it has anyway.
    void setDrainInterval(int milliseconds) { m_drainTimer.setInterval(milliseconds); }
    [[nodiscard]] int drainInterval() const { return m_drainTimer.interval(); }

    // Monotonic milliseconds for the device checks; tests move it by hand.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // When the next sample to be handed on was taken, on the steady clock (nanoseconds); while a
    // buffer is being handed on, that is just after its last sample. Nothing when the device
    // cannot tell.
    [[nodiscard]] std::optional<std::int64_t> nextFrameTakenNs() const
    {
        return m_stream ? m_stream->nextReadTakenNs() : std::nullopt;
    }

    // Hands on everything captured so far. Called by the drain timer; tests call it directly.
    void pump();

signals:
    // Every buffer, on the recording thread, while the input records.
    void bufferFilled(std::span<const std::int16_t> samples);
    // After every pump() that found the input recording.
    void pumped();
    // The device stopped delivering audio (reported, reopened until it delivers), and delivers
    // again (its outage written as silence).
    void deviceLost();
    void deviceBack();

private:
    void closeParked();
    void deliver(std::span<const std::int16_t> samples);
    void checkDevice();
    void reopenDevice();
    // The first buffer after an outage: reported, and the time the device was gone written as
    // silence before it.
    void endOutage(std::size_t framesJustRead);

    AudioSystem& m_audio;
    MessageSink& m_messages;
    AudioSink* m_output = nullptr;
    int m_deviceId = 0;
    int m_sampleRate = 22050;
    State m_state = Closed;

    std::unique_ptr<CaptureStream> m_stream;
    std::unique_ptr<Resampler> m_resampler; // device rate -> asked rate, when they differ
    int m_openDevice = -1;
    int m_openRate = 0;
    bool m_parked = false;

    std::vector<std::int16_t> m_raw;
    std::vector<std::int16_t> m_converted;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_driverOverflows = 0;
    bool m_dropReported = false;
    bool m_failureReported = false;
    QElapsedTimer m_monotonic;
    std::function<qint64()> m_clock;
    // The device's name as the preferences list shows it, kept for when it is gone.
    QString m_deviceName;
    // When the device was last tried again after it stopped delivering.
    qint64 m_lastReopenMs = 0;
    int m_reopenIntervalMs = 2000;
    // When the device last delivered anything (or was started); -1: never.
    qint64 m_lastDataMs = -1;
    // Where the silence for an outage begins, once the device delivers again; -1: none.
    qint64 m_gapFromMs = -1;
    int m_silenceLimitMs = 10000;
    QTimer m_drainTimer;
    QTimer m_closeTimer;
};

} // namespace wendmoor

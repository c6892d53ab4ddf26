#pragma once

#include "media/CaptureRing.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace wendmoor {

// A running sound-card input. The device's callback thread writes into a lock-free ring; the
// recording thread takes the samples out with read() and makes every other call.
class CaptureStream {
public:
    virtual ~CaptureStream() = default;

    // The rate the device really runs at; it may differ from the rate asked for.
    [[nodiscard]] virtual int sampleRate() const = 0;
    [[nodiscard]] virtual QString deviceName() const = 0;
    // Throws Error when the device cannot start.
    virtual void start() = 0;
    // Stops the device. Samples captured before the stop stay readable.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isRunning() const = 0;

    // Moves up to out.size() captured mono 16-bit samples into out and returns how many.
    // Samples the ring had no room for come back as silence in their place, so later audio keeps
    // its time; takeDropouts() tells how many were lost since it was last asked, and how often
    // the driver itself said it lost input.
    [[nodiscard]] virtual std::size_t read(std::span<std::int16_t> out) = 0;
    [[nodiscard]] virtual Dropouts takeDropouts() = 0;
    // When the next sample read() gives was taken, on the steady clock (std::chrono::steady_clock,
    // nanoseconds); nothing while the stream cannot tell.
    [[nodiscard]] virtual std::optional<std::int64_t> nextReadTakenNs() const { return std::nullopt; }
};

// A running sound-card output. The user-interface thread queues samples with write(); the
// device's callback thread takes them from a lock-free ring and plays silence when it runs dry.
class PlaybackStream {
public:
    virtual ~PlaybackStream() = default;

    [[nodiscard]] virtual int sampleRate() const = 0;
    [[nodiscard]] virtual int channels() const = 0;
    [[nodiscard]] virtual QString deviceName() const = 0;
    // Throws Error when the device cannot start.
    virtual void start() = 0;
    // Stops at once and drops what is queued; framesPlayed() keeps its value.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isRunning() const = 0;

    // Room in the queue, in frames.
    [[nodiscard]] virtual std::size_t writableFrames() const = 0;
    // Queues interleaved samples (whole frames); returns the frames taken.
    [[nodiscard]] virtual std::size_t write(std::span<const std::int16_t> interleaved) = 0;
    // Frames handed to the device since the stream was opened: what has been heard.
    [[nodiscard]] virtual std::int64_t framesPlayed() const = 0;
    // Frames queued and not yet handed to the device.
    [[nodiscard]] virtual std::size_t queuedFrames() const = 0;
};

// The machine's sound devices. Input and output devices are each numbered from 0 in the order
// the audio library lists them.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;

    // Asked afresh on every call, so devices plugged in since are listed.
    [[nodiscard]] virtual QStringList inputDeviceNames() = 0;
    [[nodiscard]] virtual QStringList outputDeviceNames() = 0;

    // Open a mono 16-bit input. When the device cannot run at sampleRate it is opened at a rate
    // it supports; the stream's sampleRate() tells which. Throws Error naming the device.
    [[nodiscard]] virtual std::unique_ptr<CaptureStream> openCapture(int device, int sampleRate) = 0;
    // Open a 16-bit output. Throws Error naming the device.
    [[nodiscard]] virtual std::unique_ptr<PlaybackStream> openPlayback(int device, int sampleRate, int channels) = 0;
};

} // namespace wendmoor
